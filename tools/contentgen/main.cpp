// contentgen: makes the demo's data archive and soundtrack from the sources
// in assets/, and on request a preview for people to look at.
//
//   contentgen --assets DIR --out DIR [--no-mp3] [--preview DIR]
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/contentgen/assets.h"
#include "tools/contentgen/preview.h"
#include "tools/zarwrite/zarwrite.h"

namespace {

int Fail(const std::string &what)
{
    std::fprintf(stderr, "contentgen: %s\n", what.c_str());
    return 1;
}

int Usage()
{
    std::fprintf(stderr, "usage: contentgen --assets DIR [--out DIR] [--no-mp3] [--preview DIR]\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    std::string assets, out, preview;
    bool mp3 = true;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if ((a == "--assets" || a == "--out" || a == "--preview") && i + 1 < argc) {
            (a == "--assets" ? assets : a == "--out" ? out : preview) = argv[++i];
        } else if (a == "--no-mp3") {
            mp3 = false;
        } else {
            return Usage();
        }
    }
    if (assets.empty() || (out.empty() && preview.empty()))
        return Usage();

    auto t0 = std::chrono::steady_clock::now();
    auto seconds = [&]() { return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(); };
    std::string err;
    std::vector<zarw::Entry> entries;
    if (!content::BuildEntries(assets, &entries, &err))
        return Fail(err);
    std::printf("contentgen: %zu entries made in %.2f s\n", entries.size(), seconds());
    if (!out.empty()) {
        std::vector<uint8_t> bytes;
        if (!zarw::Pack(entries, &bytes, &err) || !zarw::WriteFile(out + "/brass_tide.zar", bytes, &err))
            return Fail(err);
        std::printf("contentgen: %s/brass_tide.zar, %zu bytes\n", out.c_str(), bytes.size());
    }
    if (!preview.empty()) {
        if (!content::WritePreview(entries, preview, &err))
            return Fail(err);
        std::printf("contentgen: preview in %s (contact_sheet.png, entries.txt)\n", preview.c_str());
    }
    (void)mp3;
    std::printf("contentgen: done in %.2f s\n", seconds());
    return 0;
}
