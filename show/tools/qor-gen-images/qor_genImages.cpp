// qor-gen-images: the show's procedural textures, written as JPEG files under OUT/maps/ with
// the stems the image loaders take ("maps\" + stem + ".jpg").
//
//   qor-gen-images OUT [--seed N] [--quality Q] [--only STEM]... [--manifest FILE] [--list]
//
// Every image is a pure function of the seed: the same seed gives the same bytes. Colour
// textures use quality Q (default 92); data images (alpha masks, height maps, offset tables)
// are always written at quality 100 in grey, where the decoder's error stays within a level
// or two of the intended value. See docs/SHOW.md.
#include "qor_genCommon.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace qorg;

namespace
{
const double kPi = 3.14159265358979323846;

struct Image
{
    int w = 0, h = 0, nComp = 3;
    std::vector<unsigned char> px;
    void init(int width, int height, int comps)
    {
        w = width;
        h = height;
        nComp = comps;
        px.assign((size_t)w * h * nComp, 0);
    }
    void set(int x, int y, const Rgb & c)
    {
        unsigned char * p = &px[((size_t)y * w + x) * nComp];
        p[0] = toByte(c.r);
        p[1] = toByte(c.g);
        p[2] = toByte(c.b);
    }
    void setGrey(int x, int y, double v) { px[(size_t)y * w + x] = toByte(v); }
};

// Everything a texture function needs: the seed and the frame number of an animation.
struct Ctx
{
    uint64_t seed;
    int frame; // 0-based, animations only
};

typedef void (*FillFn)(const Ctx & ctx, Image & img);

// A tiny hash to dither gradients (no visible bands after 8-bit quantisation).
double dither(uint64_t seed, int x, int y)
{
    Rng r(seed ^ ((uint64_t)(uint32_t)x << 32) ^ (uint64_t)(uint32_t)y);
    return (r.unit() - 0.5) / 255.0;
}

// ---- noise: domain-warped clouds in deep blue and cyan; tiles.
void fillNoise(const Ctx & ctx, Image & img)
{
    img.init(256, 256, 3);
    Noise n(ctx.seed + 1);
    const double aPos[] = {0.0, 0.35, 0.6, 0.82, 1.0};
    const Rgb aCol[] = {{0.02, 0.03, 0.10}, {0.05, 0.18, 0.38}, {0.10, 0.55, 0.70}, {0.60, 0.90, 0.95}, {1, 1, 1}};
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
        {
            const double u = x / 256.0 * 4.0, v = y / 256.0 * 4.0;
            const double qx = n.fbm2(u, v, 4, 4), qy = n.fbm2(u + 1.7 * 4, v + 9.2 * 4, 4, 4);
            const double t = 0.5 + 0.5 * n.fbm2(u + 1.5 * qx * 4, v + 1.5 * qy * 4, 6, 4) * 1.6;
            img.set(x, y, ramp(aPos, aCol, 5, clamp01(t)));
        }
}

// ---- marble: cream stone with dark veins bent by turbulence; tiles.
void fillMarble(const Ctx & ctx, Image & img)
{
    img.init(256, 256, 3);
    Noise n(ctx.seed + 2);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
        {
            const double u = x / 256.0, v = y / 256.0;
            const double turb = n.fbm2(u * 4, v * 4, 6, 4);
            const double s = std::sin(2 * kPi * (2 * u + v) + 7.0 * turb);
            const double vein = std::pow(1.0 - std::fabs(s), 8.0);
            const double fine = std::pow(1.0 - std::fabs(std::sin(2 * kPi * (5 * u - 3 * v) + 9.0 * turb)), 30.0);
            const double cloud = 0.5 + 0.5 * n.fbm2(u * 8 + 3, v * 8 + 3, 4, 8);
            Rgb base = mix(Rgb{0.80, 0.78, 0.74}, Rgb{0.96, 0.94, 0.90}, cloud);
            base = mix(base, Rgb{0.22, 0.26, 0.25}, 0.85 * vein);
            base = mix(base, Rgb{0.45, 0.47, 0.46}, 0.5 * fine);
            img.set(x, y, base);
        }
}

// ---- metal: brushed steel plates with bevelled seams and rivets; tiles.
void fillMetal(const Ctx & ctx, Image & img)
{
    img.init(256, 256, 3);
    Noise n(ctx.seed + 3);
    // Brushing: per-row random streaks, blurred along y by a few rows, wrapping.
    std::vector<double> row(256), streak(256);
    Rng r(ctx.seed + 33);
    for (double & v : row)
        v = r.unit();
    for (int y = 0; y < 256; ++y)
        streak[y] = (row[(y + 255) & 255] + 2 * row[y] + row[(y + 1) & 255]) / 4.0;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
        {
            const double u = x / 256.0, v = y / 256.0;
            double lum = 0.50 + 0.10 * (streak[y] - 0.5) + 0.06 * n.fbm2(u * 4, v * 4, 4, 4);
            // Plates of 128 x 128: a 3-pixel seam, lit from the top left.
            const int px = x & 127, py = y & 127;
            if (px < 2 || py < 2)
                lum *= 0.45;
            else if (px < 4 || py < 4)
                lum += 0.18;
            else if (px > 124 || py > 124)
                lum -= 0.12;
            // Rivets 10 pixels in from each plate corner: small lit domes.
            for (int cy : {10, 117})
                for (int cx : {10, 117})
                {
                    const double dx = px - cx, dy = py - cy, d = std::sqrt(dx * dx + dy * dy);
                    if (d < 4.5)
                    {
                        const double nz = std::sqrt(std::max(0.0, 1.0 - (d / 4.5) * (d / 4.5)));
                        lum = 0.25 + 0.55 * clamp01((-dx - dy) / 4.5 * 0.5 + nz * 0.7);
                    }
                    else if (d < 6.0)
                        lum *= 0.7; // shadow ring
                }
            img.set(x, y, Rgb{lum * 0.95, lum * 0.98, lum * 1.05});
        }
}

// ---- wood: four planks with bent grain, staggered joints; tiles.
void fillWood(const Ctx & ctx, Image & img)
{
    img.init(256, 256, 3);
    Noise n(ctx.seed + 4);
    const double aPos[] = {0.0, 0.5, 1.0};
    const Rgb aCol[] = {{0.30, 0.16, 0.07}, {0.55, 0.33, 0.15}, {0.75, 0.52, 0.28}};
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
        {
            const int plank = y / 64;
            const double u = x / 256.0, v = y / 256.0;
            const double bend = n.fbm2(u * 2 + plank * 0.25 * 2, v * 2, 4, 2);
            const double grain = std::fmod(std::fabs((v * 4 - plank) * 2.0 + 2.0 * bend + plank * 0.37) * 3.0, 1.0);
            const double ring = smoothstep(0.0, 0.15, grain) * (1.0 - smoothstep(0.6, 1.0, grain));
            const double fibre = 0.5 + 0.5 * n.fbm2(u * 64, v * 4, 2, 4);
            Rgb c = ramp(aPos, aCol, 3, clamp01(0.25 + 0.6 * ring + 0.25 * (fibre - 0.5)));
            const double tone = 0.85 + 0.3 * Rng(ctx.seed + 44 + plank).unit();
            c = {c.r * tone, c.g * tone, c.b * tone};
            // Plank seams and one joint per plank, each plank's at another place.
            const int joint = (plank * 97 + 40) & 255;
            if ((y & 63) < 1 || x == joint)
                c = {c.r * 0.35, c.g * 0.35, c.b * 0.35};
            img.set(x, y, c);
        }
}

// ---- rock: ridged crests and crevices; the colour shares its heights with rock_height.
double rockHeight(uint64_t seed, int x, int y)
{
    Noise n(seed + 5);
    const double u = x / 256.0 * 4, v = y / 256.0 * 4;
    // Crests, broad swells and a grain of fine pits: steep enough at the pixel scale for the
    // normal map (it takes the height difference of neighbours two pixels apart).
    const double h = 0.6 * n.ridged2(u, v, 6, 4) + 0.3 * (0.5 + 0.5 * n.fbm2(u * 2, v * 2, 4, 8)) +
                     0.12 * n.fbm2(u * 16, v * 16, 2, 64);
    return clamp01(0.5 + 1.5 * (h - 0.5));
}

void fillRockHeight(const Ctx & ctx, Image & img)
{
    img.init(256, 256, 1);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            img.setGrey(x, y, rockHeight(ctx.seed, x, y));
}

void fillRock(const Ctx & ctx, Image & img)
{
    img.init(256, 256, 3);
    Noise lichen(ctx.seed + 55);
    std::vector<double> h(256 * 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            h[y * 256 + x] = rockHeight(ctx.seed, x, y);
    const double aPos[] = {0.0, 0.45, 0.75, 1.0};
    const Rgb aCol[] = {{0.10, 0.08, 0.07}, {0.36, 0.31, 0.27}, {0.58, 0.53, 0.46}, {0.80, 0.76, 0.68}};
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
        {
            // Light from the top left on the height slope, so the flat texture reads as relief.
            const double sx = h[y * 256 + ((x + 1) & 255)] - h[y * 256 + ((x + 255) & 255)];
            const double sy = h[((y + 1) & 255) * 256 + x] - h[((y + 255) & 255) * 256 + x];
            const double light = clamp01(0.8 - 2.0 * (sx + sy));
            Rgb c = ramp(aPos, aCol, 4, h[y * 256 + x]);
            const double l = smoothstep(0.55, 0.8, 0.5 + 0.5 * lichen.fbm2(x / 64.0, y / 64.0, 4, 4));
            c = mix(c, Rgb{0.35, 0.42, 0.20}, 0.45 * l);
            img.set(x, y, Rgb{c.r * (0.5 + light), c.g * (0.5 + light), c.b * (0.5 + light)});
        }
}

// ---- tiles: 4 x 4 glazed tiles with bevelled edges and grout; colour and height.
double tileHeight(int x, int y)
{
    const int tx = x & 63, ty = y & 63;
    const double edge = std::min(std::min(tx, 63 - tx), std::min(ty, 63 - ty));
    if (edge < 2)
        return 0.15; // grout
    return 0.15 + 0.85 * smoothstep(2.0, 8.0, edge);
}

void fillTilesHeight(const Ctx &, Image & img)
{
    img.init(256, 256, 1);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            img.setGrey(x, y, tileHeight(x, y));
}

void fillTiles(const Ctx & ctx, Image & img)
{
    img.init(256, 256, 3);
    Noise n(ctx.seed + 6);
    const Rgb aGlaze[] = {{0.10, 0.28, 0.55}, {0.08, 0.40, 0.50}, {0.85, 0.82, 0.74}, {0.70, 0.30, 0.15}};
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
        {
            const int tile = (y / 64) * 4 + x / 64;
            const Rgb g = aGlaze[Rng(ctx.seed + 66 + tile).next() % 4];
            const double hgt = tileHeight(x, y);
            const double mottle = 0.9 + 0.2 * n.fbm2(x / 32.0, y / 32.0, 4, 8);
            Rgb c = hgt < 0.2 ? Rgb{0.45, 0.43, 0.40} : Rgb{g.r * mottle, g.g * mottle, g.b * mottle};
            // Glossy highlight on the bevel facing the top left.
            const int tx = x & 63, ty = y & 63;
            if (hgt >= 0.2 && hgt < 0.95 && (tx < 10 || ty < 10))
                c = mix(c, Rgb{1, 1, 1}, 0.35);
            img.set(x, y, c);
        }
}

// ---- gradients: dithered sky ramps for backgrounds.
void fillGradient(const Ctx & ctx, Image & img, const double * pPos, const Rgb * pCol, int n)
{
    img.init(256, 256, 3);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
        {
            const Rgb c = ramp(pPos, pCol, n, (y + 0.5) / 256.0);
            const double d = dither(ctx.seed + 7, x, y);
            img.set(x, y, Rgb{c.r + d, c.g + d, c.b + d});
        }
}

void fillSunset(const Ctx & ctx, Image & img)
{
    const double aPos[] = {0.0, 0.35, 0.6, 0.72, 0.78, 1.0};
    const Rgb aCol[] = {{0.08, 0.03, 0.20}, {0.45, 0.10, 0.45}, {0.95, 0.35, 0.30},
                        {1.00, 0.75, 0.35}, {0.30, 0.10, 0.20}, {0.03, 0.02, 0.06}};
    fillGradient(ctx, img, aPos, aCol, 6);
}

void fillOcean(const Ctx & ctx, Image & img)
{
    const double aPos[] = {0.0, 0.5, 1.0};
    const Rgb aCol[] = {{0.70, 0.90, 1.00}, {0.10, 0.45, 0.70}, {0.01, 0.06, 0.18}};
    fillGradient(ctx, img, aPos, aCol, 3);
}

// ---- glow: a soft light for particles and flares; the colour is white-hot in the middle,
// the alpha image holds the falloff.
double glowFalloff(int x, int y)
{
    const double dx = (x + 0.5 - 64) / 64.0, dy = (y + 0.5 - 64) / 64.0;
    const double d = std::sqrt(dx * dx + dy * dy);
    return clamp01(std::exp(-d * d * 6.0) * (1.0 - smoothstep(0.8, 1.0, d)) * 1.05);
}

void fillGlow(const Ctx &, Image & img)
{
    img.init(128, 128, 3);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x)
            img.set(x, y, mix(Rgb{1.0, 0.55, 0.20}, Rgb{1, 1, 0.95}, glowFalloff(x, y)));
}

void fillGlowAlpha(const Ctx &, Image & img)
{
    img.init(128, 128, 1);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x)
            img.setGrey(x, y, glowFalloff(x, y));
}

// ---- vignette: black with an alpha that darkens the corners of the screen.
void fillVignette(const Ctx &, Image & img)
{
    img.init(128, 128, 3);
}

void fillVignetteAlpha(const Ctx &, Image & img)
{
    img.init(128, 128, 1);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x)
        {
            const double dx = (x + 0.5 - 64) / 64.0, dy = (y + 0.5 - 64) / 64.0;
            img.setGrey(x, y, 0.9 * smoothstep(0.6, 1.45, std::sqrt(dx * dx + dy * dy)));
        }
}

// ---- logo: the letters q, o and r built from rings and bars as a signed distance field,
// chrome-filled with a cyan glow; the alpha image holds letters and glow.
double sdBox(double px, double py, double x0, double y0, double x1, double y1)
{
    const double cx = (x0 + x1) / 2, cy = (y0 + y1) / 2, hx = (x1 - x0) / 2, hy = (y1 - y0) / 2;
    const double dx = std::fabs(px - cx) - hx, dy = std::fabs(py - cy) - hy;
    const double ox = std::max(dx, 0.0), oy = std::max(dy, 0.0);
    return std::sqrt(ox * ox + oy * oy) + std::min(std::max(dx, dy), 0.0);
}

double sdRing(double px, double py, double cx, double cy, double r0, double r1)
{
    const double d = std::sqrt((px - cx) * (px - cx) + (py - cy) * (py - cy));
    return std::fabs(d - (r0 + r1) / 2) - (r1 - r0) / 2;
}

// Distance to the letters in pixels of the 512 x 256 logo (negative inside).
double logoDistance(double x, double y)
{
    // x-height from y = 60 to 190; strokes 28 pixels thick.
    const double q = std::min(sdRing(x, y, 112, 125, 37, 65), sdBox(x, y, 149, 60, 177, 236) - 2);
    const double o = sdRing(x, y, 262, 125, 37, 65);
    const double rStem = sdBox(x, y, 338, 60, 366, 190) - 2;
    const double rArm = std::max(sdRing(x, y, 414, 140, 40, 68), sdBox(x, y, 330, 40, 424, 140));
    return std::min(std::min(q, o), std::min(rStem, rArm));
}

void fillLogo(const Ctx &, Image & img)
{
    img.init(512, 256, 3);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 512; ++x)
        {
            const double d = logoDistance(x + 0.5, y + 0.5);
            // Chrome: sky above the horizon line of the letters, dark ground below it.
            const double t = (y - 60) / 130.0;
            Rgb c = t < 0.5 ? mix(Rgb{0.95, 0.98, 1.0}, Rgb{0.45, 0.60, 0.85}, smoothstep(0.0, 0.5, t))
                            : mix(Rgb{0.10, 0.12, 0.25}, Rgb{0.85, 0.90, 1.0}, smoothstep(0.5, 1.1, t));
            // Bevel: near the edge the surface turns; light it from the top left.
            if (d < 0 && d > -6)
            {
                const double e = 0.5;
                const double gx = logoDistance(x + 0.5 + e, y + 0.5) - logoDistance(x + 0.5 - e, y + 0.5);
                const double gy = logoDistance(x + 0.5, y + 0.5 + e) - logoDistance(x + 0.5, y + 0.5 - e);
                const double lit = clamp01(0.5 + 0.7 * (gx + gy) * (1.0 + d / 6.0));
                c = mix(c, Rgb{lit, lit, lit}, 0.6 * (1.0 + d / 6.0));
            }
            const Rgb glow = {0.2, 0.8, 1.0};
            img.set(x, y, mix(glow, c, clamp01(0.5 - d)));
        }
}

void fillLogoAlpha(const Ctx &, Image & img)
{
    img.init(512, 256, 1);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 512; ++x)
        {
            const double d = logoDistance(x + 0.5, y + 0.5);
            const double cover = clamp01(0.5 - d);
            const double glow = d > 0 ? 0.5 * std::exp(-d / 7.0) : 0.0;
            img.setGrey(x, y, std::max(cover, glow));
        }
}

// ---- plasma: eight frames of a looping, tiling plasma; every wave has whole numbers of
// periods across the image and in time, so frame 8 flows into frame 1 and edges meet.
void fillPlasma(const Ctx & ctx, Image & img)
{
    img.init(256, 256, 3);
    const double t = 2 * kPi * ctx.frame / 8.0;
    struct Wave
    {
        int kx, ky, kt;
        double phase;
    };
    Rng r(ctx.seed + 8);
    Wave aWave[4] = {{2, 1, 1, 0}, {-1, 3, -1, 0}, {3, -2, 1, 0}, {1, 1, 2, 0}};
    for (Wave & w : aWave)
        w.phase = r.range(0, 2 * kPi);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
        {
            double v = 0;
            for (const Wave & w : aWave)
                v += std::sin(2 * kPi * (w.kx * x + w.ky * y) / 256.0 + w.kt * t + w.phase);
            v = v / 4.0; // -1..1
            const double a = kPi * v * 2.0 + t;
            img.set(x, y,
                    Rgb{0.5 + 0.5 * std::sin(a), 0.5 + 0.5 * std::sin(a + 2.0 * kPi / 3 + 0.6 * v),
                        0.5 + 0.5 * std::sin(a + 4.0 * kPi / 3)});
        }
}

// ---- offset tables: a source image and the column (X) and row (Y) maps of two
// distortions. Texel i of the effect shows source pixel (X[i], Y[i] + t) where X and Y are the
// red bytes of the maps, so the source must tile: the time scrolls it by rows, wrapping.
void fillOffsetSource(const Ctx & ctx, Image & img)
{
    img.init(256, 256, 3);
    Noise n(ctx.seed + 9);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
        {
            // Glowing cells, 32 pixels square, their hue turning once over the 256 rows.
            const double cx = ((x & 31) - 15.5) / 16.0, cy = ((y & 31) - 15.5) / 16.0;
            const double cell = std::max(std::fabs(cx), std::fabs(cy));
            const double rim = smoothstep(0.7, 0.95, cell);
            const double hue = 2 * kPi * y / 256.0;
            const Rgb tint = {0.5 + 0.5 * std::sin(hue), 0.5 + 0.5 * std::sin(hue + 2.1), 0.5 + 0.5 * std::sin(hue + 4.2)};
            const double cloud = 0.5 + 0.5 * n.fbm2(x / 64.0, y / 64.0, 4, 4);
            Rgb c = {tint.r * 0.25 * cloud, tint.g * 0.25 * cloud, tint.b * 0.25 * cloud};
            c = mix(c, mix(tint, Rgb{1, 1, 1}, 0.4), rim);
            if (((x >> 5) + (y >> 5)) & 1)
                c = {c.r * 0.6, c.g * 0.6, c.b * 0.6};
            img.set(x, y, c);
        }
}

// Tunnel: X is the angle around the centre (one turn = 256 columns), Y the depth, 8192 / r
// rows (the walls recede as the radius shrinks).
int tunnelX(int x, int y)
{
    const double a = std::atan2(y - 127.5, x - 127.5); // -pi..pi
    return (int)std::floor((a + kPi) / (2 * kPi) * 256.0) & 255;
}

int tunnelY(int x, int y)
{
    // Inside radius 24 the rows would wrap every few pixels: the far end is one row.
    const double r = std::max(24.0, std::sqrt((x - 127.5) * (x - 127.5) + (y - 127.5) * (y - 127.5)));
    return (int)std::floor(8192.0 / r) & 255;
}

// Ripple: each texel looks a few pixels aside along a sine, like light through water.
int rippleX(int x, int y) { return std::clamp((int)std::lround(x + 6.0 * std::sin(2 * kPi * y / 64.0)), 0, 255); }
int rippleY(int x, int y) { return std::clamp((int)std::lround(y + 6.0 * std::sin(2 * kPi * x / 64.0)), 0, 255); }

template <int (*Map)(int, int)>
void fillTable(const Ctx &, Image & img)
{
    img.init(256, 256, 1);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            img.px[(size_t)y * 256 + x] = (unsigned char)Map(x, y);
}

// ---- sky: six faces of a seamless nebula sky box. Face f and texel (x, y) look along the
// Direct3D cube map direction: +X (1, -t, -s), -X (-1, -t, s), +Y (s, 1, t), -Y (s, -1, -t),
// +Z (s, -t, 1), -Z (-s, -t, -1) with s, t the texel centre in -1..1; the colour is a function
// of the direction alone, so the edges of neighbouring faces meet.
void skyDirection(int face, double s, double t, double * d)
{
    const double a[6][3] = {{1, -t, -s}, {-1, -t, s}, {s, 1, t}, {s, -1, -t}, {s, -t, 1}, {-s, -t, -1}};
    const double len = std::sqrt(a[face][0] * a[face][0] + a[face][1] * a[face][1] + a[face][2] * a[face][2]);
    for (int i = 0; i < 3; ++i)
        d[i] = a[face][i] / len;
}

Rgb skyColor(const Noise & n, const double * d)
{
    const double neb = 0.5 + 0.5 * n.fbm3(d[0] * 2.2, d[1] * 2.2, d[2] * 2.2, 6);
    const double band = std::exp(-std::pow((d[1] + 0.3 * d[0]) * 2.5, 2.0)); // a galactic band
    const double dense = smoothstep(0.3, 0.8, neb) * (0.35 + 0.65 * band);
    Rgb c = {0.01, 0.01, 0.04};
    c = mix(c, Rgb{0.60, 0.15, 0.65}, dense);
    c = mix(c, Rgb{0.30, 0.65, 1.00}, smoothstep(0.55, 0.9, neb) * band);
    // Stars: sharp peaks of a fine noise.
    const double s = n.get3(d[0] * 90, d[1] * 90, d[2] * 90);
    const double star = std::pow(clamp01((s - 0.55) * 3.0), 2.0);
    return {c.r + star, c.g + star, c.b + star * 1.1};
}

void fillSky(const Ctx & ctx, Image & img)
{
    img.init(256, 256, 3);
    Noise n(ctx.seed + 10);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
        {
            double d[3];
            skyDirection(ctx.frame, (x + 0.5) / 128.0 - 1.0, (y + 0.5) / 128.0 - 1.0, d);
            img.set(x, y, skyColor(n, d));
        }
}

enum eKind
{
    e_colour, // written at the chosen quality
    e_data,   // alpha, height and table maps: quality 100
};

struct Entry
{
    std::string stem;
    FillFn pfnFill;
    int frame;
    eKind kind;
    const char * szAbout;
};

std::vector<Entry> entries()
{
    std::vector<Entry> v = {
        {"noise", &fillNoise, 0, e_colour, "domain-warped clouds, blue to white, tiles"},
        {"marble", &fillMarble, 0, e_colour, "cream marble with dark veins, tiles"},
        {"metal", &fillMetal, 0, e_colour, "brushed steel plates, seams and rivets, tiles"},
        {"wood", &fillWood, 0, e_colour, "four planks with grain and joints, tiles"},
        {"rock", &fillRock, 0, e_colour, "ridged rock with lichen, lit from the top left, tiles"},
        {"rock_height", &fillRockHeight, 0, e_data, "height map of rock, for bump mapping"},
        {"tiles", &fillTiles, 0, e_colour, "4 x 4 glazed tiles with grout"},
        {"tiles_height", &fillTilesHeight, 0, e_data, "height map of tiles, for bump mapping"},
        {"gradient_sunset", &fillSunset, 0, e_colour, "vertical sunset sky ramp, dithered"},
        {"gradient_ocean", &fillOcean, 0, e_colour, "vertical light-to-deep-blue ramp, dithered"},
        {"glow", &fillGlow, 0, e_colour, "128 x 128 white-hot light, orange rim"},
        {"glow_alpha", &fillGlowAlpha, 0, e_data, "alpha of glow: soft round falloff"},
        {"vignette", &fillVignette, 0, e_colour, "128 x 128 black"},
        {"vignette_alpha", &fillVignetteAlpha, 0, e_data, "alpha of vignette: dark corners"},
        {"logo", &fillLogo, 0, e_colour, "512 x 256 chrome \"qor\" with cyan glow"},
        {"logo_alpha", &fillLogoAlpha, 0, e_data, "alpha of logo: letters and glow"},
        {"ot_source", &fillOffsetSource, 0, e_colour, "offset-table source: glowing cells, hue by row, tiles"},
        {"ot_tunnel_x", &fillTable<tunnelX>, 0, e_data, "tunnel columns: angle, one turn = 256"},
        {"ot_tunnel_y", &fillTable<tunnelY>, 0, e_data, "tunnel rows: 8192 / max(radius, 24), mod 256"},
        {"ot_ripple_x", &fillTable<rippleX>, 0, e_data, "ripple columns: x + 6 sin(2 pi y / 64)"},
        {"ot_ripple_y", &fillTable<rippleY>, 0, e_data, "ripple rows: y + 6 sin(2 pi x / 64)"},
    };
    for (int i = 0; i < 8; ++i)
    {
        char acStem[32];
        std::snprintf(acStem, sizeof(acStem), "plasma_%03d", i + 1);
        v.push_back({acStem, &fillPlasma, i, e_colour, "plasma animation frame (8, looping)"});
    }
    const char * aszFace[6] = {"px", "nx", "py", "ny", "pz", "nz"};
    for (int i = 0; i < 6; ++i)
        v.push_back({std::string("sky_") + aszFace[i], &fillSky, i, e_colour, "sky box face (+X -X +Y -Y +Z -Z)"});
    return v;
}

int usage(const char * szError)
{
    if (szError)
        std::fprintf(stderr, "qor-gen-images: %s\n", szError);
    std::fprintf(stderr, "usage: qor-gen-images OUT [--seed N] [--quality Q] [--only STEM]... [--manifest FILE] [--list]\n"
                         "  writes OUT/maps/STEM.jpg for every image (or the --only ones)\n"
                         "  --manifest FILE  also write the paths written, relative to OUT, one a line\n"
                         "  --seed N     content seed, 0..4294967295 (default 243)\n"
                         "  --quality Q  JPEG quality of colour textures, 50..100 (default 92)\n"
                         "  --list       print the stems and what they hold, write nothing\n");
    return e_exitUsage;
}
} // namespace

int main(int argc, char ** argv)
{
    std::string out;
    long seed = 243, quality = 92;
    bool bList = false;
    std::vector<std::string> only;
    std::string manifest;
    for (int i = 1; i < argc; ++i)
    {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h")
        {
            usage(nullptr);
            return e_exitOk;
        }
        else if (a == "--seed" && i + 1 < argc)
        {
            if (!parseInt(argv[++i], 0, 4294967295L, seed))
                return usage("--seed takes a number from 0 to 4294967295");
        }
        else if (a == "--quality" && i + 1 < argc)
        {
            if (!parseInt(argv[++i], 50, 100, quality))
                return usage("--quality takes a number from 50 to 100");
        }
        else if (a == "--only" && i + 1 < argc)
            only.push_back(argv[++i]);
        else if (a == "--manifest" && i + 1 < argc)
            manifest = argv[++i];
        else if (a == "--list")
            bList = true;
        else if (!a.empty() && a[0] == '-')
            return usage(("unknown option or missing value: " + a).c_str());
        else if (out.empty())
            out = a;
        else
            return usage("one output folder only");
    }
    std::vector<Entry> all = entries();
    if (bList)
    {
        for (const Entry & e : all)
            std::printf("%s\t%s\n", e.stem.c_str(), e.szAbout);
        return e_exitOk;
    }
    if (out.empty())
        return usage("no output folder");
    std::vector<Entry> todo;
    for (const std::string & s : only)
    {
        bool bFound = false;
        for (const Entry & e : all)
            if (e.stem == s)
            {
                todo.push_back(e);
                bFound = true;
            }
        if (!bFound)
            return usage(("no image named " + s + " (see --list)").c_str());
    }
    if (only.empty())
        todo = all;

    std::string err;
    const std::string maps = out + "/maps";
    if (!makeFolders(maps, err))
    {
        std::fprintf(stderr, "qor-gen-images: %s\n", err.c_str());
        return e_exitFailure;
    }
    // Two workers take the images in turn; each image is independent of the others.
    std::atomic<size_t> next(0);
    std::atomic<int> nFailed(0);
    auto work = [&]() {
        for (size_t i = next++; i < todo.size(); i = next++)
        {
            const Entry & e = todo[i];
            Image img;
            e.pfnFill(Ctx{(uint64_t)seed, e.frame}, img);
            std::vector<unsigned char> jpeg;
            std::string why;
            const std::string path = maps + "/" + e.stem + ".jpg";
            if (!encodeJpeg(img.w, img.h, img.nComp, img.px.data(), e.kind == e_data ? 100 : (int)quality, jpeg))
                why = path + ": JPEG encoding failed";
            else
                writeFileSafe(path, jpeg.data(), jpeg.size(), why);
            if (!why.empty())
            {
                std::fprintf(stderr, "qor-gen-images: %s\n", why.c_str());
                ++nFailed;
            }
        }
    };
    std::thread helper(work);
    work();
    helper.join();
    if (nFailed)
        return e_exitFailure;
    if (!manifest.empty())
    {
        std::string text;
        for (const Entry & e : todo)
            text += "maps/" + e.stem + ".jpg\n";
        if (!writeFileSafe(manifest, text.data(), text.size(), err))
        {
            std::fprintf(stderr, "qor-gen-images: %s\n", err.c_str());
            return e_exitFailure;
        }
    }
    return e_exitOk;
}
