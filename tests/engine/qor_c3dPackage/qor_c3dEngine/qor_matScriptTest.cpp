// Material scripts compiled with qor-sc and run by qor_cMaterial::loadFromScript on a scene:
// the structure they build, the textures they load into the scene, and how failures show.
#include <gtest/gtest.h>

#include "qor_cEffect.h"
#include "qor_cMaterial.h"
#include "qor_cScene.h"
#include "qor_cTexture.h"
#include "qor_imageTestEnv.h"
#include "qor_matScript.h"
#include "qor_testUtil.h"

#include <filesystem>
#include <string>

namespace
{
class MaterialScript : public qort::ImageTestEnv
{
protected:
    void SetUp() override
    {
        ImageTestEnv::SetUp();
        std::filesystem::create_directories(m_dir.file("scripts/exe"));
    }
    void compile(const std::string & name, const std::string & body)
    {
        std::string messages;
        EXPECT_TRUE(qort::compileScript("#include <qor>\nmain()\n{\n" + body + "}\n",
                                        m_dir.file("scripts/exe/" + name), &messages))
            << messages;
    }
    qort::LogCapture m_log;
};
} // namespace

TEST_F(MaterialScript, BuildsPassesStagesColoursAndTextures)
{
    ASSERT_TRUE(writeImage("rock", 8, 8, qort::solidRgb(8, 8, 90, 60, 30)));
    compile("m.o", "addPass();\nsetBlend(BLEND_SRCALPHA, BLEND_INVSRCALPHA);\nsetZCmp(CMP_ALWAYS);\nsetZWrite(false);\n"
                   "addStage();\nloadTexture(\"rock\");\nsetCombiner(TEXARG_TEXTURE, TEXOP_MODULATE, TEXARG_DIFFUSE);\n"
                   "setAlphaCombiner(TEXARG_DIFFUSE, TEXOP_SELECTARG1, TEXARG_TEXTURE);\nsetTexGen(TEXGEN_REFLECTION);\n"
                   "setTTF(TTF_COUNT2);\n"
                   "addStage();\nloadTextureNoCompr(\"rock\");\n"
                   "addPass();\nsetBlend(BLEND_ONE, BLEND_ONE);\nsetZWrite(2);\n"
                   "setMatDiff(255, 128, 0, 255);\nsetMatSpec(0, 0, 51, 102);\n"
                   "setMatPropSrc(MATSRC_COLOR1, MATSRC_MATERIAL, MATSRC_COLOR2, MATSRC_MATERIAL);\n");
    qor_cScene scene;
    qor_cMaterial mat;
    ASSERT_TRUE(mat.loadFromScript("m.o", &scene)) << m_log.text();
    ASSERT_EQ(mat.getNbPass(), 2u);
    qor_cEffectPass * p0 = mat.getEffect()->getPass(0);
    EXPECT_EQ(p0->getBlend().getSrc(), 4u);
    EXPECT_EQ(p0->getBlend().getDst(), 5u);
    ASSERT_EQ(p0->getNbStage(), 2u);
    qor_cEffectStage * s0 = p0->getStage(0);
    EXPECT_EQ(s0->getColorCombiner().m_arg1, 1u);
    EXPECT_EQ(s0->getColorCombiner().m_op, 3u);
    EXPECT_EQ(s0->getColorCombiner().m_arg2, 2u);
    EXPECT_EQ(s0->getAlphaCombiner().m_op, 1u);
    EXPECT_EQ(s0->getTexCoordGen(), 4u);
    EXPECT_EQ(s0->getTexTransformFlags(), 2u);
    // One texture, loaded once into the scene, bound to both stages.
    ASSERT_EQ(scene.textures().getNbItem(), 1);
    EXPECT_EQ(s0->getTexture(), scene.getTexture("rock"));
    EXPECT_EQ(p0->getStage(1)->getTexture(), scene.getTexture("rock"));
    EXPECT_EQ(mat.getEffect()->getPass(1)->getBlend().getDst(), 1u);
    // Colours in 1/255.
    const float * d = mat.getProp().getDiffuse();
    EXPECT_FLOAT_EQ(d[0], 1.0f);
    EXPECT_NEAR(d[1], 0.50196f, 1e-5);
    EXPECT_FLOAT_EQ(d[2], 0.0f);
    EXPECT_NEAR(mat.getProp().getSpecular()[3], 0.4f, 1e-6);
    EXPECT_EQ(mat.getProp().getDiffuseSrc(), 1u);
    EXPECT_EQ(mat.getProp().getSpecularSrc(), 2u);
    EXPECT_EQ(m_log.text(), "");

    // Drawn: pass 0 is the texture times the diffuse colour, which for pre-transformed
    // vertices is the vertices' own (white): the texture's colour. Stage 1 keeps its default
    // disabled combiner and ends the cascade.
    setFlatState();
    clear(0, 0, 0);
    mat.usePass(0);
    drawQuad(100, 100, 20, 20, 255, 255, 255, 255);
    auto c = pixel(readFrame(), 110, 110);
    EXPECT_NEAR(c.r, 90, 3);
    EXPECT_NEAR(c.g, 60, 3);
    EXPECT_NEAR(c.b, 30, 3);
}

TEST_F(MaterialScript, TheScriptReplacesTheOldEffect)
{
    compile("one.o", "addPass();\n");
    compile("three.o", "addPass();\naddPass();\naddPass();\n");
    qor_cScene scene;
    qor_cMaterial mat;
    ASSERT_TRUE(mat.loadFromScript("three.o", &scene));
    EXPECT_EQ(mat.getNbPass(), 3u);
    ASSERT_TRUE(mat.loadFromScript("one.o", &scene));
    EXPECT_EQ(mat.getNbPass(), 1u);
}

TEST_F(MaterialScript, AFifthPassAndAFifthStageGiveZero)
{
    // Each refused call adds 1 to the count the script reports as the diffuse red.
    compile("many.o", "new refused = 0;\n"
                      "for (new i = 0; i < 5; i++) refused += addPass() == 0;\n"
                      "for (new i = 0; i < 5; i++) refused += addStage() == 0;\n"
                      "setMatDiff(refused, 0, 0, 255);\n");
    qor_cScene scene;
    qor_cMaterial mat;
    ASSERT_TRUE(mat.loadFromScript("many.o", &scene));
    EXPECT_EQ(mat.getNbPass(), 4u);
    EXPECT_EQ(mat.getEffect()->getPass(3)->getNbStage(), 4u);
    EXPECT_NEAR(mat.getProp().getDiffuse()[0] * 255.0f, 2.0f, 1e-3);
    const std::string log = m_log.text();
    EXPECT_NE(log.find("matscript_addPass : pas plus de 4 pass par material\n"), std::string::npos) << log;
    EXPECT_NE(log.find("matscript_addStage : pas plus de 4 stages par pass\n"), std::string::npos) << log;
}

TEST_F(MaterialScript, AMissingScriptOrALayerNativeFailsWithTheSignatureLine)
{
    qor_cScene scene;
    qor_cMaterial mat;
    EXPECT_FALSE(mat.loadFromScript("none.o", &scene));
    EXPECT_NE(m_log.text().find("bool qor_cMaterial::loadFromScript(cchar * szScriptName<none.o>)\n"),
              std::string::npos);
    // The new effect is there, empty: the material draws nothing.
    EXPECT_EQ(mat.getNbPass(), 0u);

    // addQuad is a layer native: the material table cannot bind it.
    compile("layer.o", "addPass();\naddQuad();\n");
    EXPECT_FALSE(mat.loadFromScript("layer.o", &scene));
    EXPECT_EQ(mat.getNbPass(), 0u) << "main never ran";
}

TEST_F(MaterialScript, TheRenderTargetNativeCannotBeCalledFromAScript)
{
    // The material table lists "useTextureAsRenderTarget", but its name is longer than an
    // image's native table holds: the compiler refuses the call.
    std::string messages;
    EXPECT_FALSE(qort::compileScript("#include <qor>\nmain() { useTextureAsRenderTarget(); }\n",
                                     m_dir.file("scripts/exe/rt.o"), &messages));
    EXPECT_NE(messages.find("useTextureAsRenderTarget"), std::string::npos) << messages;
    int n = 0;
    while (qor_aMatScriptNatives[n].name)
        ++n;
    EXPECT_EQ(n, QOR_MATSCRIPT_NB_NATIVE);
    EXPECT_STREQ(qor_aMatScriptNatives[26].name, "useTextureAsRenderTarget");
}

TEST_F(MaterialScript, ModifyMaterialRunsTheScriptOnTheScenesMaterial)
{
    compile("blue.o", "addPass();\nsetMatDiff(0, 0, 255, 255);\n");
    qor_cScene scene;
    qor_cMaterial * pMat = new qor_cMaterial;
    pMat->setName("hull");
    ASSERT_TRUE(scene.addMaterial(pMat, true));
    EXPECT_TRUE(scene.modifyMaterial("hull", "blue.o"));
    EXPECT_EQ(pMat->getNbPass(), 1u);
    EXPECT_FLOAT_EQ(pMat->getProp().getDiffuse()[2], 1.0f);
    EXPECT_FALSE(scene.modifyMaterial("hull", "none.o"));
    EXPECT_NE(m_log.text().find("Echec dans l'execution du script\n"), std::string::npos);
}

TEST_F(MaterialScript, TextureLoadersOfTheMaterialTable)
{
    // An offset table: a 256 x 256 source and two maps; an animation of two frames.
    ASSERT_TRUE(writeImage("src", 256, 256, qort::solidRgb(256, 256, 10, 200, 10)));
    ASSERT_TRUE(writeImage("mapx", 256, 256, qort::solidRgb(256, 256, 0, 0, 0)));
    ASSERT_TRUE(writeImage("mapy", 256, 256, qort::solidRgb(256, 256, 0, 0, 0)));
    ASSERT_TRUE(writeImage("fr_001", 4, 4, qort::solidRgb(4, 4, 1, 2, 3)));
    ASSERT_TRUE(writeImage("fr_002", 4, 4, qort::solidRgb(4, 4, 1, 2, 3)));
    compile("tex.o", "addPass();\naddStage();\nloadTableOffset(\"src\", \"mapx\", \"mapy\");\n"
                     "addStage();\nloadAnim(\"fr\", 2);\nendMode_texture(END_PINGPONG);\n"
                     "addStage();\nnew r = loadAnim(\"missing\", 3);\nsetMatDiff(r, 0, 0, 0);\n");
    qor_cScene scene;
    qor_cMaterial mat;
    ASSERT_TRUE(mat.loadFromScript("tex.o", &scene));
    ASSERT_EQ(scene.textures().getNbItem(), 2);
    qor_cEffectPass * p = mat.getEffect()->getPass(0);
    EXPECT_STREQ(p->getStage(0)->getTexture()->getName(), "src");
    EXPECT_STREQ(p->getStage(1)->getTexture()->getName(), "fr");
    EXPECT_EQ(p->getStage(1)->getTexture()->frameTrack().m_iEndMode, 2);
    EXPECT_EQ(p->getStage(2)->getTexture(), nullptr);
    EXPECT_FLOAT_EQ(mat.getProp().getDiffuse()[0], 0.0f);
    EXPECT_NE(m_log.text().find("bool b = pTex->loadAnim(szName, nFrame);\n"), std::string::npos) << m_log.text();
}
