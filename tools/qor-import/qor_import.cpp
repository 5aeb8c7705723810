// qor-import: scenes of common 3D formats (glTF 2.0, FBX, COLLADA, OBJ, 3DS, X ... whatever
// Assimp reads) into the engine's scene file, its animation file and JPEG textures.
//
//   qor-import IN -o OUT.s3d [--textures DIR] [--scale S] [--fps N] [--name-prefix P]
//
// Writes OUT.s3d, OUT.s3d.MOT and, under DIR (default: "maps" beside OUT.s3d), one NAME.jpg per
// texture (NAME_a.jpg for its alpha). What cannot be converted is reported on standard error as
// a warning; exit 0 when the files were written, 1 when nothing usable could be, 2 bad usage.
#include "qor_importConvert.h"
#include "qor_fileUtil.h"
#include "qor_importIO.h"

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <csignal>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{
constexpr int e_exitOk = 0;
constexpr int e_exitFailure = 1;
constexpr int e_exitUsage = 2;
// Largest input model read.
constexpr uint64_t e_maxInput = 512ull * 1024 * 1024;

void usage(FILE * pOut)
{
    std::fprintf(pOut, "usage: qor-import IN -o OUT.s3d [--textures DIR] [--scale S] [--fps N] [--name-prefix P]\n"
                       "  writes OUT.s3d, OUT.s3d.MOT and the textures as DIR/NAME.jpg (default DIR: maps beside OUT)\n"
                       "  --scale S        multiplies every distance (default 1)\n"
                       "  --fps N          animation samples per second (default 30)\n"
                       "  --name-prefix P  put before every object, material and texture name\n"
                       "exit codes: 0 written, 1 nothing usable, 2 bad usage\n");
}

int usageError(const std::string & s)
{
    std::fprintf(stderr, "qor-import: %s\n\n", s.c_str());
    usage(stderr);
    return e_exitUsage;
}

int failure(const std::string & s)
{
    std::fprintf(stderr, "qor-import: %s\n", s.c_str());
    return e_exitFailure;
}

bool parseFloat(const char * sz, float * pf)
{
    char * pEnd = nullptr;
    errno = 0;
    const float f = std::strtof(sz, &pEnd);
    if (errno || pEnd == sz || *pEnd || !(f > 0) || f > 1e6f)
        return false;
    *pf = f;
    return true;
}

bool parseUnsigned(const char * sz, unsigned * pn)
{
    char * pEnd = nullptr;
    errno = 0;
    const unsigned long n = std::strtoul(sz, &pEnd, 10);
    if (errno || pEnd == sz || *pEnd || n == 0 || n > 1000)
        return false;
    *pn = unsigned(n);
    return true;
}

// Assimp's readers allocate from counts in the file (a 309-byte OFF file asks for gigabytes):
// the tool caps its own address space so that such an allocation fails inside Assimp, which
// reports it as a failed read. The sanitizers reserve far more address space than they use,
// so their builds keep the limit off.
#if defined(__SANITIZE_ADDRESS__)
#define QOR_IMPORT_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QOR_IMPORT_SANITIZED 1
#endif
#endif
void limitMemory()
{
#ifndef QOR_IMPORT_SANITIZED
    constexpr unsigned long long e_maxAddressSpace = 4ull * 1024 * 1024 * 1024;
    struct rlimit lim;
    if (getrlimit(RLIMIT_AS, &lim) == 0 && (lim.rlim_cur == RLIM_INFINITY || lim.rlim_cur > e_maxAddressSpace))
    {
        lim.rlim_cur = e_maxAddressSpace;
        setrlimit(RLIMIT_AS, &lim);
    }
#endif
}

// Some of Assimp's readers never finish on broken input (a 180-byte PLY file loops): the tool
// gives itself e_maxCpuSeconds of processor time, then reports and exits 1.
constexpr rlim_t e_maxCpuSeconds = 300;

void onCpuLimit(int)
{
    static const char s_sz[] = "qor-import: reading the model took more processor time than allowed (300 s at most); giving up\n";
    const ssize_t n = write(2, s_sz, sizeof(s_sz) - 1);
    (void)n;
    _exit(1);
}

void limitTime()
{
    std::signal(SIGXCPU, onCpuLimit);
    struct rlimit lim;
    if (getrlimit(RLIMIT_CPU, &lim) == 0 && (lim.rlim_cur == RLIM_INFINITY || lim.rlim_cur > e_maxCpuSeconds))
    {
        lim.rlim_cur = e_maxCpuSeconds;
        if (lim.rlim_max != RLIM_INFINITY && lim.rlim_max < lim.rlim_cur)
            lim.rlim_cur = lim.rlim_max;
        setrlimit(RLIMIT_CPU, &lim);
    }
}

std::string folderOf(const std::string & path)
{
    const size_t n = path.find_last_of('/');
    return n == std::string::npos ? std::string(".") : n == 0 ? std::string("/") : path.substr(0, n);
}
} // namespace

int main(int argc, char ** argv)
{
    std::string in, out, textures;
    qor_sImportOptions options;
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        auto value = [&](const char * szWhat) -> const char * {
            if (i + 1 >= argc)
                return nullptr;
            (void)szWhat;
            return argv[++i];
        };
        if (arg == "-h" || arg == "--help")
        {
            usage(stdout);
            return e_exitOk;
        }
        else if (arg == "-o")
        {
            const char * sz = value("-o");
            if (!sz)
                return usageError("-o needs a file");
            out = sz;
        }
        else if (arg == "--textures")
        {
            const char * sz = value("--textures");
            if (!sz)
                return usageError("--textures needs a folder");
            textures = sz;
        }
        else if (arg == "--scale")
        {
            const char * sz = value("--scale");
            if (!sz || !parseFloat(sz, &options.m_fScale))
                return usageError("--scale needs a number above 0");
        }
        else if (arg == "--fps")
        {
            const char * sz = value("--fps");
            if (!sz || !parseUnsigned(sz, &options.m_nFps))
                return usageError("--fps needs a whole number from 1 to 1000");
        }
        else if (arg == "--name-prefix")
        {
            const char * sz = value("--name-prefix");
            if (!sz)
                return usageError("--name-prefix needs a text");
            options.m_strPrefix = sz;
        }
        else if (arg.size() > 1 && arg[0] == '-')
            return usageError("unknown option \"" + arg + "\"");
        else if (in.empty())
            in = arg;
        else
            return usageError("more than one input");
    }
    if (in.empty())
        return usageError("no input");
    if (out.empty())
        return usageError("no output (-o OUT.s3d)");
    if (options.m_strPrefix.size() > 32)
        return usageError("--name-prefix is longer than 32 characters");
    if (textures.empty())
        textures = folderOf(out) + "/maps";

    // The input must be a regular file of bounded size before Assimp opens it.
    {
        std::string strError;
        FILE * pFile = qoru_fopenRead(in.c_str(), e_maxInput, nullptr, &strError);
        if (!pFile)
            return failure(in + ": cannot open as a regular file (" + strError + ")");
        std::fclose(pFile);
    }
    options.m_strModelDir = folderOf(in);

    limitMemory();
    limitTime();
    Assimp::Importer importer;
    importer.SetIOHandler(new qor_cImportIOSystem(true));  // the importer owns it
    importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE, aiPrimitiveType_POINT | aiPrimitiveType_LINE);
    importer.SetPropertyInteger(AI_CONFIG_PP_LBW_MAX_WEIGHTS, 4);
    const aiScene * pScene = importer.ReadFile(in, qoru_importPostProcessFlags());
    if (!pScene)
        return failure(in + ": " + importer.GetErrorString());

    qor_sImportResult result;
    const bool bConverted = qoru_importConvert(*pScene, options, &result);
    for (const std::string & w : result.m_warnings)
        std::fprintf(stderr, "qor-import: warning: %s\n", w.c_str());
    if (!bConverted)
        return failure(in + ": nothing could be converted");

    if (!result.m_textures.empty())
    {
        struct stat st;
        if (stat(textures.c_str(), &st) != 0 && mkdir(textures.c_str(), 0755) != 0)
            return failure(textures + ": cannot create the texture folder");
        if (stat(textures.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return failure(textures + ": not a folder");
    }
    // Never over the input, nor over anything that is not a regular file.
    const std::string mot = out + ".MOT";
    std::string strError;
    if (!qoru_checkOutput(out.c_str(), in.c_str(), &strError))
        return failure(out + ": " + strError);
    if (!qoru_checkOutput(mot.c_str(), in.c_str(), &strError))
        return failure(mot + ": " + strError);
    const std::vector<char> image = result.m_pScene->image();
    if (image.empty() || !qoru_writeFile(out.c_str(), image.data(), image.size(), in.c_str(), &strError))
        return failure(out + ": cannot write: " + strError);
    if (!result.m_anim.save(mot.c_str()))
        return failure(mot + ": cannot write");
    for (const qor_sImportTexture & t : result.m_textures)
    {
        std::string err;
        if (!qoru_importWriteJpeg(textures + "/" + t.m_strName + ".jpg", t.m_image, t.m_bAlpha, &err))
            std::fprintf(stderr, "qor-import: warning: texture \"%s\": %s\n", t.m_strName.c_str(), err.c_str());
    }
    std::printf("%s: %u objects, %u meshes, %zu images\n", out.c_str(), result.m_nObjects, result.m_nMeshes,
                result.m_textures.size());
    return e_exitOk;
}
