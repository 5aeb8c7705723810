// The demo player: shows the loading frame, builds the show's screens from their scripts, and
// plays them on the music's clock (see qor_cSequencer for the rules of a pass).
#pragma once

#include "qor_cDisp.h"
#include "qor_cFrameStats.h"
#include "qor_cList.h"
#include "qor_cMain.h"
#include "qor_cSequencer.h"

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

class qor_cCapture;
class qor_cFont;
class qor_cHud;
class qor_cWatcher;
class qor_cLayerScreen;
class qor_cMusic;
class qor_cStopSignals;

class qor_cLayerViewer : public qor_cApplication
{
  public:
    qor_cLayerViewer();
    ~qor_cLayerViewer() override;
    bool init() override;
    void release() override;
    // The show: startShow, then stepFrame until it returns false, then finishShow.
    void run() override;

    // The show in three parts, so that any host's loop can drive it one frame at a time (the
    // native loop in run(), a browser's animation frames). startShow shows the loading frame,
    // builds the screens, opens the music and a capture and goes to the first frame; false when
    // there is nothing to play. stepFrame is one pass of the frame loop (keys, update, draw,
    // capture, present, events); false once the show is over. finishShow always follows, even
    // after a failed start: it finishes a capture, prints the statistics and frees the show.
    bool startShow();
    bool stepFrame();
    void finishShow();

    // The show's table of screens (a null script name ends it) and its length in seconds.
    static const qor_sScreenEntry * getShowTable();
    static double getShowLength();

    // The loop's state, readable while run() is running (from updateKeyboard) and after it.
    const qor_cSequencer & getSequencer() const { return m_sequencer; }
    qor_cMusic * getMusic() const { return m_pMusic; }
    int getNbScreen() const { return m_lScreen.getNbItem(); }
    qor_cLayerScreen * getScreen(int i) const { return m_lScreen.get<qor_cLayerScreen>(i); }
    // Passes of the frame loop run so far.
    int getPassCount() const { return m_nPass; }

    // The loading frame: the loading screen updated once and drawn with the version text, then
    // presented; returns the font (the caller deletes it at the end of the show).
    qor_cFont * showLoadingFrame();

  protected:
    // The keyboard read at the end of every pass (its state serves the key tests of the next
    // pass and Space); tests replace it with a scripted keyboard.
    virtual void updateKeyboard();

  private:
    // True when the file is in the pack or a regular file of the folder.
    bool hasFile(cchar * szName);
    bool isKeyDown(uint nCode);
    // True once when a key goes down (the player's own keys act on the press, not the level).
    bool isKeyPressed(uint nCode);
    // Opens the music (or the clock standing in for it) from the image, which it takes.
    void openMusic(char * pImage, uint nSize);
    // Makes entry iEntry current from its start, the music moved there; false past the end.
    bool jumpTo(int iEntry);
    // Runs nFrames passes from the start of the show on the clock (set to 0 and started), each
    // updating the current screen; only each screen's last pass and the last pass are drawn,
    // and none is shown. False when the show ended on the way.
    bool replay(qor_cMusic & clock, int nFrames);
    // Update by the step, then renderScreen.
    void drawScreen(int iEntry, const qor_sStep & step);
    // The screen's textures, then the screen, into the back buffer (not presented).
    void renderScreen(int iEntry);
    // The frame drawn into the capture, read back a pass late; bLast: the frame whose
    // read-back the previous call left running, at the end of the show.
    bool captureFrame(qor_cCapture & capture, bool bLast = false);
    // The cost of the pass since the last call (--stats).
    qor_cFrameStats::sCost takePassCost();

    qor_cSequencer m_sequencer;
    qor_cList m_lScreen; // owned qor_cLayerScreen, in table order
    qor_cMusic * m_pMusic = nullptr;
    int m_nPass = 0;
    bool m_abWasDown[256] = {};
    std::vector<uint8_t> m_pixels; // the frame read back for capture

    // The state of a show between startShow and finishShow.
    std::unique_ptr<qor_cStopSignals> m_pStopSignals;
    std::unique_ptr<qor_cCapture> m_pCapture;
    std::unique_ptr<qor_cFrameStats> m_pStats;
    qor_cFont * m_pFont = nullptr; // the loading frame's font, kept until the end
    bool m_bShowRan = false;       // startShow reached the frame loop
    bool m_bCaptureOk = true;
    int m_iDrawn = -1;         // entry drawn by the last pass, for --stats
    double m_dPassStart = 0.0; // when the current pass started, for --stats
    double m_dPassCpu = 0.0;   // the main thread's processor time then, and the display's counters
    qor_sDispStats m_passStats = {};
    bool m_bHeadless = false; // capturing without a display: frames are not presented
    double m_dLastShow = 0.0;  // show time of the last pass, for the progress line

    // Working on a screen: --screen, --loop, --hud, --watch and the author's keys.
  public:
    // The frames a second that frame indexes count: the fixed step's, else 60 (a seek's).
    static double getFrameRate();
    // The first frame (at getFrameRate) that a run from the start shows entry iEntry at; for
    // iEntry past the last entry, the frame at which the show is over.
    int firstFrameOf(int iEntry) const;
    // The frame the last pass showed (its clock reading at getFrameRate, rounded).
    int getFrameIndex() const;
    // The author's last message (a load problem, a reload or a failed build), as the HUD shows it.
    const std::string & getAuthorMessage() const { return m_strAuthorMessage; }
    // --watch: the rebuilds finished so far, good or failed.
    int getBuildCount() const { return m_nBuilds; }

  private:
    // The show moved to frame nFrame as a seek there moves it: every screen back to its start,
    // the passes before it replayed from the start of the show, the music set there; a paused
    // music stays paused. Clamped to the show's last frame.
    void seekFrame(int nFrame);
    // The author's keys, on their press: a seek to make at the start of the next pass.
    void readAuthorKeys();
    // Builds entry iEntry's screen from its script, noting the files it reads when watching.
    bool buildScreen(qor_cLayerScreen & screen, int iEntry, std::set<std::string> * pFiles);
    // --watch: the folder's changes, rebuilt and reloaded (once a frame, before the pass).
    bool startWatching();
    void followSources();
    bool reloadScreen(int iEntry);
    void reloadMusic();
    void setAuthorMessage(const std::string & strMessage);
    void drawHud();

    std::unique_ptr<qor_cHud> m_pHud;
    std::unique_ptr<qor_cWatcher> m_pWatcher;
    std::vector<std::set<std::string>> m_vScreenFiles; // per entry, the files its build read
    std::string m_strAuthorMessage;
    std::string m_strLastEcho;  // the log's last line, as last seen
    int m_nSeekTo = -1;         // a seek a key asked for, made at the start of the next pass
    int m_nLoopFirst = 0;       // --loop: the frame the show goes back to
    int m_nBuilds = 0;
    bool m_bReloadShown = true; // --watch: the frame with the last reload was presented
};
