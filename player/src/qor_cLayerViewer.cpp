#include "qor_cLayerViewer.h"

#include "qor_cCapture.h"
#include "qor_cDisp.h"
#include "qor_cErrorHandler.h"
#include "qor_cFont.h"
#include "qor_cFrameStats.h"
#include "qor_cHud.h"
#include "qor_cKeyb.h"
#include "qor_cLayerScreen.h"
#include "qor_cMonofiler.h"
#include "qor_cMusic.h"
#include "qor_cPlayerOptions.h"
#include "qor_cShowConfig.h"
#include "qor_cUtilDisplay.h"
#include "qor_cWatcher.h"

#include <SDL.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>
#include <signal.h>
#include <string>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace
{
// The signal that asked the show to stop (SIGINT, SIGTERM), 0 while none has: the loop ends
// after its frame, so that a capture is finished like at the end of the show.
volatile std::sig_atomic_t s_iStopSignal = 0;

void onStopSignal(int iSignal) { s_iStopSignal = iSignal; }

} // namespace

// SIGINT and SIGTERM stop the show for as long as it lives; the previous handlers come back
// with it.
class qor_cStopSignals
{
  public:
    qor_cStopSignals()
    {
        s_iStopSignal = 0;
        struct sigaction sa;
        std::memset(&sa, 0, sizeof sa);
        sa.sa_handler = &onStopSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(SIGINT, &sa, &m_oldInt);
        sigaction(SIGTERM, &sa, &m_oldTerm);
    }
    ~qor_cStopSignals()
    {
        sigaction(SIGINT, &m_oldInt, nullptr);
        sigaction(SIGTERM, &m_oldTerm, nullptr);
    }
    qor_cStopSignals(const qor_cStopSignals &) = delete;
    qor_cStopSignals & operator=(const qor_cStopSignals &) = delete;

  private:
    struct sigaction m_oldInt, m_oldTerm;
};

const qor_sScreenEntry * qor_cLayerViewer::getShowTable() { return qor_cShowConfig::get().getTable(); }

double qor_cLayerViewer::getShowLength() { return qor_cShowConfig::get().getLength(); }

qor_cLayerViewer::qor_cLayerViewer() : m_sequencer(getShowTable()) { std::memset(m_abWasDown, 0, sizeof m_abWasDown); }

qor_cLayerViewer::~qor_cLayerViewer()
{
    delete m_pMusic;
    delete m_pFont;
    m_lScreen.clear();
}

bool qor_cLayerViewer::init()
{
    // The demo player keeps no log file: what fails to load is told on standard error.
    qoru_setLogEcho("qor-player");
    if (!initLowLevel())
    {
        QOR_LOG_LOCATION();
        qoru_logError("bRet = initLowLevel();\n");
        return false;
    }
    cchar * szPack = qor_cShowConfig::get().getPack();
    openPack(szPack);
    const qor_sScreenEntry * pTable = getShowTable();
    struct stat st;
    const bool bLoose = pTable[0].szScript &&
                        stat((std::string("scripts/exe/") + pTable[0].szScript).c_str(), &st) == 0 &&
                        S_ISREG(st.st_mode);
    if (m_pMonofiler && m_pMonofiler->getNbEntry() == 0 && !bLoose)
    {
        // Every file is then read from the folder; without the show's loose files there either
        // the show would play black frames, so the author hears of it.
        const std::string strWhy = m_pMonofiler->getOpenError();
        std::fprintf(stderr, "qor-player: the pack \"%s\" %s; every file is read from the folder instead\n", szPack,
                     strWhy.empty() ? "holds no file" : ("cannot be used (" + strWhy + ")").c_str());
    }
    // A followed show reads its loose files, which the rebuilds replace (the pack would hide them).
    if (!qor_cPlayerOptions::get().strWatch.empty() && m_pMonofiler)
        m_pMonofiler->close();
    return true;
}

void qor_cLayerViewer::release() {}

void qor_cLayerViewer::updateKeyboard() { m_pKeyb->update(); }

bool qor_cLayerViewer::isKeyDown(uint nCode) { return m_pKeyb && m_pKeyb->isKeyDown(nCode); }

bool qor_cLayerViewer::isKeyPressed(uint nCode)
{
    const bool bDown = isKeyDown(nCode);
    const bool bPressed = bDown && !m_abWasDown[nCode & 0xFF];
    m_abWasDown[nCode & 0xFF] = bDown;
    return bPressed;
}

void qor_cLayerViewer::openMusic(char * pImage, uint nSize)
{
    delete m_pMusic;
    m_pMusic = nullptr;
    const double dFps = qor_cPlayerOptions::getStepFps();
    if (dFps > 0.0)
    {
        // Frames exactly reproducible: the clock moves one step per frame and nothing sounds.
        delete[] pImage;
        m_pMusic = new (std::nothrow) qor_cStepClock(dFps);
        return;
    }
    cchar * szWhy = "not found";
    if (pImage)
    {
        qor_cMusicStream * pStream = new (std::nothrow) qor_cMusicStream;
        if (pStream && pStream->open(pImage, nSize))
        {
            m_pMusic = pStream;
            return;
        }
        szWhy = pStream ? pStream->getError() : "out of memory"; // a literal: it outlives the stream
        if (!pStream)
            delete[] pImage;
        delete pStream;
    }
    // The show still plays, timed by the wall clock instead of the sound.
    QOR_LOG_LOCATION();
    // (Standard error has it through the log's echo.)
    qoru_logError("music \"%s\": %s; the show runs on the wall clock\n", qor_cShowConfig::get().getMusic(), szWhy);
    qoru_flushLogEcho();
    m_pMusic = new (std::nothrow) qor_cWallClock;
}

bool qor_cLayerViewer::jumpTo(int iEntry)
{
    if (iEntry < 0)
        iEntry = 0;
    if (iEntry >= m_sequencer.getCount())
        return m_sequencer.jump(iEntry, m_pMusic->getTime());
    m_pMusic->setPosition(float(m_sequencer.getStart(iEntry)) / qor_cSequencer::kUnitsPerMs);
    getScreen(iEntry)->rewind();
    return m_sequencer.jump(iEntry, m_pMusic->getTime());
}

bool qor_cLayerViewer::replay(qor_cMusic & clock, int nFrames)
{
    // Passes of the loop as a run from the start makes them, at the same steps: the sequencer
    // and the screens' updates. Only two kinds of pass are drawn (never shown): the last pass
    // of each screen and the pass just before the first frame shown, because drawing leaves
    // device state that the next frames read (the clear colour a fogged layer sets is the one
    // a layer drawn into a texture is cleared with in the next frame, and in the next screen).
    clock.setPosition(0.0f);
    clock.play();
    m_sequencer.start(0, 0.0f, clock.getTime());
    const qor_cSequencer::sKeys none;
    for (int k = 0; k < nFrames; ++k)
    {
        const int iBefore = m_sequencer.getEntry();
        const qor_cSequencer::sPass pass = m_sequencer.advance(clock.getTime(), none);
        if (k > 0 && m_sequencer.getEntry() != iBefore)
            renderScreen(iBefore); // the old screen's last picture, as the previous pass drew it
        if (pass.iRewind >= 0)
            getScreen(pass.iRewind)->rewind();
        if (pass.bEnded)
            return false;
        const qor_sStep step = {pass.fStep, 0};
        getScreen(m_sequencer.getEntry())->update(&step.fStep);
        clock.nextFrame();
    }
    if (nFrames > 0)
        renderScreen(m_sequencer.getEntry());
    return !m_sequencer.isEnded();
}

void qor_cLayerViewer::renderScreen(int iEntry)
{
    qor_cLayerScreen * pScreen = getScreen(iEntry);
    pScreen->renderToTextures();
    m_pDisp->beginScene();
    m_pDisp->clear(3);
    pScreen->render();
    m_pDisp->endScene();
}

void qor_cLayerViewer::drawScreen(int iEntry, const qor_sStep & step)
{
    getScreen(iEntry)->update(&step.fStep);
    renderScreen(iEntry);
}

bool qor_cLayerViewer::captureFrame(qor_cCapture & capture, bool bLast)
{
    // The frame is read back without waiting for its drawing, so the capture gets the one
    // before it (the first pass gives none); the last call takes the frame still in flight.
    int w = 0, h = 0;
    const bool bRead = bLast ? m_pDisp->finishPixelsAsync(m_pixels, w, h) : m_pDisp->readPixelsAsync(m_pixels, w, h);
    if (!bRead)
    {
        std::fprintf(stderr, "\nqor-player: capture: the picture cannot be read back\n");
        return false;
    }
    if (w > 0 && !capture.writeFrame(m_pixels.data(), w, h))
    {
        std::fprintf(stderr, "\nqor-player: capture: %s\n", capture.getError());
        return false;
    }
    return true;
}

qor_cFrameStats::sCost qor_cLayerViewer::takePassCost()
{
    qor_sDispStats now;
    m_pDisp->getStats(&now);
    const double dCpu = qor_cFrameStats::threadCpuMs();
    qor_cFrameStats::sCost cost;
    cost.fCpuMs = float(dCpu - m_dPassCpu);
    cost.nDraw = now.nDraw - m_passStats.nDraw;
    cost.nTriangle = now.nTriangle - m_passStats.nTriangle;
    cost.nStateKey = now.nStateKey - m_passStats.nStateKey;
    cost.nPixel = now.nPixel - m_passStats.nPixel; // the pass before's: counted a pass late
    m_passStats = now;
    m_dPassCpu = dCpu;
    return cost;
}

bool qor_cLayerViewer::hasFile(cchar * szName)
{
    if (m_pMonofiler && m_pMonofiler->findFile(szName, nullptr, nullptr, nullptr))
        return true;
    struct stat st;
    return stat(szName, &st) == 0 && S_ISREG(st.st_mode);
}

qor_cFont * qor_cLayerViewer::showLoadingFrame()
{
    // The version text and the default loading screen are the built-in show's: a show without
    // them simply goes without (nothing to report). A loading script named in [SHOW] is loaded,
    // and reported when it fails.
    qor_cFont * pFont = hasFile("maps/qor/font.jpg") ? new (std::nothrow) qor_cFont : nullptr;
    if (pFont)
    {
        pFont->loadFont("qor\\font");
        pFont->printf("Version 1.2");
    }
    const qor_cShowConfig & show = qor_cShowConfig::get();
    qor_cLayerScreen loading;
    if (show.isLoadingGiven() || hasFile((std::string("scripts/exe/") + show.getLoading()).c_str()))
        loading.loadFromScript(show.getLoading());
    const qor_sStep step = {0.001f, 0};
    loading.update(&step.fStep);
    loading.renderToTextures();
    m_pDisp->beginScene();
    m_pDisp->clear(3);
    loading.render();
    if (pFont)
        pFont->draw(0.0f, 0.0f);
    m_pDisp->endScene();
    m_pDisp->present();
    return pFont; // the loading screen goes; the frame stays on screen while the show is built
}

void qor_cLayerViewer::run()
{
    if (startShow())
    {
        while (stepFrame())
        {
        }
    }
    finishShow();
}

bool qor_cLayerViewer::startShow()
{
    const qor_sPlayerOptions & opts = qor_cPlayerOptions::get();
    m_nPass = 0;
    m_bShowRan = false;
    m_bCaptureOk = true;
    m_iDrawn = -1;
    std::memset(m_abWasDown, 0, sizeof m_abWasDown);
    if (opts.iWidth > 0 && opts.iHeight > 0)
    {
        // The window shows the back buffer (640 x 480, or --render-size) scaled to the size asked for.
        qor_cWindow * pWindow = getLastWindow();
        if (pWindow)
            pWindow->setGeometry(pWindow->getX(), pWindow->getY(), opts.iWidth, opts.iHeight);
    }

    m_pStopSignals = std::make_unique<qor_cStopSignals>();
    const int nFirst = opts.iScreen >= 0 ? firstFrameOf(opts.iScreen) : qor_cPlayerOptions::getFirstFrame();
    m_nLoopFirst = opts.iScreen >= 0 ? nFirst : 0;
    m_nSeekTo = -1;
    const int nRange = qor_cPlayerOptions::getRangeFrames();
    const double dFps = qor_cPlayerOptions::getStepFps();

    // Capture starts first, so that a capture that cannot start stops the player at once; a
    // video needs the music's file image for its sound.
    m_pCapture = std::make_unique<qor_cCapture>();
    qor_cCapture & capture = *m_pCapture;
    uint nMusic = 0;
    char * pMusicImage = nullptr;
    bool bMusicRead = false;
    bool bMusicUndecodable = false;
    if (!opts.strCapture.empty())
    {
        pMusicImage = m_pMonofiler ? m_pMonofiler->loadFile(qor_cShowConfig::get().getMusic(), &nMusic) : nullptr;
        bMusicRead = true;
        if (pMusicImage && qor_cCapture::kindOf(opts.strCapture.c_str()) == qor_cCapture::qorrs_capture_video)
        {
            // A music that does not decode would stop the encoder: the video is made silent
            // instead, as playback falls back to the wall clock.
            char * pCopy = new (std::nothrow) char[nMusic ? nMusic : 1];
            if (pCopy)
            {
                std::memcpy(pCopy, pMusicImage, nMusic);
                qor_cMusicStream probe;
                if (!probe.open(pCopy, nMusic, false))
                {
                    std::fprintf(stderr,
                                 "qor-player: capture: the music \"%s\" cannot be decoded (%s): the video is silent\n",
                                 qor_cShowConfig::get().getMusic(), probe.getError());
                    delete[] pMusicImage;
                    pMusicImage = nullptr;
                    nMusic = 0;
                    bMusicUndecodable = true;
                }
            }
        }
        // The picture as drawn (--render-size, else 640 x 480) unless --size scales it.
        int w = opts.iRenderWidth > 0 ? opts.iRenderWidth : 640, h = opts.iRenderHeight > 0 ? opts.iRenderHeight : 480;
        if (opts.iWidth > 0 && opts.iHeight > 0)
            w = opts.iWidth, h = opts.iHeight;
        // The sound starts at the music time of the first frame shown.
        if (!capture.open(opts.strCapture.c_str(), w, h, dFps, pMusicImage, nMusic, nFirst / dFps))
        {
            std::fprintf(stderr, "qor-player: capture: %s\n", capture.getError());
            delete[] pMusicImage;
            qor_cPlayerOptions::setFailed();
            return false;
        }
        if (capture.isVideo() && !pMusicImage && !bMusicUndecodable)
            std::fprintf(stderr, "qor-player: capture: no music (\"%s\" cannot be read): the video is silent\n",
                         qor_cShowConfig::get().getMusic());
        // PNG files of a range are numbered by their frame index, so that ranges fill one folder.
        if (nRange > 0)
            capture.setFirstNumber(nFirst);
        // A capture runs as fast as frames are made, not at the display's refresh.
        SDL_GL_SetSwapInterval(0);
        cchar * szDriver = SDL_GetCurrentVideoDriver();
        m_bHeadless = szDriver && (std::strcmp(szDriver, "offscreen") == 0 || std::strcmp(szDriver, "dummy") == 0);
    }

    // 1. The loading frame.
    m_pFont = showLoadingFrame();

    // 2. The screens, in table order; a failed script keeps its slot with what it built. An
    // image several screens load is read and decoded once, unless the show is followed: each
    // screen then looks up every file it reads, to learn what it is rebuilt for.
    m_lScreen.clear();
    m_vScreenFiles.assign(size_t(m_sequencer.getCount()), std::set<std::string>());
    {
        struct ImageCache
        {
            explicit ImageCache(bool bOpen) : m_bOpen(bOpen)
            {
                if (m_bOpen)
                    qoru_openImageCache();
            }
            ~ImageCache()
            {
                if (m_bOpen)
                    qoru_closeImageCache();
            }
            bool m_bOpen;
        } cache(opts.strWatch.empty());
        for (int i = 0; i < m_sequencer.getCount(); ++i)
        {
            qor_cLayerScreen * pScreen = new (std::nothrow) qor_cLayerScreen;
            if (!pScreen || !m_lScreen.add(pScreen, true))
            {
                delete pScreen;
                QOR_LOG_LOCATION();
                qoru_logError("qor_cLayerScreen * pScreen = new qor_cLayerScreen;\n");
                delete[] pMusicImage;
                qor_cPlayerOptions::setFailed();
                return false;
            }
            buildScreen(*pScreen, i, opts.strWatch.empty() ? nullptr : &m_vScreenFiles[size_t(i)]);
        }
    }
    // Every program the screens' first frames need is made now, not while the music plays.
    if (m_pDisp->beginWarmUp())
    {
        const qor_sStep zero = {0.0f, 0};
        for (int i = 0; i < m_sequencer.getCount(); ++i)
            drawScreen(i, zero);
        m_pDisp->endWarmUp();
        // What the warm-up moved goes back: a screen starts the same whether it ran or not.
        for (int i = 0; i < m_sequencer.getCount(); ++i)
            getScreen(i)->rewind();
    }

    // With --strict the show stops here when anything failed to load (each problem was one line).
    const int nProblems = qoru_getLogEchoCount();
    if (opts.bStrict && nProblems > 0)
    {
        std::fprintf(stderr, "qor-player: --strict: %d load problem%s; the show is not played\n", nProblems,
                     nProblems > 1 ? "s" : "");
        delete[] pMusicImage;
        qor_cPlayerOptions::setFailed();
        return false;
    }

    // 3. The music (already read when capturing).
    if (!bMusicRead)
        pMusicImage = m_pMonofiler ? m_pMonofiler->loadFile(qor_cShowConfig::get().getMusic(), &nMusic) : nullptr;
    openMusic(pMusicImage, nMusic);

    // 4. The starting point: the passes before the first frame shown are replayed from the
    // start of the show at the fixed step (60 a second on the music's clock), so that a seek
    // shows the very frames a run from the start shows there; then the music goes there.
    bool bStarted = false;
    if (m_pMusic)
    {
        if (dFps > 0.0)
            bStarted = replay(*m_pMusic, nFirst);
        else
        {
            qor_cStepClock steps(60.0);
            bStarted = replay(steps, nFirst);
            m_pMusic->setPosition(steps.getTime());
            m_pMusic->play();
            m_sequencer.setMusicTime(m_pMusic->getTime());
        }
    }
    if (!bStarted)
    {
        m_sequencer.jump(m_sequencer.getCount(), 0.0f); // nothing left to show
        if (m_pMusic && nFirst > 0)
        {
            std::fprintf(stderr, "qor-player: the show ends before frame %d (at %g frames a second)\n", nFirst,
                         dFps > 0.0 ? dFps : 60.0);
            m_bCaptureOk = !capture.isOpen(); // a capture of nothing failed
        }
    }
    getTimeCounter(TIMER_1)->restart();
    getTimeCounter(TIMER_0)->restart();

    // 5, 6. The frame loop, one pass a step. With --stats each pass is timed, from its start
    // to the next one's, and counted for the entry it drew.
    m_pStats = std::make_unique<qor_cFrameStats>(m_sequencer.getCount());
    m_dPassStart = qor_cFrameStats::now();
    if (qor_cPlayerOptions::get().bStats)
    {
        // Counting pixels changes how the rasteriser overlaps the frames: only when asked.
        if (qor_cPlayerOptions::get().bStatsPixels)
        {
            m_pDisp->countPixels(true);
            m_pStats->setPixelsCounted();
        }
        takePassCost();
    }
    m_dLastShow = m_pMusic ? m_pMusic->getTime() / 1000.0 : 0.0; // for the progress line
    if (opts.bHud)
    {
        m_pHud = std::make_unique<qor_cHud>();
        m_pHud->init();
    }
    if (!opts.strWatch.empty() && !startWatching())
    {
        qor_cPlayerOptions::setFailed();
        return false;
    }
    m_bShowRan = true;
    return m_pMusic && m_bCaptureOk && !m_sequencer.isEnded() && !isQuitRequested() &&
           qor_cPlayerOptions::getRangeFrames() != 0 && !s_iStopSignal;
}

bool qor_cLayerViewer::stepFrame()
{
    const qor_sPlayerOptions & opts = qor_cPlayerOptions::get();
    const int nRange = qor_cPlayerOptions::getRangeFrames();
    qor_cCapture & capture = *m_pCapture;
    followSources();
    if (m_nSeekTo >= 0)
    {
        seekFrame(m_nSeekTo);
        m_nSeekTo = -1;
    }
    if (opts.bStats)
    {
        // The frame just presented is finished before it is timed, so that each frame's time is
        // its own drawing and not a share of a burst.
        m_pDisp->finishFrame();
        const double dNow = qor_cFrameStats::now();
        const qor_cFrameStats::sCost cost = takePassCost();
        if (m_iDrawn >= 0)
        {
            m_pStats->addFrame(m_iDrawn, dNow - m_dPassStart);
            m_pStats->addCost(m_iDrawn, cost);
        }
        m_dPassStart = dNow;
        m_iDrawn = -1;
    }
    qor_cSequencer::sKeys keys;
    keys.bLeft = isKeyDown(qorrs_key_left);
    keys.bRight = isKeyDown(qorrs_key_right);
    keys.bUp = isKeyDown(qorrs_key_up);
    qor_cSequencer::sPass pass = m_sequencer.advance(m_pMusic->getTime(), keys);
    if (opts.bLoop && (pass.bEnded || (opts.iScreen >= 0 && m_sequencer.getEntry() != opts.iScreen)))
    {
        // --loop: back to the entry's (or the show's) first frame, as a seek there.
        seekFrame(m_nLoopFirst);
        pass = m_sequencer.advance(m_pMusic->getTime(), keys);
    }
    getTimeCounter(TIMER_0)->restart();
    if (pass.iRewind >= 0)
        getScreen(pass.iRewind)->rewind();
    if (pass.bEnded)
        return false;
    const qor_sStep step = {pass.fStep, 0};
    drawScreen(m_sequencer.getEntry(), step);
    // The HUD goes into a capture only when asked for.
    if (opts.bHudCapture)
        drawHud();
    if (capture.isOpen())
    {
        if (!captureFrame(capture))
        {
            m_bCaptureOk = false;
            return false;
        }
    }
    if (!opts.bHudCapture)
        drawHud();
    // Captured without a display, the frame is never shown: no present (its blit and swap).
    if (!capture.isOpen() || !m_bHeadless)
        m_pDisp->present();
    if (!m_bReloadShown)
    {
        // The moment a reload is on screen, for timing a save against it.
        struct timespec ts;
        clock_gettime(CLOCK_REALTIME, &ts);
        std::fprintf(stderr, "qor-player: --watch: on screen at %lld.%06ld\n", static_cast<long long>(ts.tv_sec),
                     ts.tv_nsec / 1000);
        m_bReloadShown = true;
    }
    if (opts.bStats)
    {
        m_iDrawn = m_sequencer.getEntry();
        m_pStats->setFirstFrame(qor_cFrameStats::now());
    }
    ++m_nPass;
    const double dFps = qor_cPlayerOptions::getStepFps();
    const double dShow = m_pMusic->getTime() / 1000.0;
    m_dLastShow = dShow;
    if (s_iStopSignal)
        return false;
    if (capture.isOpen() && !opts.bQuiet)
    {
        int nLeft = int((getShowLength() - dShow) * dFps + 0.5);
        if (nRange > 0 && nRange - m_nPass < nLeft)
            nLeft = nRange - m_nPass;
        const int nLimit = getFrameLimit();
        if (nLimit > 0 && nLimit - getFrameCount() - 1 < nLeft)
            nLeft = nLimit - getFrameCount() - 1;
        capture.showProgress(dShow, nLeft < 0 ? 0 : nLeft, false);
    }
    processMessages();
    updateKeyboard();
    if (isKeyDown(qorrs_key_space))
    {
        // The music from its beginning, the current screen from its start.
        m_pMusic->stop();
        m_pMusic->setPosition(0.0f);
        m_pMusic->play();
        getScreen(m_sequencer.getEntry())->rewind();
        getTimeCounter(TIMER_0)->restart();
        m_sequencer.restartScreen(m_pMusic->getTime());
    }
    // The player's own keys, on their press.
    if (isKeyPressed(qorrs_key_pagedown) && !jumpTo(m_sequencer.getEntry() + 1))
        return false;
    if (isKeyPressed(qorrs_key_pageup))
        jumpTo(m_sequencer.getEntry() - 1);
    if (isKeyPressed(qorrs_key_home))
        jumpTo(0);
    if (isKeyPressed(qorrs_key_p))
    {
        if (m_pMusic->isPlaying())
            m_pMusic->stop();
        else
            m_pMusic->play();
    }
    readAuthorKeys();
    qoru_flushLogEcho();
    m_pMusic->nextFrame();
    if (countFrame() || (nRange > 0 && m_nPass >= nRange))
        return false;
    return !isQuitRequested() && !s_iStopSignal;
}

void qor_cLayerViewer::finishShow()
{
    const qor_sPlayerOptions & opts = qor_cPlayerOptions::get();
    if (m_bShowRan)
    {
        if (s_iStopSignal)
        {
            const int iSignal = int(s_iStopSignal);
            std::fprintf(stderr, "%sqor-player: stopped by %s after %d frames%s\n", m_pCapture->isOpen() ? "\n" : "",
                         iSignal == SIGINT    ? "SIGINT"
                         : iSignal == SIGTERM ? "SIGTERM"
                                              : "a signal",
                         m_nPass, m_pCapture->isOpen() ? "; the capture is finished with them" : "");
            qor_cPlayerOptions::setStoppedBy(iSignal);
        }

        // 7. The end.
        if (opts.bStats)
        {
            if (m_iDrawn >= 0)
            {
                const double dNow = qor_cFrameStats::now();
                m_pDisp->countPixels(false);
                m_pStats->addFrame(m_iDrawn, dNow - m_dPassStart);
                m_pStats->addCost(m_iDrawn, takePassCost());
            }
            std::vector<cchar *> aszScript;
            for (int i = 0; i < m_sequencer.getCount(); ++i)
                aszScript.push_back(m_sequencer.getScript(i));
            m_pStats->print(stdout, aszScript.data());
            std::fflush(stdout);
        }
        if (m_pCapture->isOpen())
        {
            // The last frame read back is still on its way.
            if (m_bCaptureOk && !captureFrame(*m_pCapture, true))
                m_bCaptureOk = false;
            if (!opts.bQuiet)
                m_pCapture->showProgress(m_dLastShow, 0, true);
            if (!m_pCapture->close())
            {
                std::fprintf(stderr, "qor-player: capture: %s\n", m_pCapture->getError());
                m_bCaptureOk = false;
            }
        }
    }
    if (!m_bCaptureOk)
        qor_cPlayerOptions::setFailed();
    if (m_pMusic)
        m_pMusic->close();
    delete m_pMusic;
    m_pMusic = nullptr;
    m_lScreen.clear();
    delete m_pFont;
    m_pFont = nullptr;
    m_pCapture.reset();
    m_pStats.reset();
    m_pStopSignals.reset();
    m_pWatcher.reset();
    m_pHud.reset();
    m_vScreenFiles.clear();
    qoru_flushLogEcho();
}

// Working on a screen.

namespace
{
// The files a screen's build looks up, as the folder names them: lower case, "/" separated.
void noteLookup(cchar * szName, void * pUser)
{
    std::string str = szName;
    for (char & c : str)
        c = c == '\\' ? '/' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    static_cast<std::set<std::string> *>(pUser)->insert(str);
}

std::string lowerCase(std::string str)
{
    for (char & c : str)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return str;
}
} // namespace

double qor_cLayerViewer::getFrameRate()
{
    const double dFps = qor_cPlayerOptions::getStepFps();
    return dFps > 0.0 ? dFps : 60.0;
}

int qor_cLayerViewer::firstFrameOf(int iEntry) const
{
    // The passes of a run from the start (replay's clock readings), without the screens.
    qor_cStepClock clock(getFrameRate());
    clock.setPosition(0.0f);
    clock.play();
    qor_cSequencer seq(getShowTable());
    seq.start(0, 0.0f, clock.getTime());
    const qor_cSequencer::sKeys none;
    for (int k = 0; k < INT_MAX; ++k)
    {
        seq.advance(clock.getTime(), none);
        if (seq.getEntry() >= iEntry || seq.isEnded())
            return k;
        clock.nextFrame();
    }
    return INT_MAX;
}

int qor_cLayerViewer::getFrameIndex() const
{
    return int(std::lround(double(m_sequencer.getPreviousMusicTime()) * getFrameRate() / 1000.0));
}

void qor_cLayerViewer::seekFrame(int nFrame)
{
    const int nEnd = firstFrameOf(m_sequencer.getCount());
    if (nFrame >= nEnd)
        nFrame = nEnd - 1;
    if (nFrame < 0)
        nFrame = 0;
    // A seek at start-up finds every screen as built: so does this one.
    for (int i = 0; i < getNbScreen(); ++i)
        getScreen(i)->rewind();
    const bool bPlaying = m_pMusic->isPlaying();
    if (qor_cPlayerOptions::getStepFps() > 0.0)
        replay(*m_pMusic, nFrame);
    else
    {
        qor_cStepClock steps(60.0);
        replay(steps, nFrame);
        m_pMusic->setPosition(steps.getTime());
        m_pMusic->play();
        m_sequencer.setMusicTime(m_pMusic->getTime());
    }
    if (!bPlaying)
        m_pMusic->stop();
    getTimeCounter(TIMER_0)->restart();
}

void qor_cLayerViewer::readAuthorKeys()
{
    const int nPerSecond = int(std::lround(getFrameRate()));
    // Each key asks for a seek, made at the start of the next pass (after the clock's step).
    if (isKeyPressed(qorrs_key_leftbracket))
        m_nSeekTo = std::max(0, getFrameIndex() - nPerSecond);
    if (isKeyPressed(qorrs_key_rightbracket))
        m_nSeekTo = getFrameIndex() + nPerSecond;
    if (isKeyPressed(qorrs_key_period) && !m_pMusic->isPlaying())
        m_nSeekTo = getFrameIndex() + 1;
    if (isKeyPressed(qorrs_key_r))
        m_nSeekTo = firstFrameOf(m_sequencer.getEntry());
}

bool qor_cLayerViewer::buildScreen(qor_cLayerScreen & screen, int iEntry, std::set<std::string> * pFiles)
{
    if (pFiles)
    {
        pFiles->clear();
        qor_cMonofiler::setLookupObserver(&noteLookup, pFiles);
    }
    const bool bOk = screen.loadFromScript(m_sequencer.getScript(iEntry));
    if (pFiles)
        qor_cMonofiler::setLookupObserver(nullptr, nullptr);
    return bOk;
}

bool qor_cLayerViewer::startWatching()
{
    const qor_sPlayerOptions & opts = qor_cPlayerOptions::get();
    std::string strTool = opts.strBuildTool;
    if (strTool.empty())
    {
        // qor-build-show lies beside the player.
        char acSelf[PATH_MAX];
        const ssize_t n = readlink("/proc/self/exe", acSelf, sizeof acSelf - 1);
        std::string strSelf = n > 0 ? std::string(acSelf, size_t(n)) : std::string("./qor-player");
        strTool = strSelf.substr(0, strSelf.rfind('/') + 1) + "qor-build-show";
    }
    char acCwd[PATH_MAX];
    if (access(strTool.c_str(), X_OK) != 0 || !getcwd(acCwd, sizeof acCwd))
    {
        std::fprintf(stderr, "qor-player: --watch: %s cannot be run: %s\n", strTool.c_str(), std::strerror(errno));
        return false;
    }
    m_pWatcher = std::make_unique<qor_cWatcher>();
    if (!m_pWatcher->start(opts.strWatch, acCwd, strTool))
    {
        std::fprintf(stderr, "qor-player: --watch: %s\n", m_pWatcher->getError().c_str());
        m_pWatcher.reset();
        return false;
    }
    std::fprintf(stderr, "qor-player: --watch: following %s (built into %s)\n", opts.strWatch.c_str(), acCwd);
    return true;
}

void qor_cLayerViewer::followSources()
{
    if (m_pWatcher && m_pWatcher->poll(qor_cFrameStats::now() / 1000.0))
    {
        const qor_cWatcher::sBuild & build = m_pWatcher->getBuild();
        ++m_nBuilds;
        std::string strNames;
        for (const std::string & str : build.vSources)
            strNames += (strNames.empty() ? "" : ", ") + str;
        if (!build.bOk)
        {
            // The build's own lines name the file and the line; the screens keep what they had.
            std::string strFirst;
            size_t b = 0;
            while (b < build.strMessages.size())
            {
                size_t e = build.strMessages.find('\n', b);
                if (e == std::string::npos)
                    e = build.strMessages.size();
                const std::string strLine = build.strMessages.substr(b, e - b);
                if (!strLine.empty() && strLine.rfind("qor-build-show: ", 0) != 0)
                {
                    std::fprintf(stderr, "%s\n", strLine.c_str());
                    if (strFirst.empty())
                        strFirst = strLine;
                }
                b = e + 1;
            }
            std::fprintf(stderr, "qor-player: --watch: %s: the build failed; the last good version keeps playing\n",
                         strNames.c_str());
            setAuthorMessage(strFirst.empty() ? strNames + ": the build failed" : strFirst);
            return;
        }
        if (std::find(build.vSources.begin(), build.vSources.end(), "show.ini") != build.vSources.end())
            std::fprintf(stderr, "qor-player: --watch: show.ini: its models are imported again; a new screen table, "
                                 "pack or music name needs a restart\n");
        if (!build.strMusic.empty() && lowerCase(build.strMusic) == lowerCase(qor_cShowConfig::get().getMusic()))
            reloadMusic();
        int nReloaded = 0, nFailed = 0;
        for (int i = 0; i < getNbScreen() && i < int(m_vScreenFiles.size()); ++i)
        {
            bool bUses = build.bAllScreens;
            for (const std::string & str : build.setOutputs)
                bUses = bUses || m_vScreenFiles[size_t(i)].count(str) > 0;
            if (bUses)
                (reloadScreen(i) ? nReloaded : nFailed)++;
        }
        qoru_flushLogEcho();
        char acLine[160];
        std::snprintf(acLine, sizeof acLine, "%d screen%s reloaded%s", nReloaded, nReloaded == 1 ? "" : "s",
                      nFailed ? ", some kept their last good version" : "");
        std::fprintf(stderr, "qor-player: --watch: %s: %s\n", strNames.c_str(), acLine);
        setAuthorMessage(strNames + ": " + acLine);
        m_bReloadShown = false;
    }
    // The log's last line (a script that failed to load) is the HUD's too.
    const std::string strEcho = qoru_getLastLogEcho();
    if (strEcho != m_strLastEcho)
    {
        m_strLastEcho = strEcho;
        setAuthorMessage(strEcho);
    }
}

bool qor_cLayerViewer::reloadScreen(int iEntry)
{
    qor_cLayerScreen fresh;
    std::set<std::string> setFiles;
    if (!buildScreen(fresh, iEntry, &setFiles))
    {
        std::fprintf(stderr,
                     "qor-player: --watch: screen %d (\"%s\") cannot be built again; its last good version "
                     "keeps playing\n",
                     iEntry + 1, m_sequencer.getScript(iEntry));
        return false;
    }
    qor_cLayerScreen * pScreen = getScreen(iEntry);
    pScreen->takeLayers(fresh);
    m_vScreenFiles[size_t(iEntry)] = setFiles;
    if (iEntry == m_sequencer.getEntry())
    {
        // The new screen goes to where the old one stood in one update, as stepping moves a
        // screen; the pass about to run adds its own step.
        const qor_sStep step = {m_sequencer.getScreenTime(), 0};
        pScreen->update(&step.fStep);
    }
    return true;
}

void qor_cLayerViewer::reloadMusic()
{
    if (qor_cPlayerOptions::getStepFps() > 0.0)
        return; // the fixed clock plays no sound
    uint nSize = 0;
    char * pImage = m_pMonofiler ? m_pMonofiler->loadFile(qor_cShowConfig::get().getMusic(), &nSize) : nullptr;
    if (!pImage)
        return;
    const float fMs = m_pMusic->getTime();
    const bool bPlaying = m_pMusic->isPlaying();
    m_pMusic->close();
    openMusic(pImage, nSize);
    m_pMusic->setPosition(fMs);
    if (bPlaying)
        m_pMusic->play();
    m_sequencer.setMusicTime(m_pMusic->getTime());
}

void qor_cLayerViewer::setAuthorMessage(const std::string & strMessage)
{
    m_strAuthorMessage = strMessage;
    if (m_pHud)
        m_pHud->setMessage(strMessage);
}

void qor_cLayerViewer::drawHud()
{
    if (!m_pHud)
        return;
    m_pHud->countFrame(qor_cFrameStats::now() / 1000.0); // seconds
    qor_cHud::sState state;
    state.iEntry = m_sequencer.getEntry();
    state.nEntries = m_sequencer.getCount();
    state.szScript = m_sequencer.getScript(state.iEntry);
    state.dShowMs = m_sequencer.getPreviousMusicTime();
    state.fScreenTime = m_sequencer.getScreenTime();
    state.bPaused = !m_pMusic->isPlaying() || m_sequencer.isPaused();
    state.bLoop = qor_cPlayerOptions::get().bLoop;
    m_pHud->draw(state);
}
