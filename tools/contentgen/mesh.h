// Closed triangle meshes built from swept tubes: the mascot and the gourd's
// stem. Each part is a closed surface of its own (a tube capped at both ends
// by a single apex), so every edge of the whole mesh is shared by exactly two
// triangles, and every triangle winds counter-clockwise seen from outside.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace content {

struct Vec3 {
    float x = 0, y = 0, z = 0;
};
inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, float k) { return {a.x * k, a.y * k, a.z * k}; }
float Dot(Vec3 a, Vec3 b);
Vec3 Cross(Vec3 a, Vec3 b);
Vec3 Normalize(Vec3 a);

struct Mesh {
    std::vector<Vec3> vertices;
    std::vector<std::array<uint32_t, 3>> triangles;

    void Append(const Mesh &other);
    // Nine floats per triangle, the archive's layout.
    std::vector<float> Flat() const;
    void Bounds(Vec3 *lo, Vec3 *hi) const;
};

// One station of a tube: centre, half extents along the frame's normal
// (height) and binormal (width).
struct TubeRing {
    Vec3 centre;
    float half_h, half_w;
};

// Sweeps a closed tube through the rings with segments vertices a ring; the
// ends close in apexes pushed out by the end rings' radii times cap. shape
// (ring index, angle) multiplies the radius (ribs, flattening). up fixes the
// frame's starting normal.
Mesh Tube(const std::vector<TubeRing> &rings, int segments, Vec3 up, float cap_start, float cap_end,
          const std::function<float(size_t, float)> &shape = nullptr);

// Catmull-Rom resampling of control rings, steps samples a span.
std::vector<TubeRing> SmoothRings(const std::vector<TubeRing> &ctrl, int steps);

// The archive's meshes. The mascot is returned in scene units (x and y not
// yet divided by six); MascotForArchive divides them for storage.
Mesh MakeFerret();
Mesh MascotForArchive(const Mesh &ferret);
Mesh MakeStem();

// For tests and the preview: edges not shared by exactly two triangles
// (compared by vertex position), and the enclosed volume (positive when the
// triangles face outwards).
size_t OpenEdges(const std::vector<float> &flat);
double SignedVolume(const std::vector<float> &flat);

// How much of the mascot scene's 640 x 320 view the twenty echo copies fill:
// the mean and largest screen height and width fractions of their bounding
// box over a full turn, from the stored triangles (x and y at one sixth).
struct FanCover {
    double mean_h, max_h, mean_w, max_w;
};
FanCover MascotFanCover(const std::vector<float> &stored);

} // namespace content
