#include "tools/contentgen/preview.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "tools/contentgen/canvas.h"
#include "tools/contentgen/font.h"
#include "tools/contentgen/mesh.h"
#include "tools/contentgen/png.h"
#include "tools/contentgen/raster.h"

namespace content {

namespace {

struct Item {
    std::string label;
    Canvas canvas;
    std::string file; // also written on its own under this name
};

Canvas FromImage(const zarw::Image &img, int scale)
{
    Canvas c(int(img.width) * scale, int(img.height) * scale);
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x) {
            const uint8_t *p = &img.rgb[(size_t(y / scale) * img.width + size_t(x / scale)) * 3];
            c.at(x, y) = Color{p[0] / 255.0f, p[1] / 255.0f, p[2] / 255.0f};
        }
    return c;
}

std::vector<float> ToFloats(const std::vector<uint8_t> &payload, uint32_t *count)
{
    uint32_t n = 0;
    std::memcpy(&n, payload.data(), 4);
    std::vector<float> f(size_t(n) * 9);
    std::memcpy(f.data(), payload.data() + 8, f.size() * 4);
    *count = n;
    return f;
}

// Front, side and top silhouettes of a mesh, each in a panel.
Canvas MeshViews(const std::vector<float> &flat, Color ink)
{
    const int pw = 300, ph = 200;
    Canvas c(3 * pw + 20, ph, Color{0.16f, 0.16f, 0.17f});
    struct View {
        Vec3 right, up;
        const char *name;
    } views[3] = {{{0, 0, -1}, {0, 1, 0}, "FRONT"}, {{1, 0, 0}, {0, 1, 0}, "SIDE"}, {{1, 0, 0}, {0, 0, -1}, "TOP"}};
    for (int i = 0; i < 3; ++i) {
        Canvas panel(pw, ph, Color{0.93f, 0.86f, 0.78f});
        OrthoView v = FitView(flat, views[i].right, views[i].up, Box{0, 0, pw, ph}, 14);
        std::vector<float> mask = MeshMask(flat, v, pw, ph, 3);
        for (int y = 0; y < ph; ++y)
            for (int x = 0; x < pw; ++x)
                panel.Blend(x, y, ink, mask[size_t(y) * pw + x]);
        DrawPixelText(panel, views[i].name, 6, 6, Color{0.3f, 0.2f, 0.15f});
        c.Paste(panel, i * (pw + 10), 0);
    }
    return c;
}

// The echo fan of the mascot scene at spin angle a (degrees), drawn as the
// scene draws it: twenty translucent copies in each tint, no depth test, on
// the peach clear colour, through the scene's camera.
Canvas EchoFan(const std::vector<float> &stored, float a_deg)
{
    const int W = 640, H = 320;
    Canvas c(W, H, Color{1.0f, 0.8f, 0.7f});
    size_t nv = stored.size() / 3;
    std::vector<Vec3> base(nv);
    for (size_t i = 0; i < nv; ++i)
        base[i] = {stored[3 * i] * 6.0f, stored[3 * i + 1] * 6.0f, stored[3 * i + 2]};
    std::vector<std::vector<Vec3>> copies{base};
    float theta = 0;
    for (int k = 1; k < 20; ++k) {
        theta += 0.10472f;
        std::vector<Vec3> cp(nv);
        for (size_t i = 0; i < nv; ++i) {
            const Vec3 &p = base[i];
            cp[i] = {std::sin(float(k)) * p.z + std::cos(theta) * p.x, p.y, std::cos(theta) * p.z - std::sin(theta) * p.x};
        }
        copies.push_back(cp);
    }
    const float pi = 3.14159265f, t = std::tan(22.5f * pi / 180.0f);
    Vec3 eye{700, 600, 800};
    Vec3 f = Normalize(Vec3{} - eye), s = Normalize(Cross(f, Vec3{0, 1, 0})), u = Cross(s, f);
    for (int list = 0; list < 2; ++list) {
        float a = (list == 0 ? a_deg : -a_deg) * pi / 180.0f;
        Color tint = list == 0 ? Color{0.8f, 0.4f, 0.2f} : Color{0.8f, 0.2f, 0.4f};
        float alpha = 0.01f;
        for (int k = 0; k < 20; ++k) {
            std::vector<float> sx(nv), sy(nv);
            for (size_t i = 0; i < nv; ++i) {
                const Vec3 &p = copies[size_t(k)][i];
                Vec3 r{p.x * std::cos(a) + p.z * std::sin(a), p.y, -p.x * std::sin(a) + p.z * std::cos(a)};
                Vec3 d = r - eye;
                float depth = Dot(f, d);
                sx[i] = (0.5f + 0.5f * Dot(s, d) / depth / (2 * t)) * W;
                sy[i] = (0.5f - 0.5f * Dot(u, d) / depth / t) * H;
            }
            for (size_t tri = 0; tri + 3 <= nv; tri += 3) {
                float x0 = sx[tri], y0 = sy[tri], x1 = sx[tri + 1], y1 = sy[tri + 1], x2 = sx[tri + 2], y2 = sy[tri + 2];
                float area = (x1 - x0) * (y2 - y0) - (x2 - x0) * (y1 - y0);
                if (area == 0)
                    continue;
                int bx0 = std::max(0, int(std::floor(std::min({x0, x1, x2}))));
                int bx1 = std::min(W - 1, int(std::ceil(std::max({x0, x1, x2}))));
                int by0 = std::max(0, int(std::floor(std::min({y0, y1, y2}))));
                int by1 = std::min(H - 1, int(std::ceil(std::max({y0, y1, y2}))));
                for (int y = by0; y <= by1; ++y)
                    for (int x = bx0; x <= bx1; ++x) {
                        float px = x + 0.5f, py = y + 0.5f;
                        float e0 = (x1 - x0) * (py - y0) - (y1 - y0) * (px - x0);
                        float e1 = (x2 - x1) * (py - y1) - (y2 - y1) * (px - x1);
                        float e2 = (x0 - x2) * (py - y2) - (y0 - y2) * (px - x2);
                        bool in = area > 0 ? (e0 >= 0 && e1 >= 0 && e2 >= 0) : (e0 <= 0 && e1 <= 0 && e2 <= 0);
                        if (in)
                            c.Blend(x, y, tint, alpha);
                    }
            }
            alpha *= 1.15f;
        }
    }
    return c;
}

} // namespace

bool WritePreview(const std::vector<zarw::Entry> &entries, const std::string &out_dir, std::string *err)
{
    std::vector<Item> items;
    std::ostringstream list;
    list << "name        type  shape\n";
    zarw::Image fel, brz;
    for (const zarw::Entry &e : entries) {
        char head[64];
        std::snprintf(head, sizeof head, "%-11s %-4u  ", e.name.c_str(), e.type);
        list << head;
        if (e.type == 16) {
            uint32_t w[4];
            std::memcpy(w, e.payload.data(), 16);
            zarw::Image img;
            if (!zarw::ImageFromPicture(e.payload, &img, err))
                return false;
            if (e.name == "fel")
                fel = img;
            if (e.name == "brzydalek")
                brz = img;
            list << "picture " << w[0] << " x " << w[1] << " tiles of " << w[2] << " x " << w[3] << " = " << img.width
                 << " x " << img.height << " px\n";
            int scale = std::max(1, int(std::min({4.0, 1024.0 / img.width, 480.0 / img.height})));
            items.push_back({e.name + "  " + std::to_string(img.width) + "X" + std::to_string(img.height) + "  (" +
                                 std::to_string(w[0]) + "X" + std::to_string(w[1]) + " TILES OF " + std::to_string(w[2]) +
                                 "X" + std::to_string(w[3]) + ")" + (scale > 1 ? "  SHOWN X" + std::to_string(scale) : ""),
                             FromImage(img, scale), e.name});
        } else if (e.type == 15) {
            uint32_t n = 0;
            std::vector<float> flat = ToFloats(e.payload, &n);
            std::vector<float> shown = flat;
            if (e.name == "ferretoid")
                for (size_t i = 0; i + 3 <= shown.size(); i += 3) {
                    shown[i] *= 6.0f;
                    shown[i + 1] *= 6.0f;
                }
            Mesh tmp;
            float lo[3] = {1e30f, 1e30f, 1e30f}, hi[3] = {-1e30f, -1e30f, -1e30f};
            for (size_t i = 0; i < shown.size(); ++i) {
                lo[i % 3] = std::min(lo[i % 3], shown[i]);
                hi[i % 3] = std::max(hi[i % 3], shown[i]);
            }
            char buf[256];
            std::snprintf(buf, sizeof buf, "mesh %u triangles, open edges %zu, volume %.0f, bounds x %.1f..%.1f y %.1f..%.1f z %.1f..%.1f%s\n",
                          n, OpenEdges(flat), SignedVolume(shown), lo[0], hi[0], lo[1], hi[1], lo[2], hi[2],
                          e.name == "ferretoid" ? " (scene units: x and y times 6)" : "");
            list << buf;
            items.push_back({e.name + "  " + std::to_string(n) + " TRIANGLES", MeshViews(shown, Color{0.45f, 0.22f, 0.12f}), e.name});
            if (e.name == "ferretoid") {
                FanCover cover = MascotFanCover(flat);
                std::snprintf(buf, sizeof buf, "            echo fan in the 640 x 320 view: height mean %.2f max %.2f, width mean %.2f max %.2f\n",
                              cover.mean_h, cover.max_h, cover.mean_w, cover.max_w);
                list << buf;
                Canvas fans(640 * 2 + 10, 320, Color{0.16f, 0.16f, 0.17f});
                fans.Paste(EchoFan(flat, 30), 0, 0);
                fans.Paste(EchoFan(flat, 120), 650, 0);
                items.push_back({"ferretoid ECHO FAN AS THE SCENE FRAMES IT (A = 30 AND 120)", fans, "ferretoid_fan"});
            }
        } else {
            std::string s(e.payload.begin(), e.payload.end());
            list << "text " << s.size() << " bytes \"" << s << "\"\n";
        }
    }
    if (fel.width && brz.width) {
        // The column scene's backdrop as it is placed on the screen.
        Canvas screen(640, 480);
        Canvas f = FromImage(fel, 1), b = FromImage(brz, 1);
        screen.Paste(f, 0, 480 - 24 - f.height());
        screen.Paste(b, 192, 480 - 80 - b.height());
        for (int x = 0; x < 640; x += 4) {
            screen.Blend(x, 80, Color{1, 1, 1}, 0.5f);
            screen.Blend(x, 400, Color{1, 1, 1}, 0.5f);
        }
        items.push_back({"fel + brzydalek AS PLACED (DOTS: 3D VIEW Y 80..400)", screen, "column_backdrop"});
    }

    // Flow the items into rows.
    const int sheet_w = 1340, pad = 12, label_h = 22;
    int x = pad, y = pad, row_h = 0;
    struct Place {
        int x, y;
    };
    std::vector<Place> places;
    for (const Item &it : items) {
        int w = std::max(it.canvas.width(), int(it.label.size()) * 12), h = it.canvas.height() + label_h;
        if (x + w + pad > sheet_w && x > pad) {
            x = pad;
            y += row_h + pad;
            row_h = 0;
        }
        places.push_back({x, y});
        x += w + pad;
        row_h = std::max(row_h, h);
    }
    Canvas sheet(sheet_w, y + row_h + pad, Color{0.16f, 0.16f, 0.17f});
    for (size_t i = 0; i < items.size(); ++i) {
        std::string label = items[i].label;
        for (char &ch : label)
            if (ch >= 'a' && ch <= 'z')
                ch = char(ch - 'a' + 'A');
        DrawPixelText(sheet, label, places[i].x, places[i].y + 4, Color{0.95f, 0.85f, 0.7f}, 2);
        sheet.Paste(items[i].canvas, places[i].x, places[i].y + label_h);
    }
    if (!WritePng(out_dir + "/contact_sheet.png", sheet.ToImage(), err))
        return false;
    for (const Item &it : items)
        if (!WritePng(out_dir + "/" + it.file + ".png", it.canvas.ToImage(), err))
            return false;
    std::ofstream out(out_dir + "/entries.txt");
    out << list.str();
    if (!out) {
        *err = "cannot write " + out_dir + "/entries.txt";
        return false;
    }
    return true;
}

} // namespace content
