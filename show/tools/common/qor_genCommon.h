// Shared by the show's content generators: bounded file reads, safe file writes, JPEG output,
// a seeded random generator and tileable gradient noise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qorg
{
enum
{
    e_exitOk = 0,
    e_exitFailure = 1,
    e_exitUsage = 2,
};

// Reads a whole regular file of at most nMax bytes through the engine's file layer; anything
// else (missing, a folder, a device, a pipe, too large) is refused with a reason in err before
// a byte is read. What is read is an input of the run: no output may replace it.
bool readFileBounded(const std::string & path, size_t nMax, std::vector<unsigned char> & out, std::string & err);
// Writes the bytes to a temporary file beside path, then renames it over path (the file
// layer's qoru_writeFile). An existing path that is not a regular file (folder, link, device,
// pipe) or that is a file the run read is never replaced.
bool writeFileSafe(const std::string & path, const void * p, size_t n, std::string & err);
// Whether an output can be written at path before any work is done: its folder exists and
// the path is either absent or a regular file that is not an input.
bool checkOutputPath(const std::string & path, std::string & err);
// Creates the folder and its parents; an existing path on the way that is not a folder fails.
bool makeFolders(const std::string & path, std::string & err);

// Baseline JPEG of w x h pixels with nComp = 1 (grey) or 3 (RGB) bytes per pixel, rows top
// first, no chroma subsampling (colour edges and data maps stay sharp).
bool encodeJpeg(int w, int h, int nComp, const unsigned char * pPixels, int quality, std::vector<unsigned char> & out);

// Parses a decimal number in [lo, hi]; false on anything else.
bool parseInt(const char * sz, long lo, long hi, long & value);

// Splitmix64: a small, fast, fully specified generator, so that every seed gives the same
// content on every machine.
class Rng
{
public:
    explicit Rng(uint64_t seed) : m_state(seed) {}
    uint64_t next()
    {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double unit() { return (double)(next() >> 11) * (1.0 / 9007199254740992.0); }
    // Uniform in [lo, hi).
    double range(double lo, double hi) { return lo + (hi - lo) * unit(); }

private:
    uint64_t m_state;
};

// Gradient noise on an integer lattice hashed from a seed. The 2D form repeats every
// `period` lattice cells in both directions (0: never), so textures built on it tile.
class Noise
{
public:
    explicit Noise(uint64_t seed);
    // Roughly in [-1, 1].
    double get2(double x, double y, int period = 0) const;
    double get3(double x, double y, double z) const;
    // Fractal sums of octaves (each twice the frequency, `gain` times the amplitude),
    // normalised to roughly [-1, 1]. The 2D form tiles over [0, period) when period > 0.
    double fbm2(double x, double y, int nOctave, int period = 0, double gain = 0.5) const;
    double fbm3(double x, double y, double z, int nOctave, double gain = 0.5) const;
    // Ridged sums: sharp crests where the noise crosses zero, in [0, 1].
    double ridged2(double x, double y, int nOctave, int period = 0) const;

private:
    uint32_t hash(int x, int y, int z) const;
    uint64_t m_seed;
};

// Small colour helpers on doubles in 0..1.
struct Rgb
{
    double r, g, b;
};
inline double clamp01(double v) { return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v); }
inline double mix(double a, double b, double t) { return a + (b - a) * t; }
inline Rgb mix(const Rgb & a, const Rgb & b, double t) { return {mix(a.r, b.r, t), mix(a.g, b.g, t), mix(a.b, b.b, t)}; }
inline double smoothstep(double e0, double e1, double v)
{
    double t = clamp01((v - e0) / (e1 - e0));
    return t * t * (3.0 - 2.0 * t);
}
inline unsigned char toByte(double v) { return (unsigned char)(clamp01(v) * 255.0 + 0.5); }
// A colour ramp through n stops at positions in [0, 1], ascending.
Rgb ramp(const double * pPos, const Rgb * pColor, int n, double t);
} // namespace qorg
