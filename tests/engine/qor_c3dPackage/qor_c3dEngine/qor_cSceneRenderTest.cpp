// Scenes written with the writers, loaded, drawn on the GL display and read back. Expected
// rectangles come from the camera rules worked by hand: a target camera at (0, 0, -10) looking
// at the origin, field of view 90 degrees (c = 1), a 640 x 480 picture: a point (x, y, z) of the
// scene lands at pixel (320 + 320 * 0.75 x / (z + 10), 240 - 240 y / (z + 10)).
#include <gtest/gtest.h>

#include "qor_cCamera.h"
#include "qor_cLight.h"
#include "qor_cMesh.h"
#include "qor_cParticleSystem.h"
#include "qor_cS3dWriter.h"
#include "qor_cScene.h"
#include "qor_cTriList.h"
#include "qor_cTriMesh.h"
#include "qor_imageTestEnv.h"
#include "qor_mathUtil.h"
#include "qor_testUtil.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using qort::Rgba;

namespace
{
qor_sS3dWObject obj(const std::string & name, qor_cVector3 c = qor_cVector3(), float r = 2.0f)
{
    qor_sS3dWObject o;
    o.m_strName = name;
    o.m_vCenter = c;
    o.m_fRadius = r;
    return o;
}

qor_sMotKey key(float t, float a, float b = 0, float c = 0)
{
    qor_sMotKey k;
    k.m_fTime = t;
    k.m_afValue[0] = a;
    k.m_afValue[1] = b;
    k.m_afValue[2] = c;
    return k;
}

qor_sS3dFace face(uint a, uint b, uint c, uint base = 0)
{
    qor_sS3dFace f;
    const uint v[3] = {a + base, b + base, c + base};
    for (int i = 0; i < 3; ++i)
    {
        f.m_anPosition[i] = v[i];
        f.m_anColor[i] = 0;
        f.m_anNormal[i] = 0;
    }
    return f;
}

const Rgba RED = {255, 0, 0, 255};
const Rgba BLUE = {0, 0, 255, 255};

class SceneRender : public qort::ImageTestEnv
{
protected:
    void SetUp() override
    {
        qort::ImageTestEnv::SetUp();
        m_w.reset(new qor_cS3dWriter);
        m_mot.addCommonInfos(0, 0, 1);
    }

    // The camera: a target at the origin, the camera at (0, 0, -10) with fov 90 and roll.
    void addCamera(float fRoll = 0.0f)
    {
        m_w->addTarget(obj("tgt"));
        m_w->addCameraTarget(obj("cam"), 1, 1000, 90, fRoll, 0);
        m_objects.push_back(motion("cam", 0, 0, -10));
    }
    static qor_sMotObject motion(const std::string & name, float x, float y, float z)
    {
        qor_sMotObject o;
        o.m_strName = name;
        o.m_position = qor_sMotChannel::constant(x, y, z);
        return o;
    }
    // Quads facing the camera (normal (0, 0, -1)), vertex colour red, in one pool: quad i spans
    // rects[i] = (x0, y0, x1, y1) at z = 0, faces 2i and 2i + 1.
    void addQuadPools(const std::vector<std::vector<float>> & rects)
    {
        std::vector<qor_cVector3> pos;
        std::vector<qor_sS3dFace> faces;
        for (const auto & r : rects)
        {
            const uint b = uint(pos.size());
            pos.push_back({r[0], r[1], 0});
            pos.push_back({r[2], r[1], 0});
            pos.push_back({r[2], r[3], 0});
            pos.push_back({r[0], r[3], 0});
            faces.push_back(face(0, 1, 2, b));
            faces.push_back(face(0, 2, 3, b));
        }
        m_w->addVertices(pos, {{0, 0, -1}});
        m_w->addCVertices({{1, 0, 0, 1}});
        m_w->addPolygons(faces);
    }
    // A two-sided material drawn with the vertex colour: emissive from the vertex, no texture.
    void addMaterial(const std::string & name = "Red")
    {
        qor_sS3dWMaterial m;
        m.m_strName = name;
        m.m_nTwoSided = 1;
        m_w->addMaterial(m);
    }
    // One green particle of size 2 emitted at the origin on the first frame, living 100 units,
    // never moving, with an opaque material of its own.
    void addGreenSprite()
    {
        addCamera();
        addMaterial("Spark");
        qor_sS3dWParticleSystem s;
        s.m_nParticle = 1;
        s.m_nLifeBase = 100;
        s.m_startColor = {0, 255, 0, 255};
        s.m_endColor = {0, 255, 0, 255};
        s.m_fStartSize = 2;
        s.m_fEndSize = 2;
        s.m_strMaterialName = "Spark";
        m_w->addParticleSystem(obj("ps"), s);
    }
    // Mesh data of quad iQuad of the pools.
    void addQuadData(uint iQuad, const std::string & mat = "Red", const std::vector<qor_sS3dSkin> & skins = {})
    {
        qor_sS3dWMeshData d;
        d.m_bHasColor = true;
        d.m_boundaries.push_back({2 * iQuad, 2, mat});
        d.m_skins = skins;
        m_w->addMeshData(d);
    }
    bool load()
    {
        m_mot.addObjectsMotions(m_objects);
        if (!m_w->save("test.s3d") || !m_mot.save("test.s3d.MOT"))
            return false;
        m_scene.reset(new qor_cScene);
        return m_scene->load("test.s3d");
    }
    // Updates to time t (from a rewind) and draws one frame on a blue background.
    std::vector<Rgba> frameAt(float t)
    {
        m_scene->rewind();
        m_scene->clearUpdatedFlags();
        m_scene->update(&t);
        return frame();
    }
    std::vector<Rgba> frame()
    {
        disp()->setClearColor(0, 0, 1);
        disp()->beginScene();
        disp()->clear(3);
        m_scene->render();
        disp()->endScene();
        return readFrame();
    }

    std::unique_ptr<qor_cS3dWriter> m_w;
    qor_cMotWriter m_mot;
    std::vector<qor_sMotObject> m_objects;
    std::unique_ptr<qor_cScene> m_scene;
};
} // namespace

TEST_F(SceneRender, QuadCoversTheRectangleItsProjectionGives)
{
    addCamera();
    addMaterial();
    addQuadPools({{-1, -1, 1, 1}});
    addQuadData(0);
    m_w->addMesh(obj("quad"), {0});
    ASSERT_TRUE(load());
    const std::vector<Rgba> f = frameAt(0);
    // (+-1, +-1, 0): x 296 .. 344, y 216 .. 264.
    EXPECT_EQ(pixel(f, 320, 240), RED);
    EXPECT_EQ(pixel(f, 298, 218), RED);
    EXPECT_EQ(pixel(f, 342, 262), RED);
    EXPECT_EQ(pixel(f, 293, 240), BLUE);
    EXPECT_EQ(pixel(f, 347, 240), BLUE);
    EXPECT_EQ(pixel(f, 320, 213), BLUE);
    EXPECT_EQ(pixel(f, 320, 267), BLUE);
}

TEST_F(SceneRender, QuadFollowsItsParentsPositionTrack)
{
    addCamera();
    addMaterial();
    addQuadPools({{-1, -1, 1, 1}});
    addQuadData(0);
    m_w->addDummy(obj("carrier"));
    m_w->addMesh(obj("quad"), {0});
    m_w->addObjectHierarchy({{"quad", "carrier"}});
    qor_sMotObject carrier;
    carrier.m_strName = "carrier";
    carrier.m_position = qor_sMotChannel::track(3, {key(0, 0), key(10, 10)});
    m_objects.push_back(carrier);
    ASSERT_TRUE(load());
    // At t = 2 the quad spans x 1 .. 3: pixels 344 .. 392.
    const std::vector<Rgba> f = frameAt(2);
    EXPECT_EQ(pixel(f, 368, 240), RED);
    EXPECT_EQ(pixel(f, 320, 240), BLUE);
    EXPECT_EQ(pixel(f, 395, 240), BLUE);
}

TEST_F(SceneRender, CameraRollTurnsThePicture)
{
    addCamera(90.0f);
    addMaterial();
    addQuadPools({{-2, -1, 2, 1}});
    addQuadData(0);
    m_w->addMesh(obj("quad"), {0});
    ASSERT_TRUE(load());
    // Rolled a quarter turn: the wide quad stands upright, x 296 .. 344, y 192 .. 288.
    const std::vector<Rgba> f = frameAt(0);
    EXPECT_EQ(pixel(f, 320, 196), RED);
    EXPECT_EQ(pixel(f, 320, 284), RED);
    EXPECT_EQ(pixel(f, 360, 240), BLUE);
    EXPECT_EQ(pixel(f, 280, 240), BLUE);
}

TEST_F(SceneRender, OnlyTheFirstCameraIsUsed)
{
    addCamera();
    m_w->addCameraFree(obj("away"), 1, 1000, 90); // at the origin, looking down -y
    addMaterial();
    addQuadPools({{-1, -1, 1, 1}});
    addQuadData(0);
    m_w->addMesh(obj("quad"), {0});
    ASSERT_TRUE(load());
    EXPECT_EQ(pixel(frameAt(0), 320, 240), RED);
}

TEST_F(SceneRender, VisibilityZeroHidesAndMinusOneDraws)
{
    addCamera();
    addMaterial();
    addQuadPools({{-1, -1, 1, 1}});
    addQuadData(0);
    m_w->addMesh(obj("quad"), {0});
    qor_sMotObject q;
    q.m_strName = "quad";
    q.m_visibility = qor_sMotChannel::track(3, {key(0, 0), key(1, -1)});
    m_objects.push_back(q);
    ASSERT_TRUE(load());
    EXPECT_EQ(pixel(frameAt(0.5f), 320, 240), BLUE);
    EXPECT_EQ(pixel(frameAt(1.5f), 320, 240), RED);
}

TEST_F(SceneRender, LightIsChosenByTheMeshCentre)
{
    // A lit white material, no emissive; the mesh's sphere centre 5 behind the quad.
    addCamera();
    qor_sS3dWMaterial m;
    m.m_strName = "White";
    m.m_nTwoSided = 1;
    m.m_diffuse = {1, 1, 1, 1};
    m_w->addMaterial(m);
    std::vector<qor_cVector3> pos = {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}};
    m_w->addVertices(pos, {{0, 0, -1}});
    m_w->addPolygons({face(0, 1, 2), face(0, 2, 3)});
    qor_sS3dWMeshData d;
    d.m_boundaries.push_back({0, 2, "White"});
    m_w->addMeshData(d);
    m_w->addMesh(obj("quad", {0, 0, 5}, 7), {0});
    // 3 in front of the quad: range 4 reaches the quad but not the centre 8 away; range 9 both.
    m_w->addLightOmni(obj("lamp"), {1, 1, 1, 1}, 1, (1u << 1) | (1u << 3), 4);
    m_objects.push_back(motion("lamp", 0, 0, -3));
    m_w->addGlobalInfos({0, 0, 0, 0}, {0, 0, 0, 0});
    ASSERT_TRUE(load());
    disp()->setAmbientLight(0, 0, 0, 0);
    EXPECT_EQ(pixel(frameAt(0), 320, 240).rgb(), std::make_tuple(0, 0, 0));

    m_w.reset(new qor_cS3dWriter);
    m_mot = qor_cMotWriter();
    m_mot.addCommonInfos(0, 0, 1);
    m_objects.clear();
    addCamera();
    m_w->addMaterial(m);
    m_w->addVertices(pos, {{0, 0, -1}});
    m_w->addPolygons({face(0, 1, 2), face(0, 2, 3)});
    m_w->addMeshData(d);
    m_w->addMesh(obj("quad", {0, 0, 5}, 7), {0});
    m_w->addLightOmni(obj("lamp"), {1, 1, 1, 1}, 1, (1u << 1) | (1u << 3), 9);
    m_objects.push_back(motion("lamp", 0, 0, -3));
    m_w->addGlobalInfos({0, 0, 0, 0}, {0, 0, 0, 0});
    ASSERT_TRUE(load());
    // Lit per vertex: every corner (+-1, +-1, 0) sees the light at (0, 0, -3) under
    // N.L = 3 / sqrt(11), attenuation 1: grey 255 x 0.9045 = 230.7 over the whole quad.
    const Rgba c = pixel(frameAt(0), 320, 240);
    EXPECT_NEAR(c.r, 231, 1);
    EXPECT_EQ(c.r, c.g);
    EXPECT_EQ(c.r, c.b);
    disp()->clearLights();
}

TEST_F(SceneRender, SkinnedQuadStaysAtBindPoseAndFollowsItsBone)
{
    addCamera();
    m_w->addBone(obj("A"));
    m_w->addBone(obj("B"));
    addMaterial();
    addQuadPools({{-1, -1, 1, 1}});
    // Every corner half A, half B.
    std::vector<qor_sS3dSkin> skins(4);
    for (qor_sS3dSkin & s : skins)
    {
        s.m_nInfluence = 2;
        s.m_anBone[0] = 2; // tgt and cam come first in the objects
        s.m_anBone[1] = 3;
        s.m_afWeight[0] = 0.5f;
        s.m_afWeight[1] = 0.5f;
    }
    addQuadData(0, "Red", skins);
    m_w->addMesh(obj("quad"), {0});
    // Bone A moves 0 -> 4 in x over key times 0 -> 10; B stays.
    qor_sMotObject a;
    a.m_strName = "A";
    a.m_position = qor_sMotChannel::track(3, {key(0, 0), key(10, 4)});
    m_objects.push_back(a);
    ASSERT_TRUE(load());
    ASSERT_NE(m_scene->getObject("quad"), nullptr);
    std::vector<Rgba> f = frameAt(0);
    EXPECT_EQ(pixel(f, 320, 240), RED);
    EXPECT_EQ(pixel(f, 293, 240), BLUE);
    // t = 5: A at x 2, the corners half-way: x 0 .. 2, pixels 320 .. 368.
    f = frameAt(5);
    EXPECT_EQ(pixel(f, 344, 240), RED);
    EXPECT_EQ(pixel(f, 316, 240), BLUE);
    EXPECT_EQ(pixel(f, 365, 240), RED);
}

TEST_F(SceneRender, MorphAtWeightHalf)
{
    addCamera();
    addMaterial();
    addQuadPools({{-1, -1, 1, 1}, {1, -1, 3, 1}});
    addQuadData(0);
    addQuadData(1);
    m_w->addMesh(obj("base"), {0});
    m_w->addMesh(obj("target"), {1});
    qor_sS3dWMorphTarget t;
    t.m_strName = "target";
    t.m_keys = {{0, 50}};
    m_w->addMorph("base", {t});
    qor_sMotObject hidden;
    hidden.m_strName = "target";
    hidden.m_visibility = qor_sMotChannel::constant(0);
    m_objects.push_back(hidden);
    ASSERT_TRUE(load());
    // Half-way: x 0 .. 2, pixels 320 .. 368.
    const std::vector<Rgba> f = frameAt(0);
    EXPECT_EQ(pixel(f, 344, 240), RED);
    EXPECT_EQ(pixel(f, 310, 240), BLUE);
    EXPECT_EQ(pixel(f, 372, 240), BLUE);
}

TEST_F(SceneRender, FogColourIsTheClearColour)
{
    m_w->addFogInfos(true, {0.5f, 0.25f, 1.0f, 1});
    ASSERT_TRUE(load());
    disp()->setClearColor(0, 0, 0);
    // The clear colour the first render sets shows in the next frame.
    for (int i = 0; i < 2; ++i)
    {
        disp()->beginScene();
        disp()->clear(3);
        m_scene->render();
        disp()->endScene();
    }
    const Rgba c = pixel(readFrame(), 10, 10);
    EXPECT_EQ(c.rgb(), std::make_tuple(127, 63, 255));
}

TEST_F(SceneRender, ParticlesAreDrawnAsSprites)
{
    addGreenSprite();
    ASSERT_TRUE(load());
    // Emitted at the origin on the first frame, never moving: a green sprite over the centre.
    const std::vector<Rgba> f = frameAt(1);
    qor_cParticleSystem * p = static_cast<qor_cParticleSystem *>(m_scene->getObject("ps"));
    EXPECT_GT(p->getParticle(0)->fLife, 0.0f);
    EXPECT_EQ(pixel(f, 320, 240).rgb(), std::make_tuple(0, 255, 0));
    EXPECT_EQ(pixel(f, 200, 240), BLUE);
}

TEST_F(SceneRender, ParticlesWriteNoDepthWhateverTheirMaterialSays)
{
    // The sprite's material is opaque, and opaque passes write depth; a particle system draws
    // its passes without. So a red square drawn after the scene, farther than the sprite
    // (depth 0.99 against the sprite's 1000/999 * (1 - 1/10) = 0.90), covers the sprite as it
    // covers the background.
    addGreenSprite();
    ASSERT_TRUE(load());
    const float t = 1;
    m_scene->rewind();
    m_scene->clearUpdatedFlags();
    m_scene->update(&t);
    disp()->setClearColor(0, 0, 1);
    disp()->beginScene();
    disp()->clear(3);
    m_scene->render();
    std::unique_ptr<qor_cTriList> q(qor_cTriList::create());
    q->startAdd(2, 1);
    const float v[6][2] = {{310, 230}, {330, 230}, {330, 250}, {310, 230}, {330, 250}, {310, 250}};
    for (const auto & xy : v)
    {
        q->setPositionRHW(xy[0], xy[1], 0.99f, 1);
        q->setColor(255, 0, 0, 255);
        q->setUV(0, 0);
        q->next();
    }
    q->endAdd();
    disp()->enableLighting(false);
    disp()->setBlendMode(qorrs_blend_one, qorrs_blend_zero);
    disp()->setTexMode(0, qorrs_texarg_diffuse, qorrs_texop_selectarg1, qorrs_texarg_diffuse);
    disp()->setTexModeAlpha(0, qorrs_texarg_diffuse, qorrs_texop_selectarg1, qorrs_texarg_diffuse);
    disp()->setTexMode(1, (qor_eTexArg)0, (qor_eTexOp)0, (qor_eTexArg)0);
    q->draw();
    disp()->endScene();
    const std::vector<Rgba> f = readFrame();
    // The sprite spans x and y -1 .. 1: pixels 296 .. 344 and 216 .. 264.
    EXPECT_EQ(pixel(f, 320, 240), RED);                              // the square over the sprite
    EXPECT_EQ(pixel(f, 300, 240).rgb(), std::make_tuple(0, 255, 0)); // the sprite around it
}

// ----- particle start-up and simulation

namespace
{
qor_cParticleSystem::sParams params(bool bStream, bool bOneShot, float fLife, float fRange)
{
    qor_cParticleSystem::sParams p = {};
    p.bStream = bStream;
    p.bOneShot = bOneShot;
    p.fLifeBase = fLife;
    p.fLifeRange = fRange;
    p.vVelocity.set(1, 0, 0);
    p.startColor.set(1, 1, 1, 1);
    p.endColor.set(0, 0, 0, 0);
    p.fStartSize = 4;
    p.fEndSize = 0;
    return p;
}
} // namespace

TEST(ParticleSystem, WithoutStreamOrOneShotAllAreEmittedOnTheFirstFrame)
{
    qor_cParticleSystem ps;
    ASSERT_TRUE(ps.createParticle(8));
    ps.setParams(params(false, false, 30, 0));
    const float dt = 1;
    ps.update(&dt);
    for (uint i = 0; i < 8; ++i)
    {
        // Life 0 at the start: run by dt, fallen below 0, emitted with exactly the life base.
        EXPECT_EQ(ps.getParticle(i)->fLife, 30.0f);
        EXPECT_FLOAT_EQ(ps.getParticle(i)->colorStep.r, -1.0f / 30.0f);
        EXPECT_FLOAT_EQ(ps.getParticle(i)->fSizeStep, -4.0f / 30.0f);
    }
}

TEST(ParticleSystem, OneShotWaitsOneUnitIsEmittedOnceAndStaysDead)
{
    qor_cParticleSystem ps;
    ASSERT_TRUE(ps.createParticle(4));
    ps.setParams(params(false, true, 2, 0));
    const float half = 0.5f;
    ps.update(&half);
    EXPECT_EQ(ps.getParticle(0)->fLife, -0.5f); // all waiting one frame unit
    ps.update(&half);
    EXPECT_EQ(ps.getParticle(0)->fLife, 2.0f); // emitted together
    const float step = 1.5f;
    ps.update(&step);
    ps.update(&step); // life 2 - 3 < 0: dead
    for (uint i = 0; i < 4; ++i)
        EXPECT_EQ(ps.getParticle(i)->fLife, 0.0f);
    const float x = ps.getParticle(0)->vPosition.x;
    ps.update(&step);
    EXPECT_EQ(ps.getParticle(0)->fLife, 0.0f); // never emitted again
    EXPECT_FLOAT_EQ(ps.getParticle(0)->vPosition.x, x + 1.5f); // and keeps moving
}

TEST(ParticleSystem, StreamSpreadsThePoolOverOneLifetime)
{
    qor_cParticleSystem ps;
    ASSERT_TRUE(ps.createParticle(64));
    ps.setParams(params(true, false, 10, 5));
    EXPECT_FALSE(ps.isStarted());
    const float dt = 0;
    ps.update(&dt);
    EXPECT_TRUE(ps.isStarted());
    float fMax = -1e9f, fMin = 1e9f;
    for (uint i = 0; i < 64; ++i)
    {
        fMax = std::max(fMax, ps.getParticle(i)->fLife);
        fMin = std::min(fMin, ps.getParticle(i)->fLife);
    }
    EXPECT_EQ(fMax, 0.0f);   // the first goes at once
    EXPECT_GE(fMin, -15.0f); // the others within one maximum lifetime
    EXPECT_LT(fMin, 0.0f);
}

namespace
{
// A streaming fountain with random life, position, velocity and sizes, named szName, updated
// nSteps times by 0.5 units; then every particle's life and, for the living, what is drawn.
std::vector<float> fountain(qor_cParticleSystem & ps, const char * szName, int nSteps,
                            qor_cParticleSystem * pOther = nullptr)
{
    if (ps.getNbParticle() == 0)
    {
        ps.setName(szName);
        ps.createParticle(32);
        qor_cParticleSystem::sParams p = params(true, false, 6, 4);
        p.vBox.set(1, 2, 3);
        p.vVelocityRange.set(0.5f, 0.25f, 1);
        p.fStartSizeRange = 2;
        p.fEndSizeRange = 1;
        ps.setParams(p);
    }
    const float dt = 0.5f;
    for (int k = 0; k < nSteps; ++k)
    {
        ps.clearUpdated();
        ps.update(&dt);
        if (pOther) // another system drawing in between, and the C library's generator too
        {
            pOther->clearUpdated();
            pOther->update(&dt);
            std::rand();
            qoru_randRange(0, 1);
        }
    }
    std::vector<float> v;
    for (uint i = 0; i < ps.getNbParticle(); ++i)
    {
        const qor_cParticleSystem::cParticle & q = *ps.getParticle(i);
        v.push_back(q.fLife);
        if (q.fLife > 0)
            v.insert(v.end(), {q.vPosition.x, q.vPosition.y, q.vPosition.z, q.fSize, q.color.a});
    }
    return v;
}
} // namespace

TEST(ParticleSystem, DrawsDependOnTheSystemsIdentityAloneAndStartAgainOnRewind)
{
    qor_cParticleSystem alone;
    const std::vector<float> ref = fountain(alone, "fountain", 40);
    ASSERT_GT(ref.size(), 32u); // some particles alive

    // Another system and the C library's generator drawing in between change nothing.
    qor_cParticleSystem a, other;
    fountain(other, "other", 0);
    EXPECT_EQ(fountain(a, "fountain", 40, &other), ref);
    // Run for a while, rewound: the same particles again.
    qor_cParticleSystem b;
    fountain(b, "fountain", 17);
    b.rewind();
    EXPECT_EQ(fountain(b, "fountain", 40), ref);
    // Another name, or another place in its scene, is another sequence.
    qor_cParticleSystem c, d;
    EXPECT_NE(fountain(c, "fountain2", 40), ref);
    d.setIndex(1);
    EXPECT_NE(fountain(d, "fountain", 40), ref);
}

TEST(ParticleSystem, InvisibleSystemDoesNotStartUntilVisible)
{
    qor_cParticleSystem ps;
    ASSERT_TRUE(ps.createParticle(4));
    ps.setParams(params(true, false, 10, 0));
    ps.setVisibility(0);
    const float dt = 1;
    ps.update(&dt);
    ps.clearUpdated();
    ps.update(&dt);
    EXPECT_FALSE(ps.isStarted());
    ps.setVisibility(1);
    ps.clearUpdated();
    ps.update(&dt);
    EXPECT_TRUE(ps.isStarted());
}

TEST_F(SceneRender, SkinnedNormalsTurnWithTheirBones)
{
    addCamera();
    m_w->addBone(obj("A"));
    addMaterial();
    addQuadPools({{-1, -1, 1, 1}});
    std::vector<qor_sS3dSkin> skins(4);
    for (qor_sS3dSkin & s : skins)
    {
        s.m_nInfluence = 1;
        s.m_anBone[0] = 2;
        s.m_afWeight[0] = 1.0f;
    }
    addQuadData(0, "Red", skins);
    m_w->addMesh(obj("quad"), {0});
    // A turns a quarter about y: quaternion (0, sin 45, 0, cos 45) at key time 10.
    qor_sMotObject a;
    a.m_strName = "A";
    qor_sMotKey k0 = key(0, 0, 0, 0), k1 = key(10, 0, 0.70710678f, 0);
    k0.m_afValue[3] = 1;
    k1.m_afValue[3] = 0.70710678f;
    a.m_rotation = qor_sMotChannel::track(3, {k0, k1});
    m_objects.push_back(a);
    ASSERT_TRUE(load());
    frameAt(10);
    const qor_sTriMeshNode * n = static_cast<qor_cMesh *>(m_scene->getObject("quad"))->getTriMesh()->getNode(0);
    const qor_sVertex2 * v = static_cast<const qor_sVertex2 *>(n->pList->getVertexArray());
    // (0, 0, -1) turned a quarter about y (row vectors): (-1, 0, 0); positions turn alike:
    // corner (1, -1, 0) goes to (0, -1, -1).
    EXPECT_NEAR(v[1].nx, -1.0f, 1e-5);
    EXPECT_NEAR(v[1].nz, 0.0f, 1e-5);
    EXPECT_NEAR(v[1].x, 0.0f, 1e-5);
    EXPECT_NEAR(v[1].z, -1.0f, 1e-5);
    // The bind copies keep their normals.
    EXPECT_NEAR(n->pSkinVertex[1].nz, -1.0f, 1e-6);
}

TEST_F(SceneRender, TenLightsInRangeKeepTheEightNearestTheMeshCentre)
{
    // A lit white quad (+-1, +-1, 0) facing the camera, its sphere centred at the origin. Ten
    // lights on the axis in front of it, all in range (100): eight faint red ones at distances
    // 1 .. 8 and two blue ones at 20 and 21, listed first and fifth, so that keeping the first
    // eight of the list would light the quad blue.
    addCamera();
    qor_sS3dWMaterial m;
    m.m_strName = "White";
    m.m_nTwoSided = 1;
    m.m_diffuse = {1, 1, 1, 1};
    m_w->addMaterial(m);
    m_w->addVertices({{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}}, {{0, 0, -1}});
    m_w->addPolygons({face(0, 1, 2), face(0, 2, 3)});
    qor_sS3dWMeshData d;
    d.m_boundaries.push_back({0, 2, "White"});
    m_w->addMeshData(d);
    m_w->addMesh(obj("quad", {0, 0, 0}, 2), {0});
    const float afDist[10] = {20, 1, 2, 3, 21, 4, 5, 6, 7, 8};
    for (int i = 0; i < 10; ++i)
    {
        const std::string name = "lamp" + std::to_string(i);
        const bool bBlue = afDist[i] > 10;
        m_w->addLightOmni(obj(name), bBlue ? qor_cColor(0, 0, 1, 1) : qor_cColor(0.1f, 0, 0, 1), 1,
                          (1u << 1) | (1u << 3), 100);
        m_objects.push_back(motion(name, 0, 0, -afDist[i]));
    }
    m_w->addGlobalInfos({0, 0, 0, 0}, {0, 0, 0, 0});
    ASSERT_TRUE(load());
    disp()->setAmbientLight(0, 0, 0, 0);
    qort::LogCapture log;
    const Rgba c = pixel(frameAt(0), 320, 240);
    frame();

    // The device holds exactly the eight red lights.
    int nOn = 0;
    for (uint i = 0; i < 255; ++i)
        if (qor_cLight * p = disp()->getLightSlot(i))
        {
            ++nOn;
            EXPECT_NEAR(p->m_diffuse.r, 0.1f, 1e-6f) << "slot " << i;
            EXPECT_EQ(p->m_diffuse.b, 0.0f) << "slot " << i;
        }
    EXPECT_EQ(nOn, 8);
    // Every corner sees a light at distance d on the axis under N.L = d / sqrt(d^2 + 2):
    // 0.5774 + 0.8165 + 0.9045 + 0.9428 + 0.9623 + 0.9733 + 0.9802 + 0.9847 = 7.1417, times
    // 0.1 x 255: red 182; no blue light reaches the picture.
    EXPECT_NEAR(c.r, 182, 2);
    EXPECT_EQ(c.g, 0);
    EXPECT_EQ(c.b, 0);
    // Logged once for the scene, not once per frame.
    const std::string text = log.text();
    const std::string line = "10 lumieres atteignent le mesh, seules les 8 plus proches sont allumees\n";
    const size_t at = text.find(line);
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_EQ(text.find("lumieres atteignent", at + line.size()), std::string::npos) << text;
    disp()->clearLights();
}
