// qor-scene dump and info: a scene file loaded by the engine's own loader (with its ".MOT"
// animation file) in a headless display, described as one JSON document (dump) or a short
// human summary (info).
#include "qor_scene.h"
#include "qor_sceneEngine.h"

#include "qor_cBone.h"
#include "qor_cCamera.h"
#include "qor_cFog.h"
#include "qor_cMaterial.h"
#include "qor_cMesh.h"
#include "qor_cOmniLight.h"
#include "qor_cParticleSystem.h"
#include "qor_cScene.h"
#include "qor_cTexture.h"
#include "qor_cTriMesh.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// Members in the order they are written.
using json = nlohmann::ordered_json;
using namespace qor_scene;

namespace
{
// A float as its shortest decimal that reads back to the same float ("%.9g").
json num(float f)
{
    if (!std::isfinite(f))
        return nullptr;
    // Whole numbers print without a fraction, as "%.9g" does.
    if (f == std::trunc(f) && std::fabs(f) < 1e9f)
        return (long long)f;
    char ac[32];
    std::snprintf(ac, sizeof(ac), "%.9g", double(f));
    return std::strtod(ac, nullptr);
}

json vec(const float * p, int n)
{
    json a = json::array();
    for (int i = 0; i < n; ++i)
        a.push_back(num(p[i]));
    return a;
}

json color(const qor_cColor & c)
{
    const float a[4] = {c.r, c.g, c.b, c.a};
    return vec(a, 4);
}

// Names are bytes: each byte above 127 becomes the character of the same number, which the
// ASCII-only output writes as \u00XX.
json name(cchar * sz)
{
    if (!sz)
        return nullptr;
    std::string s;
    for (const uchar * p = reinterpret_cast<const uchar *>(sz); *p; ++p)
    {
        if (*p < 0x80)
            s += char(*p);
        else
        {
            s += char(0xC0 | (*p >> 6));
            s += char(0x80 | (*p & 0x3F));
        }
    }
    return s;
}

json materialJson(qor_cMaterial * pMat)
{
    qor_cMatProp & prop = pMat->getProp();
    json m;
    m["name"] = name(pMat->getName());
    m["diffuse"] = vec(prop.getDiffuse(), 4);
    m["ambient"] = vec(prop.getAmbient(), 4);
    m["specular"] = vec(prop.getSpecular(), 4);
    m["emissive"] = vec(prop.getEmissive(), 4);
    m["power"] = num(prop.getPower());
    m["sources"] = {prop.getDiffuseSrc(), prop.getAmbientSrc(), prop.getSpecularSrc(), prop.getEmissiveSrc()};
    json passes = json::array();
    qor_cEffect * pEffect = pMat->getEffect();
    for (uint p = 0; pEffect && p < pEffect->getNbPass(); ++p)
    {
        qor_cEffectPass * pPass = pEffect->getPass(p);
        json jp;
        jp["blend"] = {pPass->getBlend().getSrc(), pPass->getBlend().getDst()};
        jp["zfunc"] = pPass->getZFunc();
        jp["cull"] = pPass->getCullMode();
        jp["zwrite"] = pPass->getZWrite();
        json stages = json::array();
        for (uint s = 0; s < pPass->getNbStage(); ++s)
        {
            qor_cEffectStage * pStage = pPass->getStage(s);
            const qor_cCombiner & c = pStage->getColorCombiner();
            const qor_cCombiner & a = pStage->getAlphaCombiner();
            json js;
            js["texture"] = pStage->getTexture() ? name(pStage->getTexture()->getName()) : json(nullptr);
            js["color"] = {c.m_arg1, c.m_op, c.m_arg2};
            js["alpha"] = {a.m_arg1, a.m_op, a.m_arg2};
            js["texgen"] = pStage->getTexCoordGen();
            js["ttf"] = pStage->getTexTransformFlags();
            stages.push_back(js);
        }
        jp["stages"] = stages;
        passes.push_back(jp);
    }
    m["passes"] = passes;
    return m;
}

json sceneJson(qor_cScene & scene, const std::vector<float> & times)
{
    json doc;
    doc["signature"] = scene.getSignature();
    doc["version"] = scene.getVersion();
    doc["ambient"] = color(scene.getAmbient());
    doc["background"] = color(scene.getBackground());
    if (scene.getFog())
        doc["fog"] = {{"color", color(scene.getFog()->getColor())}};
    else
        doc["fog"] = nullptr;

    json objects = json::array();
    for (int i = 0; i < scene.objects().getNbItem(); ++i)
    {
        qor_cObject * o = scene.objects().get<qor_cObject>(i);
        const qor_cSphere & s = o->getLocalSphere();
        const float sphere[4] = {s.m_vCenter.x, s.m_vCenter.y, s.m_vCenter.z, s.m_fRadius};
        objects.push_back({{"name", name(o->getName())},
                           {"type", o->getType()},
                           {"parent", o->getParent() ? name(o->getParent()->getName()) : json(nullptr)},
                           {"rate", num(o->getRate())},
                           {"length", num(o->getLength())},
                           {"sphere", vec(sphere, 4)}});
    }
    doc["objects"] = objects;

    json cameras = json::array();
    for (int i = 0; i < scene.cameras().getNbItem(); ++i)
    {
        qor_cCamera * c = scene.cameras().get<qor_cCamera>(i);
        cameras.push_back({{"name", name(c->getName())},
                           {"target", c->getTarget() ? name(c->getTarget()->getName()) : json(nullptr)},
                           {"near", num(c->getRangeStart())},
                           {"far", num(c->getFar())},
                           {"fov", num(c->getFov())},
                           {"roll", num(c->getRoll())}});
    }
    doc["cameras"] = cameras;

    json lights = json::array();
    for (int i = 0; i < scene.omniLights().getNbItem(); ++i)
    {
        qor_cOmniLight * l = scene.omniLights().get<qor_cOmniLight>(i);
        lights.push_back({{"name", name(l->getName())},
                          {"diffuse", color(l->light().m_diffuse)},
                          {"specular", color(l->light().m_specular)},
                          {"range", num(l->light().getRange())}});
    }
    doc["lights"] = lights;

    json textures = json::array();
    for (int i = 0; i < scene.textures().getNbItem(); ++i)
        textures.push_back({{"name", name(scene.textures().get<qor_cTexture>(i)->getName())}});
    doc["textures"] = textures;

    json materials = json::array();
    for (int i = 0; i < scene.materials().getNbItem(); ++i)
        materials.push_back(materialJson(scene.materials().get<qor_cMaterial>(i)));
    doc["materials"] = materials;

    json meshes = json::array();
    for (int i = 0; i < scene.meshes().getNbItem(); ++i)
    {
        qor_cMesh * m = scene.meshes().get<qor_cMesh>(i);
        json nodes = json::array();
        qor_cTriMesh * t = m->getTriMesh();
        for (uint n = 0; t && n < t->getNbNode(); ++n)
        {
            const qor_sTriMeshNode * node = t->getNode(n);
            nodes.push_back({{"material", node->pMaterial ? name(node->pMaterial->getName()) : json(nullptr)},
                             {"triangles", node->nTriangle},
                             {"skinned", node->pSkinWeight != nullptr}});
        }
        meshes.push_back({{"name", name(m->getName())}, {"nodes", nodes}});
    }
    doc["meshes"] = meshes;

    json particles = json::array();
    for (int i = 0; i < scene.particleSystems().getNbItem(); ++i)
    {
        qor_cParticleSystem * p = scene.particleSystems().get<qor_cParticleSystem>(i);
        particles.push_back({{"name", name(p->getName())},
                             {"count", p->getNbParticle()},
                             {"material", p->getMaterial() ? name(p->getMaterial()->getName()) : json(nullptr)}});
    }
    doc["particles"] = particles;

    json frames = json::array();
    for (float t : times)
    {
        scene.rewind();
        scene.clearUpdatedFlags();
        scene.update(&t);
        json frame;
        frame["t"] = num(t);
        json fo = json::array();
        for (int i = 0; i < scene.objects().getNbItem(); ++i)
        {
            qor_cObject * o = scene.objects().get<qor_cObject>(i);
            const float pos[3] = {o->m_vPosition.x, o->m_vPosition.y, o->m_vPosition.z};
            const float rot[4] = {o->m_qRotation.x, o->m_qRotation.y, o->m_qRotation.z, o->m_qRotation.w};
            const float scale[3] = {o->m_vScale.x, o->m_vScale.y, o->m_vScale.z};
            fo.push_back({{"name", name(o->getName())},
                          {"pos", vec(pos, 3)},
                          {"rot", vec(rot, 4)},
                          {"scale", vec(scale, 3)},
                          {"visible", num(o->getVisibility())},
                          {"world", vec(o->getWorld().data(), 16)}});
        }
        frame["objects"] = fo;
        json fc = json::array();
        for (int i = 0; i < scene.cameras().getNbItem(); ++i)
        {
            qor_cCamera * c = scene.cameras().get<qor_cCamera>(i);
            // As the camera set-up evaluates it before drawing.
            c->evaluate();
            fc.push_back({{"name", name(c->getName())}, {"fov", num(c->getFov())}, {"roll", num(c->getRoll())}});
        }
        frame["cameras"] = fc;
        frames.push_back(frame);
    }
    doc["frames"] = frames;
    return doc;
}

bool parseTime(cchar * sz, float * pf)
{
    char * pEnd = nullptr;
    errno = 0;
    const double d = std::strtod(sz, &pEnd);
    if (!*sz || *pEnd || errno != 0 || !std::isfinite(d) || std::fabs(d) > 3.4e38)
        return false;
    *pf = float(d);
    return true;
}
} // namespace

int qor_scene::runDump(int argc, char ** argv)
{
    // argv[0] is "dump".
    std::string strFile;
    std::vector<float> times;
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--at") == 0)
        {
            float t;
            if (i + 1 >= argc || !parseTime(argv[i + 1], &t))
                return usageError("dump: --at needs a time in frame units");
            times.push_back(t);
            ++i;
        }
        else if (strFile.empty() && argv[i][0] != '-')
            strFile = argv[i];
        else
            return usageError("dump: unexpected argument \"%s\"", argv[i]);
    }
    if (strFile.empty())
        return usageError("dump: no scene file");
    Engine engine;
    qor_cScene * pScene = engine.load(strFile);
    if (!pScene)
        return e_exitFailure;
    const std::string text = sceneJson(*pScene, times).dump(1, ' ', true);
    std::printf("%s\n", text.c_str());
    return std::fflush(stdout) == 0 ? e_exitOk : failure("standard output could not be written");
}

int qor_scene::runInfo(int argc, char ** argv)
{
    if (argc != 2 || argv[1][0] == '-')
        return usageError("info: one scene file expected");
    Engine engine;
    qor_cScene * pScene = engine.load(argv[1]);
    if (!pScene)
        return e_exitFailure;
    qor_cScene & scene = *pScene;

    static const struct
    {
        uint nType;
        cchar * szName;
    } aType[] = {{0, "free cameras"},     {1, "target cameras"},   {2, "meshes"},
                 {4, "omni lights"},      {9, "bones"},            {10, "dummies"},
                 {11, "gizmo spheres"},   {12, "gizmo boxes"},     {13, "gizmo cylinders"},
                 {14, "particle systems"}, {16, "targets"}};
    std::printf("%s: signature 0x%08X, version %u\n", argv[1], scene.getSignature(), scene.getVersion());
    std::printf("objects: %d\n", scene.objects().getNbItem());
    for (const auto & t : aType)
    {
        int n = 0;
        for (int i = 0; i < scene.objects().getNbItem(); ++i)
            n += scene.objects().get<qor_cObject>(i)->getType() == t.nType ? 1 : 0;
        if (n)
            std::printf("  %-17s %d\n", t.szName, n);
    }
    unsigned long long nTriangle = 0;
    for (int i = 0; i < scene.triMeshes().getNbItem(); ++i)
    {
        qor_cTriMesh * t = scene.triMeshes().get<qor_cTriMesh>(i);
        for (uint n = 0; n < t->getNbNode(); ++n)
            nTriangle += t->getNode(n)->nTriangle;
    }
    std::printf("triangle meshes: %d, triangles: %llu\n", scene.triMeshes().getNbItem(), nTriangle);
    std::printf("textures: %d\nmaterials: %d\n", scene.textures().getNbItem(), scene.materials().getNbItem());
    std::printf("fog: %s\n", scene.getFog() ? "yes" : "no");
    // The longest track: transform lengths are in key-time units (divided by the rate), the
    // visibility and camera tracks in frame units; 30 frame units a second.
    float fFrames = 0.0f;
    for (int i = 0; i < scene.objects().getNbItem(); ++i)
    {
        qor_cObject * o = scene.objects().get<qor_cObject>(i);
        if (o->getRate() > 0.0f && o->getLength() / o->getRate() > fFrames)
            fFrames = o->getLength() / o->getRate();
        if (o->visibilityTrack().m_fLength > fFrames)
            fFrames = o->visibilityTrack().m_fLength;
        if (o->getType() == 0 || o->getType() == 1)
        {
            qor_cCamera * c = static_cast<qor_cCamera *>(o);
            for (qor_cEasyAnim * a : {&c->fovTrack(), &c->rollTrack()})
                if (a->m_fLength > fFrames)
                    fFrames = a->m_fLength;
        }
    }
    std::printf("animation: %.3f s (rate %u)\n", double(fFrames) / 30.0, scene.getAnimInfo(2));
    return std::fflush(stdout) == 0 ? e_exitOk : failure("standard output could not be written");
}
