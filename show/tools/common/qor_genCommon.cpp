#include "qor_genCommon.h"

#include "qor_fileUtil.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <jpeglib.h>

namespace qorg
{
bool readFileBounded(const std::string & path, size_t nMax, std::vector<unsigned char> & out, std::string & err)
{
    // Everything a generator reads is an input of its run: no output may replace it.
    qoru_trackInputs();
    std::string data, why;
    if (!qoru_readFile(path.c_str(), nMax, &data, &why))
    {
        err = path + ": " + why;
        return false;
    }
    out.assign(data.begin(), data.end());
    return true;
}

bool writeFileSafe(const std::string & path, const void * p, size_t n, std::string & err)
{
    std::string why;
    if (!qoru_writeFile(path.c_str(), p, n, nullptr, &why))
    {
        err = path + ": " + why;
        return false;
    }
    return true;
}

bool checkOutputPath(const std::string & path, std::string & err)
{
    std::string why;
    if (!qoru_checkOutput(path.c_str(), nullptr, &why))
    {
        err = path + ": " + why;
        return false;
    }
    struct stat st;
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    {
        err = path + ": the folder " + folder + " does not exist";
        return false;
    }
    return true;
}

bool makeFolders(const std::string & path, std::string & err)
{
    std::string part;
    size_t pos = 0;
    while (pos <= path.size())
    {
        size_t next = path.find('/', pos);
        if (next == std::string::npos)
            next = path.size();
        part = path.substr(0, next);
        pos = next + 1;
        if (part.empty() || part == "." || part == "..")
            continue;
        struct stat st;
        if (stat(part.c_str(), &st) == 0)
        {
            if (!S_ISDIR(st.st_mode))
            {
                err = part + ": exists and is not a folder";
                return false;
            }
            continue;
        }
        if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST)
        {
            err = part + ": cannot create the folder: " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

namespace
{
struct JpegError
{
    jpeg_error_mgr mgr;
    bool bFailed;
};
// The library's default handler exits the process; an encoder error here only means a
// failure of this one image.
void onJpegError(j_common_ptr pInfo)
{
    JpegError * p = (JpegError *)pInfo->err;
    p->bFailed = true;
    char acMessage[JMSG_LENGTH_MAX];
    (*pInfo->err->format_message)(pInfo, acMessage);
    std::fprintf(stderr, "jpeg: %s\n", acMessage);
}
} // namespace

bool encodeJpeg(int w, int h, int nComp, const unsigned char * pPixels, int quality, std::vector<unsigned char> & out)
{
    if (w <= 0 || h <= 0 || (nComp != 1 && nComp != 3) || w > 16384 || h > 16384)
        return false;
    jpeg_compress_struct info;
    JpegError err;
    info.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = &onJpegError;
    err.bFailed = false;
    jpeg_create_compress(&info);
    unsigned char * pOut = nullptr;
    unsigned long nOut = 0;
    jpeg_mem_dest(&info, &pOut, &nOut);
    info.image_width = (JDIMENSION)w;
    info.image_height = (JDIMENSION)h;
    info.input_components = nComp;
    info.in_color_space = nComp == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.dct_method = JDCT_ISLOW;
    info.optimize_coding = TRUE;
    for (int i = 0; i < info.num_components; ++i)
        info.comp_info[i].h_samp_factor = info.comp_info[i].v_samp_factor = 1;
    jpeg_start_compress(&info, TRUE);
    while (!err.bFailed && info.next_scanline < info.image_height)
    {
        JSAMPROW row = const_cast<unsigned char *>(pPixels + (size_t)info.next_scanline * w * nComp);
        jpeg_write_scanlines(&info, &row, 1);
    }
    if (!err.bFailed)
        jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    if (!err.bFailed)
        out.assign(pOut, pOut + nOut);
    std::free(pOut);
    return !err.bFailed;
}

bool parseInt(const char * sz, long lo, long hi, long & value)
{
    if (!sz || !*sz)
        return false;
    errno = 0;
    char * pEnd = nullptr;
    const long v = std::strtol(sz, &pEnd, 10);
    if (errno != 0 || *pEnd != 0 || v < lo || v > hi)
        return false;
    value = v;
    return true;
}

Noise::Noise(uint64_t seed) : m_seed(Rng(seed ^ 0x5EEDull).next()) {}

uint32_t Noise::hash(int x, int y, int z) const
{
    uint64_t h = m_seed;
    h ^= (uint64_t)(uint32_t)x * 0x9E3779B185EBCA87ull;
    h ^= (uint64_t)(uint32_t)y * 0xC2B2AE3D27D4EB4Full;
    h ^= (uint64_t)(uint32_t)z * 0x165667B19E3779F9ull;
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 32;
    return (uint32_t)h;
}

namespace
{
inline double fade(double t) { return t * t * t * (t * (t * 6.0 - 15.0) + 10.0); }
inline int wrap(int v, int period) { return period > 0 ? ((v % period) + period) % period : v; }

// Twelve gradient directions of equal length, taken by the hash.
const double s_aGrad3[12][3] = {{1, 1, 0}, {-1, 1, 0}, {1, -1, 0}, {-1, -1, 0}, {1, 0, 1}, {-1, 0, 1},
                                {1, 0, -1}, {-1, 0, -1}, {0, 1, 1}, {0, -1, 1}, {0, 1, -1}, {0, -1, -1}};
} // namespace

double Noise::get2(double x, double y, int period) const
{
    const double fx = std::floor(x), fy = std::floor(y);
    const int ix = (int)fx, iy = (int)fy;
    const double dx = x - fx, dy = y - fy;
    double acCorner[4];
    for (int c = 0; c < 4; ++c)
    {
        const int cx = c & 1, cy = c >> 1;
        const uint32_t h = hash(wrap(ix + cx, period), wrap(iy + cy, period), 0);
        const double angle = (double)(h & 0xFFFF) * (6.283185307179586 / 65536.0);
        acCorner[c] = std::cos(angle) * (dx - cx) + std::sin(angle) * (dy - cy);
    }
    const double u = fade(dx), v = fade(dy);
    // A unit gradient gives at most sqrt(1/2) at the cell centre: scale to about [-1, 1].
    return 1.41421356 * mix(mix(acCorner[0], acCorner[1], u), mix(acCorner[2], acCorner[3], u), v);
}

double Noise::get3(double x, double y, double z) const
{
    const double fx = std::floor(x), fy = std::floor(y), fz = std::floor(z);
    const int ix = (int)fx, iy = (int)fy, iz = (int)fz;
    const double dx = x - fx, dy = y - fy, dz = z - fz;
    double acCorner[8];
    for (int c = 0; c < 8; ++c)
    {
        const int cx = c & 1, cy = (c >> 1) & 1, cz = c >> 2;
        const double * g = s_aGrad3[hash(ix + cx, iy + cy, iz + cz) % 12];
        acCorner[c] = g[0] * (dx - cx) + g[1] * (dy - cy) + g[2] * (dz - cz);
    }
    const double u = fade(dx), v = fade(dy), w = fade(dz);
    const double a = mix(mix(acCorner[0], acCorner[1], u), mix(acCorner[2], acCorner[3], u), v);
    const double b = mix(mix(acCorner[4], acCorner[5], u), mix(acCorner[6], acCorner[7], u), v);
    return mix(a, b, w);
}

double Noise::fbm2(double x, double y, int nOctave, int period, double gain) const
{
    double sum = 0.0, amp = 1.0, norm = 0.0, freq = 1.0;
    for (int i = 0; i < nOctave; ++i)
    {
        sum += amp * get2(x * freq, y * freq, period > 0 ? period * (int)freq : 0);
        norm += amp;
        amp *= gain;
        freq *= 2.0;
    }
    return sum / norm;
}

double Noise::fbm3(double x, double y, double z, int nOctave, double gain) const
{
    double sum = 0.0, amp = 1.0, norm = 0.0, freq = 1.0;
    for (int i = 0; i < nOctave; ++i)
    {
        sum += amp * get3(x * freq, y * freq, z * freq);
        norm += amp;
        amp *= gain;
        freq *= 2.0;
    }
    return sum / norm;
}

double Noise::ridged2(double x, double y, int nOctave, int period) const
{
    double sum = 0.0, amp = 1.0, norm = 0.0, freq = 1.0, weight = 1.0;
    for (int i = 0; i < nOctave; ++i)
    {
        double n = 1.0 - std::fabs(get2(x * freq, y * freq, period > 0 ? period * (int)freq : 0));
        n = n * n * weight;
        weight = clamp01(n * 2.0);
        sum += amp * n;
        norm += amp;
        amp *= 0.5;
        freq *= 2.0;
    }
    return sum / norm;
}

Rgb ramp(const double * pPos, const Rgb * pColor, int n, double t)
{
    if (t <= pPos[0])
        return pColor[0];
    for (int i = 1; i < n; ++i)
        if (t <= pPos[i])
            return mix(pColor[i - 1], pColor[i], (t - pPos[i - 1]) / (pPos[i] - pPos[i - 1]));
    return pColor[n - 1];
}
} // namespace qorg
