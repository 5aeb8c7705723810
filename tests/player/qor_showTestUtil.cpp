#include "qor_showTestUtil.h"

#include "qor_cLayerViewer.h"
#include "qor_testMp3.h"

#include <png.h>

#include <cstdio>

namespace qort
{
TestShow::TestShow()
{
    runCommand("mkdir -p '" + m_dir.file("scripts/exe") + "' '" + m_dir.file("src") + "'");
    writeText(m_dir.file("application.ini"), "[APPLICATION]\nID=1\nUSER=0\n");
}

bool TestShow::addScreen(const std::string & screen, const std::string & materialBody)
{
    const std::string layer = "layer_" + std::to_string(m_nLayer++);
    const std::string layerSrc = m_dir.file("src/" + layer + ".sc");
    const std::string screenSrc = m_dir.file("src/" + screen + ".sc");
    writeText(layerSrc, "#include <qor>\n"
                        "main()\n{\n"
                        "    setVP(0, 0, ONE, ONE);\n"
                        "    addQuad();\n"
                        "    addMaterial(\"flat\");\n" +
                            materialBody +
                            "    addPass();\n"
                            "    addStage();\n"
                            "    setCombiner(TEXARG_DIFFUSE, TEXOP_SELECTARG1, TEXARG_DIFFUSE);\n"
                            "    setAlphaCombiner(TEXARG_DIFFUSE, TEXOP_SELECTARG1, TEXARG_DIFFUSE);\n"
                            "    setPos(0, 0);\n"
                            "    setScale(ONE, ONE);\n"
                            "}\n");
    writeText(screenSrc, "#include <qor>\nmain()\n{\n    addLayer(\"" + layer + ".o\");\n}\n");
    const std::string sc = binDir() + "/qor-sc -I '" + sourceDir() + "/scripts/include' ";
    const int iA = runCommand(sc + "'" + layerSrc + "' -o '" + m_dir.file("scripts/exe/" + layer + ".o") + "' 2>&1", &m_error);
    const int iB = runCommand(sc + "'" + screenSrc + "' -o '" + m_dir.file("scripts/exe/" + screen) + "' 2>&1", &m_error);
    return iA == 0 && iB == 0;
}

bool TestShow::addColourScreen(const std::string & screen, Rgb c)
{
    char ac[128];
    std::snprintf(ac, sizeof ac, "    setMatDiff(%d, %d, %d, 255);\n", c.r, c.g, c.b);
    return addScreen(screen, ac);
}

bool TestShow::addRampScreen(const std::string & screen)
{
    return addScreen(screen, "    setMatDiff(0, 0, 0, 255);\n"
                             "    addKey_diffuse(0, 0, 0, 0, 255);\n"
                             "    addKey_diffuse(250, 250, 250, 250, 255);\n"
                             "    lastKey_diffuse();\n");
}

bool TestShow::addFlashScreen(const std::string & screen, int nUnit)
{
    return addScreen(screen, "    setMatDiff(0, 0, 0, 255);\n"
                             "    addKey_diffuse(0, 0, 0, 0, 255);\n"
                             "    addKey_diffuse(" +
                                 std::to_string(nUnit - 1) +
                                 ", 0, 0, 0, 255);\n"
                                 "    addKey_diffuse(" +
                                 std::to_string(nUnit) +
                                 ", 255, 255, 255, 255);\n"
                                 "    lastKey_diffuse();\n");
}

Rgb TestShow::colourOf(int iEntry)
{
    // Distinct, and far from black (the clear colour).
    return Rgb{40 + (iEntry * 53) % 200, 30 + (iEntry * 97) % 200, 50 + (iEntry * 31) % 200};
}

bool TestShow::addAllScreens()
{
    const qor_sScreenEntry * pTable = qor_cLayerViewer::getShowTable();
    for (int i = 0; pTable[i].szScript; ++i)
    {
        // "kv_screen_black.o" stands three times in the table: one script, one colour.
        const std::string name = pTable[i].szScript;
        if (fileExists(m_dir.file("scripts/exe/" + name)))
            continue;
        if (!addColourScreen(name, colourOf(i)))
            return false;
    }
    return true;
}

bool TestShow::addMusic(int iRate, int iChannels, int nFrames)
{
    const std::vector<uint8_t> mp3 = makeMp3(iRate, iChannels, nFrames, 440.0f);
    return !mp3.empty() && writeBytes(m_dir.file("DASKMIX.mp3"), mp3.data(), mp3.size());
}

bool TestShow::addMusic(int iRate, const std::vector<short> & samples)
{
    const std::vector<uint8_t> mp3 = makeMp3(iRate, 1, samples);
    return !mp3.empty() && writeBytes(m_dir.file("DASKMIX.mp3"), mp3.data(), mp3.size());
}

bool readPng(const std::string & path, int * pW, int * pH, std::vector<uint8_t> * pRgb)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_RGB;
    pRgb->resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pRgb->data(), 0, nullptr))
        return false;
    *pW = int(image.width);
    *pH = int(image.height);
    return true;
}
} // namespace qort
