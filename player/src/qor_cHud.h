// The author's heads-up display (qor-player --hud): a few lines of text drawn over the show's
// picture in the engine's bitmap font (the show's "maps\qor\font", the loading frame's): where
// in the show the picture stands, how fast frames come, and the last message the player gave
// (a script that failed to load or compile, a file reloaded).
#pragma once

#include "qor_types.h"

#include <string>

class qor_cFont;

class qor_cHud
{
  public:
    // What the lines say.
    struct sState
    {
        int iEntry = 0;           // entry of the show's table, from 0 (shown from 1)
        int nEntries = 0;         // entries in the table
        cchar * szScript = "";    // its screen script
        double dShowMs = 0.0;     // the show's clock (the music position)
        float fScreenTime = 0.0f; // units into the entry
        bool bPaused = false;     // the picture stands still (P, or stepping)
        bool bLoop = false;       // --loop
    };

    qor_cHud();
    ~qor_cHud();
    qor_cHud(const qor_cHud &) = delete;
    qor_cHud & operator=(const qor_cHud &) = delete;

    // Loads the font; false (the reason on standard error, once) when the show has none.
    bool init();
    bool isReady() const { return m_pFont != nullptr; }

    // A frame was shown at dNowSeconds (any monotonic clock): frames per second are counted
    // over the last second.
    void countFrame(double dNowSeconds);
    double getFps() const { return m_dFps; }
    // The message line (one line: line feeds become spaces).
    void setMessage(const std::string & strMessage);
    const std::string & getMessage() const { return m_strMessage; }

    // The lines, as drawn.
    std::string text(const sState & state) const;
    // Draws them at the top left of the back buffer, over what is there (between the display's
    // beginScene and endScene of its own).
    void draw(const sState & state);

    // m:ss.ff of a time in milliseconds (hundredths truncated, as a clock shows them).
    static std::string formatTime(double dMs);

  private:
    qor_cFont * m_pFont;
    std::string m_strMessage;
    double m_dFps;
    double m_dWindowStart; // start of the second being counted (-1: none yet)
    int m_nWindowFrames;
};
