// The example screen, layer and material scripts of scripts/examples (shown in
// docs/SCRIPTING.md), compiled with qor-sc and drawn.
#include "qor_layerTestEnv.h"

#include <cstdio>

using qort::Rgba;

namespace
{
class ExampleScripts : public qort::LayerTest
{
protected:
    void compileExample(const std::string & stem)
    {
        const std::string src = qort::sourceDir() + "/scripts/examples/" + stem + ".sc";
        std::string out;
        const int rc = qort::runCommand("'" + qort::binDir() + "/qor-sc' '" + src + "' -I '" + qort::sourceDir() +
                                            "/scripts/include' -o '" + m_dir.file("scripts/exe/" + stem + ".o") +
                                            "' 2>&1",
                                        &out);
        EXPECT_EQ(rc, 0) << stem << ":\n" << out;
        EXPECT_EQ(out, "") << "warnings in " << stem;
    }
};
} // namespace

TEST_F(ExampleScripts, TheExampleScreenCompilesAndDraws)
{
    for (const char * stem : {"example_screen", "example_layer", "example_texture_layer", "example_material"})
        compileExample(stem);
    ASSERT_TRUE(writeImage("example_picture", 16, 16, qort::solidRgb(16, 16, 40, 80, 160)));
    // Frame k of the flame: (200, 20 k + 20, 0).
    for (int k = 0; k < 10; ++k)
    {
        char stem[32];
        std::snprintf(stem, sizeof stem, "example_flame_%03d", k + 1);
        ASSERT_TRUE(writeImage(stem, 8, 8, qort::solidRgb(8, 8, 200, (unsigned char)(20 * k + 20), 0)));
    }
    qor_cLayerScreen screen;
    ASSERT_TRUE(screen.loadFromScript("example_screen.o")) << m_log.text();
    ASSERT_EQ(screen.getNbLayer(), 1);
    auto near = [](const Rgba & p, int r, int g, int b) {
        return std::abs(p.r - r) <= 3 && std::abs(p.g - g) <= 3 && std::abs(p.b - b) <= 3;
    };

    // Frame time 0: the picture black, the panel off the screen, the flame's first image.
    auto f = frame(screen, 0.0f);
    EXPECT_PRED4(near, pixel(f, 40, 40), 0, 0, 0);
    EXPECT_PRED4(near, pixel(f, 560, 240), 0, 0, 0);
    EXPECT_PRED4(near, pixel(f, 160, 240), 200, 20, 0);

    // One second: the picture in its colours; the panel centred at (0.75, 0.5) of the screen,
    // half its size (x 320 to 640, y 120 to 360), showing the texture layer's red and green
    // halves; the flame quad (x 80 to 240, y 180 to 300) on its last image.
    f = frame(screen, 30.0f);
    EXPECT_PRED4(near, pixel(f, 40, 40), 40, 80, 160);
    EXPECT_PRED4(near, pixel(f, 400, 100), 40, 80, 160);
    EXPECT_PRED4(near, pixel(f, 400, 240), 255, 0, 0);
    EXPECT_PRED4(near, pixel(f, 560, 240), 0, 255, 0);
    EXPECT_PRED4(near, pixel(f, 160, 240), 200, 200, 0);
    EXPECT_PRED4(near, pixel(f, 60, 240), 40, 80, 160);
    EXPECT_EQ(m_log.text(), "");
}
