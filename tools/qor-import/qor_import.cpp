// qor-import: scenes of common 3D formats (glTF 2.0, FBX, COLLADA, OBJ, 3DS, X ... whatever
// Assimp reads) into the engine's scene file, its animation file and JPEG textures.
//
//   qor-import IN -o OUT.s3d [--textures DIR] [--scale S | --fit SIZE] [--fps N] [--anim NAME|INDEX]
//              [--stage [--orbit UNITS]] [--name-prefix P] [--allow-outside] [--time-limit S]
//
// Writes OUT.s3d, OUT.s3d.MOT and, under DIR, one NAME.jpg per texture (NAME_a.jpg for its
// alpha). DIR defaults to where the engine looks for them, "maps" in the folder it runs from:
// beside OUT's folder when that is a show's "scenes" folder, else inside OUT's folder. What
// cannot be converted is reported on standard error as a warning; exit 0 when the files were written, 1 when nothing usable could be, 2 bad usage.
//
// Assimp's readers can crash, assert or loop on broken files: the reading and the conversion
// run in a child process with its own limits (processor time, address space, a large stack, no
// core file), which sends the finished files' bytes back through a pipe. Only the parent writes,
// after every output has been checked: each is written beside its path and renamed, never over
// a path that is not a regular file, a symbolic link, or any file the run read.
#include "qor_fileUtil.h"
#include "qor_importConvert.h"
#include "qor_importGltf.h"
#include "qor_importIO.h"

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <pthread.h>
#include <set>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{
constexpr int e_exitOk = 0;
constexpr int e_exitFailure = 1;
constexpr int e_exitUsage = 2;
// Largest input model read.
constexpr uint64_t e_maxInput = 512ull * 1024 * 1024;
// Processor time the reading and conversion may take unless --time-limit says otherwise.
constexpr unsigned e_defaultSeconds = 60;
// Stack of the thread that reads and converts: Assimp's readers and post-processing steps walk
// node hierarchies by recursion.
constexpr size_t e_stackSize = 256u * 1024 * 1024;

void usage(FILE * pOut)
{
    std::fprintf(
        pOut,
        "usage: qor-import IN -o OUT.s3d [--textures DIR] [--scale S | --fit SIZE] [--fps N]\n"
        "                  [--anim NAME|INDEX] [--stage [--orbit UNITS]] [--name-prefix P] [--allow-outside]\n"
        "                  [--time-limit S]\n"
        "  writes OUT.s3d, OUT.s3d.MOT and the textures as DIR/NAME.jpg (default DIR: OUT's folder/maps,\n"
        "  or maps beside it when that folder is named scenes)\n"
        "  --scale S        multiplies every distance (default 1)\n"
        "  --fit SIZE       scales the model so that its largest extent is SIZE\n"
        "  --fps N          animation samples per second (default 30)\n"
        "  --anim NAME|INDEX  the animation to convert (default: the first)\n"
        "  --stage          adds a camera framing the model when it has none, and two lights\n"
        "                   when it has none\n"
        "  --orbit UNITS    with --stage: the added camera circles the model once in UNITS (1/30 s)\n"
        "  --name-prefix P  put before every object, material and texture name (no \"/\", \"\\\" or \"..\")\n"
        "  --allow-outside  read files the model refers to outside its own folder too\n"
        "  --time-limit S   processor seconds for reading and converting the model (default %u)\n"
        "exit codes: 0 written, 1 nothing usable, 2 bad usage\n",
        e_defaultSeconds);
}

int usageError(const std::string & s)
{
    std::fprintf(stderr, "qor-import: %s\n\n", s.c_str());
    usage(stderr);
    return e_exitUsage;
}

// One line: the message's own line breaks become spaces.
int failure(std::string s)
{
    for (char & c : s)
        if (c == '\n' || c == '\r')
            c = ' ';
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
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

bool parseUnsigned(const char * sz, unsigned nMax, unsigned * pn)
{
    char * pEnd = nullptr;
    errno = 0;
    const unsigned long n = std::strtoul(sz, &pEnd, 10);
    if (errno || pEnd == sz || *pEnd || n == 0 || n > nMax || *sz == '-')
        return false;
    *pn = unsigned(n);
    return true;
}

std::string folderOf(const std::string & path)
{
    const size_t n = path.find_last_of('/');
    return n == std::string::npos ? std::string(".") : n == 0 ? std::string("/") : path.substr(0, n);
}

// ---- the child: reading and converting --------------------------------------------------------

// Assimp's readers allocate from counts in the file (a 309-byte OFF file asks for gigabytes):
// the child caps its address space so that such an allocation fails inside Assimp, which
// reports it as a failed read. The sanitizers reserve far more address space than they use,
// so their builds keep the limit off.
#if defined(__SANITIZE_ADDRESS__)
#define QOR_IMPORT_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QOR_IMPORT_SANITIZED 1
#endif
#endif

void setLimit(int nResource, rlim_t nSoft, rlim_t nHard)
{
    struct rlimit lim;
    if (getrlimit(nResource, &lim) != 0)
        return;
    if (lim.rlim_max != RLIM_INFINITY && nHard > lim.rlim_max)
        nHard = lim.rlim_max;
    if (nSoft > nHard)
        nSoft = nHard;
    if (lim.rlim_cur != RLIM_INFINITY && lim.rlim_cur < nSoft)
        return;
    lim.rlim_cur = nSoft;
    lim.rlim_max = nHard;
    setrlimit(nResource, &lim);
}

// Records sent from the child to the parent: a tag byte, a 64-bit length, the bytes.
enum eRecord : char
{
    e_warning = 'W',
    e_error = 'E',
    e_scene = 'S',
    e_anim = 'M',
    e_textureName = 'N',
    e_textureData = 'T',
    e_read = 'R',
    e_counts = 'C',
    e_done = 'D',
};

void record(std::string * pOut, char cTag, const std::string & data)
{
    pOut->push_back(cTag);
    uint64_t n = data.size();
    pOut->append(reinterpret_cast<const char *>(&n), sizeof(n));
    pOut->append(data);
}

struct sJob
{
    std::string m_strIn;
    qor_sImportOptions m_options;
    bool m_bAllowOutside = false;
    std::string m_out; // the records
};

// The animation file's bytes: the writer saves to a path, here a file in memory.
bool animBytes(const qor_cMotWriter & anim, std::string * pBytes)
{
    // The writer seeks back to fill in chunk sizes, so it writes a real file: one in a private
    // temporary folder (an output path never goes through a link, /proc/self/fd included).
    cchar * szTmp = std::getenv("TMPDIR");
    std::string strDir = std::string(szTmp && *szTmp ? szTmp : "/tmp") + "/qor-import-XXXXXX";
    if (!mkdtemp(strDir.data()))
        return false;
    const std::string strPath = strDir + "/anim.MOT";
    std::string strError;
    const bool bOk = anim.save(strPath.c_str()) && qoru_readFile(strPath.c_str(), kQorMaxFileSize, pBytes, &strError);
    unlink(strPath.c_str());
    rmdir(strDir.c_str());
    return bOk;
}

void convert(sJob & job)
{
    std::string & out = job.m_out;
    qor_cImportFiles files(job.m_strIn, job.m_bAllowOutside);
    auto sendReads = [&]() {
        for (const qor_cImportFiles::tId & id : files.reads())
            record(&out, e_read,
                   std::string(reinterpret_cast<const char *>(&id.first), 8) +
                       std::string(reinterpret_cast<const char *>(&id.second), 8));
        for (const std::string & w : files.warnings())
            record(&out, e_warning, w);
        files.warnings().clear();
    };
    // glTF: nodes nested too deep (or in a loop) are refused before Assimp's reader recurses
    // through them.
    {
        std::string strHead, strWhy;
        const int fd = files.openRead(job.m_strIn, e_maxInput, nullptr, &strWhy);
        char ach[4] = {};
        if (fd >= 0)
        {
            if (read(fd, ach, sizeof(ach)) == ssize_t(sizeof(ach)))
                strHead.assign(ach, sizeof(ach));
            close(fd);
        }
        std::string strData;
        job.m_options.m_bGltf = qoru_importIsGltf(job.m_strIn, strHead);
        const size_t nDot = job.m_strIn.find_last_of('.');
        std::string strExt = nDot == std::string::npos ? std::string() : job.m_strIn.substr(nDot + 1);
        for (char & c : strExt)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        job.m_options.m_bObj = strExt == "obj";
        if (job.m_options.m_bGltf && files.readFile(job.m_strIn, e_maxInput, &strData, &strWhy) &&
            !qoru_importCheckGltf(strData, &strWhy))
        {
            record(&out, e_error, job.m_strIn + ": " + strWhy + "; not read");
            return;
        }
    }
    Assimp::Importer importer;
    importer.SetIOHandler(new qor_cImportIOSystem(&files)); // the importer owns it
    importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE, aiPrimitiveType_POINT | aiPrimitiveType_LINE);
    importer.SetPropertyInteger(AI_CONFIG_PP_LBW_MAX_WEIGHTS, 4);
    const aiScene * pScene = importer.ReadFile(job.m_strIn, qoru_importPostProcessFlags());
    if (pScene)
        pScene = importer.ApplyPostProcessing(qoru_importAxisFlags());
    if (!pScene)
    {
        sendReads();
        record(&out, e_error, job.m_strIn + ": " + importer.GetErrorString());
        return;
    }
    job.m_options.m_pFiles = &files;
    qor_sImportResult result;
    const bool bConverted = qoru_importConvert(*pScene, job.m_options, &result);
    sendReads();
    for (const std::string & w : result.m_warnings)
        record(&out, e_warning, w);
    if (!bConverted)
    {
        record(&out, e_error, job.m_strIn + ": nothing could be converted");
        return;
    }
    const std::vector<char> image = result.m_pScene->image();
    std::string mot;
    if (image.empty() || !animBytes(result.m_anim, &mot))
    {
        record(&out, e_error, job.m_strIn + ": the converted scene could not be built");
        return;
    }
    record(&out, e_scene, std::string(image.begin(), image.end()));
    record(&out, e_anim, mot);
    unsigned nImages = 0;
    for (const qor_sImportTexture & t : result.m_textures)
    {
        std::string bytes, strError;
        if (!qoru_importEncodeJpeg(t.m_image, t.m_bAlpha, &bytes, &strError))
        {
            record(&out, e_warning, "texture \"" + t.m_strName + "\": " + strError);
            continue;
        }
        record(&out, e_textureName, t.m_strName);
        record(&out, e_textureData, bytes);
        ++nImages;
    }
    const unsigned anCounts[6] = {result.m_nObjects, result.m_nMeshes,      nImages,
                                  result.m_nCameras, result.m_nFileCameras, result.m_nLights};
    record(&out, e_counts, std::string(reinterpret_cast<const char *>(anCounts), sizeof(anCounts)));
    record(&out, e_done, std::string());
}

void * convertThread(void * p)
{
    sJob & job = *static_cast<sJob *>(p);
    try
    {
        convert(job);
    }
    catch (const std::bad_alloc &)
    {
        record(&job.m_out, e_error, job.m_strIn + ": out of memory while converting");
    }
    catch (const std::exception & e)
    {
        record(&job.m_out, e_error, job.m_strIn + ": " + e.what());
    }
    return nullptr;
}

bool writeAll(int fd, const std::string & data)
{
    size_t n = 0;
    while (n < data.size())
    {
        const ssize_t nWritten = write(fd, data.data() + n, data.size() - n);
        if (nWritten < 0 && errno == EINTR)
            continue;
        if (nWritten <= 0)
            return false;
        n += size_t(nWritten);
    }
    return true;
}

[[noreturn]] void child(sJob & job, unsigned nSeconds, int fdOut)
{
    setLimit(RLIMIT_CORE, 0, 0);
    // SIGXCPU at the limit; the kernel's SIGKILL a second later should it be caught somewhere.
    setLimit(RLIMIT_CPU, nSeconds, nSeconds + 1);
#ifndef QOR_IMPORT_SANITIZED
    setLimit(RLIMIT_AS, 4ull * 1024 * 1024 * 1024, 4ull * 1024 * 1024 * 1024);
#endif
    pthread_attr_t attr;
    pthread_t thread;
    bool bRan = false;
    if (pthread_attr_init(&attr) == 0)
    {
        pthread_attr_setstacksize(&attr, e_stackSize);
        bRan = pthread_create(&thread, &attr, convertThread, &job) == 0 && pthread_join(thread, nullptr) == 0;
        pthread_attr_destroy(&attr);
    }
    if (!bRan)
        convertThread(&job);
    const bool bSent = writeAll(fdOut, job.m_out);
    close(fdOut);
    std::exit(bSent ? 0 : 1);
}

// ---- the parent --------------------------------------------------------------------------------

struct sResult
{
    std::vector<std::string> m_warnings;
    std::string m_strError;
    std::string m_scene, m_anim;
    std::vector<std::pair<std::string, std::string>> m_textures; // name, JPEG bytes
    std::set<qor_cImportFiles::tId> m_reads;
    unsigned m_anCounts[6] = {}; // objects, meshes, images, cameras written, cameras in the file, lights
    bool m_bDone = false;
};

void parse(const std::string & data, sResult * pResult)
{
    size_t i = 0;
    while (i + 9 <= data.size())
    {
        const char cTag = data[i];
        uint64_t n = 0;
        std::memcpy(&n, data.data() + i + 1, sizeof(n));
        i += 9;
        if (n > data.size() - i)
            break;
        const std::string s = data.substr(i, size_t(n));
        i += size_t(n);
        switch (cTag)
        {
        case e_warning:
            pResult->m_warnings.push_back(s);
            break;
        case e_error:
            pResult->m_strError = s;
            break;
        case e_scene:
            pResult->m_scene = s;
            break;
        case e_anim:
            pResult->m_anim = s;
            break;
        case e_textureName:
            pResult->m_textures.emplace_back(s, std::string());
            break;
        case e_textureData:
            if (!pResult->m_textures.empty())
                pResult->m_textures.back().second = s;
            break;
        case e_read:
            if (s.size() == 16)
            {
                uint64_t a = 0, b = 0;
                std::memcpy(&a, s.data(), 8);
                std::memcpy(&b, s.data() + 8, 8);
                pResult->m_reads.insert({a, b});
            }
            break;
        case e_counts:
            if (s.size() == sizeof(pResult->m_anCounts))
                std::memcpy(pResult->m_anCounts, s.data(), s.size());
            break;
        case e_done:
            pResult->m_bDone = true;
            break;
        default:
            break;
        }
    }
}

// Reads the child's records and its standard error until both close.
void drain(int fdOut, int fdErr, std::string * pOut, std::string * pErr)
{
    struct pollfd afd[2] = {{fdOut, POLLIN, 0}, {fdErr, POLLIN, 0}};
    std::string * apTo[2] = {pOut, pErr};
    int nOpen = 2;
    char ach[65536];
    while (nOpen > 0)
    {
        if (poll(afd, 2, -1) < 0)
        {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int k = 0; k < 2; ++k)
        {
            if (afd[k].fd < 0 || !(afd[k].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t n = read(afd[k].fd, ach, sizeof(ach));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
            {
                close(afd[k].fd);
                afd[k].fd = -1;
                --nOpen;
                continue;
            }
            // The child's own messages are kept to their last 64 KiB.
            apTo[k]->append(ach, size_t(n));
            if (k == 1 && pErr->size() > 65536)
                pErr->erase(0, pErr->size() - 65536);
        }
    }
}

std::string lastLine(const std::string & s)
{
    size_t nEnd = s.find_last_not_of("\n\r ");
    if (nEnd == std::string::npos)
        return std::string();
    const size_t nBegin = s.find_last_of('\n', nEnd);
    return s.substr(nBegin == std::string::npos ? 0 : nBegin + 1,
                    nEnd + 1 - (nBegin == std::string::npos ? 0 : nBegin + 1));
}

// Why the child stopped when it did not finish.
std::string stopReason(int nStatus, unsigned nSeconds, double fUsed, const std::string & strErr)
{
    const std::string strLast = lastLine(strErr);
    const std::string strSaid = strLast.empty() ? std::string() : " (" + strLast + ")";
    if (WIFSIGNALED(nStatus))
    {
        const int nSignal = WTERMSIG(nStatus);
        switch (nSignal)
        {
        case SIGKILL:
            if (fUsed < nSeconds)
                return "the model reader was killed (SIGKILL; out of memory?)";
            [[fallthrough]];
        case SIGXCPU:
            return "reading the model took more than " + std::to_string(nSeconds) +
                   " s of processor time (--time-limit); given up";
        case SIGSEGV:
        case SIGBUS:
            return "the model reader crashed on it (" + std::string(strsignal(nSignal)) +
                   "; broken data or a nesting deeper than its stack)";
        case SIGABRT:
            return "the model reader stopped on a failed internal check" + strSaid;
        default:
            return "the model reader was stopped by signal " + std::to_string(nSignal) + " (" + strsignal(nSignal) +
                   ")" + strSaid;
        }
    }
    return "the model reader exited with status " + std::to_string(WEXITSTATUS(nStatus)) + strSaid;
}

bool runChild(sJob & job, unsigned nSeconds, sResult * pResult)
{
    int afdOut[2], afdErr[2];
    if (pipe2(afdOut, O_CLOEXEC) != 0)
        return false;
    if (pipe2(afdErr, O_CLOEXEC) != 0)
    {
        close(afdOut[0]);
        close(afdOut[1]);
        return false;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid < 0)
    {
        pResult->m_strError = job.m_strIn + ": cannot start the reader: " + std::strerror(errno);
        return false;
    }
    if (pid == 0)
    {
        close(afdOut[0]);
        close(afdErr[0]);
        dup2(afdErr[1], 2);
        close(afdErr[1]);
        child(job, nSeconds, afdOut[1]);
    }
    close(afdOut[1]);
    close(afdErr[1]);
    std::string strOut, strErr;
    drain(afdOut[0], afdErr[0], &strOut, &strErr);
    int nStatus = 0;
    struct rusage usage = {};
    while (wait4(pid, &nStatus, 0, &usage) < 0 && errno == EINTR)
    {
    }
    const double fUsed = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    parse(strOut, pResult);
    const bool bFinished = WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0;
#ifdef QOR_IMPORT_SANITIZED
    // The sanitizers report on the child's standard error: pass it on whole.
    if (!bFinished)
        std::fputs(strErr.c_str(), stderr);
#endif
    if (bFinished)
        std::fputs(strErr.c_str(), stderr);
    else
    {
        pResult->m_strError = job.m_strIn + ": " + stopReason(nStatus, nSeconds, fUsed, strErr);
        return false;
    }
    return pResult->m_bDone;
}

// Whether path may be replaced by this run: absent, or a regular file that is neither a
// symbolic link nor any file the run read.
bool checkOutput(const std::string & strPath, const std::string & strIn, const std::set<qor_cImportFiles::tId> & reads,
                 std::string * pstrError)
{
    struct stat st;
    if (lstat(strPath.c_str(), &st) == 0)
    {
        if (S_ISLNK(st.st_mode))
        {
            *pstrError = "is a symbolic link; not written (an output never follows a link)";
            return false;
        }
        if (S_ISREG(st.st_mode) && reads.count({uint64_t(st.st_dev), uint64_t(st.st_ino)}))
        {
            *pstrError = "is a file this import reads; not written over";
            return false;
        }
    }
    return qoru_checkOutput(strPath.c_str(), strIn.c_str(), pstrError);
}
} // namespace

int main(int argc, char ** argv)
{
    std::string in, out, textures;
    sJob job;
    qor_sImportOptions & options = job.m_options;
    unsigned nSeconds = e_defaultSeconds;
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        auto value = [&]() -> const char * { return i + 1 < argc ? argv[++i] : nullptr; };
        if (arg == "-h" || arg == "--help")
        {
            usage(stdout);
            return e_exitOk;
        }
        else if (arg == "-o")
        {
            const char * sz = value();
            if (!sz || !*sz)
                return usageError("-o needs a file");
            out = sz;
        }
        else if (arg == "--textures")
        {
            const char * sz = value();
            if (!sz || !*sz)
                return usageError("--textures needs a folder");
            textures = sz;
        }
        else if (arg == "--scale")
        {
            const char * sz = value();
            if (!sz || !parseFloat(sz, &options.m_fScale))
                return usageError("--scale needs a number above 0");
        }
        else if (arg == "--fps")
        {
            const char * sz = value();
            if (!sz || !parseUnsigned(sz, 1000, &options.m_nFps))
                return usageError("--fps needs a whole number from 1 to 1000");
        }
        else if (arg == "--time-limit")
        {
            const char * sz = value();
            if (!sz || !parseUnsigned(sz, 86400, &nSeconds))
                return usageError("--time-limit needs a whole number of seconds from 1 to 86400");
        }
        else if (arg == "--name-prefix")
        {
            const char * sz = value();
            if (!sz)
                return usageError("--name-prefix needs a text");
            options.m_strPrefix = sz;
        }
        else if (arg == "--allow-outside")
            job.m_bAllowOutside = true;
        else if (arg == "--stage")
            options.m_bStage = true;
        else if (arg == "--orbit")
        {
            const char * sz = value();
            if (!sz || !parseFloat(sz, &options.m_fOrbit))
                return usageError("--orbit needs a number of frame units above 0");
        }
        else if (arg == "--fit")
        {
            const char * sz = value();
            if (!sz || !parseFloat(sz, &options.m_fFit))
                return usageError("--fit needs a size above 0");
        }
        else if (arg == "--anim")
        {
            const char * sz = value();
            if (!sz || !*sz || std::strlen(sz) > 1024)
                return usageError("--anim needs an animation's name or index");
            options.m_strAnim = sz;
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
    if (options.m_fOrbit > 0 && !options.m_bStage)
        return usageError("--orbit moves the camera --stage adds: give --stage too");
    if (options.m_fFit > 0 && options.m_fScale != 1.0f)
        return usageError("--fit and --scale both set the size: give one");
    if (options.m_strPrefix.size() > 32)
        return usageError("--name-prefix is longer than 32 characters");
    // The prefix begins texture file names: it must not lead them into another folder.
    if (options.m_strPrefix.find_first_of("/\\") != std::string::npos ||
        options.m_strPrefix.find("..") != std::string::npos)
        return usageError("--name-prefix must not hold \"/\", \"\\\" or \"..\"");
    if (textures.empty())
    {
        // Where the engine will look: it reads "maps/NAME.jpg" from the folder it runs in. A
        // scene written into a show's scenes/ folder has its textures beside that folder; any
        // other scene has them in maps/ of its own folder (run the viewer from there).
        const std::string strFolder = folderOf(out);
        const size_t iSlash = strFolder.find_last_of('/');
        const std::string strLast = iSlash == std::string::npos ? strFolder : strFolder.substr(iSlash + 1);
        textures = qoru_importLexicalPath(strFolder + (strLast == "scenes" ? "/../maps" : "/maps"));
    }

    // The input must be a regular file of bounded size before Assimp opens it.
    {
        std::string strError;
        FILE * pFile = qoru_fopenRead(in.c_str(), e_maxInput, nullptr, &strError);
        if (!pFile)
            return failure(in + ": cannot open as a regular file (" + strError + ")");
        std::fclose(pFile);
    }
    // Every output is checked before anything is read, created or written.
    const std::string mot = out + ".MOT";
    std::string strError;
    const std::set<qor_cImportFiles::tId> none;
    if (!checkOutput(out, in, none, &strError))
        return failure(out + ": " + strError);
    if (!checkOutput(mot, in, none, &strError))
        return failure(mot + ": " + strError);
    struct stat st;
    if (lstat(textures.c_str(), &st) == 0 && (stat(textures.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)))
        return failure(textures + ": not a folder");

    job.m_strIn = in;
    sResult result;
    const bool bConverted = runChild(job, nSeconds, &result);
    for (const std::string & w : result.m_warnings)
        std::fprintf(stderr, "qor-import: warning: %s\n", w.c_str());
    if (!bConverted)
        return failure(!result.m_strError.empty() ? result.m_strError : in + ": the conversion did not finish");

    // Now that every file the model named is known: no output may be one of them, and no two
    // outputs may be one path.
    std::vector<std::string> outputs = {out, mot};
    for (const auto & t : result.m_textures)
        outputs.push_back(textures + "/" + t.first + ".jpg");
    std::set<std::string> seen;
    for (const std::string & o : outputs)
    {
        if (!seen.insert(qoru_importLexicalPath(o)).second)
            return failure(o + ": named for two outputs; nothing written");
        if (!checkOutput(o, in, result.m_reads, &strError))
            return failure(o + ": " + strError + "; nothing written");
    }
    if (!result.m_textures.empty() && lstat(textures.c_str(), &st) != 0 && mkdir(textures.c_str(), 0777) != 0)
    {
        // Say which folder is missing: the texture folder's parent, most often the output's.
        const int iErr = errno;
        const std::string strParent =
            textures.find('/') == std::string::npos ? "." : textures.substr(0, textures.rfind('/'));
        struct stat stParent;
        if (iErr == ENOENT && stat(strParent.c_str(), &stParent) != 0)
            return failure(textures + ": cannot create the texture folder: the folder " + strParent +
                           " does not exist (create it first)");
        return failure(textures + ": cannot create the texture folder (" + std::strerror(iErr) + ")");
    }

    // Each output whole beside its path, then renamed over it.
    auto write = [&](const std::string & strPath, const std::string & data) {
        if (!checkOutput(strPath, in, result.m_reads, &strError) ||
            !qoru_writeFile(strPath.c_str(), data.data(), data.size(), in.c_str(), &strError))
            return false;
        return true;
    };
    if (!write(out, result.m_scene))
        return failure(out + ": cannot write: " + strError);
    if (!write(mot, result.m_anim))
        return failure(mot + ": cannot write: " + strError);
    for (const auto & t : result.m_textures)
    {
        const std::string strPath = textures + "/" + t.first + ".jpg";
        if (!write(strPath, t.second))
            std::fprintf(stderr, "qor-import: warning: texture \"%s\": %s: %s\n", t.first.c_str(), strPath.c_str(),
                         strError.c_str());
    }
    std::printf("%s: %u objects, %u meshes, %u images, %u cameras (%u in the file), %u lights\n", out.c_str(),
                result.m_anCounts[0], result.m_anCounts[1], result.m_anCounts[2], result.m_anCounts[3],
                result.m_anCounts[4], result.m_anCounts[5]);
    return e_exitOk;
}
