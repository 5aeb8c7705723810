// A small show made by the tests: compiled screen scripts whose screens fill the picture with
// one known colour, a loading screen, and optionally the music, in a folder the player runs in.
#pragma once

#include "qor_testUtil.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qort
{
struct Rgb
{
    int r, g, b;
};

class TestShow
{
public:
    TestShow();
    const std::string & path() const { return m_dir.path(); }
    std::string file(const std::string & name) const { return m_dir.file(name); }
    // Compiles a screen whose one layer covers the picture with the colour, as "scripts/exe/"
    // + szScreen. False (with the compiler's output in error()) when it does not compile.
    bool addColourScreen(const std::string & screen, Rgb colour);
    // A screen whose grey level follows its own clock: level t at screen time t units (0 to
    // 250, held after).
    bool addRampScreen(const std::string & screen);
    // A screen black up to its own time nUnit - 1 and white from nUnit on (linear between).
    bool addFlashScreen(const std::string & screen, int nUnit);
    // Every screen of the show's table in the colour of its entry (colourOf).
    bool addAllScreens();
    static Rgb colourOf(int iEntry);
    bool addMusic(int iRate, int iChannels, int nFrames);
    // The music: the samples given, mono.
    bool addMusic(int iRate, const std::vector<short> & samples);
    const std::string & error() const { return m_error; }

private:
    bool addScreen(const std::string & screen, const std::string & materialBody);
    TempDir m_dir;
    std::string m_error;
    int m_nLayer = 0;
};

// The pixels of an 8-bit RGB PNG file, row by row; false when it is not one.
bool readPng(const std::string & path, int * pW, int * pH, std::vector<uint8_t> * pRgb);
} // namespace qort
