#include "qor_layerTestEnv.h"

#include "qor_layerScript.h"

#include <filesystem>

namespace qort
{
const char * const kScriptPrelude = R"(#include <qor>
stock solid(r, g, b, const name[] = "solid")
{
    addMaterial(name);
    addPass();
    addStage();
    setCombiner(TEXARG_DIFFUSE, TEXOP_SELECTARG1, TEXARG_DIFFUSE);
    setAlphaCombiner(TEXARG_DIFFUSE, TEXOP_SELECTARG1, TEXARG_DIFFUSE);
    setMatDiff(r, g, b, FULL);
}
stock textured(const name[] = "textured")
{
    addMaterial(name);
    addPass();
    addStage();
    setCombiner(TEXARG_TEXTURE, TEXOP_MODULATE, TEXARG_DIFFUSE);
}
)";

void LayerTest::SetUp()
{
    ImageTestEnv::SetUp();
    std::filesystem::create_directories(m_dir.file("scripts/exe"));
    qoru_restoreScriptTargets(qor_sScriptTargets{});
}

void LayerTest::compile(const std::string & name, const std::string & source)
{
    std::string messages;
    EXPECT_TRUE(compileScript(kScriptPrelude + source, m_dir.file("scripts/exe/" + name), &messages))
        << name << ":\n"
        << messages;
}

std::string LayerTest::screenOf(const std::vector<std::string> & layers)
{
    std::string s = "main()\n{\n";
    for (const std::string & l : layers)
        s += "    addLayer(\"" + l + "\");\n";
    compile("screen.o", s + "}\n");
    return "screen.o";
}

std::vector<Rgba> LayerTest::frame(qor_cLayerScreen & screen, float dt)
{
    screen.update(&dt);
    screen.renderToTextures();
    disp()->setClearColor(0, 0, 0);
    disp()->beginScene();
    disp()->clear(3);
    screen.render();
    disp()->endScene();
    return readFrame();
}

std::vector<Rgba> LayerTest::frame(qor_cLayer & layer, float dt)
{
    layer.update(&dt);
    disp()->setClearColor(0, 0, 0);
    disp()->beginScene();
    disp()->clear(3);
    layer.render();
    disp()->endScene();
    return readFrame();
}

int LayerTest::countInLog(const std::string & text) const
{
    const std::string log = m_log.text();
    int n = 0;
    for (size_t pos = log.find(text); pos != std::string::npos; pos = log.find(text, pos + 1))
        ++n;
    return n;
}
} // namespace qort
