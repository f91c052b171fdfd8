// Deterministic pseudo-random numbers for the generator: every asset seeds its
// own generator with a fixed number, so the output never depends on the
// platform's rand() or on the order in which assets are made.
#pragma once

#include <cstdint>

namespace content {

class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) { Next(); }

    // splitmix64: small, fast and good enough for placement and noise.
    uint64_t Next()
    {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double Uniform() { return double(Next() >> 11) * (1.0 / 9007199254740992.0); }
    // Uniform in [lo, hi).
    double Range(double lo, double hi) { return lo + (hi - lo) * Uniform(); }
    // Uniform integer in [0, n).
    uint32_t Below(uint32_t n) { return uint32_t(Uniform() * n); }

private:
    uint64_t state_;
};

// A stateless hash of lattice coordinates, for value noise.
inline uint32_t Hash3(int32_t x, int32_t y, uint32_t seed)
{
    uint32_t h = seed * 0x27D4EB2Du ^ uint32_t(x) * 0x85EBCA6Bu ^ uint32_t(y) * 0xC2B2AE35u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

} // namespace content
