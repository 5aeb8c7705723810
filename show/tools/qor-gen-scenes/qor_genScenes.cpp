// qor-gen-scenes: the show's procedural 3D scenes, written with the engine's scene and animation
// writers.
//
//   qor-gen-scenes OUT_DIR                  writes OUT_DIR/tentacle.s3d, blob.s3d, machine.s3d
//                                           and their .MOT animation files
//
// Every animation runs at rate 1: key times are frame units of 1/30 s.
#include "qor_cMatrix.h"
#include "qor_cS3dWriter.h"
#include "qor_genCommon.h"
#include "tz_cChunkTable.h"

#include <algorithm>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace
{
const float kPi = 3.14159265f;

qor_sS3dWObject obj(const std::string & name, qor_cVector3 c = qor_cVector3(), float r = 50.0f)
{
    qor_sS3dWObject o;
    o.m_strName = name;
    o.m_vCenter = c;
    o.m_fRadius = r;
    return o;
}

// Geometry of one triangle mesh: vertex pools and faces whose corners index all pools alike.
// A face (a, b, c) is seen from the side where its corners run counter-clockwise on the screen
// (the passes cull clockwise faces, cull mode 1): (b - a) x (c - a) points away from the eye, so
// on a closed mesh every face has it pointing inwards. Colours, when given, are the vertices'.
struct sMesh
{
    std::vector<qor_cVector3> pos, nrm;
    std::vector<qor_cVector2> uv;
    std::vector<qor_cColor> col;
    std::vector<qor_sS3dFace> faces;
    std::vector<qor_sS3dSkin> skins;

    uint vertex(const qor_cVector3 & p, const qor_cVector3 & n, const qor_cVector2 & t)
    {
        pos.push_back(p);
        nrm.push_back(n);
        uv.push_back(t);
        return uint(pos.size() - 1);
    }
    void tri(uint a, uint b, uint c)
    {
        qor_sS3dFace f;
        const uint v[3] = {a, b, c};
        for (int k = 0; k < 3; ++k)
            f.m_anPosition[k] = f.m_anUV[k] = f.m_anNormal[k] = f.m_anColor[k] = v[k];
        faces.push_back(f);
    }
    void quad(uint a, uint b, uint c, uint d)
    {
        tri(a, b, c);
        tri(a, c, d);
    }
};

qor_cVector3 normalised(qor_cVector3 v)
{
    const float l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return l > 0 ? qor_cVector3(v.x / l, v.y / l, v.z / l) : qor_cVector3(0, 1, 0);
}

// A grid in the plane y = 0, centred, nx x nz cells of size s, texture repeated `tile` times.
sMesh floorGrid(int n, float s, float tile)
{
    sMesh m;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i)
            m.vertex({(i - n / 2.0f) * s, 0, (j - n / 2.0f) * s}, {0, 1, 0}, {tile * i / n, tile * j / n});
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
        {
            const uint a = uint(j * (n + 1) + i);
            m.quad(a, a + 1, a + uint(n + 2), a + uint(n + 1));
        }
    return m;
}

// A lat-long sphere of radius r whose radius is scaled by bump(theta, phi).
template <class F> sMesh sphere(int nLat, int nLong, float r, F bump)
{
    sMesh m;
    for (int j = 0; j <= nLat; ++j)
        for (int i = 0; i <= nLong; ++i)
        {
            const float th = kPi * j / nLat, ph = 2 * kPi * i / nLong;
            const qor_cVector3 d(std::sin(th) * std::cos(ph), std::cos(th), std::sin(th) * std::sin(ph));
            const float k = r * bump(th, ph);
            m.vertex({d.x * k, d.y * k, d.z * k}, d, {2.0f * i / nLong, 1.0f * j / nLat});
        }
    for (int j = 0; j < nLat; ++j)
        for (int i = 0; i < nLong; ++i)
        {
            const uint a = uint(j * (nLong + 1) + i);
            m.quad(a, a + uint(nLong + 1), a + uint(nLong + 2), a + 1);
        }
    return m;
}

// A box of half sizes (hx, hy, hz) centred on c.
sMesh box(qor_cVector3 c, float hx, float hy, float hz)
{
    sMesh m;
    const qor_cVector3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    const float h[3] = {hx, hy, hz};
    for (int a = 0; a < 3; ++a)
        for (int sgn = -1; sgn <= 1; sgn += 2)
        {
            const qor_cVector3 n(axes[a].x * sgn, axes[a].y * sgn, axes[a].z * sgn);
            const int u = (a + 1) % 3, v = (a + 2) % 3;
            uint idx[4];
            const float cu[4] = {-1, 1, 1, -1}, cv[4] = {-1, -1, 1, 1};
            for (int k = 0; k < 4; ++k)
            {
                float p[3] = {0, 0, 0};
                p[a] = sgn * h[a];
                p[u] = cu[k] * h[u];
                p[v] = cv[k] * h[v] * float(sgn);
                idx[k] = m.vertex({c.x + p[0], c.y + p[1], c.z + p[2]}, n, {(cu[k] + 1) / 2, (cv[k] + 1) / 2});
            }
            m.quad(idx[0], idx[3], idx[2], idx[1]);
        }
    return m;
}

bool addMeshData(qor_cS3dWriter & w, const sMesh & m, const std::string & material)
{
    qor_sS3dWMeshData d;
    d.m_bHasUV = true;
    d.m_bHasColor = !m.col.empty();
    d.m_boundaries.push_back({0, uint(m.faces.size()), material});
    d.m_skins = m.skins;
    return w.addVertices(m.pos, m.nrm) && w.addTVertices(m.uv) && (m.col.empty() || w.addCVertices(m.col)) &&
           w.addPolygons(m.faces) && w.addMeshData(d);
}

// Single-sided: closed meshes show only their outside; open ones (the floors, the tentacle's
// tube) ask for both sides.
qor_sS3dWMaterial material(const std::string & name, const std::string & diffuse, qor_cColor colour,
                           bool bTwoSided = false)
{
    qor_sS3dWMaterial m;
    m.m_strName = name;
    m.m_strDiffuse = diffuse;
    m.m_diffuse = colour;
    m.m_ambient = {colour.r * 0.7f, colour.g * 0.7f, colour.b * 0.7f, 1};
    m.m_nTwoSided = bTwoSided ? 1 : 0;
    m.m_specular = {1, 1, 1, 1};
    m.m_fSpecularLevel = 0.6f;
    m.m_fPower = 20;
    return m;
}

bool addTexture(qor_cS3dWriter & w, const std::string & name, uint kind = 0, const std::string & alpha = "",
                uint nFrame = 0)
{
    qor_sS3dWTexture t;
    t.m_nKind = kind;
    t.m_strName = name;
    t.m_strAlphaName = alpha;
    t.m_nFrame = nFrame;
    t.m_playbackRate = nFrame ? 0.25f : 0.0f;
    t.m_endMode = 0;
    return w.addTexture(t);
}

const uint kLightFlags = (1u << 1) | (1u << 3) | (1u << 4);

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

// A rotation key about the axis (x, y, z) by angle a.
qor_sMotKey rotKey(float t, qor_cVector3 axis, float a)
{
    const float s = std::sin(a / 2);
    return key(t, axis.x * s, axis.y * s, axis.z * s, std::cos(a / 2));
}

// The rotation of a free camera looking along d: the camera looks along (0, -1, 0) turned by
// its rotation, so the key turns (0, -1, 0) onto d about their common perpendicular. The sense
// of the turn is checked with the engine's own matrix of the quaternion.
qor_sMotKey lookKey(float t, qor_cVector3 d)
{
    d = normalised(d);
    const qor_cVector3 down(0, -1, 0);
    qor_cVector3 axis(down.y * d.z - down.z * d.y, down.z * d.x - down.x * d.z, down.x * d.y - down.y * d.x);
    const float fSin = std::sqrt(axis.x * axis.x + axis.y * axis.y + axis.z * axis.z);
    axis = fSin > 1e-6f ? normalised(axis) : qor_cVector3(1, 0, 0);
    const float a = std::atan2(fSin, -d.y);
    for (float sgn : {1.0f, -1.0f})
    {
        const qor_sMotKey k = rotKey(t, axis, sgn * a);
        qor_cMatrix m;
        m.setRotation(qor_cQuaternion(k.m_afValue[0], k.m_afValue[1], k.m_afValue[2], k.m_afValue[3]));
        const qor_cVector3 r = m.transform(down);
        if (r.x * d.x + r.y * d.y + r.z * d.z > 0.999f)
            return k;
    }
    return rotKey(t, axis, a);
}

qor_sMotObject motion(const std::string & name)
{
    qor_sMotObject o;
    o.m_strName = name;
    return o;
}

// A camera circling the centre (cx, cy, cz) at radius r, height h, `turns` turns over the
// length, its roll swinging by `roll` radians; keys every 10 frame units (linear).
void orbit(std::vector<qor_sMotObject> & motions, const std::string & cam, qor_cVector3 c, float r, float h,
           float turns, float length, float roll, float phase = 0)
{
    qor_sMotObject o = motion(cam);
    std::vector<qor_sMotKey> pos, rolls;
    for (float t = 0; t <= length + 10; t += 10)
    {
        const float a = phase + 2 * kPi * turns * t / length;
        const float rr = r * (0.8f + 0.2f * std::cos(2 * kPi * t / length));
        pos.push_back(key(t, c.x + rr * std::cos(a), c.y + h + 0.3f * h * std::sin(3 * a), c.z + rr * std::sin(a)));
        rolls.push_back(key(t, roll * std::sin(2 * kPi * 2 * t / length)));
    }
    o.m_position = qor_sMotChannel::track(3, pos);
    o.m_roll = qor_sMotChannel::track(3, rolls);
    motions.push_back(o);
}

bool save(const qor_cS3dWriter & w, const qor_cMotWriter & mot, const std::string & path)
{
    std::string err;
    const std::vector<char> image = w.image();
    const std::string motPath = path + ".MOT";
    if (!qorg::writeFileSafe(path, image.data(), image.size(), err) || !qorg::checkOutputPath(motPath, err))
    {
        std::fprintf(stderr, "qor-gen-scenes: %s\n", err.c_str());
        return false;
    }
    if (!mot.save(motPath.c_str()))
    {
        std::fprintf(stderr, "qor-gen-scenes: %s: cannot write\n", motPath.c_str());
        return false;
    }
    return true;
}

// Chapter five: a tentacle of 12 bones rising from a bumpy rock floor in the fog, two lights
// circling it, the camera circling with a rolling horizon.
bool writeTentacle(const std::string & dir)
{
    const int kBones = 12, kRings = 48, kSides = 20;
    const float kHeight = 150, kLength = 1570;
    qor_cS3dWriter w;
    addTexture(w, "marble");
    addTexture(w, "sky_pz");
    addTexture(w, "rock");
    addTexture(w, "rock_height", 1);
    qor_sS3dWMaterial skin = material("Skin", "marble", {1, 1, 1, 1}, true); // the tube is open
    skin.m_strSecond = "sky_pz";
    w.addMaterial(skin);
    qor_sS3dWMaterial ground = material("Ground", "rock", {1, 1, 1, 1}, true);
    ground.m_strBump = "rock_height";
    ground.m_fAmount = 0.3f;
    w.addMaterial(ground);
    // All-objects order: target 0, camera 1, bones 2 .. 13, then the meshes and lights.
    w.addTarget(obj("look"));
    w.addCameraTarget(obj("cam"), 1, 4000, 55, 0, 0);
    for (int b = 0; b < kBones; ++b)
        w.addBone(obj("bone" + std::to_string(b)));

    // The tube along y, tapering; each ring on the two bones around its height.
    sMesh tube;
    const float seg = kHeight / kBones;
    for (int j = 0; j <= kRings; ++j)
    {
        const float y = kHeight * j / kRings;
        const float r = 14.0f * (1.0f - 0.85f * j / kRings) + 1.0f;
        for (int i = 0; i <= kSides; ++i)
        {
            const float a = 2 * kPi * i / kSides;
            tube.vertex({r * std::cos(a), y, r * std::sin(a)}, {std::cos(a), 0.1f, std::sin(a)},
                        {2.0f * i / kSides, 6.0f * j / kRings});
            qor_sS3dSkin s;
            const float f = y / seg - 0.5f;
            int b0 = int(std::floor(f));
            float wgt = f - float(b0);
            if (b0 < 0)
            {
                b0 = 0;
                wgt = 0;
            }
            const int b1 = b0 + 1 < kBones ? b0 + 1 : b0;
            s.m_nInfluence = 2;
            s.m_anBone[0] = uint(2 + b0);
            s.m_anBone[1] = uint(2 + b1);
            s.m_afWeight[0] = 1 - wgt;
            s.m_afWeight[1] = wgt;
            tube.skins.push_back(s);
        }
    }
    for (int j = 0; j < kRings; ++j)
        for (int i = 0; i < kSides; ++i)
        {
            const uint a = uint(j * (kSides + 1) + i);
            tube.quad(a, a + 1, a + uint(kSides + 2), a + uint(kSides + 1));
        }
    addMeshData(w, tube, "Skin");                      // triangle mesh 0
    addMeshData(w, floorGrid(16, 40, 8), "Ground");    // 1
    w.addMesh(obj("tentacle", {0, 75, 0}, 160), {0});
    w.addMesh(obj("floor", {0, 0, 0}, 460), {1});
    w.addLightOmni(obj("sun"), {1.0f, 0.85f, 0.7f, 1}, 1.2f, kLightFlags, 900);
    w.addLightOmni(obj("moon"), {0.4f, 0.6f, 1.0f, 1}, 1.0f, kLightFlags, 900);
    std::vector<std::pair<std::string, std::string>> chain;
    for (int b = 1; b < kBones; ++b)
        chain.push_back({"bone" + std::to_string(b), "bone" + std::to_string(b - 1)});
    w.addObjectHierarchy(chain);
    w.addGlobalInfos({0.5f, 0.5f, 0.55f, 1}, {0.05f, 0.07f, 0.12f, 1});
    w.addFogInfos(true, {0.06f, 0.09f, 0.16f, 1});
    // The marble flows up the tentacle: its texture offset runs six tiles over the chapter.
    w.addAnimUV("Skin", "marble", {{0, {0, 0}}, {kLength, {0, -6}}}, {{0, {0, 0}}}, {{0, {1, 1}}});

    qor_cMotWriter mot;
    mot.addCommonInfos(0, uint(kLength), 1);
    std::vector<qor_sMotObject> motions;
    orbit(motions, "cam", {0, 0, 0}, 260, 90, 1.5f, kLength, 0.35f);
    qor_sMotObject look = motion("look");
    look.m_position = qor_sMotChannel::constant(0, 80, 0);
    motions.push_back(look);
    for (int b = 0; b < kBones; ++b)
    {
        // Each bone bends about z and x in waves running up the tentacle; straight at time 0
        // (the bind pose), the swing growing over the first two seconds.
        qor_sMotObject o = motion("bone" + std::to_string(b));
        o.m_position = qor_sMotChannel::constant(0, b == 0 ? 0.0f : seg, 0);
        std::vector<qor_sMotKey> keys;
        for (float t = 0; t <= kLength + 10; t += 5)
        {
            const float grow = std::min(1.0f, t / 60.0f);
            const float az = grow * 0.22f * std::sin(2 * kPi * t / 75.0f - 0.55f * b);
            const float ax = grow * 0.16f * std::sin(2 * kPi * t / 110.0f - 0.4f * b + 1.0f);
            // The two turns as one quaternion (small angles: about z, then about x).
            const float sz = std::sin(az / 2), cz = std::cos(az / 2), sx = std::sin(ax / 2), cx = std::cos(ax / 2);
            keys.push_back(key(t, cz * sx, sz * sx, sz * cx, cz * cx));
        }
        o.m_rotation = qor_sMotChannel::track(3, keys);
        motions.push_back(o);
    }
    orbit(motions, "sun", {0, 0, 0}, 200, 160, -2, kLength, 0);
    orbit(motions, "moon", {0, 0, 0}, 220, 60, 3, kLength, 0, kPi);
    mot.addObjectsMotions(motions);
    return save(w, mot, dir + "/tentacle.s3d");
}

// Chapter six: a blob of animated plasma morphing into a spiky shape and back, a fountain of
// sparks behind it, a tiled floor with relief, in a blue fog.
bool writeBlob(const std::string & dir)
{
    const float kLength = 980;
    qor_cS3dWriter w;
    addTexture(w, "plasma", 0, "", 8);
    addTexture(w, "tiles");
    addTexture(w, "tiles_height", 1);
    addTexture(w, "glow", 0, "glow_alpha");
    w.addMaterial(material("Blob", "plasma", {1, 1, 1, 1}));
    qor_sS3dWMaterial ground = material("Tiles", "tiles", {1, 1, 1, 1}, true);
    ground.m_strBump = "tiles_height";
    ground.m_fAmount = 0.3f;
    w.addMaterial(ground);
    // Soft round sparks: the glow's alpha blends them (its colour image is orange to the edges).
    qor_sS3dWMaterial spark = material("Spark", "glow", {1, 1, 1, 1});
    spark.m_nOpacityMap = 1;
    w.addMaterial(spark);
    w.addTarget(obj("look"));
    w.addCameraTarget(obj("cam"), 1, 4000, 60, 0, 0);
    addMeshData(w, sphere(24, 36, 40, [](float, float) { return 1.0f; }), "Blob"); // 0
    addMeshData(w, sphere(24, 36, 40, [](float th, float ph) {
                    return 1.0f + 0.45f * std::pow(std::fabs(std::sin(3 * th) * std::sin(4 * ph)), 3.0f);
                }),
                "Blob");                                   // 1: the morph target
    addMeshData(w, floorGrid(12, 50, 6), "Tiles");         // 2
    w.addMesh(obj("blob", {0, 0, 0}, 60), {0});
    w.addMesh(obj("spiky", {0, 0, 0}, 60), {1});
    w.addMesh(obj("floor", {0, 0, 0}, 430), {2});
    w.addLightOmni(obj("warm"), {1.0f, 0.7f, 0.5f, 1}, 1.3f, kLightFlags, 800);
    w.addLightOmni(obj("cold"), {0.5f, 0.8f, 1.0f, 1}, 1.0f, kLightFlags, 800);
    qor_sS3dWParticleSystem ps;
    ps.m_nParticle = 600;
    ps.m_nLifeBase = 50;
    ps.m_nLifeRandom = 20;
    ps.m_nStream = 1;
    ps.m_vAcceleration = {0, -0.12f, 0};
    ps.m_vBoxHalf = {3, 1, 3};
    ps.m_vVelocity = {0, 4.2f, 0};
    ps.m_vVelocityRandom = {0.9f, 0.6f, 0.9f};
    ps.m_startColor = {255, 220, 140, 255};
    ps.m_endColor = {80, 120, 255, 0};
    ps.m_fStartSize = 12;
    ps.m_fStartSizeRandom = 4;
    ps.m_fEndSize = 3;
    ps.m_strMaterialName = "Spark";
    w.addParticleSystem(obj("fountain", {0, 0, 0}, 100), ps);
    qor_sS3dWMorphTarget target;
    target.m_strName = "spiky";
    for (int k = 0; k <= 12; ++k)
        target.m_keys.push_back({float(k) * 80.0f * 160.0f, (k % 2) ? 100.0f : 0.0f});
    w.addMorph("blob", {target});
    w.addGlobalInfos({0.5f, 0.5f, 0.55f, 1}, {0.02f, 0.05f, 0.1f, 1});
    w.addFogInfos(true, {0.03f, 0.08f, 0.15f, 1});

    qor_cMotWriter mot;
    mot.addCommonInfos(0, uint(kLength), 1);
    std::vector<qor_sMotObject> motions;
    orbit(motions, "cam", {0, 0, 0}, 230, 70, -1, kLength, 0.2f);
    qor_sMotObject look = motion("look");
    look.m_position = qor_sMotChannel::constant(0, 55, 0);
    motions.push_back(look);
    qor_sMotObject blob = motion("blob");
    std::vector<qor_sMotKey> hop, spin;
    for (float t = 0; t <= kLength + 10; t += 10)
    {
        hop.push_back(key(t, 0, 60 + 12 * std::sin(2 * kPi * t / 120), 0));
        spin.push_back(rotKey(t, {0, 1, 0}, 2 * kPi * t / 300));
    }
    blob.m_position = qor_sMotChannel::track(3, hop);
    blob.m_rotation = qor_sMotChannel::track(3, spin);
    motions.push_back(blob);
    qor_sMotObject spiky = motion("spiky");
    spiky.m_visibility = qor_sMotChannel::constant(0);
    motions.push_back(spiky);
    qor_sMotObject fountain = motion("fountain");
    fountain.m_position = qor_sMotChannel::constant(0, 0, 90);
    motions.push_back(fountain);
    orbit(motions, "warm", {0, 0, 0}, 150, 120, 2, kLength, 0);
    orbit(motions, "cold", {0, 0, 0}, 170, 40, -3, kLength, 0, kPi);
    mot.addObjectsMotions(motions);
    return save(w, mot, dir + "/blob.s3d");
}

// Chapter four: a machine of rigid parts in a hierarchy: a turning hub carrying four arms, each
// arm a turning wheel carrying two blocks. The blocks appear one by one (visibility keys); when
// the last is in place the hub bursts into sparks once (a one-shot particle system shown by its
// visibility). A free camera glides round it, zooming through its field-of-view track; the deck
// glows with vertex colours under a warm key light, a cool fill and an amber rim.
bool writeMachine(const std::string & dir)
{
    const float kLength = 1190, kBurst = 250;
    qor_cS3dWriter w;
    addTexture(w, "metal");
    addTexture(w, "wood");
    addTexture(w, "glow", 0, "glow_alpha");
    // Plain lit steel: an added reflection of the nebula tinted it purple.
    w.addMaterial(material("Metal", "metal", {1, 1, 1, 1}));
    w.addMaterial(material("Wood", "wood", {1, 1, 1, 1}));
    // The deck: its vertex colours are its emissive light.
    qor_sS3dWMaterial deck = material("Deck", "wood", {0.8f, 0.8f, 0.8f, 1}, true);
    deck.m_emissive = {1, 1, 1, 1};
    deck.m_fAmount = 1;
    w.addMaterial(deck);
    qor_sS3dWMaterial spark = material("Spark", "glow", {1, 1, 1, 1});
    spark.m_nOpacityMap = 1;
    w.addMaterial(spark);
    w.addCameraFree(obj("cam"), 1, 4000, 50);
    addMeshData(w, box({0, 0, 0}, 30, 30, 30), "Metal"); // 0: hub
    addMeshData(w, box({0, 0, 0}, 40, 6, 6), "Wood");    // 1: arm
    addMeshData(w, box({0, 0, 0}, 10, 10, 10), "Metal"); // 2: block
    // 3: the deck, a ring of colour round the machine fading out towards the edge.
    sMesh floor = floorGrid(10, 60, 5);
    for (const qor_cVector3 & p : floor.pos)
    {
        const float r = std::sqrt(p.x * p.x + p.z * p.z), a = std::atan2(p.z, p.x);
        // Red on the +x side turning to blue on the -x side.
        const float k = 0.7f * std::exp(-(r - 150) * (r - 150) / (2 * 60.0f * 60.0f));
        floor.col.push_back({k * (0.5f + 0.5f * std::cos(a)), k * 0.2f, k * (0.5f - 0.5f * std::cos(a)), 1});
    }
    addMeshData(w, floor, "Deck");
    w.addMesh(obj("hub", {0, 0, 0}, 60), {0});
    std::vector<std::pair<std::string, std::string>> tree;
    for (int a = 0; a < 4; ++a)
    {
        const std::string arm = "arm" + std::to_string(a);
        w.addMesh(obj(arm, {0, 0, 0}, 45), {1});
        tree.push_back({arm, "hub"});
        for (int b = 0; b < 2; ++b)
        {
            const std::string block = arm + "_block" + std::to_string(b);
            w.addMesh(obj(block, {0, 0, 0}, 20), {2});
            tree.push_back({block, arm});
        }
    }
    w.addMesh(obj("floor", {0, 0, 0}, 430), {3});
    const qor_cColor colours[3] = {{1, 0.93f, 0.8f, 1}, {0.55f, 0.75f, 1, 1}, {1, 0.6f, 0.25f, 1}};
    const float power[3] = {1.6f, 0.9f, 1.1f};
    for (int l = 0; l < 3; ++l)
        w.addLightOmni(obj("lamp" + std::to_string(l)), colours[l], power[l], kLightFlags, 900);
    qor_sS3dWParticleSystem ps;
    ps.m_nParticle = 400;
    ps.m_nLifeBase = 45;
    ps.m_nLifeRandom = 30;
    ps.m_nOneShot = 1;
    ps.m_vAcceleration = {0, -0.08f, 0};
    ps.m_vBoxHalf = {20, 20, 20};
    ps.m_vVelocity = {0, 1.2f, 0};
    ps.m_vVelocityRandom = {3.2f, 2.6f, 3.2f};
    ps.m_startColor = {255, 240, 200, 255};
    ps.m_endColor = {255, 90, 20, 0};
    ps.m_fStartSize = 10;
    ps.m_fStartSizeRandom = 4;
    ps.m_fEndSize = 3;
    ps.m_strMaterialName = "Spark";
    w.addParticleSystem(obj("burst", {0, 0, 0}, 200), ps);
    w.addObjectHierarchy(tree);
    w.addGlobalInfos({0.6f, 0.58f, 0.55f, 1}, {0.1f, 0.08f, 0.06f, 1});

    qor_cMotWriter mot;
    mot.addCommonInfos(0, uint(kLength), 1);
    std::vector<qor_sMotObject> motions;
    // The free camera: round the machine once, rising and falling, always looking at the hub;
    // its field of view narrows from 60 to 34 degrees and opens again.
    {
        qor_sMotObject cam = motion("cam");
        std::vector<qor_sMotKey> pos, rot, fov;
        const qor_cVector3 look(0, 70, 0);
        for (float t = 0; t <= kLength + 10; t += 10)
        {
            const float a = 2 * kPi * t / kLength + 0.6f;
            const float r = 290 + 40 * std::cos(4 * kPi * t / kLength);
            const qor_cVector3 eye(r * std::cos(a), 120 + 50 * std::sin(2 * kPi * t / kLength), r * std::sin(a));
            pos.push_back(key(t, eye.x, eye.y, eye.z));
            rot.push_back(lookKey(t, look - eye));
            fov.push_back(key(t, (47 + 13 * std::cos(2 * kPi * t / kLength)) * kPi / 180));
        }
        cam.m_position = qor_sMotChannel::track(3, pos);
        cam.m_rotation = qor_sMotChannel::track(3, rot);
        cam.m_fov = qor_sMotChannel::track(3, fov);
        motions.push_back(cam);
    }
    auto spinner = [&](const std::string & name, qor_cVector3 at, qor_cVector3 axis, float turns) -> qor_sMotObject & {
        qor_sMotObject o = motion(name);
        o.m_position = qor_sMotChannel::constant(at.x, at.y, at.z);
        std::vector<qor_sMotKey> keys;
        for (float t = 0; t <= kLength + 10; t += 10)
            keys.push_back(rotKey(t, axis, 2 * kPi * turns * t / kLength));
        o.m_rotation = qor_sMotChannel::track(3, keys);
        motions.push_back(o);
        return motions.back();
    };
    spinner("hub", {0, 80, 0}, {0, 1, 0}, 6);
    for (int a = 0; a < 4; ++a)
    {
        const float ang = kPi / 2 * a;
        const std::string arm = "arm" + std::to_string(a);
        // Arms stand 70 units out from the hub, each turning about its own length.
        spinner(arm, {70 * std::cos(ang), 0, 70 * std::sin(ang)}, {std::cos(ang), 0, std::sin(ang)}, 10 + 2 * a);
        for (int b = 0; b < 2; ++b)
        {
            // Hidden until its turn: the eight blocks come in 20 frame units apart.
            qor_sMotObject & block =
                spinner(arm + "_block" + std::to_string(b), {0, b ? 22.0f : -22.0f, 0}, normalised({1, 1, 0}), -20);
            block.m_visibility = qor_sMotChannel::track(3, {key(0, 0), key(kBurst - 20 * float(7 - (2 * a + b)), 1)});
        }
    }
    {
        // The burst: hidden (no emission) until the last block is in, then all its sparks at once.
        qor_sMotObject burst = motion("burst");
        burst.m_position = qor_sMotChannel::constant(0, 80, 0);
        burst.m_visibility = qor_sMotChannel::track(3, {key(0, 0), key(kBurst, 1)});
        motions.push_back(burst);
    }
    for (int l = 0; l < 3; ++l)
        orbit(motions, "lamp" + std::to_string(l), {0, 0, 0}, 170, 140 - 30 * l, 1 + l, kLength, 0, 2 * kPi * l / 3);
    mot.addObjectsMotions(motions);
    return save(w, mot, dir + "/machine.s3d");
}

int usage()
{
    std::fprintf(stderr, "usage: qor-gen-scenes OUT_DIR\n");
    return 2;
}
} // namespace

int main(int argc, char ** argv)
{
    for (int i = 1; i < argc; ++i)
        if (argv[i][0] == '-')
        {
            // It takes no option: say which word it did not understand.
            std::fprintf(stderr, "qor-gen-scenes: unknown option %s (the scenes' sizes are fixed)\n", argv[i]);
            return usage();
        }
    if (argc != 2)
        return usage();
    std::string err;
    const std::string dir = argv[1];
    if (!qorg::makeFolders(dir, err))
    {
        std::fprintf(stderr, "qor-gen-scenes: %s\n", err.c_str());
        return 1;
    }
    return writeTentacle(dir) && writeBlob(dir) && writeMachine(dir) ? 0 : 1;
}
