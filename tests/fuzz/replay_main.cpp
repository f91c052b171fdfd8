// Runs the fuzz target over files and folders of inputs without libFuzzer, so
// the seed corpus and the regression inputs are checked in every build.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

static bool RunFile(const std::string &path)
{
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    std::vector<uint8_t> bytes;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        bytes.insert(bytes.end(), buf, buf + n);
    std::fclose(f);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return true;
}

int main(int argc, char **argv)
{
    int runs = 0;
    for (int i = 1; i < argc; i++) {
        struct stat st;
        if (stat(argv[i], &st) != 0) {
            std::fprintf(stderr, "%s: %s: no such file or folder\n", argv[0], argv[i]);
            return 1;
        }
        std::vector<std::string> files;
        if (S_ISDIR(st.st_mode)) {
            if (DIR *d = opendir(argv[i])) {
                while (dirent *e = readdir(d))
                    if (e->d_name[0] != '.')
                        files.push_back(std::string(argv[i]) + "/" + e->d_name);
                closedir(d);
            }
            std::sort(files.begin(), files.end());
        } else {
            files.push_back(argv[i]);
        }
        for (const std::string &file : files) {
            if (!RunFile(file)) {
                std::fprintf(stderr, "%s: cannot read %s\n", argv[0], file.c_str());
                return 1;
            }
            runs++;
        }
    }
    std::printf("%s: %d inputs ran clean\n", argv[0], runs);
    return runs > 0 ? 0 : 1;
}
