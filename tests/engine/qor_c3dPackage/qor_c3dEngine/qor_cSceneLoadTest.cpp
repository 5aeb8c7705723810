// Scene and animation files written with the writers, loaded by the real loader into a scene on
// the GL display; results read from the scene's objects. Expected values follow the file
// format's rules, worked out by hand.
#include <gtest/gtest.h>

#include "qor_cBone.h"
#include "qor_cCamera.h"
#include "qor_cFog.h"
#include "qor_cGizmo.h"
#include "qor_cMaterial.h"
#include "qor_cMesh.h"
#include "qor_cOmniLight.h"
#include "qor_cParticleSystem.h"
#include "qor_cS3dWriter.h"
#include "qor_cScene.h"
#include "qor_cTexture.h"
#include "qor_cTriMesh.h"
#include "qor_imageTestEnv.h"
#include "qor_testUtil.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace
{
qor_sS3dWObject obj(const std::string & name, qor_cVector3 c = qor_cVector3(), float r = 1.0f)
{
    qor_sS3dWObject o;
    o.m_strName = name;
    o.m_vCenter = c;
    o.m_fRadius = r;
    return o;
}

qor_sMotKey key(float t, float a, float b = 0, float c = 0, float d = 0)
{
    qor_sMotKey k;
    k.m_fTime = t;
    k.m_afValue[0] = a;
    k.m_afValue[1] = b;
    k.m_afValue[2] = c;
    k.m_afValue[3] = d;
    return k;
}

qor_sMotObject motObject(const std::string & name)
{
    qor_sMotObject o;
    o.m_strName = name;
    return o;
}

qor_sS3dFace face(uint a, uint b, uint c)
{
    qor_sS3dFace f;
    for (int i = 0; i < 3; ++i)
    {
        const uint v = i == 0 ? a : i == 1 ? b : c;
        f.m_anPosition[i] = v;
        f.m_anUV[i] = v;
        f.m_anColor[i] = v;
        f.m_anNormal[i] = 0;
    }
    return f;
}

qor_sS3dWMaterial material(const std::string & name)
{
    qor_sS3dWMaterial m;
    m.m_strName = name;
    return m;
}

class SceneFile : public qort::ImageTestEnv
{
protected:
    // Writes the scene and its animation file (unless bNoMot), then loads them.
    bool load(bool bNoMot = false)
    {
        if (!m_w->save("test.s3d"))
            return false;
        if (!bNoMot && !m_mot.save("test.s3d.MOT"))
            return false;
        m_scene.reset(new qor_cScene);
        return m_scene->load("test.s3d");
    }
    bool logHas(const std::string & s) const { return m_log.text().find(s) != std::string::npos; }

    template <typename T> T * object(const char * sz) const { return static_cast<T *>(m_scene->getObject(sz)); }

    // A quad of two faces (0,1,2) and (0,2,3) with coordinates and colours, its pools first.
    void addQuadPools()
    {
        m_w->addVertices({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 0, 2}});
        m_w->addTVertices({{0, 0}, {1, 0}, {1, 1}, {0, 1}});
        m_w->addCVertices({{1, 0.5f, 0.25f, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}});
        m_w->addPolygons({face(0, 1, 2), face(0, 2, 3)});
    }
    qor_sS3dWMeshData quadData(const std::string & mat)
    {
        qor_sS3dWMeshData d;
        d.m_bHasUV = true;
        d.m_bHasColor = true;
        d.m_boundaries.push_back({0, 2, mat});
        return d;
    }

    qort::LogCapture m_log;
    std::unique_ptr<qor_cS3dWriter> m_w{new qor_cS3dWriter};
    qor_cMotWriter m_mot;
    std::unique_ptr<qor_cScene> m_scene;
};
} // namespace

// ----- file and header

TEST_F(SceneFile, EmptyFileOfVersion276LoadsAnd277IsRefused)
{
    ASSERT_TRUE(load());
    EXPECT_EQ(m_scene->objects().getNbItem(), 0);
    m_w.reset(new qor_cS3dWriter(qor_c3dLoader::e_signature, 277));
    EXPECT_FALSE(load());
}

TEST_F(SceneFile, MissingAnimationFileFailsTheLoad)
{
    std::remove("test.s3d.MOT");
    EXPECT_FALSE(load(true));
    EXPECT_TRUE(logHas("bool qor_cScene::load(cchar * sz <test.s3d>)\nbRet = loadAnim(szAnimName);\n"));
    EXPECT_TRUE(logHas("bool qor_cScene::loadAnim(cchar * sz<test.s3d.MOT>)\nbool b = m_pChunkedFile->open(sz, \"rb\");\n"));
}

TEST_F(SceneFile, UnknownChunkIsSkipped)
{
    m_w->addTarget(obj("A"));
    const uchar junk[3] = {1, 2, 3};
    m_w->addChunk(0xDEAD0011u, junk, 3);
    m_w->addTarget(obj("B"));
    ASSERT_TRUE(load());
    EXPECT_EQ(m_scene->targets().getNbItem(), 2);
}

// ----- objects

TEST_F(SceneFile, ObjectsOfEveryTypeGoToTheirListsAndTheAllObjectsList)
{
    m_w->addTarget(obj("tgt", {1, 2, 3}, 4));
    m_w->addCameraFree(obj("free"), 2.0f, 500.0f, 60.0f);
    m_w->addCameraTarget(obj("cam"), 3.0f, 800.0f, 45.0f, 90.0f, 0);
    m_w->addDummy(obj("dummy"));
    m_w->addBone(obj("bone"));
    m_w->addGizmoSphere(obj("gs"), 2.5f, 1);
    m_w->addGizmoBox(obj("gb"), 1, 2, 3);
    m_w->addGizmoCylinder(obj("gc"), 4, 5);
    ASSERT_TRUE(load());
    const char * names[] = {"tgt", "free", "cam", "dummy", "bone", "gs", "gb", "gc"};
    const uint types[] = {16, 0, 1, 10, 9, 11, 12, 13};
    ASSERT_EQ(m_scene->objects().getNbItem(), 8);
    for (int i = 0; i < 8; ++i)
    {
        EXPECT_STREQ(m_scene->objects().get<qor_cObject>(i)->getName(), names[i]);
        EXPECT_EQ(m_scene->objects().get<qor_cObject>(i)->getType(), types[i]);
        EXPECT_FALSE(m_scene->objects().isOwner(i));
    }
    EXPECT_EQ(m_scene->cameras().getNbItem(), 2);
    EXPECT_EQ(m_scene->bones().getNbItem(), 1);
    EXPECT_EQ(object<qor_cObject>("tgt")->getLocalSphere().m_fRadiusSq, 16.0f);
    qor_cCamera * cam = object<qor_cCamera>("cam");
    EXPECT_EQ(cam->getTarget(), object<qor_cObject>("tgt"));
    EXPECT_FLOAT_EQ(cam->getFov(), 45.0f * 0.017453292f);
    EXPECT_FLOAT_EQ(cam->getRoll(), 90.0f * 0.017453292f);
    EXPECT_FLOAT_EQ(cam->getRangeStart(), 3.0f);
    EXPECT_FLOAT_EQ(cam->getFar(), 800.0f);
    EXPECT_EQ(object<qor_cCamera>("free")->getTarget(), nullptr);
    EXPECT_EQ(object<qor_cGizmoSphere>("gs")->m_fRadius, 2.5f);
    EXPECT_EQ(object<qor_cGizmoSphere>("gs")->m_bHemisphere, 1);
    EXPECT_EQ(object<qor_cGizmoBox>("gb")->m_afSize[2], 3.0f);
    EXPECT_EQ(object<qor_cGizmoCylinder>("gc")->m_afSize[1], 5.0f);
}

TEST_F(SceneFile, TargetCameraNamingAMissingTargetFails)
{
    m_w->addTarget(obj("t0"));
    m_w->addTarget(obj("t1"));
    m_w->addCameraTarget(obj("cam"), 1, 100, 45, 0, 2); // index 2 with two targets read
    EXPECT_FALSE(load());
    EXPECT_TRUE(logHas("qor_cObject * pTgt = getObject(iTarget<2>);\nImpossible de trouver l'objet target !\n"));
    EXPECT_EQ(m_scene->cameras().getNbItem(), 0);
}

TEST_F(SceneFile, OmniLightFlagsChooseColoursAndRange)
{
    // Bits numbered from 0: 1 range, 3 on, 4 specular.
    m_w->addLightOmni(obj("all"), {0.5f, 0.25f, 1, 1}, 2.0f, (1u << 1) | (1u << 3) | (1u << 4), 40.0f);
    m_w->addLightOmni(obj("none"), {0.5f, 0.25f, 1, 1}, 2.0f, 0, 40.0f);
    ASSERT_TRUE(load());
    const qor_cLight & a = object<qor_cOmniLight>("all")->light();
    EXPECT_EQ(a.m_diffuse, qor_cColor(1.0f, 0.5f, 2.0f, 2.0f));
    EXPECT_EQ(a.m_specular, qor_cColor(0.5f, 0.25f, 1, 1));
    EXPECT_FLOAT_EQ(a.getRange(), 40.0f);
    EXPECT_EQ(a.m_fAttenuation0, 1.0f);
    EXPECT_EQ(a.m_uType, 0u);
    const qor_cLight & n = object<qor_cOmniLight>("none")->light();
    EXPECT_EQ(n.m_diffuse.r + n.m_diffuse.g + n.m_diffuse.b, 0.0f);
    EXPECT_EQ(n.m_specular.r + n.m_specular.g + n.m_specular.b, 0.0f);
    EXPECT_FLOAT_EQ(n.m_sphere.m_fRadiusSq, 3.4028235e38f);
}

TEST_F(SceneFile, HierarchyLinksByNameWithTheChildListedFirst)
{
    m_w->addDummy(obj("child"));
    m_w->addDummy(obj("parent"));
    m_w->addObjectHierarchy({{"child", "parent"}, {"ghost", "parent"}, {"child", "nobody"}});
    qor_sMotObject p = motObject("parent");
    p.m_position = qor_sMotChannel::constant(5, 0, 0);
    qor_sMotObject c = motObject("child");
    c.m_position = qor_sMotChannel::constant(0, 2, 0);
    m_mot.addCommonInfos(0, 0, 1);
    m_mot.addObjectsMotions({p, c});
    ASSERT_TRUE(load());
    EXPECT_EQ(object<qor_cObject>("child")->getParent(), object<qor_cObject>("parent"));
    EXPECT_EQ(object<qor_cObject>("parent")->getParent(), nullptr);
    // After the load's update the child sits under its parent.
    EXPECT_FLOAT_EQ(object<qor_cObject>("child")->getWorld()._41, 5.0f);
    EXPECT_FLOAT_EQ(object<qor_cObject>("child")->getWorld()._42, 2.0f);
}

// Two objects and two materials of one name: every name resolves to the one listed first, in
// the hierarchy, the animation file and the mesh data alike; the second keeps nothing.
TEST_F(SceneFile, NamesResolveToTheFirstOfTwo)
{
    m_w->addDummy(obj("twin", {1, 0, 0}));
    m_w->addDummy(obj("twin", {2, 0, 0}));
    m_w->addDummy(obj("p"));
    m_w->addObjectHierarchy({{"twin", "p"}});
    m_w->addMaterial(material("M"));
    qor_sS3dWMaterial second = material("M");
    second.m_translucy = 1;
    m_w->addMaterial(second);
    addQuadPools();
    m_w->addMeshData(quadData("M"));
    qor_sMotObject t = motObject("twin");
    t.m_position = qor_sMotChannel::constant(3, 0, 0);
    m_mot.addCommonInfos(0, 0, 1);
    m_mot.addObjectsMotions({t});
    ASSERT_TRUE(load());
    const qor_cList & objects = m_scene->objects();
    ASSERT_EQ(objects.getNbItem(), 3);
    const qor_cObject * pFirst = objects.get<qor_cObject>(0);
    const qor_cObject * pSecond = objects.get<qor_cObject>(1);
    EXPECT_EQ(pFirst->getLocalSphere().m_vCenter.x, 1.0f);
    EXPECT_EQ(object<qor_cObject>("twin"), pFirst);
    EXPECT_EQ(pFirst->getParent(), objects.get<qor_cObject>(2));
    EXPECT_EQ(pSecond->getParent(), nullptr);
    EXPECT_FLOAT_EQ(pFirst->getWorld()._41, 3.0f);
    EXPECT_FLOAT_EQ(pSecond->getWorld()._41, 0.0f);
    ASSERT_EQ(m_scene->materials().getNbItem(), 2);
    EXPECT_EQ(m_scene->triMeshes().get<qor_cTriMesh>(0)->getNode(0)->pMaterial,
              m_scene->materials().get<qor_cMaterial>(0));
}

TEST_F(SceneFile, HierarchyLoopIsRefused)
{
    m_w->addDummy(obj("a"));
    m_w->addDummy(obj("b"));
    m_w->addDummy(obj("c"));
    m_w->addObjectHierarchy({{"a", "b"}, {"b", "c"}, {"c", "a"}});
    EXPECT_FALSE(load());
    EXPECT_TRUE(logHas("object<c>: its parents lead back to it\n"));
    // The scene that stays can still be updated: the loop was cut.
    const float dt = 1;
    m_scene->update(&dt);
    EXPECT_EQ(object<qor_cObject>("c")->getParent(), nullptr);
    EXPECT_EQ(object<qor_cObject>("a")->getParent(), object<qor_cObject>("b"));
}

TEST_F(SceneFile, GlobalInfosAndFog)
{
    m_w->addGlobalInfos({0.1f, 0.2f, 0.3f, 1}, {0.4f, 0.5f, 0.6f, 1});
    m_w->addFogInfos(true, {0.5f, 0.5f, 0.5f, 1});
    ASSERT_TRUE(load());
    EXPECT_EQ(m_scene->getAmbient(), qor_cColor(0.1f, 0.2f, 0.3f, 1));
    ASSERT_NE(m_scene->getFog(), nullptr);
    EXPECT_EQ(m_scene->getFog()->getColor(), qor_cColor(0.5f, 0.5f, 0.5f, 1));
    // The fog's colour is the background.
    EXPECT_EQ(m_scene->getBackground(), qor_cColor(0.5f, 0.5f, 0.5f, 1));
    // A disabled fog record makes none.
    m_w.reset(new qor_cS3dWriter());
    m_w->addFogInfos(false, {0.5f, 0.5f, 0.5f, 1});
    ASSERT_TRUE(load());
    EXPECT_EQ(m_scene->getFog(), nullptr);
}

// ----- materials

namespace
{
// Expected stage: texture tag ('d' diffuse, 'w' white, 's' second, 'b' bump, 'c' cube map),
// colour and alpha combiners (arg1, op, arg2), coordinate source, transform flags.
struct StageExp
{
    char tex;
    uint c[3], a[3];
    uint texgen, ttf;
};
struct PassExp
{
    uint src, dst, zwrite, cull;
    std::vector<StageExp> stages;
};
struct MaterialCase
{
    const char * what;
    uint translucy, opacity, twoSided;
    bool diffuse, second, bump;
    float amount;
    std::vector<PassExp> passes;
};


class MaterialTable : public SceneFile, public ::testing::WithParamInterface<MaterialCase>
{
};
} // namespace

TEST_P(MaterialTable, PassesAndStages)
{
    const MaterialCase & c = GetParam();
    qor_sS3dWTexture t;
    for (const char * n : {"d", "s"})
    {
        t.m_strName = n;
        m_w->addTexture(t);
    }
    t.m_nKind = 1;
    t.m_strName = "b";
    m_w->addTexture(t);
    qor_sS3dWMaterial m = material("M");
    m.m_translucy = c.translucy;
    m.m_nOpacityMap = c.opacity;
    m.m_nTwoSided = c.twoSided;
    m.m_fAmount = c.amount;
    m.m_strDiffuse = c.diffuse ? "d" : "";
    m.m_strSecond = c.second ? "s" : "";
    m.m_strBump = c.bump ? "b" : "";
    m_w->addMaterial(m);
    ASSERT_TRUE(load()) << c.what;
    qor_cMaterial * pMat = m_scene->getMaterial("M");
    ASSERT_NE(pMat, nullptr);
    ASSERT_EQ(pMat->getNbPass(), c.passes.size()) << c.what;
    for (uint p = 0; p < c.passes.size(); ++p)
    {
        const PassExp & e = c.passes[p];
        qor_cEffectPass * pPass = pMat->getEffect()->getPass(p);
        EXPECT_EQ(pPass->getBlend().getSrc(), e.src) << c.what << " pass " << p;
        EXPECT_EQ(pPass->getBlend().getDst(), e.dst) << c.what << " pass " << p;
        EXPECT_EQ(pPass->getZWrite(), e.zwrite) << c.what << " pass " << p;
        EXPECT_EQ(pPass->getCullMode(), e.cull) << c.what << " pass " << p;
        EXPECT_EQ(pPass->getZFunc(), 3u);
        ASSERT_EQ(pPass->getNbStage(), e.stages.size()) << c.what << " pass " << p;
        for (uint s = 0; s < e.stages.size(); ++s)
        {
            const StageExp & se = e.stages[s];
            qor_cEffectStage * pStage = pPass->getStage(s);
            ASSERT_NE(pStage->getTexture(), nullptr);
            const std::string name = pStage->getTexture()->getName();
            switch (se.tex)
            {
            case 'w': {
                char ac[32];
                std::snprintf(ac, sizeof(ac), "color_white%x", pStage->getTexture()->getHandle());
                EXPECT_EQ(name, ac);
                break;
            }
            case 'c': {
                char ac[32];
                std::snprintf(ac, sizeof(ac), "cubebump%d\n", int(pStage->getTexture()->getHandle()));
                EXPECT_EQ(name, ac);
                EXPECT_NE(pStage->getTexture()->getHandle() & QOR_CUBE_TEXTURE_BIT, 0u);
                break;
            }
            default:
                EXPECT_EQ(name, std::string(1, se.tex));
            }
            const qor_cCombiner & cc = pStage->getColorCombiner();
            const qor_cCombiner & ac = pStage->getAlphaCombiner();
            EXPECT_EQ((std::vector<uint>{cc.m_arg1, cc.m_op, cc.m_arg2}), (std::vector<uint>{se.c[0], se.c[1], se.c[2]}))
                << c.what << " pass " << p << " stage " << s;
            EXPECT_EQ((std::vector<uint>{ac.m_arg1, ac.m_op, ac.m_arg2}), (std::vector<uint>{se.a[0], se.a[1], se.a[2]}))
                << c.what << " pass " << p << " stage " << s;
            EXPECT_EQ(pStage->getTexCoordGen(), se.texgen);
            EXPECT_EQ(pStage->getTexTransformFlags(), se.ttf);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    SceneFile, MaterialTable,
    ::testing::Values(
        MaterialCase{"opaque, opacity map", 0, 1, 0, true, false, false, 0,
                     {{4, 5, 1, 1, {{'d', {2, 3, 1}, {2, 3, 1}, 5, 0}}}}},
        MaterialCase{"opaque", 0, 0, 0, true, false, false, 0, {{1, 0, 1, 1, {{'d', {2, 3, 1}, {2, 0, 1}, 5, 0}}}}},
        MaterialCase{"additive", 1, 0, 0, true, false, false, 0, {{1, 1, 0, 1, {{'d', {2, 3, 1}, {2, 0, 1}, 5, 0}}}}},
        MaterialCase{"colour blend", 2, 0, 0, true, false, false, 0,
                     {{2, 3, 1, 1, {{'d', {2, 3, 1}, {2, 0, 1}, 5, 0}}}}},
        MaterialCase{"no diffuse texture: white", 0, 0, 0, false, false, false, 0,
                     {{1, 0, 1, 1, {{'w', {2, 3, 1}, {2, 0, 1}, 5, 0}}}}},
        MaterialCase{"second layer, two-sided", 0, 0, 1, true, true, false, 0,
                     {{1, 0, 1, 0, {{'d', {2, 3, 1}, {2, 0, 1}, 5, 0}, {'s', {0, 6, 1}, {0, 0, 1}, 0, 3}}}}},
        MaterialCase{"bump, amount 0", 0, 0, 0, true, false, true, 0,
                     {{1, 0, 1, 1, {{'b', {1, 1, 2}, {2, 0, 1}, 5, 0}, {'c', {1, 10, 0}, {2, 0, 1}, 4, 3}}},
                      {6, 0, 1, 1, {{'d', {1, 1, 2}, {2, 0, 1}, 5, 0}}}}},
        MaterialCase{"bump, amount 0.5, translucency ignored", 7, 0, 0, true, false, true, 0.5f,
                     {{1, 0, 1, 1, {{'b', {1, 1, 2}, {2, 0, 1}, 5, 0}, {'c', {1, 10, 0}, {2, 0, 1}, 4, 3}}},
                      {6, 1, 1, 1, {{'d', {1, 1, 2}, {2, 0, 1}, 5, 0}}},
                      {1, 2, 1, 1, {{'d', {1, 4, 2}, {2, 0, 1}, 5, 0}}}}}));

TEST_F(SceneFile, MaterialColoursAndSources)
{
    qor_sS3dWTexture t;
    t.m_strName = "d";
    m_w->addTexture(t);
    qor_sS3dWMaterial m = material("textured");
    m.m_strDiffuse = "d";
    m.m_diffuse = {0.2f, 0.3f, 0.4f, 0.5f};
    m.m_ambient = {0.1f, 0.1f, 0.1f, 1};
    m.m_specular = {0.5f, 0.8f, 1, 1};
    m.m_fSpecularLevel = 1.5f;
    m.m_emissive = {1, 0.5f, 0, 1};
    m.m_fAmount = 0.5f;
    m.m_fPower = 12.0f;
    m_w->addMaterial(m);
    m.m_strName = "plain";
    m.m_strDiffuse = "";
    m_w->addMaterial(m);
    ASSERT_TRUE(load());
    qor_cMatProp & p = m_scene->getMaterial("textured")->getProp();
    EXPECT_EQ(std::vector<float>(p.getDiffuse(), p.getDiffuse() + 4), (std::vector<float>{1, 1, 1, 1}));
    EXPECT_EQ(std::vector<float>(p.getAmbient(), p.getAmbient() + 4), (std::vector<float>{0.1f, 0.1f, 0.1f, 1}));
    // Specular times the level, each channel clamped to 1.
    EXPECT_FLOAT_EQ(p.getSpecular()[0], 0.75f);
    EXPECT_FLOAT_EQ(p.getSpecular()[1], 1.0f);
    EXPECT_FLOAT_EQ(p.getSpecular()[2], 1.0f);
    EXPECT_FLOAT_EQ(p.getEmissive()[0], 0.5f);
    EXPECT_FLOAT_EQ(p.getEmissive()[1], 0.25f);
    EXPECT_EQ(p.getPower(), 12.0f);
    EXPECT_EQ(p.getDiffuseSrc(), 0u);
    EXPECT_EQ(p.getEmissiveSrc(), 1u);
    qor_cMatProp & q = m_scene->getMaterial("plain")->getProp();
    EXPECT_FLOAT_EQ(q.getDiffuse()[0], 0.2f);
    EXPECT_FLOAT_EQ(q.getDiffuse()[3], 0.5f);
}

TEST_F(SceneFile, UnknownTranslucencyIsRefused)
{
    qor_sS3dWMaterial m = material("M");
    m.m_translucy = 3;
    m_w->addMaterial(m);
    EXPECT_FALSE(load());
    EXPECT_TRUE(logHas("sMaterial.m_translucy de type inconnu\n"));
}

TEST_F(SceneFile, MaterialNameOf63CharactersLoadsAnd64Fail)
{
    m_w->addMaterial(material(std::string(63, 'm')));
    ASSERT_TRUE(load());
    EXPECT_NE(m_scene->getMaterial(std::string(63, 'm').c_str()), nullptr);
    m_w->addMaterial(material(std::string(64, 'n')));
    EXPECT_FALSE(load());
    EXPECT_TRUE(logHas("nom du material trop long !\n"));
}

TEST_F(SceneFile, AnimatedUVKeysReachTheStageThatBindsTheTexture)
{
    qor_sS3dWTexture t;
    t.m_strName = "d";
    m_w->addTexture(t);
    qor_sS3dWMaterial m = material("M");
    m.m_strDiffuse = "d";
    m_w->addMaterial(m);
    qor_sS3dUVKey k0, k1;
    k0.m_fTime = 0;
    k1.m_fTime = 10;
    k1.m_afValue[0] = 1.0f;
    k1.m_afValue[1] = 0.5f;
    m_w->addAnimUV("M", "d", {k0, k1}, {}, {});
    m_w->addAnimUV("M", "not bound", {k0}, {}, {}); // no such stage: accepted
    ASSERT_TRUE(load());
    qor_cEffectStage * pStage = m_scene->getMaterial("M")->getEffect()->getPass(0)->getStage(0);
    EXPECT_TRUE(pStage->isAnimated());
    pStage->positionTrack().m_fTime = 5.0f;
    const float * v = pStage->positionTrack().evaluate()->m_afValue;
    EXPECT_FLOAT_EQ(v[0], 0.5f);
    EXPECT_FLOAT_EQ(v[1], 0.25f);
    // A key not after the previous one is refused, and so is the file.
    m_w->addAnimUV("M", "d", {k1, k0}, {}, {});
    EXPECT_FALSE(load());
    m_w.reset(new qor_cS3dWriter());
    m_w->addAnimUV("nothing", "d", {k0}, {}, {});
    EXPECT_FALSE(load());
    EXPECT_TRUE(logHas("qor_cMaterial * pMat = getMaterial(sAnim.m_szMaterial<nothing>);\n"));
}

// ----- geometry

TEST_F(SceneFile, MeshDataBuildsStaticListsFromThePools)
{
    m_w->addMaterial(material("Mat"));
    addQuadPools();
    m_w->addMeshData(quadData("Mat"));
    m_w->addMesh(obj("quad"), {0});
    ASSERT_TRUE(load());
    qor_cMesh * pMesh = object<qor_cMesh>("quad");
    ASSERT_NE(pMesh->getTriMesh(), nullptr);
    ASSERT_EQ(pMesh->getTriMesh()->getNbNode(), 1u);
    const qor_sTriMeshNode * n = pMesh->getTriMesh()->getNode(0);
    EXPECT_EQ(n->pMaterial, m_scene->getMaterial("Mat"));
    EXPECT_EQ(n->nTriangle, 2u);
    EXPECT_EQ(n->pSkinWeight, nullptr);
    const qor_sVertex2 * v = static_cast<const qor_sVertex2 *>(n->pList->getVertexArray());
    ASSERT_NE(v, nullptr);
    // Corner 0 of face 0: position 0, colour (1, 0.5, 0.25) -> (255, 127, 63), uv (0, 1 - 0).
    EXPECT_EQ(v[0].color, 0xFF000000u | 255u << 16 | 127u << 8 | 63u);
    EXPECT_EQ(v[0].u, 0.0f);
    EXPECT_EQ(v[0].v, 1.0f);
    // Unit normal from (0, 0, 2).
    EXPECT_EQ(v[0].nz, 1.0f);
    // Corner 1: position (1, 0, 0), uv (1, 1 - 0); corner 5: face 1's third corner, index 3.
    EXPECT_EQ(v[1].x, 1.0f);
    EXPECT_EQ(v[1].u, 1.0f);
    EXPECT_EQ(v[1].v, 1.0f);
    EXPECT_EQ(v[5].y, 1.0f);
    EXPECT_EQ(v[5].x, 0.0f);
    EXPECT_EQ(v[5].v, 0.0f);
}

TEST_F(SceneFile, MeshDataWithoutCoordinatesOrColours)
{
    m_w->addMaterial(material("Mat"));
    addQuadPools();
    qor_sS3dWMeshData d = quadData("Mat");
    d.m_bHasUV = false;
    d.m_bHasColor = false;
    m_w->addMeshData(d);
    m_w->addMesh(obj("quad"), {0});
    ASSERT_TRUE(load());
    const qor_sVertex2 * v =
        static_cast<const qor_sVertex2 *>(object<qor_cMesh>("quad")->getTriMesh()->getNode(0)->pList->getVertexArray());
    for (int i = 0; i < 6; ++i)
    {
        EXPECT_EQ(v[i].u, 0.0f);
        EXPECT_EQ(v[i].v, 0.0f);
        EXPECT_EQ(v[i].color, 0u);
    }
}

TEST_F(SceneFile, BoundaryWithAMissingMaterialFailsTheLoad)
{
    addQuadPools();
    m_w->addMeshData(quadData("Nowhere"));
    EXPECT_FALSE(load());
    EXPECT_TRUE(logHas("\t\tname:<Nowhere> impossible a trouver dans la scene\n"));
}

TEST_F(SceneFile, MeshWithoutItsTriangleMeshFailsTheLoad)
{
    m_w->addMesh(obj("quad"), {3});
    EXPECT_FALSE(load());
    EXPECT_TRUE(logHas("mesh <quad>: triangle mesh <3> of <0>"));
}

TEST_F(SceneFile, BoundariesOverlappingThePoolAreRefused)
{
    m_w->addMaterial(material("Mat"));
    addQuadPools();
    qor_sS3dWMeshData d = quadData("Mat");
    for (int i = 0; i < 20; ++i)
        d.m_boundaries.push_back({0, 2, "Mat"});
    m_w->addMeshData(d);
    EXPECT_FALSE(load());
    EXPECT_TRUE(logHas("boundaries hold"));
}

namespace
{
// Skin records by position index: corner 0 half bone A, half bone B; 1 and 2 all bone A; 3 none.
std::vector<qor_sS3dSkin> skins(uint boneA, uint boneB)
{
    std::vector<qor_sS3dSkin> s(4);
    s[0].m_nInfluence = 2;
    s[0].m_anBone[0] = boneA;
    s[0].m_afWeight[0] = 0.5f;
    s[0].m_anBone[1] = boneB;
    s[0].m_afWeight[1] = 0.5f;
    for (int i : {1, 2})
    {
        s[i].m_nInfluence = 1;
        s[i].m_anBone[0] = boneA;
        s[i].m_afWeight[0] = 1.0f;
    }
    return s;
}
} // namespace

TEST_F(SceneFile, SkinnedMeshKeepsBindCopiesAndResolvesInfluencesToBones)
{
    m_w->addBone(obj("A"));
    m_w->addBone(obj("B"));
    m_w->addMaterial(material("Mat"));
    addQuadPools();
    qor_sS3dWMeshData d = quadData("Mat");
    d.m_skins = skins(0, 1);
    m_w->addMeshData(d);
    m_w->addMesh(obj("skin"), {0});
    // The mesh stands at x = 10; bone A at y = 3.
    qor_sMotObject mesh = motObject("skin");
    mesh.m_position = qor_sMotChannel::constant(10, 0, 0);
    qor_sMotObject a = motObject("A");
    a.m_position = qor_sMotChannel::constant(0, 3, 0);
    m_mot.addCommonInfos(0, 0, 1);
    m_mot.addObjectsMotions({mesh, a});
    ASSERT_TRUE(load());

    qor_cBone * pA = object<qor_cBone>("A");
    qor_cBone * pB = object<qor_cBone>("B");
    // Inverse bind of A: its world (translation (0, 3, 0)) inverted.
    EXPECT_FLOAT_EQ(pA->getInverseBind()._42, -3.0f);
    const qor_sTriMeshNode * n = object<qor_cMesh>("skin")->getTriMesh()->getNode(0);
    ASSERT_NE(n->pSkinWeight, nullptr);
    EXPECT_EQ(n->nSkinVertex, 6u);
    const qor_sSkinWeight & w0 = n->pSkinWeight[0];
    EXPECT_EQ(w0.aInfluence[0].pBone, pA);
    EXPECT_EQ(w0.aInfluence[1].pBone, pB);
    EXPECT_EQ(w0.aInfluence[1].fWeight, 0.5f);
    EXPECT_EQ(w0.aInfluence[2].pBone, nullptr);
    // Bind copies in the mesh's world at time 0: corner 1 at (1, 0, 0) + (10, 0, 0).
    EXPECT_FLOAT_EQ(n->pSkinWeight[1].pVertex->x, 11.0f);

    // Skinning at the bind pose keeps the loaded world positions; corner 5 (position 3, no
    // influence) goes to the origin.
    object<qor_cMesh>("skin")->getTriMesh()->skinNode(0);
    const qor_sVertex2 * v = static_cast<const qor_sVertex2 *>(n->pList->getVertexArray());
    EXPECT_NEAR(v[0].x, 10.0f, 1e-5);
    EXPECT_NEAR(v[1].x, 11.0f, 1e-5);
    EXPECT_NEAR(v[2].y, 1.0f, 1e-5);
    EXPECT_EQ(v[5].x, 0.0f);
    EXPECT_EQ(v[5].y, 0.0f);

    // Bone A moves by (0, 1, 0): corners 1 and 2 follow fully, corner 0 by half.
    pA->m_vPosition.set(0, 4, 0);
    pA->clearUpdated();
    const float dt = 0;
    pA->update(&dt);
    object<qor_cMesh>("skin")->getTriMesh()->skinNode(0);
    EXPECT_NEAR(v[1].y, 1.0f, 1e-5);
    EXPECT_NEAR(v[0].y, 0.5f, 1e-5);
}

TEST_F(SceneFile, SkinInfluenceNamingANonBoneIsRefused)
{
    m_w->addBone(obj("A"));
    m_w->addDummy(obj("D"));
    m_w->addMaterial(material("Mat"));
    addQuadPools();
    qor_sS3dWMeshData d = quadData("Mat");
    d.m_skins = skins(0, 1);
    m_w->addMeshData(d);
    EXPECT_FALSE(load());
    EXPECT_TRUE(logHas("skin influence names an object that is not a bone"));
}

TEST_F(SceneFile, SkinBoneIndexPastTheObjectsIsRefused)
{
    m_w->addBone(obj("A"));
    m_w->addMaterial(material("Mat"));
    addQuadPools();
    qor_sS3dWMeshData d = quadData("Mat");
    d.m_skins = skins(0, 7);
    m_w->addMeshData(d);
    EXPECT_FALSE(load());
}

TEST_F(SceneFile, MorphKeysInTicksWithTheTimeFilter)
{
    m_w->addMesh(obj("base"), {0});
    m_w->addMesh(obj("target"), {0});
    m_w->addMaterial(material("Mat"));
    addQuadPools();
    m_w->addMeshData(quadData("Mat"));
    qor_sS3dWMorphTarget t;
    t.m_strName = "target";
    t.m_keys = {{0, 0}, {0, 50}, {160, 150}};
    m_w->addMorph("base", {t});
    ASSERT_TRUE(load());
    qor_cMorph * pMorph = object<qor_cMesh>("base")->getMorph();
    ASSERT_NE(pMorph, nullptr);
    ASSERT_EQ(pMorph->getNbControllers(), 1);
    qor_cTargetLinearController * c = pMorph->getController(0);
    EXPECT_EQ(c->getTarget(), object<qor_cMesh>("target"));
    ASSERT_EQ(c->getNbKeys(), 2);
    EXPECT_EQ(c->getKey(0)->m_fTime, 0.0f);
    EXPECT_EQ(c->getKey(0)->m_afValue[0], 0.0f);
    EXPECT_FLOAT_EQ(c->getKey(1)->m_fTime, 1.0f);
    EXPECT_EQ(c->getKey(1)->m_afValue[0], 1.0f); // 150 % clamped
    pMorph->setTime(0.5f);
    pMorph->evaluate();
    EXPECT_FLOAT_EQ(pMorph->getResult(0)->fWeight, 0.5f);
}

TEST_F(SceneFile, MorphOfAMissingMeshFails)
{
    m_w->addMesh(obj("base"), {0});
    qor_sS3dWMorphTarget t;
    t.m_strName = "ghost";
    m_w->addMorph("base", {t});
    EXPECT_FALSE(load());
    EXPECT_TRUE(logHas("target <0> mesh <ghost> not found"));
}

TEST_F(SceneFile, ParticleSystemParametersAndMaterial)
{
    qor_sS3dWTexture t;
    t.m_strName = "d";
    m_w->addTexture(t);
    qor_sS3dWMaterial m = material("Spark");
    m.m_strDiffuse = "d";
    m_w->addMaterial(m);
    qor_sS3dWParticleSystem s;
    s.m_nParticle = 16;
    s.m_nLifeBase = 30;
    s.m_nLifeRandom = 0;
    s.m_nOneShot = 1;
    s.m_startColor = {255, 51, 0, 255};
    s.m_endColor = {0, 0, 0, 0};
    s.m_strMaterialName = "Spark";
    m_w->addParticleSystem(obj("ps"), s);
    ASSERT_TRUE(load());
    qor_cParticleSystem * p = object<qor_cParticleSystem>("ps");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(m_scene->particleSystems().getNbItem(), 1);
    EXPECT_EQ(p->getNbParticle(), 16u);
    EXPECT_EQ(p->getParams().fLifeBase, 30.0f);
    EXPECT_TRUE(p->getParams().bOneShot);
    EXPECT_FLOAT_EQ(p->getParams().startColor.g, 0.2f);
    qor_cMaterial * pMat = m_scene->getMaterial("Spark");
    EXPECT_EQ(p->getMaterial(), pMat);
    EXPECT_EQ(pMat->getProp().getEmissiveSrc(), 1u);
    const qor_cCombiner & a = pMat->getEffect()->getPass(0)->getStage(0)->getAlphaCombiner();
    EXPECT_EQ((std::vector<uint>{a.m_arg1, a.m_op, a.m_arg2}), (std::vector<uint>{2, 3, 1}));
}

TEST_F(SceneFile, ParticleCountOfAllBitsIsRefused)
{
    m_w->addMaterial(material("Spark"));
    qor_sS3dWParticleSystem s;
    s.m_nParticle = 0xFFFFFFFFu;
    s.m_strMaterialName = "Spark";
    m_w->addParticleSystem(obj("ps"), s);
    EXPECT_FALSE(load());
    s.m_nParticle = 4;
    s.m_strMaterialName = "Missing";
    m_w.reset(new qor_cS3dWriter());
    m_w->addParticleSystem(obj("ps"), s);
    EXPECT_FALSE(load());
    EXPECT_TRUE(logHas("qor_cMaterial * pMat = getMaterial(sSystem.m_szMaterialName);\nobj<ps> material<Missing>\n"));
}

// ----- animation files

TEST_F(SceneFile, ObjectWithoutAnimationIsVisibleAndStill)
{
    m_w->addDummy(obj("d"));
    m_mot.addCommonInfos(0, 0, 160);
    ASSERT_TRUE(load());
    qor_cObject * d = object<qor_cObject>("d");
    EXPECT_EQ(d->getVisibility(), 1.0f);
    EXPECT_EQ(d->getRate(), 0.0f);
}

TEST_F(SceneFile, SixEmptySubChunksChangeNothingButTheRate)
{
    m_w->addCameraFree(obj("cam"), 1, 100, 60);
    m_mot.addCommonInfos(7, 8, 160);
    m_mot.addObjectsMotions({motObject("cam")});
    ASSERT_TRUE(load());
    qor_cCamera * c = object<qor_cCamera>("cam");
    EXPECT_EQ(c->getRate(), 160.0f);
    EXPECT_EQ(c->getLength(), 0.0f);
    EXPECT_EQ(c->getPositionController(), nullptr);
    EXPECT_EQ(c->m_vPosition, qor_cVector3(0, 0, 0));
    EXPECT_EQ(c->getVisibility(), 1.0f);
    EXPECT_FLOAT_EQ(c->getFov(), 60.0f * 0.017453292f);
    EXPECT_EQ(m_scene->getAnimInfo(0), 7u);
    EXPECT_EQ(m_scene->getAnimInfo(1), 8u);
}

TEST_F(SceneFile, StaticFormsOfEveryChannel)
{
    m_w->addCameraFree(obj("cam"), 1, 100, 60);
    m_w->addDummy(obj("d"));
    qor_sMotObject c = motObject("cam");
    c.m_position = qor_sMotChannel::constant(1, 2, 3);
    c.m_rotation = qor_sMotChannel::constant(0, 0, 0.6f, 0.8f);
    c.m_scale = qor_sMotChannel::constant(2, 2, 2);
    c.m_roll = qor_sMotChannel::constant(0.25f);
    c.m_fov = qor_sMotChannel::constant(1.5f);
    c.m_visibility = qor_sMotChannel::constant(0);
    qor_sMotObject d = motObject("d");
    d.m_roll = qor_sMotChannel::constant(0.25f); // not a camera: read and ignored
    d.m_fov = qor_sMotChannel::constant(1.5f);
    m_mot.addCommonInfos(0, 0, 1);
    m_mot.addObjectsMotions({c, d});
    ASSERT_TRUE(load());
    qor_cCamera * cam = object<qor_cCamera>("cam");
    EXPECT_EQ(cam->m_vPosition, qor_cVector3(1, 2, 3));
    EXPECT_EQ(cam->m_qRotation, qor_cQuaternion(0, 0, 0.6f, 0.8f));
    EXPECT_EQ(cam->m_vScale, qor_cVector3(2, 2, 2));
    EXPECT_EQ(cam->getRoll(), 0.25f); // radians, as read
    EXPECT_EQ(cam->getFov(), 1.5f);
    EXPECT_EQ(cam->getVisibility(), 0.0f);
    EXPECT_FLOAT_EQ(cam->getWorld()._41, 1.0f);
    EXPECT_EQ(object<qor_cObject>("d")->getVisibility(), 1.0f);
}

namespace
{
struct KindCase
{
    uint kind;
    qor_cKey::EType type;
};
class TrackKinds : public SceneFile, public ::testing::WithParamInterface<KindCase>
{
};
} // namespace

TEST_P(TrackKinds, PositionAndScaleTracksOfEachKind)
{
    const KindCase & k = GetParam();
    m_w->addDummy(obj("d"));
    qor_sMotObject d = motObject("d");
    std::vector<qor_sMotKey> keys = {key(0, 0, 0, 0), key(10, 10, 20, 30), key(20, 20, 40, 60)};
    for (qor_sMotKey & kk : keys)
        kk.m_afParam[0] = 0.1f, kk.m_afParam[1] = 0.2f, kk.m_afParam[2] = 0.3f;
    d.m_position = qor_sMotChannel::track(k.kind, keys);
    d.m_scale = qor_sMotChannel::track(k.kind, keys);
    m_mot.addCommonInfos(0, 0, 2);
    m_mot.addObjectsMotions({d});
    ASSERT_TRUE(load());
    qor_cObject * o = object<qor_cObject>("d");
    ASSERT_NE(o->getPositionController(), nullptr);
    EXPECT_EQ(o->getPositionController()->getType(), k.type);
    EXPECT_EQ(o->getScaleController()->getType(), k.type);
    ASSERT_EQ(o->getPositionController()->getNbKeys(), 3);
    const qor_cKey * k1 = o->getPositionController()->getKey(1);
    EXPECT_EQ(k1->m_fTime, 10.0f); // key-time units, as stored
    EXPECT_EQ(k1->m_afValue[2], 30.0f);
    if (k.kind == 1)
    {
        const qor_cTcbKey * t = static_cast<const qor_cTcbKey *>(k1);
        EXPECT_EQ(t->m_fTension, 0.1f);
        EXPECT_EQ(t->m_fContinuity, 0.2f);
        EXPECT_EQ(t->m_fBias, 0.3f);
    }
    if (k.kind == 2)
    {
        const qor_cSmoothKey * s = static_cast<const qor_cSmoothKey *>(k1);
        EXPECT_EQ(s->m_afTangent[0], 0.1f);
        EXPECT_EQ(s->m_afTangent[2], 0.3f);
    }
    EXPECT_EQ(o->getLength(), 20.0f);
    // On a key the controller gives the key: dt 5 at rate 2 reaches local time 10.
    o->rewind();
    o->clearUpdated();
    const float dt = 5.0f;
    o->update(&dt);
    EXPECT_EQ(o->m_vPosition, qor_cVector3(10, 20, 30));
    EXPECT_EQ(o->m_vScale, qor_cVector3(10, 20, 30));
}

INSTANTIATE_TEST_SUITE_P(SceneFile, TrackKinds,
                         ::testing::Values(KindCase{1, qor_cKey::e_key_tcb}, KindCase{2, qor_cKey::e_key_smooth},
                                           KindCase{3, qor_cKey::e_key_linear}));

TEST_F(SceneFile, RotationTracksOfKinds1And3AndKind2Refused)
{
    m_w->addDummy(obj("d"));
    for (uint kind : {1u, 3u})
    {
        qor_sMotObject d = motObject("d");
        d.m_rotation = qor_sMotChannel::track(kind, {key(0, 0, 0, 0, 1), key(60, 0, 0, 1, 0)});
        m_mot = qor_cMotWriter();
        m_mot.addCommonInfos(0, 0, 1);
        m_mot.addObjectsMotions({d});
        ASSERT_TRUE(load()) << kind;
        const qor_cKey * k = object<qor_cObject>("d")->getRotationController()->getKey(1);
        EXPECT_EQ(k->m_nValue, 4u);
        EXPECT_EQ(k->m_afValue[2], 1.0f);
    }
    qor_sMotObject d = motObject("d");
    d.m_rotation = qor_sMotChannel::track(2, {key(0, 0, 0, 0, 1), key(60, 0, 0, 1, 0)});
    m_mot = qor_cMotWriter();
    m_mot.addCommonInfos(0, 0, 1);
    m_mot.addObjectsMotions({d});
    EXPECT_FALSE(load());
    EXPECT_TRUE(logHas("bool qor_cScene::extractAnimObjectsMotions()\nif (!extractAnimRotationTrack(*pObject))\n"));
    EXPECT_TRUE(logHas("file:<test.s3d.MOT>\n"));
}

TEST_F(SceneFile, SingleValueTracksAreConstants)
{
    m_w->addCameraFree(obj("cam"), 1, 100, 60);
    qor_sMotObject c = motObject("cam");
    c.m_position = qor_sMotChannel::track(3, {key(99, 4, 5, 6)});
    c.m_rotation = qor_sMotChannel::track(1, {key(99, 0, 1, 0, 0)});
    c.m_fov = qor_sMotChannel::track(3, {key(99, 0.5f)}); // read and dropped
    c.m_visibility = qor_sMotChannel::track(3, {key(32, 0)}); // an ordinary key
    m_mot.addCommonInfos(0, 0, 16);
    m_mot.addObjectsMotions({c});
    ASSERT_TRUE(load());
    qor_cCamera * cam = object<qor_cCamera>("cam");
    EXPECT_EQ(cam->getPositionController(), nullptr);
    EXPECT_EQ(cam->m_vPosition, qor_cVector3(4, 5, 6));
    EXPECT_EQ(cam->m_qRotation, qor_cQuaternion(0, 1, 0, 0));
    EXPECT_FLOAT_EQ(cam->getFov(), 60.0f * 0.017453292f);
    EXPECT_EQ(cam->getLength(), 0.0f);
    ASSERT_NE(cam->visibilityTrack().getController(), nullptr);
    EXPECT_EQ(cam->visibilityTrack().getController()->getNbKeys(), 1);
    EXPECT_EQ(cam->visibilityTrack().getController()->getKey(0)->m_fTime, 2.0f); // 32 / 16
}

TEST_F(SceneFile, RollFovAndVisibilityTimesAreDividedByTheRate)
{
    m_w->addCameraFree(obj("cam"), 1, 100, 60);
    qor_sMotObject c = motObject("cam");
    c.m_position = qor_sMotChannel::track(3, {key(0, 0, 0, 0), key(320, 32, 0, 0)});
    c.m_fov = qor_sMotChannel::track(3, {key(0, 1.0f), key(320, 2.0f)});
    c.m_roll = qor_sMotChannel::track(1, {key(0, 0.0f), key(160, 1.0f)});
    c.m_visibility = qor_sMotChannel::track(3, {key(0, 1), key(160, 0)});
    m_mot.addCommonInfos(0, 0, 160);
    m_mot.addObjectsMotions({c});
    ASSERT_TRUE(load());
    qor_cCamera * cam = object<qor_cCamera>("cam");
    EXPECT_EQ(cam->fovTrack().getController()->getKey(1)->m_fTime, 2.0f);
    EXPECT_EQ(cam->rollTrack().getController()->getKey(1)->m_fTime, 1.0f);
    EXPECT_EQ(cam->rollTrack().getController()->getType(), qor_cKey::e_key_tcb);
    EXPECT_EQ(cam->visibilityTrack().getController()->getType(), qor_cKey::e_key_step);
    EXPECT_EQ(cam->getPositionController()->getKey(1)->m_fTime, 320.0f);
    EXPECT_EQ(cam->getLength(), 320.0f);
    // After dt summing to 2: local time 320 (rate 160), fov track at 2, visibility 0 since 1.
    m_scene->rewind();
    for (float dt : {0.5f, 1.5f})
    {
        m_scene->clearUpdatedFlags();
        m_scene->update(&dt);
    }
    cam->evaluate();
    EXPECT_EQ(cam->getLocalTime(), 320.0f);
    EXPECT_FLOAT_EQ(cam->m_vPosition.x, 32.0f);
    EXPECT_FLOAT_EQ(cam->getFov(), 2.0f);
    EXPECT_FLOAT_EQ(cam->getRoll(), 1.0f);
    EXPECT_EQ(cam->getVisibility(), 0.0f);
}

TEST_F(SceneFile, LengthGrowsToTheLastKeyOfTheLongestTrack)
{
    m_w->addDummy(obj("d"));
    qor_sMotObject d = motObject("d");
    d.m_position = qor_sMotChannel::track(3, {key(0, 0, 0, 0), key(120, 1, 0, 0)});
    d.m_rotation = qor_sMotChannel::track(3, {key(0, 0, 0, 0, 1), key(60, 0, 0, 0, 1)});
    m_mot.addCommonInfos(0, 0, 1);
    m_mot.addObjectsMotions({d});
    ASSERT_TRUE(load());
    EXPECT_EQ(object<qor_cObject>("d")->getLength(), 120.0f);
}

TEST_F(SceneFile, AnimationNamingAMissingObjectFails)
{
    m_w->addDummy(obj("d"));
    m_mot.addCommonInfos(0, 0, 1);
    m_mot.addObjectsMotions({motObject("caf\xe9")});
    EXPECT_FALSE(load());
    EXPECT_TRUE(logHas("qor_cObject * pObject = getObject(name.get()<caf\xe9>);\nObject<caf\xe9> non trouv\xe9 dans la scene\n"));
}

TEST_F(SceneFile, BindPoseIsTheInverseOfTheBonesWorldAtTimeZero)
{
    m_w->addBone(obj("root"));
    m_w->addBone(obj("tip"));
    m_w->addObjectHierarchy({{"tip", "root"}});
    qor_sMotObject r = motObject("root");
    r.m_position = qor_sMotChannel::track(3, {key(0, 1, 0, 0), key(10, 5, 0, 0)});
    qor_sMotObject t = motObject("tip");
    t.m_position = qor_sMotChannel::constant(0, 2, 0);
    m_mot.addCommonInfos(0, 0, 1);
    m_mot.addObjectsMotions({t, r});
    ASSERT_TRUE(load());
    // tip's world at time 0 = translation (1, 2, 0): its inverse bind translates by (-1, -2, 0).
    const qor_cMatrix & ib = object<qor_cBone>("tip")->getInverseBind();
    EXPECT_FLOAT_EQ(ib._41, -1.0f);
    EXPECT_FLOAT_EQ(ib._42, -2.0f);
    // At local time 10 the root has moved by 4: the tip's skin matrix translates by 4.
    m_scene->rewind();
    const float dt = 10.0f;
    m_scene->update(&dt);
    EXPECT_FLOAT_EQ(object<qor_cBone>("tip")->getSkin()._41, 4.0f);
    EXPECT_FLOAT_EQ(object<qor_cBone>("tip")->getSkin()._42, 0.0f);
}

// ----- hostile files

TEST_F(SceneFile, HugeCountsInTheAnimationFileAreRefused)
{
    m_w->addDummy(obj("d"));
    m_w->save("test.s3d");
    struct Case
    {
        const char * what;
        qor_cS3dBytes payload;
        uint id;
    };
    // Chunk 2 claiming 2^32 - 1 objects.
    qor_cMotWriter a;
    a.addCommonInfos(0, 0, 1);
    a.addRawChunk(2, qor_cS3dBytes().u32(0xFFFFFFFFu));
    ASSERT_TRUE(a.save("test.s3d.MOT"));
    m_scene.reset(new qor_cScene);
    EXPECT_FALSE(m_scene->load("test.s3d"));
    // A position track claiming 2^32 - 1 keys.
    qor_sMotObject d = motObject("d");
    d.m_position = qor_sMotChannel::track(3, {key(0, 0), key(1, 1)});
    qor_cS3dBytes block;
    block.u32(1).u32(0).u32(12 + 128).u32(6).name("d", 128);
    block.u32(6).u32(12 + 6 + 16).u32(0).u16(3).u32(0xFFFFFFFFu).f32(0).f32(0).f32(0).f32(0).zeros(60);
    qor_cMotWriter b;
    b.addCommonInfos(0, 0, 1);
    b.addRawChunk(2, block);
    ASSERT_TRUE(b.save("test.s3d.MOT"));
    m_scene.reset(new qor_cScene);
    EXPECT_FALSE(m_scene->load("test.s3d"));
    EXPECT_TRUE(logHas("if (!extractAnimPositionTrack(*pObject))\n"));
}

TEST_F(SceneFile, TruncatedFilesAreRefusedAtEveryByte)
{
    // A small complete scene: every object kind the animation names, a mesh and its material.
    m_w->addMaterial(material("Mat"));
    addQuadPools();
    m_w->addMeshData(quadData("Mat"));
    m_w->addMesh(obj("quad"), {0});
    m_w->addTarget(obj("t"));
    m_w->addCameraTarget(obj("cam"), 1, 100, 45, 0, 0);
    qor_sMotObject c = motObject("cam");
    c.m_position = qor_sMotChannel::track(1, {key(0, 0, 0, 0), key(10, 1, 2, 3)});
    c.m_fov = qor_sMotChannel::track(3, {key(0, 1), key(10, 2)});
    c.m_visibility = qor_sMotChannel::track(3, {key(0, 1), key(10, 0)});
    m_mot.addCommonInfos(0, 0, 1);
    m_mot.addObjectsMotions({c});
    ASSERT_TRUE(load());
    const std::vector<unsigned char> s3d = qort::readBytes("test.s3d");
    const std::vector<unsigned char> mot = qort::readBytes("test.s3d.MOT");

    for (size_t n = 0; n < s3d.size(); ++n)
    {
        ASSERT_TRUE(qort::writeBytes("test.s3d", s3d.data(), n));
        qor_cScene scene;
        EXPECT_FALSE(scene.load("test.s3d")) << "scene cut at " << n;
    }
    ASSERT_TRUE(qort::writeBytes("test.s3d", s3d.data(), s3d.size()));
    // The animation file: chunk 1 is 24 bytes; any cut after it and before the end is refused
    // (a cut exactly at a chunk's end leaves a shorter, complete file).
    for (size_t n = 25; n < mot.size(); ++n)
    {
        ASSERT_TRUE(qort::writeBytes("test.s3d.MOT", mot.data(), n));
        qor_cScene scene;
        EXPECT_FALSE(scene.load("test.s3d")) << "animation cut at " << n;
    }
}

TEST_F(SceneFile, MeshDataRecordsShareOutThePoolsFaces)
{
    // Two records on one pool of four faces: faces 0-1 and 2-3 load; a third on faces 0-1
    // would build more faces than the file holds.
    m_w->addMaterial(material("Mat"));
    m_w->addVertices({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 0, 1}});
    m_w->addPolygons({face(0, 1, 2), face(0, 2, 3), face(0, 1, 2), face(0, 2, 3)});
    qor_sS3dWMeshData d;
    d.m_boundaries.push_back({0, 2, "Mat"});
    m_w->addMeshData(d);
    d.m_boundaries[0].m_nFirstFace = 2;
    m_w->addMeshData(d);
    ASSERT_TRUE(load());
    EXPECT_EQ(m_scene->triMeshes().getNbItem(), 2);
    d.m_boundaries[0].m_nFirstFace = 0;
    m_w->addMeshData(d);
    EXPECT_FALSE(load());
    EXPECT_TRUE(logHas("mesh data records build more faces than the polygon pools hold\n"));
}

TEST_F(SceneFile, ParticlesOfAllSystemsTogetherAreBounded)
{
    m_w->addMaterial(material("Spark"));
    qor_sS3dWParticleSystem s;
    s.m_nParticle = 65536;
    s.m_strMaterialName = "Spark";
    for (int i = 0; i < 4; ++i)
        m_w->addParticleSystem(obj("ps" + std::to_string(i)), s);
    ASSERT_TRUE(load());
    s.m_nParticle = 1;
    m_w->addParticleSystem(obj("one more"), s);
    EXPECT_FALSE(load());
    EXPECT_TRUE(logHas("obj<one more>: 1 particles, 262144 in the scene already, 262144 at most\n"));
}
