// The demo player's own command-line options (the clock, seeking, capture, picture size) and
// the exit status the show leaves. One process-wide set, filled by qor-player's option parser
// and read by the demo player when it runs; tests set the fields directly.
#pragma once

#include "qor_types.h"

#include <string>

struct qor_sPlayerOptions
{
    double dFps = 0.0;       // --fps: fixed-step clock, no sound (0: the music's clock)
    double dSeek = 0.0;      // --seek: music time the show starts at, in seconds
    int iFirst = -1;         // --range FIRST:LAST: frame indexes at the fixed step (-1: none)
    int iLast = -1;
    std::string strCapture;  // --capture: PNG pattern or video file, empty for none
    int iWidth = 0;          // --size: presented and captured picture (0: 640 x 480)
    int iHeight = 0;
    // --render-size: the size the picture is drawn at (0: 640 x 480)
    int iRenderWidth = 0;
    int iRenderHeight = 0;
    bool bQuiet = false;     // --quiet: no progress line while capturing
    bool bStats = false;     // --stats: per-screen frame times and the load time at the end
    bool bStatsPixels = false; // --stats-pixels: --stats, and the pixels filled counted
    bool bStrict = false;    // --strict: any load problem ends the show after loading, exit 1
    // Working on a screen.
    int iScreen = -1;         // --screen N: the entry the show starts at, from 0 (-1: none)
    bool bLoop = false;       // --loop: that entry (or the whole show) again and again
    bool bHud = false;        // --hud: the author's lines drawn over the show
    bool bHudCapture = false; // --hud-capture: and into the captured frames
    std::string strWatch;     // --watch SRC: the source folder followed (absolute), empty none
    std::string strBuildTool; // what --watch rebuilds with (empty: qor-build-show beside the player)
};

class qor_cPlayerOptions
{
public:
    static qor_sPlayerOptions & get();
    // Back to the defaults, exit status 0.
    static void reset();

    // Takes argv[i] (and its value) when it is one of these options: returns 1 and leaves i on
    // the last word taken; 0 when it is not one of them; -1 after writing the reason to
    // standard error when it is, but malformed.
    static int parse(int argc, char ** argv, int & i);
    // The lines of the usage text that describe these options.
    static cchar * usage();

    // The seek time against the show's length, once the show is known: false after writing
    // the reason to standard error when it is not before the end.
    static bool checkSeek();

    // The frames-per-second the show runs at: --fps, else 60 while capturing, else 0 (music).
    static double getStepFps();
    // Frames replayed (updated, not drawn) before the first frame shown: FIRST of --range, else
    // the seek time in frames at the fixed step (60 a second on the music's clock), rounded.
    static int getFirstFrame();
    // --screen against the show's table, once it is known: false after writing the reason to
    // standard error when the table has no such entry.
    static bool checkScreen();

    // Frames to show: LAST - FIRST + 1 of --range, else -1 (to the end).
    static int getRangeFrames();

    // A stop asked for by a signal (SIGINT, SIGTERM): 128 + its number becomes the exit status.
    static void setStoppedBy(int iSignal);

    // 0, 1 after a failure the show could not recover from (capture could not start or broke
    // off), or 128 + the signal that stopped the show; qor-player exits with it.
    static int getExitStatus();
    static void setFailed();
};
