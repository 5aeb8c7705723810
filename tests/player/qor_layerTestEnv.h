// Layer tests: screen, layer and material scripts written in the show's script language,
// compiled with qor-sc, run by the engine's script host and drawn on the GL display; frames are
// read back.
#pragma once

#include "qor_cLayer.h"
#include "qor_cLayerQuad.h"
#include "qor_cLayerScreen.h"
#include "qor_imageTestEnv.h"

#include <string>
#include <vector>

namespace qort
{
// Helpers every test script may call: a material of one pass whose stage shows the diffuse
// colour (solid), or a texture times the diffuse colour (textured).
extern const char * const kScriptPrelude;

class LayerTest : public ImageTestEnv
{
protected:
    void SetUp() override;

    // Compiles source (kScriptPrelude first) into scripts/exe/<name>; a failure fails the test.
    void compile(const std::string & name, const std::string & source);
    // A screen of the given layer scripts, one "addLayer" each, compiled as "screen.o".
    std::string screenOf(const std::vector<std::string> & layers);
    // One frame of a screen as the sequencer draws it: update by dt, the render-to-texture
    // pass, beginScene, clear(3) to black, render, endScene; the frame read back.
    std::vector<Rgba> frame(qor_cLayerScreen & screen, float dt);
    // The same for a single layer.
    std::vector<Rgba> frame(qor_cLayer & layer, float dt);
    // Colour of a pixel without alpha.
    std::tuple<int, int, int> rgb(const std::vector<Rgba> & f, int x, int y) const { return pixel(f, x, y).rgb(); }
    // How often a text occurs in the error log.
    int countInLog(const std::string & text) const;

    LogCapture m_log;
};
} // namespace qort

typedef std::tuple<int, int, int> RGB;
const RGB kBlack{0, 0, 0}, kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kWhite{255, 255, 255};
