// Layer screens and layers built by screen and layer scripts: viewports, blur, clear flags,
// rewind, layers drawn into textures.
#include "qor_layerTestEnv.h"

#include "qor_cMaterial.h"
#include "qor_cScript.h"
#include "qor_cTexture.h"
#include "qor_layerScript.h"

using qort::Rgba;

namespace
{
class Layer : public qort::LayerTest
{
protected:
    std::unique_ptr<qor_cLayerScreen> screen(const std::vector<std::string> & layers)
    {
        std::unique_ptr<qor_cLayerScreen> p(new qor_cLayerScreen);
        EXPECT_TRUE(p->loadFromScript(screenOf(layers).c_str())) << m_log.text();
        return p;
    }
    void layerScript(const std::string & name, const std::string & body)
    {
        compile(name, "main()\n{\n" + body + "}\n");
    }
};
} // namespace

TEST_F(Layer, ViewportFromSetVPAndFromKeysAtATime)
{
    // One layer with a static viewport (the top-left quarter), one keyed from the top-left
    // quarter at frame 0 to the bottom-right quarter at frame 30; a full quad in each.
    layerScript("static.o", "setVP(0, 0, 500, 500);\naddQuad();\nsolid(255, 0, 0);\n");
    layerScript("keyed.o", "addKey_vp(0, 0, 0, 500, 500);\naddKey_vp(30, 500, 500, 500, 500);\nlastKey_vp();\n"
                           "addQuad();\nsolid(0, 255, 0);\n");
    auto pStatic = screen({"static.o"});
    auto f = frame(*pStatic, 0.0f);
    EXPECT_EQ(rgb(f, 160, 120), kRed);
    EXPECT_EQ(rgb(f, 480, 120), kBlack);
    EXPECT_EQ(rgb(f, 160, 360), kBlack);

    auto pKeyed = screen({"keyed.o"});
    f = frame(*pKeyed, 0.0f);
    EXPECT_EQ(rgb(f, 160, 120), kGreen);
    EXPECT_EQ(rgb(f, 480, 360), kBlack);
    const float * vp = static_cast<qor_cLayer *>(pKeyed->getLayer(0))->getVP();
    EXPECT_FLOAT_EQ(vp[0], 0.0f);
    EXPECT_FLOAT_EQ(vp[2], 0.5f);
    f = frame(*pKeyed, 30.0f);
    EXPECT_EQ(rgb(f, 160, 120), kBlack);
    EXPECT_EQ(rgb(f, 480, 360), kGreen);
    EXPECT_FLOAT_EQ(vp[0], 0.5f);
    EXPECT_FLOAT_EQ(vp[1], 0.5f);
}

TEST_F(Layer, TheBlurTrackScalesTheStoredViewport)
{
    // Blur (1, 1) at 0 to (0.5, 0.25) at 30, linear: at 15, (0.75, 0.625).
    layerScript("blur.o", "setVP(0, 0, 1000, 1000);\naddKey_vpBlur(0, 1000, 1000);\naddKey_vpBlur(30, 500, 250);\n"
                          "lastKey_vpBlur();\naddQuad();\nsolid(255, 255, 255);\n");
    auto p = screen({"blur.o"});
    auto f = frame(*p, 15.0f);
    const float * D = disp()->getVPPhysical();
    EXPECT_FLOAT_EQ(D[0], 0.0f);
    EXPECT_FLOAT_EQ(D[2], 480.0f);
    EXPECT_FLOAT_EQ(D[3], 300.0f);
    // The quad covers the stored viewport: 480 x 300 from the top-left.
    float l, t, r, b;
    static_cast<qor_cLayer *>(p->getLayer(0))->getQuad(0)->getRect(&l, &t, &r, &b);
    EXPECT_FLOAT_EQ(r, 480.0f);
    EXPECT_FLOAT_EQ(b, 300.0f);
    EXPECT_EQ(rgb(f, 470, 290), kWhite);
    EXPECT_EQ(rgb(f, 490, 290), kBlack);
    EXPECT_EQ(rgb(f, 470, 310), kBlack);
    // Without blur keys the whole screen viewport.
    layerScript("plain.o", "addQuad();\nsolid(255, 255, 255);\n");
    auto q = screen({"plain.o"});
    f = frame(*q, 15.0f);
    EXPECT_FLOAT_EQ(disp()->getVPPhysical()[2], 640.0f);
    EXPECT_FLOAT_EQ(disp()->getVPPhysical()[3], 480.0f);
    EXPECT_EQ(rgb(f, 639, 479), kWhite);
}

// Clear flags of a second layer drawn over a first one that paints the whole screen red; the
// second layer draws a small green quad in the centre.
struct ClearCase
{
    const char * name;
    int zbuffer, framebuffer;
    RGB outside;
};
const ClearCase kClear[] = {
    {"none", 0, 0, kRed},
    {"depthOnly", 1, 0, kRed},
    {"both", 1, 1, kBlack},
    {"colourOnly", 0, 1, kBlack},
    {"notOne", 2, 7, kRed}, // flags are 1 for true, anything else false
};
class LayerClear : public Layer, public ::testing::WithParamInterface<ClearCase>
{
};

TEST_P(LayerClear, ClearFlagsOverAnEarlierLayer)
{
    const ClearCase & c = GetParam();
    layerScript("back.o", "addQuad();\nsolid(255, 0, 0);\n");
    layerScript("front.o", "setZBufferClear(" + std::to_string(c.zbuffer) + ");\nsetFrameBufferClear(" +
                               std::to_string(c.framebuffer) + ");\naddQuad();\nsetScale(200, 200);\nsolid(0, 255, 0);\n");
    auto p = screen({"back.o", "front.o"});
    ASSERT_EQ(p->getNbLayer(), 2);
    EXPECT_EQ(static_cast<qor_cLayer *>(p->getLayer(1))->getZBufferClear(), c.zbuffer == 1);
    EXPECT_EQ(static_cast<qor_cLayer *>(p->getLayer(1))->getFrameBufferClear(), c.framebuffer == 1);
    auto f = frame(*p, 0.0f);
    EXPECT_EQ(rgb(f, 320, 240), kGreen);
    EXPECT_EQ(rgb(f, 20, 20), c.outside);
}
INSTANTIATE_TEST_SUITE_P(Cases, LayerClear, ::testing::ValuesIn(kClear),
                         [](const ::testing::TestParamInfo<ClearCase> & i) { return std::string(i.param.name); });

TEST_F(Layer, RewindRestartsQuadAndViewportTracksButNotBlur)
{
    layerScript("r.o", "addKey_vp(0, 0, 0, 1000, 1000);\naddKey_vp(30, 0, 0, 500, 500);\nlastKey_vp();\n"
                       "addKey_vpBlur(0, 1000, 1000);\naddKey_vpBlur(30, 500, 500);\nlastKey_vpBlur();\n"
                       "addQuad();\nsetScale(100, 100);\naddKey_pos(0, 0, 0);\naddKey_pos(30, 250, 0);\nlastKey_pos();\n"
                       "solid(255, 0, 0);\n");
    auto p = screen({"r.o"});
    qor_cLayer * pLayer = static_cast<qor_cLayer *>(p->getLayer(0));
    frame(*p, 30.0f);
    EXPECT_FLOAT_EQ(pLayer->getVP()[2], 0.5f);
    EXPECT_FLOAT_EQ(disp()->getVPPhysical()[2], 320.0f);
    p->rewind();
    frame(*p, 0.0f);
    // Viewport back to the whole screen, the quad back at the centre; the blur stays at 0.5.
    EXPECT_FLOAT_EQ(pLayer->getVP()[2], 1.0f);
    EXPECT_FLOAT_EQ(disp()->getVPPhysical()[2], 320.0f);
    EXPECT_FLOAT_EQ(pLayer->blurTrack().m_fTime, 30.0f);
    float l, t, r, b;
    pLayer->getQuad(0)->getRect(&l, &t, &r, &b);
    // Centre (0.5 + 0) x 320 = 160, half width 0.1 x 320 x 1 / 2 = 16.
    EXPECT_FLOAT_EQ(l, 144.0f);
    EXPECT_FLOAT_EQ(r, 176.0f);
}

TEST_F(Layer, ALayerDrawnIntoATextureIsShownByAQuadOfAnotherLayer)
{
    // The texture layer: left half red, right half green, laid out in the 256 x 256 texture.
    layerScript("tex.o", "addQuad();\nsetPos(-250, 0);\nsetScale(500, 1000);\nsolid(255, 0, 0, \"l\");\n"
                         "addQuad();\nsetPos(250, 0);\nsetScale(500, 1000);\nsolid(0, 255, 0, \"r\");\n");
    // Two quads of the main layer show it, each through "loadTextureScript" of the same name:
    // the texture layer is made and drawn once. The stage's combiner is set after the nested
    // script ran, so it reaches the outer material only if the targets were restored.
    layerScript("main.o", "addQuad();\nsetPos(-250, 0);\nsetScale(500, 1000);\naddMaterial(\"a\");\naddPass();\n"
                          "addStage();\nloadTextureScript(\"tex.o\");\nsetCombiner(TEXARG_TEXTURE, TEXOP_SELECTARG1, "
                          "TEXARG_DIFFUSE);\n"
                          "addQuad();\nsetPos(250, 0);\nsetScale(500, 1000);\naddMaterial(\"b\");\naddPass();\n"
                          "addStage();\nloadTextureScript(\"tex.o\");\nsetCombiner(TEXARG_TEXTURE, TEXOP_SELECTARG1, "
                          "TEXARG_DIFFUSE);\n");
    auto p = screen({"main.o"});
    ASSERT_EQ(p->getNbLayer(), 1);
    qor_cLayer * pLayer = static_cast<qor_cLayer *>(p->getLayer(0));
    EXPECT_EQ(pLayer->getNbScene(), 1);
    EXPECT_EQ(pLayer->textures().getNbItem(), 1);
    EXPECT_EQ(pLayer->materials().getNbItem(), 2);
    for (int frameNo = 0; frameNo < 2; ++frameNo)
    {
        auto f = frame(*p, 1.0f);
        // Each main quad covers half the screen and shows the whole texture: red then green
        // within each half.
        EXPECT_EQ(rgb(f, 80, 240), kRed) << frameNo;
        EXPECT_EQ(rgb(f, 240, 240), kGreen) << frameNo;
        EXPECT_EQ(rgb(f, 400, 240), kRed) << frameNo;
        EXPECT_EQ(rgb(f, 560, 240), kGreen) << frameNo;
    }
    EXPECT_EQ(m_log.text(), "");
}

TEST_F(Layer, AddLayerWithAMissingScriptLeavesTheScreenWithoutIt)
{
    layerScript("ok.o", "addQuad();\nsolid(0, 0, 255);\n");
    auto p = screen({"missing.o", "ok.o"});
    ASSERT_EQ(p->getNbLayer(), 1);
    auto f = frame(*p, 0.0f);
    EXPECT_EQ(rgb(f, 320, 240), kBlue);
    EXPECT_EQ(countInLog("cell AMX_NATIVE_CALL screenscript_addLayer(AMX * amx, cell * params) <missing.o>\n"), 1);
    EXPECT_EQ(countInLog("bool bRet = pLayer->loadScript(szLayerScriptName);\n"), 1);
    EXPECT_EQ(countInLog("bool qor_cLayer::loadScript(cchar * szScript<missing.o>)\n"), 1);
}

TEST_F(Layer, AScreenScriptThatFailsKeepsItsLayersAndSaysSo)
{
    layerScript("ok.o", "addQuad();\nsolid(0, 0, 255);\n");
    // A screen that adds a layer, then divides by zero.
    compile("bad.o", "main()\n{\n    new z = 0;\n    addLayer(\"ok.o\");\n    z = 1 / z;\n}\n");
    qor_cLayerScreen s;
    EXPECT_FALSE(s.loadFromScript("bad.o"));
    EXPECT_EQ(s.getNbLayer(), 1);
    EXPECT_EQ(countInLog("bool qor_cLayerScreen::loadFromScript(char * szScript)\n"), 1);
    EXPECT_EQ(countInLog("bool bRet = scr.loadAndExecute(szScript);\n"), 1);
}

TEST_F(Layer, AScreenScriptMayNotCallLayerNatives)
{
    // addQuad is in the layer table only: the host refuses the script before main.
    compile("wrong.o", "main()\n{\n    addQuad();\n}\n");
    qor_cLayerScreen s;
    EXPECT_FALSE(s.loadFromScript("wrong.o"));
    EXPECT_EQ(countInLog("ret<19> = amx_Register"), 1);
}

TEST_F(Layer, TheThirtyThirdTextureLayerIsRefused)
{
    layerScript("t.o", "addQuad();\nsolid(1, 2, 3);\n");
    std::string body = "addQuad();\naddMaterial(\"m\");\naddPass();\naddStage();\nnew ok = 0;\n";
    // 33 copies of the same script under different names.
    for (int i = 0; i < 33; ++i)
    {
        const std::string n = "t" + std::to_string(i) + ".o";
        layerScript(n, "addQuad();\nsolid(1, 2, 3);\n");
        body += "ok += loadTextureScript(\"" + n + "\");\n";
    }
    body += "if (ok == 32) { setMatDiff(0, 255, 0, 255); }\n";
    qor_cLayer layer;
    compile("many.o", "main()\n{\n" + body + "}\n");
    ASSERT_TRUE(layer.loadScript("many.o"));
    EXPECT_EQ(layer.getNbScene(), 32);
    EXPECT_EQ(countInLog("Impossible de creer plus de layer additionnel, slot max=32\n"), 1);
    EXPECT_NEAR(layer.getQuad(0)->getMaterial()->getProp().getDiffuse()[1], 1.0f, 1e-6);
}

TEST_F(Layer, ATextureLayerMayShowATextureLayer)
{
    // inner: all blue; middle: its left half shows inner, its right half is red; the screen's
    // layer shows middle over the whole screen.
    layerScript("inner.o", "addQuad();\nsolid(0, 0, 255);\n");
    layerScript("middle.o", "addQuad();\nsetPos(-250, 0);\nsetScale(500, 1000);\naddMaterial(\"a\");\naddPass();\n"
                            "addStage();\nloadTextureScript(\"inner.o\");\n"
                            "setCombiner(TEXARG_TEXTURE, TEXOP_SELECTARG1, TEXARG_DIFFUSE);\n"
                            "addQuad();\nsetPos(250, 0);\nsetScale(500, 1000);\nsolid(255, 0, 0);\n");
    layerScript("outer.o", "addQuad();\naddMaterial(\"o\");\naddPass();\naddStage();\n"
                           "loadTextureScript(\"middle.o\");\nsetCombiner(TEXARG_TEXTURE, TEXOP_SELECTARG1, TEXARG_DIFFUSE);\n");
    auto p = screen({"outer.o"});
    auto f = frame(*p, 1.0f);
    EXPECT_EQ(rgb(f, 160, 240), kBlue);
    EXPECT_EQ(rgb(f, 480, 240), kRed);
}

TEST_F(Layer, ATextureLayerThatShowsItselfStopsAtTheNestingLimit)
{
    layerScript("self.o", "addQuad();\naddMaterial(\"s\");\naddPass();\naddStage();\n"
                          "loadTextureScript(\"self.o\");\n");
    qor_cLayer layer;
    // The innermost call is refused (0 to its script, which goes on); eight layers deep.
    EXPECT_TRUE(layer.loadScript("self.o"));
    EXPECT_EQ(countInLog("trop de layers imbriques, max : 8\n"), 1) << m_log.text();
    EXPECT_EQ(countInLog("bool b = pNewLayer->loadScript(szName<self.o>);\n"), 1);
    int nDepth = 0;
    for (qor_cScene * p = layer.getScene(0); p; p = p->getScene(0))
        ++nDepth;
    EXPECT_EQ(nDepth, 8);
}

// ----- what one script may make run and build

// One instruction budget for a script and every script it starts: a screen that adds, for
// ever, a layer whose script loops for ever. The first layer's script spends the whole budget
// and is stopped; the screen, with nothing left, stops at its next instruction. No layer is
// added (the stopped one failed).
TEST_F(Layer, AScreenThatAddsLoopingLayersForEverEndsWithinOneBudget)
{
    layerScript("loop.o", "for (;;) {}\n");
    compile("screen.o", "main()\n{\n    for (;;)\n        addLayer(\"loop.o\");\n}\n");
    const int64_t nSaved = qor_cScript::getMaxSteps();
    qor_cScript::setMaxSteps(100000);
    qor_cLayerScreen s;
    EXPECT_FALSE(s.loadFromScript("screen.o"));
    qor_cScript::setMaxSteps(nSaved);
    EXPECT_EQ(s.getNbLayer(), 0);
    EXPECT_EQ(countInLog("Script arrete apres 100000 instructions"), 2) << m_log.text();
    EXPECT_EQ(countInLog("budget partage avec le script qui l'a lance"), 1) << m_log.text();
    EXPECT_EQ(countInLog("bool bRet = pLayer->loadScript(szLayerScriptName);\n"), 1);
}

namespace
{
int countTextureLayers(qor_cScene * p)
{
    int n = 0;
    for (int i = 0; i < p->getNbScene(); ++i)
        n += 1 + countTextureLayers(p->getScene(i));
    return n;
}
} // namespace

// Four texture-layer scripts, each showing all four: eight levels deep that would be 4 + 4^2 +
// ... + 4^8 = 87380 texture layers. The screen stops at its cap, says so, and draws.
TEST_F(Layer, TextureLayersThatFanOutStopAtTheScreensCap)
{
    std::string body = "addQuad();\naddMaterial(\"m\");\naddPass();\n";
    for (int i = 0; i < 4; ++i)
        body += "addStage();\nloadTextureScript(\"f" + std::to_string(i) + ".o\");\n";
    for (int i = 0; i < 4; ++i)
        layerScript("f" + std::to_string(i) + ".o", body);
    auto p = screen({"f0.o"});
    ASSERT_EQ(p->getNbLayer(), 1);
    EXPECT_EQ(countTextureLayers(p->getLayer(0)), kQorMaxTextureLayersPerScreen);
    EXPECT_GE(countInLog("trop de layers de texture dans l'ecran, max : 256\n"), 1);
    frame(*p, 1.0f);
    // A second screen counts its own.
    auto p2 = screen({"f1.o"});
    EXPECT_EQ(countTextureLayers(p2->getLayer(0)), kQorMaxTextureLayersPerScreen);
}

// A layer holds at most 65536 quads: the script that adds one more is stopped, with one line.
TEST_F(Layer, AddQuadPastTheCapStopsTheScript)
{
    layerScript("many.o", "for (new i = 0; i < 65536; i++)\n    addQuad();\n");
    qor_cLayer ok;
    EXPECT_TRUE(ok.loadScript("many.o")) << m_log.text();
    EXPECT_EQ(ok.getNbQuad(), kQorMaxQuadsPerLayer);
    layerScript("more.o", "for (new i = 0; i < 65537; i++)\n    addQuad();\nsolid(255, 0, 0);\n");
    qor_cLayer more;
    EXPECT_FALSE(more.loadScript("more.o"));
    EXPECT_EQ(countInLog("trop de quads dans le layer, max : 65536 ; script arrete\n"), 1) << m_log.text();
}
