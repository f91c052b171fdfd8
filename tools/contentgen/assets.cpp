#include "tools/contentgen/assets.h"

#include <fstream>
#include <sstream>

#include "tools/contentgen/font.h"
#include "tools/contentgen/mesh.h"
#include "tools/contentgen/pictures.h"

namespace content {

const PictureShape kPictureShapes[10] = {
    {"bootpic", 640, 480, 32, 32},   // 20 x 15 tiles: the opening steps through them 3072 bytes apart
    {"logo", 640, 64, 64, 64},       // 8 px above the bottom, inside the 80 px bar
    {"fri1", 640, 64, 64, 64},       // drum scene, y 0 to 64
    {"fri2", 640, 64, 64, 64},       // drum scene, y 416 to 480
    {"oczka", 512, 32, 32, 32},      // 16 eye frames of 32 x 32: left k at 2k, right k at 2k + 1
    {"creeds", 256, 16, 32, 16},     // 8 tiles of 1536 bytes for the 256 x 128 caption quads
    {"siekierka", 640, 480, 64, 32}, // 10 x 15 tiles of 64 x 32
    {"butterfly", 384, 256, 128, 256}, // 3 x 1 tiles of 128 x 256
    {"brzydalek", 448, 320, 64, 64}, // at (192, 80): the right of the letterboxed view
    {"fel", 640, 448, 64, 64},       // at (0, 24): the frame round the view
};

bool ReadTextAsset(const std::string &path, std::string *text, std::string *err)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *err = "cannot read " + path;
        return false;
    }
    std::string line, out;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        if (!out.empty())
            out += ' ';
        out += line;
    }
    for (char ch : out)
        if (!InFont(ch)) {
            *err = path + ": character code " + std::to_string(int(static_cast<unsigned char>(ch))) +
                   " is outside 32..95 (capitals, digits, punctuation, spaces)";
            return false;
        }
    *text = out;
    return true;
}

bool FrameEndText(const std::string &words, std::string *text, std::string *err)
{
    if (words.size() != 91 || words.front() == ' ' || words.back() == ' ') {
        *err = "end text must be 91 characters without outer spaces, it has " + std::to_string(words.size());
        return false;
    }
    *text = std::string(11, ' ') + words + std::string(8, ' ');
    return true;
}

namespace {

bool AddPicture(const char *name, const Canvas &canvas, std::vector<zarw::Entry> *entries, std::string *err)
{
    for (const PictureShape &s : kPictureShapes) {
        if (std::string(s.name) != name)
            continue;
        if (uint32_t(canvas.width()) != s.width || uint32_t(canvas.height()) != s.height) {
            *err = std::string(name) + ": drawn at the wrong size";
            return false;
        }
        std::vector<uint8_t> payload = zarw::PicturePayload(canvas.ToImage(), s.tile_w, s.tile_h, err);
        if (payload.empty())
            return false;
        entries->push_back(zarw::Entry{name, 16, std::move(payload)});
        return true;
    }
    *err = std::string(name) + ": no tile layout";
    return false;
}

} // namespace

bool BuildEntries(const std::string &assets_dir, std::vector<zarw::Entry> *entries, std::string *err)
{
    entries->clear();
    Mesh ferret = MakeFerret();
    std::string helmet, water_words, water;
    if (!ReadTextAsset(assets_dir + "/texts/helmet.txt", &helmet, err) ||
        !ReadTextAsset(assets_dir + "/texts/water.txt", &water_words, err))
        return false;
    if (helmet.size() < 142) {
        *err = "helmet text must hold at least 142 characters, it has " + std::to_string(helmet.size());
        return false;
    }
    if (!FrameEndText(water_words, &water, err))
        return false;
    auto text = [](const std::string &s) { return std::vector<uint8_t>(s.begin(), s.end()); };

    bool ok = AddPicture("bootpic", MakeBootpic(ferret), entries, err) &&
              AddPicture("logo", MakeLogo(ferret), entries, err);
    if (!ok)
        return false;
    entries->push_back(zarw::Entry{"ferretoid", 15, zarw::MeshPayload(MascotForArchive(ferret).Flat())});
    ok = AddPicture("fri1", MakeFri1(), entries, err) && AddPicture("fri2", MakeFri2(), entries, err) &&
         AddPicture("oczka", MakeOczka(), entries, err);
    if (!ok)
        return false;
    entries->push_back(zarw::Entry{"lodyga", 15, zarw::MeshPayload(MakeStem().Flat())});
    entries->push_back(zarw::Entry{"helmet", 32, text(helmet)});
    ok = AddPicture("creeds", MakeCreeds(), entries, err) &&
         AddPicture("siekierka", MakeSiekierka(ferret), entries, err) &&
         AddPicture("butterfly", MakeButterfly(), entries, err);
    if (!ok)
        return false;
    entries->push_back(zarw::Entry{"water", 32, text(water)});
    ok = AddPicture("brzydalek", MakeBrzydalek(), entries, err) && AddPicture("fel", MakeFel(), entries, err);
    if (!ok)
        return false;
    for (const zarw::Entry &e : *entries) {
        std::string why = zarw::Check(e);
        if (!why.empty()) {
            *err = e.name + ": " + why;
            return false;
        }
    }
    return true;
}

} // namespace content
