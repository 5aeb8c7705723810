// The scene graph built in code: per-object update and its end modes, hierarchy, bones, the
// scene's lists and frame, and the camera and light set-up on the GL display.
#include <gtest/gtest.h>

#include "qor_cBone.h"
#include "qor_cCamera.h"
#include "qor_cFog.h"
#include "qor_cMaterial.h"
#include "qor_cMesh.h"
#include "qor_cOmniLight.h"
#include "qor_cScene.h"
#include "qor_mathUtil.h"
#include "qor_imageTestEnv.h"
#include "qor_testUtil.h"

#include <cmath>
#include <string>

namespace
{
// A linear x track: x equals the sample time over 0 .. fLength.
void addIdentityXTrack(qor_cObject & o, float fLength)
{
    qor_cController * pCtrl = qor_cController::create(qor_cKey::e_key_linear);
    for (float t : {0.0f, fLength})
    {
        qor_cKey * k = new qor_cLinearKey(3);
        k->m_fTime = t;
        k->m_afValue[0] = t;
        pCtrl->addKey(k, true);
    }
    pCtrl->initKeyArray();
    o.setPositionController(pCtrl);
    o.setLength(fLength);
}

struct EndModeCase
{
    uint uMode;
    float fLength, fStart, fDt;
    float fLocal, fSample; // expected local time and the x the controller gives
};

class EndModes : public ::testing::TestWithParam<EndModeCase>
{
};
} // namespace

TEST_P(EndModes, AdvanceAndSample)
{
    const EndModeCase & c = GetParam();
    qor_cObject o;
    addIdentityXTrack(o, c.fLength);
    o.setRate(1.0f);
    o.setEndMode(c.uMode);
    o.setLocalTime(c.fStart);
    o.update(&c.fDt);
    EXPECT_NEAR(o.getLocalTime(), c.fLocal, 1e-5f);
    EXPECT_NEAR(o.m_vPosition.x, c.fSample, 1e-5f);
    EXPECT_NEAR(o.getWorld()._41, c.fSample, 1e-5f);
}

INSTANTIATE_TEST_SUITE_P(
    Object, EndModes,
    ::testing::Values(EndModeCase{0, 10, 9.5f, 1.0f, 10.0f, 10.0f},  // clamp stops at the length
                      EndModeCase{0, 10, 2.0f, 3.0f, 5.0f, 5.0f},    // clamp inside
                      EndModeCase{1, 10, 9.5f, 1.0f, 0.5f, 0.5f},    // loop fold: 9.5 + 1 -> 0.5
                      EndModeCase{1, 10, 9.5f, 21.0f, 0.5f, 0.5f},   // whole multiples
                      EndModeCase{1, 10, 5.0f, 5.0f, 0.0f, 0.0f},    // reaching the length wraps
                      EndModeCase{1, 0, 3.0f, 1.0f, 0.0f, 0.0f},     // no length: stays at 0
                      EndModeCase{2, 10, 0.5f, 1.0f, 9.5f, 9.5f},    // reverse: -0.5 -> 9.5
                      EndModeCase{2, 10, 0.5f, 21.0f, 9.5f, 9.5f},   // -20.5 + 3 lengths
                      EndModeCase{2, 10, 5.0f, 2.0f, 3.0f, 3.0f},    // reverse inside
                      EndModeCase{3, 10, 9.5f, 1.0f, 10.5f, 9.5f},   // free: sampled back down
                      EndModeCase{3, 10, 19.0f, 2.0f, 21.0f, 1.0f})); // free: second period

TEST(Object, NewObjectDefaults)
{
    qor_cObject o;
    EXPECT_EQ(o.getType(), 16u);
    EXPECT_EQ(o.getRate(), 0.0f);
    EXPECT_EQ(o.getEndMode(), 0u);
    // Visible unless the animation file says otherwise.
    EXPECT_EQ(o.getVisibility(), 1.0f);
    const float dt = 5.0f;
    o.update(&dt);
    EXPECT_EQ(o.getLocalTime(), 0.0f); // rate 0: never advances
    EXPECT_EQ(o.getVisibility(), 1.0f);
    EXPECT_EQ(o.getWorld(), qor_cMatrix());
}

TEST(Object, UpdatedOncePerFrameWhoeverAsksFirst)
{
    qor_cObject parent, child;
    addIdentityXTrack(parent, 100.0f);
    parent.setRate(2.0f);
    child.setParent(&parent);
    child.m_vPosition.set(0.0f, 1.0f, 0.0f);
    const float dt = 1.5f;
    // The child first: it updates its parent, then the parent's own update is a no-op.
    child.update(&dt);
    parent.update(&dt);
    EXPECT_FLOAT_EQ(parent.getLocalTime(), 3.0f);
    // The child's world has the parent's current translation (x = 3) under its own (y = 1).
    EXPECT_FLOAT_EQ(child.getWorld()._41, 3.0f);
    EXPECT_FLOAT_EQ(child.getWorld()._42, 1.0f);
    // Next frame.
    parent.clearUpdated();
    child.clearUpdated();
    parent.update(&dt);
    child.update(&dt);
    EXPECT_FLOAT_EQ(parent.getLocalTime(), 6.0f);
    EXPECT_FLOAT_EQ(child.getWorld()._41, 6.0f);
}

TEST(Object, WorldSphereFollowsTheWorldWithItsRadiusUnscaled)
{
    qor_cObject o;
    o.setLocalSphere(qor_cVector3(1, 0, 0), 2.0f);
    o.m_vScale.set(3, 3, 3);
    o.m_vPosition.set(0, 0, 5);
    const float dt = 0;
    o.update(&dt);
    EXPECT_FLOAT_EQ(o.getWorldSphere().m_vCenter.x, 3.0f);
    EXPECT_FLOAT_EQ(o.getWorldSphere().m_vCenter.z, 5.0f);
    EXPECT_FLOAT_EQ(o.getWorldSphere().m_fRadius, 2.0f);
    EXPECT_FLOAT_EQ(o.getWorldSphere().m_fRadiusSq, 4.0f);
}

TEST(Object, HierarchyLoopsAreRefused)
{
    qor_cObject a, b, c;
    ASSERT_TRUE(b.setParent(&a));
    ASSERT_TRUE(c.setParent(&b));
    EXPECT_FALSE(a.setParent(&c));
    EXPECT_FALSE(a.setParent(&a));
    EXPECT_EQ(a.getParent(), nullptr);
}

TEST(Object, LongChainsUpdateWithoutRecursion)
{
    // Listed child first, 100000 deep: every level advanced once, the leaf at the sum.
    const int n = 100000;
    std::vector<qor_cObject> objects(n);
    for (int i = 1; i < n; ++i)
    {
        objects[i].setParent(&objects[i - 1]);
        objects[i].m_vPosition.set(1, 0, 0);
    }
    const float dt = 1;
    objects[n - 1].update(&dt);
    EXPECT_FLOAT_EQ(objects[n - 1].getWorld()._41, float(n - 1));
}

TEST(Bone, SkinMatrixCarriesTheBindPoseToTheCurrentPose)
{
    qor_cBone bone;
    bone.m_vPosition.set(1, 2, 3);
    qor_cQuaternion q;
    q.setRotationAxis(qor_cVector3(0, 0, 1), 0.5f);
    bone.m_qRotation = q;
    const float dt = 0;
    bone.update(&dt);
    bone.setBindPose();
    // Bind pose: a point on the bone goes through the inverse bind, then the same world: unchanged.
    bone.clearUpdated();
    bone.update(&dt);
    qor_cVector3 p = bone.getSkin().transform(qor_cVector3(4, 5, 6));
    EXPECT_NEAR(p.x, 4, 1e-5);
    EXPECT_NEAR(p.y, 5, 1e-5);
    EXPECT_NEAR(p.z, 6, 1e-5);
    // Moved by (1, 0, 0) in the world: skinned points move with it.
    bone.m_vPosition.set(2, 2, 3);
    bone.clearUpdated();
    bone.update(&dt);
    p = bone.getSkin().transform(qor_cVector3(4, 5, 6));
    EXPECT_NEAR(p.x, 5, 1e-5);
    EXPECT_NEAR(p.y, 5, 1e-5);
    EXPECT_NEAR(p.z, 6, 1e-5);
}

TEST(Camera, Defaults)
{
    qor_cCamera cam;
    EXPECT_EQ(cam.getType(), 0u);
    EXPECT_FLOAT_EQ(cam.getRangeStart(), 1.0f);
    EXPECT_FLOAT_EQ(cam.getFar(), 65535.0f);
    EXPECT_FLOAT_EQ(cam.getFov(), 90.0f * 0.017453292f);
    EXPECT_FLOAT_EQ(cam.getRoll(), 0.0f);
}

TEST(Scene, AddSceneStopsAt32WithItsMessage)
{
    qort::LogCapture log;
    qor_cScene scene;
    std::vector<qor_cScene> others(33);
    for (int i = 0; i < 32; ++i)
        ASSERT_TRUE(scene.addScene(&others[i]));
    EXPECT_FALSE(scene.addScene(&others[32]));
    EXPECT_EQ(scene.getNbScene(), 32);
    EXPECT_NE(log.text().find("bool qor_cLayer::addScene(qor_cScene * pScene)\nImpossible de creer plus de layer "
                              "additionnel, slot max=32\n"),
              std::string::npos);
}

TEST(Scene, ModifyMaterialOfAMissingMaterial)
{
    qort::LogCapture log;
    qor_cScene scene;
    EXPECT_FALSE(scene.modifyMaterial("nope", "script"));
    EXPECT_NE(log.text().find("bool qor_cScene::modifyMaterial(cchar * szMaterialName<nope>, cchar * "
                              "szMaterialScript<script>)\nqor_cMaterial * pMat = getMaterialByName(szMaterialName);\n"
                              "Material impossible a trouver dans la scene\n"),
              std::string::npos);
}

TEST(Scene, LookUpsByNameAndTargetIndex)
{
    qor_cScene scene;
    auto * t0 = new qor_cObject;
    t0->setName("T");
    auto * t1 = new qor_cObject;
    t1->setName("T"); // same name: the first wins
    auto * m = new qor_cMaterial;
    m->setName("Mat");
    ASSERT_TRUE(scene.add(t0, true));
    ASSERT_TRUE(scene.add(t1, true));
    ASSERT_TRUE(scene.addObject(t0, false));
    ASSERT_TRUE(scene.addObject(t1, false));
    ASSERT_TRUE(scene.addMaterial(m, true));
    EXPECT_EQ(scene.getObject("T"), t0);
    EXPECT_EQ(scene.getObject("t"), nullptr);
    EXPECT_EQ(scene.getObject(1), t1);
    EXPECT_EQ(scene.getObject(2), nullptr);
    EXPECT_EQ(scene.getMaterial("Mat"), m);
    EXPECT_EQ(scene.getMaterialByName("mat"), nullptr);
}

TEST(Scene, UpdateClearsFlagsAndAdvancesEveryObjectOnce)
{
    qor_cScene scene;
    auto * child = new qor_cObject;
    auto * parent = new qor_cObject;
    addIdentityXTrack(*parent, 100.0f);
    parent->setRate(1.0f);
    child->setParent(parent);
    // The child is listed before its parent.
    scene.add(child, true);
    scene.addObject(child, false);
    scene.add(parent, true);
    scene.addObject(parent, false);
    const float dt = 2.0f;
    scene.update(&dt);
    scene.update(&dt);
    EXPECT_FLOAT_EQ(parent->getLocalTime(), 4.0f);
    EXPECT_FLOAT_EQ(child->getWorld()._41, 4.0f);
    // The scene track advanced too; rewind brings both back.
    EXPECT_FLOAT_EQ(scene.sceneTrack().m_fTime, 0.0f); // no keys: hold at length 0
    scene.rewind();
    EXPECT_EQ(parent->getLocalTime(), 0.0f);
    const float * vp = scene.viewport();
    EXPECT_EQ(vp[2], 1.0f);
    EXPECT_EQ(vp[5], 1.0f);
    const float * track = scene.sceneTrack().getOutput()->m_afValue;
    EXPECT_EQ(track[2], 1.0f);
    EXPECT_EQ(track[3], 1.0f);
}

namespace
{
class SceneRender : public qort::ImageTestEnv
{
};
} // namespace

TEST_F(SceneRender, FirstCameraLooksAtItsTargetWithRollAndA43Projection)
{
    qor_cScene scene;
    auto * target = new qor_cObject;
    auto * cam = new qor_cCamera;
    auto * other = new qor_cCamera;
    cam->m_vPosition.set(0, 0, -10);
    cam->setTarget(target);
    cam->setType(1);
    cam->setRoll(QOR_PI / 2);
    cam->setFar(1000.0f);
    cam->setRangeStart(7.0f);
    other->m_vPosition.set(50, 50, 50);
    scene.add(target, true);
    scene.addObject(target, false);
    scene.add(cam, true);
    scene.addObject(cam, false);
    scene.add(other, true); // never used
    scene.addObject(other, false);
    const float dt = 0;
    scene.update(&dt);
    scene.render();

    const qor_cMatrix & v = *disp()->getMatrix(qorrs_ts_view);
    // z = (0, 0, 1); up rolled 90 degrees = (-1, 0, 0); x = up x z = (0, 1, 0); y = z x x = (-1, 0, 0).
    EXPECT_NEAR(v._11, 0, 1e-6);
    EXPECT_NEAR(v._21, 1, 1e-6);
    EXPECT_NEAR(v._12, -1, 1e-6);
    EXPECT_NEAR(v._33, 1, 1e-6);
    EXPECT_NEAR(v._43, 10, 1e-5);
    const qor_cMatrix & p = *disp()->getMatrix(qorrs_ts_projection);
    EXPECT_NEAR(p._11, 0.75f, 1e-5); // fov 90: c = 1, times 480 / 640
    EXPECT_NEAR(p._22, 1.0f, 1e-5);
    EXPECT_NEAR(p._33, 1000.0f / 999.0f, 1e-5);
    EXPECT_NEAR(p._43, -1000.0f / 999.0f, 1e-5); // near 1, not the range start
}

TEST_F(SceneRender, FreeCameraLooksAlongItsRotatedMinusY)
{
    qor_cScene scene;
    auto * cam = new qor_cCamera;
    cam->m_vPosition.set(0, 0, 0);
    // 90 degrees about x: (0, -1, 0) turns to (0, 0, -1) in row-vector form.
    cam->m_qRotation.setRotationAxis(qor_cVector3(1, 0, 0), QOR_PI / 2);
    scene.add(cam, true);
    scene.addObject(cam, false);
    const float dt = 0;
    scene.update(&dt);
    scene.render();
    qor_cMatrix rot;
    rot.setRotation(cam->m_qRotation);
    const qor_cVector3 dir = rot.transform(qor_cVector3(0, -1, 0));
    const qor_cMatrix & v = *disp()->getMatrix(qorrs_ts_view);
    // The view's z column is the viewing direction.
    EXPECT_NEAR(v._13, dir.x, 1e-5);
    EXPECT_NEAR(v._23, dir.y, 1e-5);
    EXPECT_NEAR(v._33, dir.z, 1e-5);
}

TEST_F(SceneRender, LightsAreChosenByTheMeshCentreAndFogSetsTheClearColour)
{
    qor_cScene scene;
    auto * mesh = new qor_cMesh;
    mesh->setLocalSphere(qor_cVector3(0, 0, 0), 5.0f);
    auto * near = new qor_cOmniLight;
    near->m_vPosition.set(3, 0, 0);
    near->light().setRange(3.0f); // reaches the centre exactly
    auto * far = new qor_cOmniLight;
    far->m_vPosition.set(6, 0, 0);
    far->light().setRange(5.5f); // overlaps the mesh, misses its centre
    for (qor_cObject * o : std::initializer_list<qor_cObject *>{mesh, far, near})
    {
        scene.add(o, true);
        scene.addObject(o, false);
    }
    auto * fog = new qor_cFog;
    fog->setColor(0.5f, 0.25f, 1.0f, 1.0f);
    scene.setFog(fog);
    EXPECT_FLOAT_EQ(scene.getBackground().g, 0.25f);
    const float dt = 0;
    scene.update(&dt);
    scene.render();
    EXPECT_EQ(disp()->getLightSlot(0), &near->light());
    EXPECT_EQ(disp()->getLightSlot(1), nullptr);
    EXPECT_FLOAT_EQ(near->light().getPosition().x, 3.0f);
    EXPECT_EQ(disp()->getFogMode(), 1u);
    EXPECT_FLOAT_EQ(disp()->getFogColor()->b, 1.0f);
    EXPECT_FLOAT_EQ(disp()->getClearColor()->r, 0.5f);
    scene.setFog(nullptr);
    scene.render();
    EXPECT_EQ(disp()->getFogMode(), 0u);
    disp()->clearLights();
}
