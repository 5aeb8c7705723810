// The demo player: shows the loading frame, builds the show's screens from their scripts, and
// plays them on the music's clock (see qor_cSequencer for the rules of a pass).
#pragma once

#include "qor_cList.h"
#include "qor_cMain.h"
#include "qor_cSequencer.h"

#include <cstdint>
#include <vector>

class qor_cCapture;
class qor_cFont;
class qor_cLayerScreen;
class qor_cMusic;

class qor_cLayerViewer : public qor_cApplication
{
public:
    qor_cLayerViewer();
    ~qor_cLayerViewer() override;
    bool init() override;
    void release() override;
    void run() override;

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
    bool captureFrame(qor_cCapture & capture);

    qor_cSequencer m_sequencer;
    qor_cList m_lScreen; // owned qor_cLayerScreen, in table order
    qor_cMusic * m_pMusic;
    int m_nPass;
    bool m_abWasDown[256];
    std::vector<uint8_t> m_pixels; // the frame read back for capture
};
