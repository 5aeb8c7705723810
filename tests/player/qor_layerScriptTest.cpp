// The native tables and what individual natives do: their order, the units, the material
// natives inside layer scripts, missing targets, replaceMaterial, textures loaded once, frame
// animation.
#include "qor_layerTestEnv.h"

#include "qor_cEffect.h"
#include "qor_cMaterial.h"
#include "qor_cS3dWriter.h"
#include "qor_cTexture.h"
#include "qor_layerScript.h"

#include <cstring>

using qort::Rgba;

namespace
{
class LayerNatives : public qort::LayerTest
{
protected:
    std::unique_ptr<qor_cLayer> load(const std::string & body, bool bExpectOk = true)
    {
        compile("layer.o", "main()\n{\n" + body + "}\n");
        std::unique_ptr<qor_cLayer> p(new qor_cLayer);
        EXPECT_EQ(p->loadScript("layer.o"), bExpectOk) << m_log.text();
        return p;
    }
};

std::vector<std::string> LayerNativesNames(const AMX_NATIVE_INFO * p)
{
    std::vector<std::string> v;
    for (; p->name; ++p)
        v.push_back(p->name);
    return v;
}
} // namespace

TEST(LayerNativeTables, NamesInTheirOrder)
{
    const std::vector<std::string> layer = {
        "addQuad",         "addMaterial",      "setDim",           "setPos",
        "setScale",        "setUVScale",       "setZBufferClear",  "setFrameBufferClear",
        "loadScene",       "addKey_pos",       "lastKey_pos",      "addKey_scale",
        "lastKey_scale",   "setVP",            "addKey_vp",        "lastKey_vp",
        "addKey_vpBlur",   "lastKey_vpBlur",   "addKey_uvScale",   "lastKey_uvScale",
        "addKey_uvpos",    "lastKey_uvpos",    "endMode_uvpos",    "addKey_uvrot",
        "lastKey_uvrot",   "addKey_texture",   "lastKey_texture",  "endMode_texture",
        "addKey_diffuse",  "lastKey_diffuse",  "addPass",          "setBlend",
        "addStage",        "loadTexture",      "loadTextureNoComp", "loadTextureScript",
        "loadTextureAlpha", "loadTableOffset", "loadAnim",         "setCombiner",
        "setAlphaCombiner", "setTexGen",       "setTTF",           "setMatPropColor",
        "setMatDiff",      "setMatAmbi",       "setMatSpec",       "setMatEmis",
        "setMatPropSrc",   "setZCmp",          "setZWrite",        "replaceMaterial"};
    const std::vector<std::string> material = {
        "addPass",         "setBlend",        "addStage",        "loadTexture",     "loadTextureNoCompr",
        "loadTextureAlpha", "loadTableOffset", "loadAnim",       "setCombiner",     "setAlphaCombiner",
        "setTexGen",       "setTTF",          "setMatPropColor", "setMatDiff",      "setMatAmbi",
        "setMatSpec",      "setMatEmis",      "setMatPropSrc",   "setZCmp",         "setZWrite",
        "addKey_diffuse",  "lastKey_diffuse", "addKey_texture",  "lastKey_texture", "lastKey_texture",
        "endMode_texture", "useTextureAsRenderTarget"};
    EXPECT_EQ(LayerNativesNames(qor_aLayerScriptNatives), layer);
    EXPECT_EQ(LayerNativesNames(qor_aMatScriptNatives), material);
    EXPECT_EQ(LayerNativesNames(qor_aScreenScriptNatives), std::vector<std::string>{"addLayer"});
    // The material natives of the layer table are the material table's functions.
    for (const AMX_NATIVE_INFO * p = qor_aLayerScriptNatives; p->name; ++p)
        for (const AMX_NATIVE_INFO * q = qor_aMatScriptNatives; q->name; ++q)
            if (std::strcmp(p->name, q->name) == 0)
            {
                EXPECT_EQ(p->func, q->func) << p->name;
            }
}

// A native called before its target exists returns 0 to the script and logs one line; the script
// goes on. Each script records the result in the colour of a quad it makes afterwards.
struct NoTargetCase
{
    const char * name;
    const char * call;    // the call, before anything it needs
    const char * missing; // what the log line says to call first
};
const NoTargetCase kNoTarget[] = {
    {"setPos", "setPos(1, 2)", "addQuad"},
    {"addKey_uvrot", "addKey_uvrot(0, 1)", "addQuad"},
    {"endMode_uvpos", "endMode_uvpos(0)", "addQuad"},
    {"addPass", "addPass()", "addMaterial"},
    {"setMatDiff", "setMatDiff(1, 2, 3, 4)", "addMaterial"},
    {"setBlend", "setBlend(1, 1)", "addPass"},
    {"addStage", "addStage()", "addPass"},
    {"setCombiner", "setCombiner(1, 1, 1)", "addStage"},
    {"loadTexture", "loadTexture(\"x\")", "addStage"},
    {"loadTextureScript", "loadTextureScript(\"x.o\")", "addStage"},
    {"addKey_texture", "addKey_texture(0, 1)", "loadAnim"},
    {"lastKey_texture", "lastKey_texture()", "loadAnim"},
};
class LayerNativesNoTarget : public LayerNatives, public ::testing::WithParamInterface<NoTargetCase>
{
};

TEST_P(LayerNativesNoTarget, ReturnsZeroAndLogsOneLine)
{
    const NoTargetCase & c = GetParam();
    auto p = load(std::string("new r = ") + c.call + ";\naddQuad();\nsolid(r == 0 ? 0 : 255, r == 0 ? 255 : 0, 0);\n");
    ASSERT_EQ(p->getNbQuad(), 1);
    EXPECT_NEAR(p->getQuad(0)->getMaterial()->getProp().getDiffuse()[1], 1.0f, 1e-6) << "the native returned non-zero";
    const std::string log = m_log.text();
    EXPECT_EQ(countInLog("pas de cible"), 1) << log;
    EXPECT_NE(log.find(std::string("appeler ") + c.missing + " avant\n"), std::string::npos) << log;
}
INSTANTIATE_TEST_SUITE_P(Cases, LayerNativesNoTarget, ::testing::ValuesIn(kNoTarget),
                         [](const ::testing::TestParamInfo<NoTargetCase> & i) { return std::string(i.param.name); });

TEST_F(LayerNatives, AddMaterialBeforeAnyQuadMakesTheMaterialButGivesZero)
{
    auto p = load("new r = addMaterial(\"early\");\naddPass();\nsetMatDiff(0, 0, 255, 255);\n"
                  "addQuad();\nsolid(r == 0 ? 0 : 255, r == 0 ? 255 : 0, 0);\n");
    EXPECT_EQ(p->materials().getNbItem(), 2);
    qor_cMaterial * pEarly = p->getMaterialByName("early");
    ASSERT_NE(pEarly, nullptr);
    EXPECT_EQ(pEarly->getNbPass(), 1u);
    EXPECT_FLOAT_EQ(pEarly->getProp().getDiffuse()[2], 1.0f);
    EXPECT_NEAR(p->getQuad(0)->getMaterial()->getProp().getDiffuse()[1], 1.0f, 1e-6);
}

TEST_F(LayerNatives, ReplaceMaterialWithAMissingNameShowsTheBoxAndGivesZero)
{
    qort::BoxCapture boxes;
    auto p = load("addQuad();\nsolid(0, 0, 0, \"known\");\nnew r = replaceMaterial(\"unknown\", \"m.o\");\n"
                  "setMatDiff(r == 0 ? 0 : 255, r == 0 ? 255 : 0, 0, 255);\n");
    ASSERT_EQ(boxes.texts().size(), 1u);
    EXPECT_EQ(boxes.texts()[0], "Impossible de trouver le material <unknown>\nRemplacement annulé !");
    EXPECT_NEAR(p->getQuad(0)->getMaterial()->getProp().getDiffuse()[1], 1.0f, 1e-6);
}

TEST_F(LayerNatives, ReplaceMaterialRebuildsTheMaterialAndRestoresTheTargets)
{
    // The material script makes two passes; blue, the second additive.
    compile("blue.o", "main()\n{\n    addPass();\n    addStage();\n"
                      "    setCombiner(TEXARG_DIFFUSE, TEXOP_SELECTARG1, TEXARG_DIFFUSE);\n"
                      "    setMatDiff(0, 0, 255, 255);\n    addPass();\n    setBlend(BLEND_ONE, BLEND_ONE);\n}\n");
    // After the nested script the layer script goes on with its own quad and material: the
    // quad's position and the material's ambient colour must reach them.
    // The pass and stage being built belonged to the replaced effect: pass natives then have
    // no target (0, one line) instead of writing into the deleted effect.
    auto p = load("addQuad();\nsolid(255, 0, 0, \"target\");\nnew r = replaceMaterial(\"target\", \"blue.o\");\n"
                  "setPos(r == 1 ? 100 : 0, 0);\nsetMatAmbi(0, 255, 0, 255);\nnew s = setBlend(1, 1) + setTexGen(0);\n"
                  "setMatEmis(0, 0, 0, s == 0 ? 255 : 0);\n");
    qor_cMaterial * pMat = p->getQuad(0)->getMaterial();
    ASSERT_NE(pMat, nullptr);
    EXPECT_EQ(pMat, p->getMaterialByName("target"));
    EXPECT_EQ(pMat->getNbPass(), 2u);
    EXPECT_EQ(pMat->getEffect()->getPass(1)->getBlend().getDst(), 1u);
    EXPECT_FLOAT_EQ(pMat->getProp().getAmbient()[1], 1.0f);
    auto f = frame(*p, 0.0f);
    EXPECT_FLOAT_EQ(p->getQuad(0)->positionTrack().getOutput()->m_afValue[0], 0.1f);
    // Blue drawn, then blue added once more (saturated).
    EXPECT_EQ(rgb(f, 400, 240), kBlue);
    EXPECT_FLOAT_EQ(pMat->getProp().getEmissive()[3], 1.0f);
    EXPECT_EQ(countInLog("pas de cible"), 2) << m_log.text();
}

TEST_F(LayerNatives, AFailingMaterialScriptShowsTheBoxAndGivesZero)
{
    qort::BoxCapture boxes;
    auto p = load("addQuad();\nsolid(255, 0, 0, \"target\");\nnew r = replaceMaterial(\"target\", \"none.o\");\n"
                  "setPos(r == 0 ? 100 : 0, 0);\n");
    ASSERT_EQ(boxes.texts().size(), 1u);
    EXPECT_EQ(boxes.texts()[0], "Impossible de charger le material script<none.o>");
    EXPECT_EQ(countInLog("bool qor_cMaterial::loadFromScript(cchar * szScriptName<none.o>)\n"), 1);
    frame(*p, 0.0f);
    EXPECT_FLOAT_EQ(p->getQuad(0)->positionTrack().getOutput()->m_afValue[0], 0.1f);
}

TEST_F(LayerNatives, AMaterialNameOfSixtyFourCharactersLeavesItUnnamed)
{
    const std::string n63(63, 'm'), n64(64, 'n');
    qort::BoxCapture boxes;
    auto p = load("addQuad();\nsolid(0, 0, 0, \"" + n63 + "\");\naddQuad();\nsolid(0, 0, 0, \"" + n64 +
                  "\");\nnew a = replaceMaterial(\"" + n63 + "\", \"none.o\");\n" + "new b = replaceMaterial(\"" +
                  n64 + "\", \"none.o\");\n");
    EXPECT_STREQ(p->getQuad(0)->getMaterial()->getName(), n63.c_str());
    EXPECT_STREQ(p->getQuad(1)->getMaterial()->getName(), "");
    // The 63-character name is found (its script is missing); the 64-character one never is.
    ASSERT_EQ(boxes.texts().size(), 2u);
    EXPECT_EQ(boxes.texts()[0], "Impossible de charger le material script<none.o>");
    EXPECT_EQ(boxes.texts()[1], "Impossible de trouver le material <" + n64 + ">\nRemplacement annulé !");
}

TEST_F(LayerNatives, TwoLoadTextureOfOneNameLoadOnce)
{
    ASSERT_TRUE(writeImage("pic", 8, 8, qort::solidRgb(8, 8, 0, 0, 255)));
    auto p = load("addQuad();\naddMaterial(\"m\");\naddPass();\naddStage();\nloadTexture(\"pic\");\n"
                  "addStage();\nloadTextureNoComp(\"pic\");\n"
                  "addQuad();\naddMaterial(\"n\");\naddPass();\naddStage();\nloadTexture(\"pic\");\n");
    ASSERT_EQ(p->textures().getNbItem(), 1);
    qor_cTexture * pTex = p->textures().get<qor_cTexture>(0);
    EXPECT_STREQ(pTex->getName(), "pic");
    qor_cMaterial * m = p->getMaterialByName("m");
    qor_cMaterial * n = p->getMaterialByName("n");
    EXPECT_EQ(m->getEffect()->getPass(0)->getStage(0)->getTexture(), pTex);
    EXPECT_EQ(m->getEffect()->getPass(0)->getStage(1)->getTexture(), pTex);
    EXPECT_EQ(n->getEffect()->getPass(0)->getStage(0)->getTexture(), pTex);
}

TEST_F(LayerNatives, LoadTextureAlphaOfALoadedNameBindsNothing)
{
    ASSERT_TRUE(writeImage("pic", 8, 8, qort::solidRgb(8, 8, 0, 0, 255)));
    ASSERT_TRUE(writeImage("mask", 8, 8, qort::solidRgb(8, 8, 255, 255, 255)));
    auto p = load("addQuad();\naddMaterial(\"m\");\naddPass();\naddStage();\nloadTextureAlpha(\"pic\", \"mask\");\n"
                  "addStage();\nnew r = loadTextureAlpha(\"pic\", \"mask\");\nsetMatDiff(0, r == 1 ? 255 : 0, 0, 255);\n");
    qor_cMaterial * m = p->getMaterialByName("m");
    EXPECT_EQ(p->textures().getNbItem(), 1);
    EXPECT_NE(m->getEffect()->getPass(0)->getStage(0)->getTexture(), nullptr);
    EXPECT_EQ(m->getEffect()->getPass(0)->getStage(1)->getTexture(), nullptr);
    EXPECT_FLOAT_EQ(m->getProp().getDiffuse()[1], 1.0f);
}

TEST_F(LayerNatives, FrameKeysZeroAndThirtyToNinePlayTenFramesInOneSecond)
{
    // Ten frames anim_001 .. anim_010, frame k with red level 20 k + 10.
    for (int k = 0; k < 10; ++k)
    {
        char stem[32];
        std::snprintf(stem, sizeof stem, "anim_%03d", k + 1);
        ASSERT_TRUE(writeImage(stem, 8, 8, qort::solidRgb(8, 8, (unsigned char)(20 * k + 10), 0, 0)));
    }
    auto p = load("addQuad();\ntextured();\nloadAnim(\"anim\", 10);\naddKey_texture(0, 0);\n"
                  "addKey_texture(30, 9);\nlastKey_texture();\nendMode_texture(END_HOLD);\n");
    // The frame shown at time t is floor(9 t / 30).
    const struct
    {
        float t;
        int frame;
    } aStep[] = {{0, 0}, {4, 1}, {11, 4}, {14, 8}, {1, 9}, {30, 9}};
    for (const auto & s : aStep)
    {
        auto f = frame(*p, s.t);
        EXPECT_NEAR(pixel(f, 320, 240).r, 20 * s.frame + 10, 3) << "after +" << s.t;
    }
    EXPECT_EQ(m_log.text(), "");
}

TEST_F(LayerNatives, LoadAnimWithoutFrameKeysShowsOneFramePerTimeUnit)
{
    for (int k = 0; k < 4; ++k)
    {
        char stem[32];
        std::snprintf(stem, sizeof stem, "anim_%03d", k + 1);
        ASSERT_TRUE(writeImage(stem, 8, 8, qort::solidRgb(8, 8, 0, (unsigned char)(50 * k + 40), 0)));
    }
    auto p = load("addQuad();\ntextured();\nloadAnim(\"anim\", 4);\n");
    // Rate 1, end mode 0: frame floor(t mod 4).
    const float aT[] = {0.0f, 1.5f, 1.0f, 2.0f};
    const int aFrame[] = {0, 1, 2, 0};
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(pixel(frame(*p, aT[i]), 320, 240).g, 50 * aFrame[i] + 40, 3) << i;
}

TEST_F(LayerNatives, LoadSceneThatFailsShowsBothNamesAndGivesZero)
{
    qort::BoxCapture boxes;
    auto p = load("new r = loadScene(\"scenes/none.s3d\", \"note\");\naddQuad();\nsolid(0, r == 0 ? 255 : 0, 0);\n");
    // The file reader shows its own box first; the native's names both files.
    ASSERT_FALSE(boxes.texts().empty());
    EXPECT_EQ(boxes.texts().back(), "Impossible de trouver les fichier : <scenes/none.s3d> <note>\n");
    EXPECT_EQ(countInLog("bool b = getlayer().load(szScene);\n"), 1);
    EXPECT_NEAR(p->getQuad(0)->getMaterial()->getProp().getDiffuse()[1], 1.0f, 1e-6);
}

TEST_F(LayerNatives, UnitsOfTheQuadAndColourNatives)
{
    auto p = load("addQuad();\nsetPos(500, -250);\nsetScale(1500, 20);\nsetUVScale(-1000, 3);\n"
                  "addMaterial(\"m\");\nsetMatPropColor(255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0, 51, 102, 153, 204);\n"
                  "setMatPropSrc(MATSRC_COLOR1, MATSRC_COLOR2, MATSRC_MATERIAL, MATSRC_COLOR2);\n");
    qor_cLayerQuad * q = p->getQuad(0);
    const float * pos = q->positionTrack().getOutput()->m_afValue;
    const float * sc = q->scaleTrack().getOutput()->m_afValue;
    const float * uvs = q->uvScaleTrack().getOutput()->m_afValue;
    EXPECT_FLOAT_EQ(pos[0], 0.5f);
    EXPECT_FLOAT_EQ(pos[1], -0.25f);
    EXPECT_FLOAT_EQ(sc[0], 1.5f);
    EXPECT_FLOAT_EQ(sc[1], 0.02f);
    EXPECT_FLOAT_EQ(uvs[0], -1.0f);
    EXPECT_FLOAT_EQ(uvs[1], 0.003f);
    qor_cMatProp & prop = q->getMaterial()->getProp();
    EXPECT_NEAR(prop.getAmbient()[3], 128 / 255.0f, 1e-6);
    EXPECT_NEAR(prop.getSpecular()[2], 1.0f, 1e-6);
    EXPECT_NEAR(prop.getEmissive()[0], 0.2f, 1e-6);
    EXPECT_NEAR(prop.getEmissive()[3], 0.8f, 1e-6);
    EXPECT_EQ(prop.getDiffuseSrc(), 1u);
    EXPECT_EQ(prop.getAmbientSrc(), 2u);
    EXPECT_EQ(prop.getEmissiveSrc(), 2u);
}

TEST_F(LayerNatives, LoadSceneGivesTheLayerItsSceneAndTheScriptGoesOn)
{
    // A scene of one target object, a dark ambient colour and a material "hull"; an empty
    // animation file beside it.
    qor_cS3dWriter w;
    qor_sS3dWObject o;
    o.m_strName = "probe";
    ASSERT_TRUE(w.addTarget(o));
    ASSERT_TRUE(w.addGlobalInfos(qor_cColor(0.1f, 0.1f, 0.1f, 1.0f), qor_cColor(0, 0, 0, 1)));
    qor_sS3dWMaterial m;
    m.m_strName = "hull";
    ASSERT_TRUE(w.addMaterial(m));
    ASSERT_TRUE(w.save("s.s3d"));
    ASSERT_TRUE(qor_cMotWriter().save("s.s3d.MOT"));
    compile("blue.o", "main()\n{\n    addPass();\n    setMatDiff(0, 0, 255, 255);\n}\n");
    // After the load the script's quad and material are still its own; the scene's material
    // can be rebuilt by a material script.
    auto p = load("addQuad();\nsolid(255, 0, 0);\nnew r = loadScene(\"s.s3d\", \"note\");\n"
                  "setPos(r == 1 ? 100 : 0, 0);\nsetMatSpec(1, 2, 3, 4);\n"
                  "replaceMaterial(\"hull\", \"blue.o\");\n");
    EXPECT_NE(p->getObject("probe"), nullptr);
    EXPECT_FLOAT_EQ(p->getAmbient().r, 0.1f);
    qor_cMaterial * pHull = p->getMaterialByName("hull");
    ASSERT_NE(pHull, nullptr);
    EXPECT_EQ(pHull->getNbPass(), 1u);
    EXPECT_FLOAT_EQ(pHull->getProp().getDiffuse()[2], 1.0f);
    EXPECT_NEAR(p->getQuad(0)->getMaterial()->getProp().getSpecular()[0], 1 / 255.0f, 1e-6);
    auto f = frame(*p, 0.0f);
    EXPECT_FLOAT_EQ(p->getQuad(0)->positionTrack().getOutput()->m_afValue[0], 0.1f);
    // The quads draw after the scene with the full ambient light, whatever the scene's.
    EXPECT_EQ(rgb(f, 400, 240), kRed);
    EXPECT_EQ(m_log.text(), "");
}
