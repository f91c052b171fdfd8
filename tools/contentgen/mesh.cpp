#include "tools/contentgen/mesh.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace content {

float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 Cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
Vec3 Normalize(Vec3 a)
{
    float l = std::sqrt(Dot(a, a));
    return l > 0 ? a * (1.0f / l) : a;
}

void Mesh::Append(const Mesh &o)
{
    uint32_t base = uint32_t(vertices.size());
    vertices.insert(vertices.end(), o.vertices.begin(), o.vertices.end());
    for (const auto &t : o.triangles)
        triangles.push_back({t[0] + base, t[1] + base, t[2] + base});
}

std::vector<float> Mesh::Flat() const
{
    std::vector<float> out;
    out.reserve(triangles.size() * 9);
    for (const auto &t : triangles)
        for (uint32_t i : t) {
            out.push_back(vertices[i].x);
            out.push_back(vertices[i].y);
            out.push_back(vertices[i].z);
        }
    return out;
}

void Mesh::Bounds(Vec3 *lo, Vec3 *hi) const
{
    *lo = {1e30f, 1e30f, 1e30f};
    *hi = {-1e30f, -1e30f, -1e30f};
    for (const Vec3 &v : vertices) {
        *lo = {std::min(lo->x, v.x), std::min(lo->y, v.y), std::min(lo->z, v.z)};
        *hi = {std::max(hi->x, v.x), std::max(hi->y, v.y), std::max(hi->z, v.z)};
    }
}

static double MeshVolume(const Mesh &m) { return SignedVolume(m.Flat()); }

Mesh Tube(const std::vector<TubeRing> &rings, int segments, Vec3 up, float cap_start, float cap_end,
          const std::function<float(size_t, float)> &shape)
{
    Mesh m;
    size_t n = rings.size();
    const float two_pi = 6.28318530718f;
    Vec3 normal{};
    for (size_t i = 0; i < n; ++i) {
        Vec3 a = rings[i == 0 ? 0 : i - 1].centre, b = rings[i + 1 < n ? i + 1 : n - 1].centre;
        Vec3 t = Normalize(b - a);
        // Parallel transport keeps the rings from twisting along the tube.
        Vec3 ref = i == 0 ? up : normal;
        normal = Normalize(ref - t * Dot(ref, t));
        Vec3 binormal = Cross(t, normal);
        for (int j = 0; j < segments; ++j) {
            float phi = two_pi * float(j) / float(segments);
            float s = shape ? shape(i, phi) : 1.0f;
            Vec3 off = normal * (rings[i].half_h * std::cos(phi) * s) + binormal * (rings[i].half_w * std::sin(phi) * s);
            m.vertices.push_back(rings[i].centre + off);
        }
    }
    auto v = [segments](size_t i, int j) { return uint32_t(i * segments + size_t(j % segments)); };
    for (size_t i = 0; i + 1 < n; ++i)
        for (int j = 0; j < segments; ++j) {
            m.triangles.push_back({v(i, j), v(i + 1, j), v(i + 1, j + 1)});
            m.triangles.push_back({v(i, j), v(i + 1, j + 1), v(i, j + 1)});
        }
    Vec3 t0 = Normalize(rings[std::min<size_t>(1, n - 1)].centre - rings[0].centre);
    Vec3 t1 = Normalize(rings[n - 1].centre - rings[n >= 2 ? n - 2 : 0].centre);
    float r0 = 0.5f * (rings[0].half_h + rings[0].half_w), r1 = 0.5f * (rings[n - 1].half_h + rings[n - 1].half_w);
    uint32_t a0 = uint32_t(m.vertices.size());
    m.vertices.push_back(rings[0].centre - t0 * (r0 * cap_start));
    uint32_t a1 = uint32_t(m.vertices.size());
    m.vertices.push_back(rings[n - 1].centre + t1 * (r1 * cap_end));
    for (int j = 0; j < segments; ++j) {
        m.triangles.push_back({a0, v(0, j), v(0, j + 1)});
        m.triangles.push_back({a1, v(n - 1, j + 1), v(n - 1, j)});
    }
    if (MeshVolume(m) < 0)
        for (auto &t : m.triangles)
            std::swap(t[1], t[2]);
    return m;
}

std::vector<TubeRing> SmoothRings(const std::vector<TubeRing> &c, int steps)
{
    std::vector<TubeRing> out;
    size_t n = c.size();
    auto at = [&](long i) { return c[size_t(std::clamp<long>(i, 0, long(n) - 1))]; };
    for (size_t i = 0; i + 1 < n; ++i)
        for (int k = 0; k < steps; ++k) {
            float t = float(k) / float(steps), t2 = t * t, t3 = t2 * t;
            auto cr = [&](float a, float b, float cc, float d) {
                return 0.5f * (2 * b + (-a + cc) * t + (2 * a - 5 * b + 4 * cc - d) * t2 + (-a + 3 * b - 3 * cc + d) * t3);
            };
            TubeRing p0 = at(long(i) - 1), p1 = at(long(i)), p2 = at(long(i) + 1), p3 = at(long(i) + 2);
            out.push_back(TubeRing{{cr(p0.centre.x, p1.centre.x, p2.centre.x, p3.centre.x),
                                    cr(p0.centre.y, p1.centre.y, p2.centre.y, p3.centre.y),
                                    cr(p0.centre.z, p1.centre.z, p2.centre.z, p3.centre.z)},
                                   cr(p0.half_h, p1.half_h, p2.half_h, p3.half_h),
                                   cr(p0.half_w, p1.half_w, p2.half_w, p3.half_w)});
        }
    out.push_back(c[n - 1]);
    return out;
}

namespace {

// One short, sturdy leg from inside the body down to a paw that points
// forward (+x).
Mesh Leg(float x, float z, float top_y, bool hind, float stride)
{
    std::vector<TubeRing> c;
    if (!hind) {
        c = {{{x, top_y, z}, 30, 26},
             {{x + 4 + stride * 0.3f, top_y - 50, z}, 23, 21},
             {{x + 2 + stride * 0.7f, top_y - 92, z}, 18, 17},
             {{x + stride, top_y - 120, z}, 15, 16},
             {{x + stride + 16, top_y - 134, z}, 11, 17},
             {{x + stride + 30, top_y - 136, z}, 6, 12}};
    } else {
        c = {{{x, top_y, z}, 40, 32},
             {{x - 20 + stride * 0.3f, top_y - 50, z}, 28, 24},
             {{x - 12 + stride * 0.7f, top_y - 92, z}, 18, 17},
             {{x + stride, top_y - 120, z}, 14, 15},
             {{x + stride + 16, top_y - 134, z}, 11, 17},
             {{x + stride + 32, top_y - 136, z}, 6, 12}};
    }
    return Tube(SmoothRings(c, 2), 10, Vec3{1, 0, 0}, 0.6f, 0.8f);
}

// A small rounded ear on the head, flattened front to back.
Mesh Ear(float x, float y, float z, float lean)
{
    std::vector<TubeRing> c = {{{x, y, z}, 22, 9},
                               {{x - 2, y + 14, z + lean * 0.5f}, 23, 9},
                               {{x - 3, y + 25, z + lean}, 17, 7},
                               {{x - 4, y + 31, z + lean * 1.2f}, 7, 4}};
    return Tube(SmoothRings(c, 2), 10, Vec3{1, 0, 0}, 0.3f, 0.6f);
}

} // namespace

Mesh MakeFerret()
{
    // Nose to tail tip along -x, back up (+y): a long arched body, a broad
    // head on a thick neck and a tapering tail, as one tube.
    std::vector<TubeRing> spine = {
        {{548, 34, 0}, 4, 4},      {{530, 39, 0}, 15, 14},    {{500, 47, 0}, 31, 27},
        {{462, 58, 0}, 46, 41},    {{425, 66, 0}, 55, 52},    {{388, 66, 0}, 54, 51},
        {{350, 57, 0}, 46, 43},    {{300, 44, 0}, 50, 46},    {{240, 31, 0}, 61, 54},
        {{170, 30, 0}, 66, 58},    {{80, 40, 0}, 68, 60},     {{0, 46, 0}, 69, 61},
        {{-90, 41, 0}, 69, 61},    {{-170, 29, 0}, 67, 60},   {{-240, 15, 0}, 57, 52},
        {{-290, 1, 0}, 40, 37},    {{-322, -9, 0}, 31, 29},   {{-380, -24, 0}, 26, 25},
        {{-450, -34, 0}, 23, 22},  {{-520, -34, 0}, 19, 18},  {{-580, -26, 0}, 14, 13},
        {{-625, -14, 0}, 7, 7},    {{-645, -6, 0}, 3, 3},
    };
    Mesh m = Tube(SmoothRings(spine, 3), 16, Vec3{0, 1, 0}, 0.8f, 0.8f);
    // Legs in a trotting pose: the near and far legs of each pair apart.
    m.Append(Leg(215, 30, 20, false, 28));
    m.Append(Leg(230, -30, 20, false, -22));
    m.Append(Leg(-175, 32, 22, true, -26));
    m.Append(Leg(-190, -32, 22, true, 24));
    m.Append(Ear(394, 104, 32, 10));
    m.Append(Ear(394, 104, -32, -10));
    // Centre the animal on the origin, about which the scene spins it.
    Vec3 lo, hi;
    m.Bounds(&lo, &hi);
    Vec3 mid = (lo + hi) * 0.5f;
    const float scale = 0.88f; // chosen so the echo fan fills about 2/3 of the view
    for (Vec3 &v : m.vertices)
        v = (v - mid) * scale;
    return m;
}

Mesh MascotForArchive(const Mesh &ferret)
{
    Mesh m = ferret;
    for (Vec3 &v : m.vertices) {
        v.x /= 6.0f;
        v.y /= 6.0f;
    }
    return m;
}

Mesh MakeStem()
{
    // The gourd's upper dimple is at (0, 55, 0); the stalk's foot sinks a
    // little into the flesh so no gap shows as the gourd turns, flares where
    // it meets it, and bends over as it rises, ribbed like a squash stem.
    std::vector<TubeRing> c = {
        {{0, 46, 0}, 14, 14},        {{0, 55, 0}, 12, 12},       {{0.5f, 64, 0.3f}, 9, 9},
        {{2, 76, 0.8f}, 7.5f, 7.5f}, {{6, 88, 1.8f}, 6.6f, 6.6f}, {{13, 98, 3}, 6, 6},
        {{22, 104, 4.5f}, 5.6f, 5.6f}, {{31, 105, 6}, 5.4f, 5.4f}, {{38, 101, 7}, 5.3f, 5.3f},
    };
    auto ribs = [](size_t, float phi) { return 1.0f + 0.1f * std::cos(6.0f * phi); };
    return Tube(SmoothRings(c, 2), 12, Vec3{1, 0, 0}, 0.15f, 0.5f, ribs);
}

size_t OpenEdges(const std::vector<float> &flat)
{
    using P = std::tuple<float, float, float>;
    std::map<std::pair<P, P>, int> count;
    size_t n = flat.size() / 9;
    for (size_t t = 0; t < n; ++t)
        for (int e = 0; e < 3; ++e) {
            const float *a = &flat[t * 9 + e * 3], *b = &flat[t * 9 + ((e + 1) % 3) * 3];
            P pa{a[0], a[1], a[2]}, pb{b[0], b[1], b[2]};
            if (pb < pa)
                std::swap(pa, pb);
            ++count[{pa, pb}];
        }
    size_t bad = 0;
    for (const auto &kv : count)
        if (kv.second != 2)
            ++bad;
    return bad;
}

double SignedVolume(const std::vector<float> &flat)
{
    double v = 0;
    for (size_t t = 0; t + 9 <= flat.size(); t += 9) {
        const float *p = &flat[t];
        double ax = p[0], ay = p[1], az = p[2], bx = p[3], by = p[4], bz = p[5], cx = p[6], cy = p[7], cz = p[8];
        v += ax * (by * cz - bz * cy) - ay * (bx * cz - bz * cx) + az * (bx * cy - by * cx);
    }
    return v / 6.0;
}

FanCover MascotFanCover(const std::vector<float> &stored)
{
    // The echo copies exactly as the scene builds them.
    std::vector<Vec3> base;
    for (size_t i = 0; i + 3 <= stored.size(); i += 3)
        base.push_back({stored[i] * 6.0f, stored[i + 1] * 6.0f, stored[i + 2]});
    std::vector<Vec3> copies = base;
    float theta = 0;
    for (int k = 1; k < 20; ++k) {
        theta += 0.10472f;
        float sk = std::sin(float(k)), ct = std::cos(theta), st = std::sin(theta);
        for (const Vec3 &p : base)
            copies.push_back({sk * p.z + ct * p.x, p.y, ct * p.z - st * p.x});
    }
    const double pi = 3.14159265358979;
    Vec3 eye{700, 600, 800};
    Vec3 f = Normalize(Vec3{} - eye), s = Normalize(Cross(f, Vec3{0, 1, 0})), u = Cross(s, f);
    double tan_half = std::tan(22.5 * pi / 180.0);
    FanCover cover{0, 0, 0, 0};
    int turns = 0;
    for (int deg = 0; deg < 360; deg += 5, ++turns) {
        double a = deg * pi / 180.0, ca = std::cos(a), sa = std::sin(a);
        double x0 = 1e30, x1 = -1e30, y0 = 1e30, y1 = -1e30;
        for (int sign = -1; sign <= 1; sign += 2)
            for (const Vec3 &p : copies) {
                double rx = p.x * ca + p.z * sa * sign, rz = -p.x * sa * sign + p.z * ca;
                Vec3 d{float(rx - eye.x), p.y - eye.y, float(rz - eye.z)};
                double xv = Dot(s, d), yv = Dot(u, d), depth = Dot(f, d);
                double nx = xv / depth / (2.0 * tan_half), ny = yv / depth / tan_half;
                x0 = std::min(x0, nx);
                x1 = std::max(x1, nx);
                y0 = std::min(y0, ny);
                y1 = std::max(y1, ny);
            }
        double h = (y1 - y0) / 2.0, w = (x1 - x0) / 2.0;
        cover.mean_h += h;
        cover.mean_w += w;
        cover.max_h = std::max(cover.max_h, h);
        cover.max_w = std::max(cover.max_w, w);
    }
    cover.mean_h /= turns;
    cover.mean_w /= turns;
    return cover;
}

} // namespace content
