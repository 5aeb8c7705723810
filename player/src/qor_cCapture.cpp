#include "qor_cCapture.h"

#include "qor_cDispGL.h"
#include "qor_cMusic.h"
#include "qor_cPngFile.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string_view>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char ** environ;

namespace
{
// The pieces of a PNG pattern: text before the one integer conversion, its zero flag and
// width, text after ("%%" stands for one '%' in both).
struct sPattern
{
    std::string strHead, strTail;
    bool bZero = false;
    int iWidth = 0;
};

bool splitPattern(cchar * sz, sPattern * pOut)
{
    sPattern p;
    int nConversions = 0;
    std::string * pText = &p.strHead;
    for (size_t i = 0; sz[i]; ++i)
    {
        if (sz[i] != '%')
        {
            pText->push_back(sz[i]);
            continue;
        }
        ++i;
        if (sz[i] == '%')
        {
            pText->push_back('%');
            continue;
        }
        if (sz[i] == '0')
        {
            p.bZero = true;
            ++i;
        }
        while (sz[i] >= '0' && sz[i] <= '9')
        {
            p.iWidth = p.iWidth * 10 + (sz[i] - '0');
            if (p.iWidth > 20)
                return false;
            ++i;
        }
        if (sz[i] != 'd' && sz[i] != 'i' && sz[i] != 'u')
            return false;
        if (++nConversions > 1)
            return false;
        pText = &p.strTail;
    }
    if (nConversions != 1)
        return false;
    if (pOut)
        *pOut = p;
    return true;
}

bool endsWith(const std::string & str, cchar * szEnd)
{
    const size_t n = std::strlen(szEnd);
    if (str.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(str[str.size() - n + i])) != szEnd[i])
            return false;
    return true;
}

// Full path of a program found in PATH, empty when none.
std::string findProgram(cchar * szName)
{
    cchar * szPath = std::getenv("PATH");
    if (!szPath)
        return std::string();
    // Each entry of PATH in turn; an empty entry is the working folder.
    std::string_view path(szPath);
    for (;;)
    {
        const size_t iEnd = path.find(':');
        const std::string_view dir = path.substr(0, iEnd);
        std::string strFile;
        strFile.reserve(dir.size() + std::strlen(szName) + 2);
        strFile.append(dir.empty() ? std::string_view(".") : dir);
        strFile.push_back('/');
        strFile.append(szName);
        struct stat st;
        if (stat(strFile.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(strFile.c_str(), X_OK) == 0)
            return strFile;
        if (iEnd == std::string_view::npos)
            return std::string();
        path.remove_prefix(iEnd + 1);
    }
}

// All n bytes to the descriptor (a pipe takes them in pieces); false when it stops taking them.
bool writeAll(int fd, const void * p, size_t n)
{
    const char * pc = static_cast<const char *>(p);
    size_t nDone = 0;
    while (nDone < n)
    {
        const ssize_t nWritten = ::write(fd, pc + nDone, n - nDone);
        if (nWritten < 0 && errno == EINTR)
            continue;
        if (nWritten <= 0)
            return false;
        nDone += size_t(nWritten);
    }
    return true;
}

bool isNotRegular(cchar * szPath)
{
    struct stat st;
    return lstat(szPath, &st) == 0 && !S_ISREG(st.st_mode);
}

// Bilinear scaling of a B, G, R, A picture into the 4:3 rectangle centred in w x h, black
// around it (the picture the window shows at that size).
void scaleLetterboxed(const uint8_t * pSrc, int sw, int sh, uint8_t * pDst, int w, int h)
{
    std::fill(pDst, pDst + size_t(w) * h * 4, uint8_t(0));
    int r[4];
    qor_cDispGL::letterbox(w, h, r);
    const int x0 = r[0], y0 = h - (r[1] + r[3]), rw = r[2], rh = r[3];
    for (int y = 0; y < rh; ++y)
    {
        const float fy = std::clamp((y + 0.5f) * sh / rh - 0.5f, 0.0f, float(sh - 1));
        const int iy0 = int(fy), iy1 = std::min(iy0 + 1, sh - 1);
        const float ty = fy - iy0;
        uint8_t * pRow = pDst + (size_t(y0 + y) * w + x0) * 4;
        for (int x = 0; x < rw; ++x)
        {
            const float fx = std::clamp((x + 0.5f) * sw / rw - 0.5f, 0.0f, float(sw - 1));
            const int ix0 = int(fx), ix1 = std::min(ix0 + 1, sw - 1);
            const float tx = fx - ix0;
            const uint8_t * a = pSrc + (size_t(iy0) * sw + ix0) * 4;
            const uint8_t * b = pSrc + (size_t(iy0) * sw + ix1) * 4;
            const uint8_t * c = pSrc + (size_t(iy1) * sw + ix0) * 4;
            const uint8_t * d = pSrc + (size_t(iy1) * sw + ix1) * 4;
            for (int k = 0; k < 4; ++k)
            {
                const float top = a[k] + (b[k] - a[k]) * tx;
                const float bottom = c[k] + (d[k] - c[k]) * tx;
                pRow[x * 4 + k] = uint8_t(top + (bottom - top) * ty + 0.5f);
            }
        }
    }
}
} // namespace

qor_cCapture::qor_eCaptureKind qor_cCapture::kindOf(cchar * szOut)
{
    if (!szOut || !*szOut)
        return qorrs_capture_none;
    const std::string str(szOut);
    if (str.find('%') == std::string::npos)
    {
        for (cchar * szExt : {".mp4", ".mkv", ".webm", ".mov"})
            if (endsWith(str, szExt) && str.size() > std::strlen(szExt))
                return qorrs_capture_video;
        return qorrs_capture_none;
    }
    return splitPattern(szOut, nullptr) ? qorrs_capture_png : qorrs_capture_none;
}

std::string qor_cCapture::frameName(cchar * szPattern, int nFrame)
{
    sPattern p;
    if (!splitPattern(szPattern, &p))
        return std::string();
    std::string strNumber = std::to_string(nFrame);
    if (int(strNumber.size()) < p.iWidth)
        strNumber.insert(0, size_t(p.iWidth) - strNumber.size(), p.bZero ? '0' : ' ');
    return p.strHead + strNumber + p.strTail;
}

qor_cCapture::qor_cCapture()
    : m_eKind(qorrs_capture_none), m_iWidth(0), m_iHeight(0), m_nFrame(0), m_nFirstNumber(0), m_pid(-1), m_fdPipe(-1),
      m_fdMusic(-1), m_pfnOldSigPipe(nullptr), m_dStart(0.0), m_dLastShown(-1.0)
{
}

qor_cCapture::~qor_cCapture() { close(); }

bool qor_cCapture::fail(const std::string & strWhy)
{
    m_strError = strWhy;
    return false;
}

bool qor_cCapture::open(cchar * szOut, int w, int h, double dFps, const char * pMusic, uint nMusic, double dSeek)
{
    close();
    m_strError.clear();
    m_nFrame = 0;
    m_nFirstNumber = 0;
    const qor_eCaptureKind eKind = kindOf(szOut);
    if (eKind == qorrs_capture_none)
        return fail(std::string("cannot capture to \"") + (szOut ? szOut : "") + "\"");
    if (w < 1 || h < 1 || dFps <= 0.0)
        return fail("bad capture size or rate");
    m_strOut = szOut;
    m_iWidth = w;
    m_iHeight = h;
    m_dStart = qor_cMusic::now();
    m_dLastShown = -1.0;
    if (eKind == qorrs_capture_video)
    {
        if ((w | h) & 1)
            return fail("video capture needs an even width and height");
        if (isNotRegular(szOut))
            return fail(std::string("\"") + szOut + "\" is not a regular file: not replaced");
        if (!startFfmpeg(szOut, dFps, pMusic, nMusic, dSeek))
            return false;
    }
    m_eKind = eKind;
    m_bStopWriter = m_bWriterFailed = m_bWriterReported = false;
    m_strWriterError.clear();
    m_nWritten = 0;
#ifndef __EMSCRIPTEN__
    m_writer = std::thread(&qor_cCapture::writerLoop, this);
#endif
    return true;
}

bool qor_cCapture::startFfmpeg(cchar * szOut, double dFps, const char * pMusic, uint nMusic, double dSeek)
{
    const std::string strFfmpeg = findProgram("ffmpeg");
    if (strFfmpeg.empty())
        return fail("video capture needs the ffmpeg program (Debian package \"ffmpeg\"), and none is in PATH");
    // The music goes to ffmpeg as a temporary file removed at once: ffmpeg reads it through
    // the descriptor it inherits, and no exit path of the player can leave it behind.
    if (pMusic && nMusic > 0)
    {
        cchar * szTmp = std::getenv("TMPDIR");
        const std::string strDir = szTmp && *szTmp ? szTmp : "/tmp";
        std::string strTemplate = strDir + "/qor-music-XXXXXX.mp3";
        std::vector<char> name(strTemplate.begin(), strTemplate.end());
        name.push_back('\0');
        const int fd = mkostemps(name.data(), 4, O_CLOEXEC);
        if (fd < 0)
            return fail("cannot write the music for ffmpeg in " + strDir + ": " + std::strerror(errno));
        unlink(name.data());
        m_fdMusic = fd;
        if (!writeAll(fd, pMusic, nMusic))
            return fail("cannot write the music for ffmpeg in " + strDir + ": " + std::strerror(errno));
    }
    char acSize[32], acRate[32], acSeek[32];
    std::snprintf(acSize, sizeof acSize, "%dx%d", m_iWidth, m_iHeight);
    std::snprintf(acRate, sizeof acRate, "%.6g", dFps);
    std::snprintf(acSeek, sizeof acSeek, "%.3f", dSeek);
    const std::string strOut(szOut);
    const bool bWebm = endsWith(strOut, ".webm");
    std::vector<std::string> args = {"ffmpeg",     "-hide_banner", "-nostdin", "-loglevel", "error", "-y",
                                     "-f",         "rawvideo",     "-pix_fmt", "bgra",      "-s",    acSize,
                                     "-framerate", acRate,         "-i",       "pipe:0"};
    // Descriptor 3 of ffmpeg is the music file.
    if (m_fdMusic >= 0)
        args.insert(args.end(), {"-ss", acSeek, "-i", "/dev/fd/3", "-map", "0:v:0", "-map", "1:a:0"});
    // The frames go in as the display reads them (BGRA, top row first): ffmpeg's scaler makes
    // the one conversion, to 4:2:0 with the BT.709 matrix in video range (the matrix of sRGB
    // pictures), and the stream says so, so that players convert back with the same matrix.
    args.insert(args.end(), {"-vf", "scale=out_color_matrix=bt709:out_range=tv,format=yuv420p", "-colorspace", "bt709",
                             "-color_primaries", "bt709", "-color_trc", "bt709", "-color_range", "tv"});
    if (bWebm)
        args.insert(args.end(), {"-c:v", "libvpx-vp9", "-deadline", "realtime", "-cpu-used", "8", "-row-mt", "1",
                                 "-b:v", "0", "-crf", "32"});
    else
        args.insert(args.end(), {"-c:v", "libx264", "-preset", "veryfast", "-crf", "18"});
    if (m_fdMusic >= 0)
    {
        args.insert(args.end(), {"-c:a", bWebm ? "libopus" : "aac", "-b:a", "192k"});
        // Silence after the music, and the file ends with the last frame.
        args.insert(args.end(), {"-af", "apad", "-shortest"});
    }
    if (endsWith(strOut, ".mp4") || endsWith(strOut, ".mov"))
        args.insert(args.end(), {"-movflags", "+faststart"});
    args.push_back(strOut);

    int afd[2];
    if (pipe2(afd, O_CLOEXEC) != 0)
        return fail("cannot make a pipe to ffmpeg");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, afd[0], 0);
    if (m_fdMusic >= 0)
        posix_spawn_file_actions_adddup2(&actions, m_fdMusic, 3);
    // A process group of its own: the terminal's Ctrl-C goes to the player, which finishes the
    // video by closing the pipe; ffmpeg killed by it would leave a file without its index.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    std::vector<char *> argv;
    for (std::string & str : args)
        argv.push_back(str.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int iErr = posix_spawn(&pid, strFfmpeg.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    ::close(afd[0]);
    if (iErr != 0)
    {
        ::close(afd[1]);
        return fail("cannot start " + strFfmpeg + ": " + std::strerror(iErr));
    }
    m_pid = pid;
    m_fdPipe = afd[1];
    // A broken pipe is an error of write(), not the end of the show.
    m_pfnOldSigPipe = std::signal(SIGPIPE, SIG_IGN);
    return true;
}

bool qor_cCapture::writeFrame(const uint8_t * pBGRA, int w, int h)
{
    if (m_eKind == qorrs_capture_none)
        return fail("no capture is open");
    if (!pBGRA || w < 1 || h < 1)
        return fail("no picture to capture");
    if (m_nFrame == 0)
        m_dStart = qor_cMusic::now(); // the rate counts from the first frame, not the start-up
    sFrame frame;
    if (!m_writer.joinable())
    {
        // Without threads (a browser build): written at once.
        frame.pixels.assign(pBGRA, pBGRA + size_t(w) * h * 4);
        frame.w = w;
        frame.h = h;
        if (!writeOne(frame))
        {
            m_bWriterFailed = m_bWriterReported = true;
            return fail(m_strWriterError);
        }
        ++m_nFrame;
        return true;
    }
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cvTaken.wait(lock, [this] { return m_queue.size() < kQueueFrames || m_bWriterFailed; });
        if (m_bWriterFailed)
        {
            m_bWriterReported = true;
            return fail(m_strWriterError);
        }
        if (!m_spare.empty())
        {
            frame = std::move(m_spare.back());
            m_spare.pop_back();
        }
    }
    frame.pixels.assign(pBGRA, pBGRA + size_t(w) * h * 4);
    frame.w = w;
    frame.h = h;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(std::move(frame));
    }
    m_cvQueued.notify_one();
    ++m_nFrame;
    return true;
}

void qor_cCapture::writerLoop()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;)
    {
        m_cvQueued.wait(lock, [this] { return !m_queue.empty() || m_bStopWriter; });
        if (m_queue.empty())
            return; // stopped, and everything written
        sFrame frame = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        const bool bOk = writeOne(frame);
        lock.lock();
        m_spare.push_back(std::move(frame));
        if (!bOk)
        {
            // Nothing more is written; the frames still queued are dropped.
            m_bWriterFailed = true;
            m_queue.clear();
            m_cvTaken.notify_all();
            return;
        }
        m_cvTaken.notify_all();
    }
}

bool qor_cCapture::writeOne(const sFrame & frame)
{
    const uint8_t * pFrame = frame.pixels.data();
    if (frame.w != m_iWidth || frame.h != m_iHeight)
    {
        m_scaled.resize(size_t(m_iWidth) * m_iHeight * 4);
        scaleLetterboxed(pFrame, frame.w, frame.h, m_scaled.data(), m_iWidth, m_iHeight);
        pFrame = m_scaled.data();
    }
    if (m_eKind == qorrs_capture_png)
    {
        const std::string strName = frameName(m_strOut.c_str(), m_nFirstNumber + m_nWritten);
        if (isNotRegular(strName.c_str()))
        {
            m_strWriterError = "\"" + strName + "\" is not a regular file: not replaced";
            return false;
        }
        errno = 0;
        if (!qoru_writePNG(strName.c_str(), pFrame, m_iWidth, m_iHeight, m_iWidth * 4))
        {
            m_strWriterError =
                "cannot write \"" + strName + "\"" + (errno ? std::string(": ") + std::strerror(errno) : "");
            return false;
        }
    }
    else if (!writeAll(m_fdPipe, pFrame, size_t(m_iWidth) * m_iHeight * 4))
    {
        const int iErr = errno;
        ::close(m_fdPipe);
        m_fdPipe = -1;
        const std::string strEnd = waitFfmpeg();
        m_strWriterError = std::string("ffmpeg stopped taking frames after ") + std::to_string(m_nWritten) + " (" +
                           (iErr == EPIPE ? "broken pipe" : std::strerror(iErr)) + "; ffmpeg " +
                           (strEnd.empty() ? "exited with 0" : strEnd) + ", see its message above)";
        return false;
    }
    ++m_nWritten;
    return true;
}

void qor_cCapture::stopWriter()
{
    if (!m_writer.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStopWriter = true;
    }
    m_cvQueued.notify_one();
    m_writer.join();
}

std::string qor_cCapture::waitFfmpeg()
{
    if (m_pid <= 0)
        return std::string();
    int iStatus = 0;
    pid_t r;
    while ((r = waitpid(m_pid, &iStatus, 0)) < 0 && errno == EINTR)
    {
    }
    m_pid = -1;
    std::signal(SIGPIPE, m_pfnOldSigPipe ? m_pfnOldSigPipe : SIG_DFL);
    m_pfnOldSigPipe = nullptr;
    if (r < 0)
        return "could not be waited for";
    if (WIFEXITED(iStatus))
        return WEXITSTATUS(iStatus) == 0 ? std::string() : "exited with " + std::to_string(WEXITSTATUS(iStatus));
    if (WIFSIGNALED(iStatus))
        return "was killed by signal " + std::to_string(WTERMSIG(iStatus));
    return "ended abnormally";
}

bool qor_cCapture::close()
{
    // The frames still queued are written first; an error of the writer not yet returned by
    // writeFrame is the result.
    stopWriter();
    bool bOk = true;
    if (m_bWriterFailed && !m_bWriterReported)
    {
        m_bWriterReported = true;
        bOk = fail(m_strWriterError);
    }
    if (m_fdPipe >= 0)
    {
        ::close(m_fdPipe);
        m_fdPipe = -1;
    }
    if (m_pid > 0)
    {
        const std::string strEnd = waitFfmpeg();
        if (!strEnd.empty())
            bOk = fail("ffmpeg failed to finish \"" + m_strOut + "\" (it " + strEnd + ")");
    }
    if (m_fdMusic >= 0)
    {
        ::close(m_fdMusic);
        m_fdMusic = -1;
    }
    m_eKind = qorrs_capture_none;
    return bOk;
}

void qor_cCapture::showProgress(double dShowSeconds, int nFramesLeft, bool bFinal)
{
    const double dNow = qor_cMusic::now();
    if (!bFinal && m_dLastShown >= 0.0 && dNow - m_dLastShown < 0.25)
        return;
    m_dLastShown = dNow;
    const double dElapsed = dNow - m_dStart;
    const double dRate = dElapsed > 0.0 ? m_nFrame / dElapsed : 0.0;
    char acLeft[32] = "?";
    if (nFramesLeft >= 0 && dRate > 0.0)
    {
        const int iLeft = int(nFramesLeft / dRate + 0.5);
        std::snprintf(acLeft, sizeof acLeft, "%d:%02d", iLeft / 60, iLeft % 60);
    }
    const int iShow = int(dShowSeconds);
    std::fprintf(stderr, "\rframe %d  show %d:%05.2f  %.1f fps  left %s   ", m_nFrame, iShow / 60,
                 dShowSeconds - (iShow / 60) * 60, dRate, acLeft);
    if (bFinal)
        std::fprintf(stderr, "\n");
    std::fflush(stderr);
}
