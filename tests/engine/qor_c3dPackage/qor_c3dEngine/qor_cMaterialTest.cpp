// Materials and effects driving the GL display: passes, stages, fog, lighting properties.
#include <gtest/gtest.h>

#include "qor_cMaterial.h"
#include "qor_cTexture.h"
#include "qor_cTriList.h"
#include "qor_imageTestEnv.h"
#include "qor_testJpeg.h"
#include "qor_testUtil.h"

#include <string>
#include <tuple>
#include <vector>

using qort::Rgba;
typedef std::tuple<int, int, int> RGB;

namespace
{
class Material : public qort::ImageTestEnv
{
protected:
    // A lit quad (position, normal, texture coordinates) over the centre of the screen.
    void drawLitQuad()
    {
        std::unique_ptr<qor_cTriList> pList(qor_cTriList::create());
        pList->startAdd(2, 1);
        const float aV[6][4] = {{-0.5f, 0.5f, 0, 0}, {0.5f, 0.5f, 1, 0}, {0.5f, -0.5f, 1, 1},
                                {0.5f, -0.5f, 1, 1}, {-0.5f, -0.5f, 0, 1}, {-0.5f, 0.5f, 0, 0}};
        for (const auto & v : aV)
        {
            pList->setPosition(v[0], v[1], 0.5f);
            pList->setNormal(0, 0, -1);
            pList->setUV(v[2], v[3]);
            pList->next();
        }
        pList->endAdd();
        pList->draw();
    }
};
} // namespace

TEST_F(Material, OnlyPassZeroSendsTheLightingProperties)
{
    qor_cMaterial mat;
    ASSERT_TRUE(mat.createEffect());
    for (int i = 0; i < 2; ++i)
    {
        qor_cEffectPass * pPass = mat.getEffect()->addPass();
        pPass->setZFunc(7);
        pPass->setCullMode(0);
        // Colour = the lit diffuse colour, which without lights is the emissive colour.
        pPass->addStage()->setColorCombiner(2, 1, 2);
    }
    ASSERT_EQ(mat.getNbPass(), 2u);
    disp()->setAmbientLight(0, 0, 0, 1);
    disp()->enableLighting(true);

    mat.getProp().setEmissive(1, 0, 0, 1);
    mat.getProp().setDiffuse(0, 0, 0, 1);
    clear(0, 0, 0);
    mat.usePass(0);
    drawLitQuad();
    EXPECT_EQ(pixel(readFrame(), 320, 240).rgb(), (RGB{255, 0, 0}));

    mat.getProp().setEmissive(0, 1, 0, 1);
    clear(0, 0, 0);
    mat.usePass(1);
    drawLitQuad();
    EXPECT_EQ(pixel(readFrame(), 320, 240).rgb(), (RGB{255, 0, 0})) << "pass 1 kept pass 0's properties";

    clear(0, 0, 0);
    mat.usePass(0);
    drawLitQuad();
    EXPECT_EQ(pixel(readFrame(), 320, 240).rgb(), (RGB{0, 255, 0}));

    // No effect, or a pass beyond the count: nothing is set, nothing breaks.
    qor_cMaterial empty;
    EXPECT_EQ(empty.getNbPass(), 0u);
    empty.usePass(0);
    mat.usePass(3);
}

TEST_F(Material, RefusedBlendFactorsAreReported)
{
    qort::LogCapture log;
    EXPECT_TRUE(qor_cBlendSettings(4, 5).use());
    EXPECT_FALSE(qor_cBlendSettings(4, 99).use());
    EXPECT_NE(log.text().find("bool qor_cBlendSettings::use() const\n"
                              "bool b = QOR_ENGINE()->setBlendMode(m_src 4, m_dst 99);\n"),
              std::string::npos)
        << log.text();
}

TEST_F(Material, AdditivePassesFogTowardsBlack)
{
    qor_cMaterial mat;
    ASSERT_TRUE(mat.createEffect());
    mat.getEffect()->addPass()->setBlend(4, 5);
    mat.getEffect()->addPass()->setBlend(1, 1);
    mat.getEffect()->addPass()->setBlend(4, 5);

    disp()->setFogMode(0);
    mat.usePass(1);
    EXPECT_EQ(disp()->getFogMode(), 0u) << "fog off stays off";

    disp()->setFogMode(1);
    mat.usePass(0);
    EXPECT_EQ(disp()->getFogMode(), 1u);
    mat.usePass(1);
    EXPECT_EQ(disp()->getFogMode(), 2u) << "a (1, 1) pass";
    mat.usePass(2);
    EXPECT_EQ(disp()->getFogMode(), 1u) << "a (4, 5) pass switches it back";
}

TEST_F(Material, TheStageAfterTheLastIsDisabled)
{
    setFlatState();
    // Leave stage 2 doubling the colour, as an earlier material could have.
    disp()->setTexMode(2, (qor_eTexArg)0, (qor_eTexOp)6, (qor_eTexArg)0);
    qor_cMaterial mat;
    ASSERT_TRUE(mat.createEffect());
    qor_cEffectPass * pPass = mat.getEffect()->addPass();
    pPass->setZFunc(7);
    pPass->setCullMode(0);
    pPass->addStage()->setColorCombiner(2, 1, 1); // select diffuse
    pPass->addStage()->setColorCombiner(0, 1, 1); // select current
    clear(0, 0, 0);
    mat.usePass(0);
    drawQuad(10, 10, 8, 8, 100, 50, 25);
    EXPECT_EQ(pixel(readFrame(), 12, 12).rgb(), (RGB{100, 50, 25}));
}

TEST_F(Material, ClosedTrackKeepsTheStageTransformedAfterItsKeysEnd)
{
    // Left half red, right half blue.
    std::vector<unsigned char> rgb(16 * 8 * 3);
    for (int i = 0; i < 16 * 8; ++i)
    {
        rgb[3 * i] = (i % 16) < 8 ? 255 : 0;
        rgb[3 * i + 2] = (i % 16) < 8 ? 0 : 255;
    }
    ASSERT_TRUE(writeImage("halves", 16, 8, rgb));
    qor_cTexture * pTex = new qor_cTexture;
    ASSERT_TRUE(pTex->load("halves"));

    qor_cMaterial mat;
    ASSERT_TRUE(mat.createEffect());
    qor_cEffectPass * pPass = mat.getEffect()->addPass();
    pPass->setZFunc(7);
    pPass->setCullMode(0);
    qor_cEffectStage * pStage = pPass->addStage();
    pStage->setTexture(pTex, true);
    pStage->setColorCombiner(1, 1, 2); // select texture
    ASSERT_TRUE(pStage->addKey_position(0, 0, 0));
    ASSERT_TRUE(pStage->addKey_position(10, 0.5f, 0));
    ASSERT_TRUE(pStage->lastKey_position());

    // Past the last key (the track holds at 0.5); rotation and scale never got a key. The quad
    // is 3D geometry (pre-transformed vertices skip texture transforms): it covers x 160..480.
    float dt = 25.0f;
    mat.update(&dt);
    setFlatState();
    disp()->setTexFilter(0, 2, 0);
    clear(0, 0, 0);
    mat.usePass(0);
    EXPECT_EQ(pStage->getTexTransformFlags(), 2u);
    drawLitQuad();
    std::vector<Rgba> frame = readFrame();
    EXPECT_GT(pixel(frame, 200, 240).b, 240) << "u 0.125 reads 0.625: shifted by half the texture";
    EXPECT_LT(pixel(frame, 200, 240).r, 15);
    EXPECT_GT(pixel(frame, 440, 240).r, 240) << "u 0.875 reads 1.375, wrapped";

    // Rewound: offset 0 again, the texture as loaded.
    mat.reset();
    clear(0, 0, 0);
    mat.usePass(0);
    drawLitQuad();
    frame = readFrame();
    EXPECT_GT(pixel(frame, 200, 240).r, 240);
    EXPECT_GT(pixel(frame, 440, 240).b, 240);
}

TEST_F(Material, StageKeysComeInIncreasingTime)
{
    qort::LogCapture log;
    qor_cEffectStage stage;
    EXPECT_TRUE(stage.addKey_position(0, 0, 0));
    EXPECT_FALSE(stage.addKey_position(0, 1, 1));
    EXPECT_TRUE(stage.addKey_rotation(5, 1));
    EXPECT_FALSE(stage.addKey_rotation(4, 1));
    EXPECT_TRUE(stage.addKey_scale(1, 2, 2));
    EXPECT_FALSE(stage.addKey_scale(1, 2, 2));
    std::string text = log.text();
    EXPECT_NE(text.find("bool qor_cEffectStage::addKey_position(float t, float x, float y)\n"
                        "bool bRet = m_uvpos.addKey(pKey);\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("bool bRet =\tm_uvrot.addKey(pkey);\n"), std::string::npos);
    EXPECT_NE(text.find("bool bRet = m_pCtrlScale->addKey(pkey, true);\n"), std::string::npos);

    // Untouched tracks: offset (0, 0), rotation 0, scale (1, 1).
    qor_cEffectStage fresh;
    float afOffset[2], fRot, afScale[2];
    fresh.getTransform(afOffset, &fRot, afScale);
    EXPECT_EQ(afOffset[0], 0.0f);
    EXPECT_EQ(afOffset[1], 0.0f);
    EXPECT_EQ(fRot, 0.0f);
    EXPECT_EQ(afScale[0], 1.0f);
    EXPECT_EQ(afScale[1], 1.0f);
}

TEST_F(Material, StageByTexturePrefersEarlierPasses)
{
    qor_cMaterial mat;
    EXPECT_EQ(mat.getStageByTexture("rock"), nullptr) << "no effect yet";
    ASSERT_TRUE(mat.createEffect());
    qor_cTexture rock1, rock2, other;
    rock1.setName("rock");
    rock2.setName("rock");
    other.setName("rocky");
    qor_cEffectPass * p0 = mat.getEffect()->addPass();
    qor_cEffectPass * p1 = mat.getEffect()->addPass();
    p1->addStage()->setTexture(&rock1, false);
    p0->addStage()->setTexture(&other, false);
    p0->addStage();
    qor_cEffectStage * pWanted = p0->addStage();
    pWanted->setTexture(&rock2, false);
    EXPECT_EQ(mat.getStageByTexture("rock"), pWanted);
    EXPECT_EQ(mat.getStageByTexture("rocky"), p0->getStage(0));
    EXPECT_EQ(mat.getStageByTexture("roc"), nullptr);
}

TEST_F(Material, PassesAndStagesStopAtFour)
{
    qor_cEffect effect;
    for (int i = 0; i < 4; ++i)
    {
        qor_cEffectPass * pPass = effect.addPass();
        ASSERT_NE(pPass, nullptr);
        for (int k = 0; k < 4; ++k)
            ASSERT_NE(pPass->addStage(), nullptr);
        EXPECT_EQ(pPass->addStage(), nullptr);
        EXPECT_EQ(pPass->getNbStage(), 4u);
    }
    EXPECT_EQ(effect.addPass(), nullptr);
    EXPECT_EQ(effect.getNbPass(), 4u);
}

TEST_F(Material, DiffuseKeysAnimateAndRewind)
{
    qort::LogCapture log;
    qor_cMaterial mat;
    mat.setName("a name of more than sixty-three characters, which the material cuts short");
    EXPECT_EQ(std::string(mat.getName()).size(), 63u);
    EXPECT_EQ(mat.getProp().getPower(), 0.5f);
    EXPECT_EQ(mat.getProp().getDiffuse()[0], 1.0f);
    EXPECT_EQ(mat.getProp().getSpecular()[3], 1.0f);
    EXPECT_EQ(mat.getProp().getAmbient()[0], 0.0f);

    ASSERT_TRUE(mat.addKey_diffuse(0, 0, 0, 0, 1));
    ASSERT_TRUE(mat.addKey_diffuse(10, 1, 0.5f, 0, 1));
    EXPECT_FALSE(mat.addKey_diffuse(10, 1, 1, 1, 1));
    EXPECT_NE(log.text().find("void qor_cMaterial::addKey_diffuse(float kt, float r, float g, float b, float a)\n"
                              "if (!m_prop.addKey_diff(pKey))\n"),
              std::string::npos);
    ASSERT_TRUE(mat.lastKey_diffuse());
    float dt = 4.0f;
    mat.update(&dt);
    EXPECT_FLOAT_EQ(mat.getTime(), 4.0f);
    EXPECT_FLOAT_EQ(mat.getProp().getDiffuse()[0], 0.4f);
    EXPECT_FLOAT_EQ(mat.getProp().getDiffuse()[1], 0.2f);
    mat.reset();
    EXPECT_EQ(mat.getTime(), 0.0f);
    dt = 0.0f;
    mat.update(&dt);
    EXPECT_FLOAT_EQ(mat.getProp().getDiffuse()[0], 0.0f);
}
