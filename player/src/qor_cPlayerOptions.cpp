#include "qor_cPlayerOptions.h"

#include "qor_cCapture.h"
#include "qor_cLayerViewer.h"
#include "qor_cShowConfig.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace
{
qor_sPlayerOptions s_options;
int s_iExitStatus = 0;

bool parseNumber(cchar * sz, double dMin, double dMax, double * pd)
{
    char * pEnd = nullptr;
    const double d = std::strtod(sz, &pEnd);
    if (!pEnd || pEnd == sz || *pEnd || !std::isfinite(d) || d < dMin || d > dMax)
        return false;
    *pd = d;
    return true;
}

// "qor-player: WHAT, not "VALUE"" on standard error; -1.
int bad(cchar * szWhat, cchar * szValue)
{
    std::fprintf(stderr, "qor-player: %s, not \"%s\"\n", szWhat, szValue);
    return -1;
}

// The options for working on a screen (--screen, --loop, --hud, --hud-capture, --watch), as
// parse() takes them.
int parseAuthorOption(int argc, char ** argv, int & i)
{
    cchar * sz = argv[i];
    if (std::strcmp(sz, "--loop") == 0)
    {
        s_options.bLoop = true;
        return 1;
    }
    if (std::strcmp(sz, "--hud") == 0 || std::strcmp(sz, "--hud-capture") == 0)
    {
        s_options.bHud = true;
        s_options.bHudCapture = s_options.bHudCapture || std::strcmp(sz, "--hud-capture") == 0;
        return 1;
    }
    if (std::strcmp(sz, "--screen") != 0 && std::strcmp(sz, "--watch") != 0)
        return 0;
    if (i + 1 >= argc)
    {
        std::fprintf(stderr, "qor-player: %s needs a value\n", sz);
        return -1;
    }
    cchar * szValue = argv[++i];
    if (std::strcmp(sz, "--screen") == 0)
    {
        double d = 0.0;
        if (!parseNumber(szValue, 1.0, 1e6, &d) || d != std::floor(d))
            return bad("--screen takes an entry of the show's table, from 1", szValue);
        s_options.iScreen = int(d) - 1;
        return 1;
    }
    // The folder is the caller's: made absolute now, before --dir is entered.
    char * szReal = realpath(szValue, nullptr);
    struct stat st;
    if (!szReal || stat(szReal, &st) != 0 || !S_ISDIR(st.st_mode))
    {
        std::free(szReal);
        return bad("--watch takes the show's source folder (the one qor-build-show builds)", szValue);
    }
    s_options.strWatch = szReal;
    std::free(szReal);
    return 1;
}
} // namespace

qor_sPlayerOptions & qor_cPlayerOptions::get() { return s_options; }

void qor_cPlayerOptions::reset()
{
    s_options = qor_sPlayerOptions();
    s_iExitStatus = 0;
}

int qor_cPlayerOptions::parse(int argc, char ** argv, int & i)
{
    cchar * sz = argv[i];
    const bool bValue = i + 1 < argc;
    if (std::strcmp(sz, "--quiet") == 0)
    {
        s_options.bQuiet = true;
        return 1;
    }
    if (std::strcmp(sz, "--stats") == 0)
    {
        s_options.bStats = true;
        return 1;
    }
    if (std::strcmp(sz, "--stats-pixels") == 0)
    {
        s_options.bStats = s_options.bStatsPixels = true;
        return 1;
    }
    if (std::strcmp(sz, "--strict") == 0)
    {
        s_options.bStrict = true;
        return 1;
    }
    const int iAuthor = parseAuthorOption(argc, argv, i);
    if (iAuthor != 0)
        return iAuthor;
    if (std::strcmp(sz, "--fps") != 0 && std::strcmp(sz, "--seek") != 0 && std::strcmp(sz, "--capture") != 0 &&
        std::strcmp(sz, "--size") != 0 && std::strcmp(sz, "--render-size") != 0 && std::strcmp(sz, "--range") != 0)
        return 0;
    if (!bValue)
    {
        std::fprintf(stderr, "qor-player: %s needs a value\n", sz);
        return -1;
    }
    cchar * szValue = argv[++i];
    if (std::strcmp(sz, "--fps") == 0)
    {
        if (!parseNumber(szValue, 1.0, 1000.0, &s_options.dFps))
            return bad("--fps takes frames per second from 1 to 1000", szValue);
    }
    else if (std::strcmp(sz, "--seek") == 0)
    {
        // The show's length is known once application.ini is read: checkSeek() compares then.
        if (!parseNumber(szValue, 0.0, 1e9, &s_options.dSeek))
            return bad("--seek takes seconds from 0 to below the show's length", szValue);
    }
    else if (std::strcmp(sz, "--range") == 0)
    {
        int iFirst = -1, iLast = -1, nUsed = 0;
        if (std::sscanf(szValue, "%9d:%9d%n", &iFirst, &iLast, &nUsed) != 2 || szValue[nUsed] || iFirst < 0 ||
            iLast < iFirst || !(szValue[0] >= '0' && szValue[0] <= '9'))
            return bad("--range takes FIRST:LAST, frame indexes with 0 <= FIRST <= LAST", szValue);
        s_options.iFirst = iFirst;
        s_options.iLast = iLast;
    }
    else if (std::strcmp(sz, "--capture") == 0)
    {
        if (qor_cCapture::kindOf(szValue) == qor_cCapture::qorrs_capture_none)
            return bad("--capture takes a video file (.mp4, .mkv, .webm, .mov) or a numbered PNG pattern such as "
                       "frames/f_%05d.png",
                       szValue);
        s_options.strCapture = szValue;
    }
    else
    {
        const bool bRender = std::strcmp(sz, "--render-size") == 0;
        int w = 0, h = 0;
        char cEnd = 0;
        if (std::sscanf(szValue, "%dx%d%c", &w, &h, &cEnd) != 2 || w < 16 || h < 16 || w > 8192 || h > 8192)
            return bad(bRender ? "--render-size takes WIDTHxHEIGHT, each from 16 to 8192"
                               : "--size takes WIDTHxHEIGHT, each from 16 to 8192",
                       szValue);
        (bRender ? s_options.iRenderWidth : s_options.iWidth) = w;
        (bRender ? s_options.iRenderHeight : s_options.iHeight) = h;
    }
    return 1;
}

cchar * qor_cPlayerOptions::usage()
{
    return "  --fps N        fixed clock: frame k shows music time k/N s; no sound\n"
           "  --seek S       start the show S seconds into the music: with --fps N from frame\n"
           "                 round(S x N), the very frame a run from the start shows there\n"
           "  --range F:L    only frames F to L (indexes at the fixed step, L included)\n"
           "  --capture OUT  write every frame: numbered PNG files (frames/f_%05d.png) or a video\n"
           "                 with the music (.mp4, .mkv, .webm, .mov, through ffmpeg); implies --fps 60\n"
           "  --size WxH     present and capture the picture at W x H (scaled from what is drawn)\n"
           "  --render-size WxH  draw the picture at W x H (default 640 x 480): the same\n"
           "                 picture, sharper; captured at that size unless --size says otherwise\n"
           "  --quiet        no progress line while capturing\n"
           "  --stats        at the end: per screen the frames drawn and the median and 95th\n"
           "                 percentile frame times (each frame's drawing finished), processor\n"
           "                 time, draws, triangles and state\n"
           "                 keys per frame; the load time (start to first show frame)\n"
           "  --stats-pixels --stats, and the pixels filled per frame (counting them disturbs\n"
           "                 the frame times)\n"
           "  --strict       exit 1 after loading when anything failed to load (each problem is\n"
           "                 one line on standard error)\n"
           "  --screen N     start at the Nth entry of the show's table (from 1): the very frame\n"
           "                 a run from the start shows first there\n"
           "  --loop         play that entry again and again (without --screen: the whole show)\n"
           "  --hud          draw the entry, show time, screen time, fps and last message over\n"
           "                 the show (not into a capture)\n"
           "  --hud-capture  --hud, drawn into the captured frames too\n"
           "  --watch SRC    follow the source folder SRC (built into this folder by\n"
           "                 qor-build-show): a saved file is rebuilt and the screens using it\n"
           "                 reloaded at the same show time; the pack is not read\n";
}

bool qor_cPlayerOptions::checkSeek()
{
    const double dLength = qor_cLayerViewer::getShowLength();
    if (s_options.dSeek < dLength)
        return true;
    std::fprintf(stderr, "qor-player: --seek takes seconds from 0 to below %.2f (the show's length), not %g\n", dLength,
                 s_options.dSeek);
    return false;
}

bool qor_cPlayerOptions::checkScreen()
{
    const int nEntries = qor_cShowConfig::get().getNbScreen();
    if (s_options.iScreen < nEntries)
        return true;
    std::fprintf(stderr, "qor-player: --screen takes an entry from 1 to %d (the show's table), not %d\n", nEntries,
                 s_options.iScreen + 1);
    return false;
}

double qor_cPlayerOptions::getStepFps()
{
    if (s_options.dFps > 0.0)
        return s_options.dFps;
    return s_options.strCapture.empty() ? 0.0 : 60.0;
}

int qor_cPlayerOptions::getFirstFrame()
{
    if (s_options.iFirst >= 0)
        return s_options.iFirst;
    const double dFps = getStepFps();
    return int(std::lround(s_options.dSeek * (dFps > 0.0 ? dFps : 60.0)));
}

int qor_cPlayerOptions::getRangeFrames() { return s_options.iFirst >= 0 ? s_options.iLast - s_options.iFirst + 1 : -1; }

void qor_cPlayerOptions::setStoppedBy(int iSignal) { s_iExitStatus = 128 + iSignal; }

int qor_cPlayerOptions::getExitStatus() { return s_iExitStatus; }

void qor_cPlayerOptions::setFailed()
{
    if (s_iExitStatus == 0)
        s_iExitStatus = 1;
}
