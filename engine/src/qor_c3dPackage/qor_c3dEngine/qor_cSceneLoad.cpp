// The scene file half of qor_cScene: load() and the extract operations that turn the loader's
// record views into objects, resources and settings of the scene. Every name and index a record
// gives is resolved against what earlier chunks built; anything that does not resolve fails
// the load with a logged line naming the chunk and its byte offset.
#include "qor_cScene.h"

#include "qor_cBone.h"
#include "qor_cCamera.h"
#include "qor_cErrorHandler.h"
#include "qor_cFog.h"
#include "qor_cGizmo.h"
#include "qor_cMaterial.h"
#include "qor_cMesh.h"
#include "qor_cOmniLight.h"
#include "qor_cParticleSystem.h"
#include "qor_cTexture.h"
#include "qor_cTriMesh.h"
#include "qor_cXChange.h"
#include "qor_mathUtil.h"

#include <cstring>
#include <new>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace
{
// Where a record came from, for the failure lines.
void logWhere(const qor_sS3dChunkRef & ref)
{
    qoru_logError("chunk <%u> at offset <%zu>\n", ref.m_nChunk, ref.m_nOffset);
}

uchar colorByte(float f)
{
    return uchar(qor_cColor::toByte(f));
}

float clamp1(float f)
{
    return f > 1.0f ? 1.0f : f;
}
} // namespace

// ----- load

bool qor_cScene::load(cchar * sz)
{
    setCurrentScene(this);
    if (!QOR_XCHANGE())
        return false;
    uint nSize = 0;
    char * pData = QOR_XCHANGE()->readFile(sz, &nSize);
    if (!pData)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cScene::load(cchar * sz <%s>)\n", sz ? sz : "");
        qoru_logError("char * pData = QOR_XCHANGE()->readFile(sz);\n");
        return false;
    }
    const bool bLoaded = loadSceneFromMemory(pData, nSize);
    delete[] pData;
    if (!bLoaded)
        return false;

    qor_cString szAnimName;
    szAnimName.printf("%s%s", sz, ".MOT");
    bool bRet = loadAnim(szAnimName.get());
    if (!bRet)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cScene::load(cchar * sz <%s>)\n", sz);
        qoru_logError("bRet = loadAnim(szAnimName);\n");
        return false;
    }

    clearUpdatedFlags();
    const float dt = 0.0f;
    update(&dt);
    return linkMeshes();
}

bool qor_cScene::linkMeshes()
{
    // A triangle mesh shared by several meshes takes the bind pose of the first only: its skin
    // copies must be transformed once.
    std::unordered_set<qor_cTriMesh *> posed;
    for (int i = 0; i < m_lMesh.getNbItem(); ++i)
    {
        qor_cMesh * pMesh = m_lMesh.get<qor_cMesh>(i);
        qor_cTriMesh * pTriMesh = m_lTriMesh.get<qor_cTriMesh>(int(pMesh->getTriMeshIndex()));
        if (pMesh->getTriMeshIndex() >= uint(m_lTriMesh.getNbItem()) || !pTriMesh)
        {
            QOR_LOG_LOCATION();
            qoru_logError("bool qor_cScene::linkMeshes()\n");
            qoru_logError("mesh <%s>: triangle mesh <%u> of <%d>\n", pMesh->getName(), pMesh->getTriMeshIndex(),
                          m_lTriMesh.getNbItem());
            return false;
        }
        pMesh->setTriMesh(pTriMesh);
        if (posed.insert(pTriMesh).second)
            pTriMesh->preTransform(pMesh->getWorld());
    }
    return true;
}

// ----- helpers

void qor_cScene::read(qor_cObject * pObject, const qor_sObject & sObject)
{
    pObject->setName(sObject.m_szName);
    pObject->setLocalSphere(sObject.m_vCenter, sObject.m_fRadius);
}

bool qor_cScene::addOwned(qor_cObject * pObject, cchar * szSignature)
{
    bool b = add(pObject, true);
    if (!b)
    {
        delete pObject;
        QOR_LOG_LOCATION();
        qoru_logError("%s", szSignature);
        qoru_logError("bool b = add(pObject, true);\n");
        return false;
    }
    b = addObject(pObject, false);
    if (!b)
    {
        QOR_LOG_LOCATION();
        qoru_logError("%s", szSignature);
        qoru_logError("b = addObject(pObject, false);\n");
        return false;
    }
    return true;
}

// ----- objects

bool qor_cScene::extractMesh(const qor_sMesh & sMesh)
{
    cchar * szSig = "bool qor_cScene::extractMesh(const qor_sMesh & sMesh)\n";
    qor_cMesh * pMesh = new (std::nothrow) qor_cMesh;
    if (!pMesh)
    {
        QOR_LOG_LOCATION();
        qoru_logError("%s", szSig);
        qoru_logError("qor_cMesh * pMesh = new qor_cMesh;\nAllocation failure\n");
        return false;
    }
    read(pMesh, sMesh.m_object);
    pMesh->setTriMeshIndex(sMesh.m_nTriMesh);
    bool b = addMesh(pMesh, true);
    if (!b)
    {
        delete pMesh;
        QOR_LOG_LOCATION();
        qoru_logError("%s", szSig);
        qoru_logError("bool b = addMesh(pMesh, true);\n");
        return false;
    }
    b = addObject(pMesh, false);
    if (!b)
    {
        QOR_LOG_LOCATION();
        qoru_logError("%s", szSig);
        qoru_logError("b = addObject(pMesh, false);\n");
        return false;
    }
    return true;
}

bool qor_cScene::extractCameraFree(const qor_sCameraFree & sCamera)
{
    qor_cCamera * pCamera = new (std::nothrow) qor_cCamera;
    if (!pCamera)
        return false;
    read(pCamera, sCamera.m_object);
    pCamera->setRangeStart(sCamera.m_fRangeStart);
    pCamera->setFar(sCamera.m_fFar);
    pCamera->setFov(qoru_degToRad(sCamera.m_fFov));
    return addOwned(pCamera, "bool qor_cScene::extractCameraFree(const qor_sCameraFree & sCamera)\n");
}

bool qor_cScene::extractCameraTarget(const qor_sCameraTarget & sCamera)
{
    const int iTarget = sCamera.m_nTarget > 0x7FFFFFFFu ? -1 : int(sCamera.m_nTarget);
    qor_cObject * pTgt = getObject(iTarget);
    if (!pTgt)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cScene::extractCameraTarget(const qor_sCameraTarget & sCamera)\n");
        qoru_logError("qor_cObject * pTgt = getObject(iTarget<%d>);\n", int(sCamera.m_nTarget));
        qoru_logError("Impossible de trouver l'objet target !\n");
        logWhere(sCamera.m_chunk);
        return false;
    }
    qor_cCamera * pCamera = new (std::nothrow) qor_cCamera;
    if (!pCamera)
        return false;
    read(pCamera, sCamera.m_object);
    pCamera->setRangeStart(sCamera.m_fRangeStart);
    pCamera->setFar(sCamera.m_fFar);
    pCamera->setFov(qoru_degToRad(sCamera.m_fFov));
    pCamera->setRoll(qoru_degToRad(sCamera.m_fRoll));
    pCamera->setType(qor_cObject::e_type_cameraTarget);
    pCamera->setTarget(pTgt);
    return addOwned(pCamera, "bool qor_cScene::extractCameraTarget(const qor_sCameraTarget & sCamera)\n");
}

bool qor_cScene::extractTarget(const qor_sTarget & sTarget)
{
    qor_cObject * p = new (std::nothrow) qor_cObject(qor_cObject::e_type_target);
    if (!p)
        return false;
    read(p, sTarget.m_object);
    return addOwned(p, "bool qor_cScene::extractTarget(const qor_sTarget & sTarget)\n");
}

bool qor_cScene::extractDummy(const qor_sDummy & sDummy)
{
    qor_cDummy * p = new (std::nothrow) qor_cDummy;
    if (!p)
        return false;
    read(p, sDummy.m_object);
    return addOwned(p, "bool qor_cScene::extractDummy(const qor_sDummy & sDummy)\n");
}

bool qor_cScene::extractBone(const qor_sBone & sBone)
{
    qor_cBone * p = new (std::nothrow) qor_cBone;
    if (!p)
        return false;
    read(p, sBone.m_object);
    return addOwned(p, "bool qor_cScene::extractBone(const qor_sBone & sBone)\n");
}

bool qor_cScene::extractGizmoSphere(const qor_sGizmoSphere & sGizmo)
{
    qor_cGizmoSphere * p = new (std::nothrow) qor_cGizmoSphere;
    if (!p)
        return false;
    read(p, sGizmo.m_object);
    p->m_fRadius = sGizmo.m_fRadius;
    p->m_bHemisphere = sGizmo.m_nHemisphere == 1 ? 1 : 0;
    return addOwned(p, "bool qor_cScene::extractGizmoSphere(const qor_sGizmoSphere & sGizmo)\n");
}

bool qor_cScene::extractGizmoBox(const qor_sGizmoBox & sGizmo)
{
    qor_cGizmoBox * p = new (std::nothrow) qor_cGizmoBox;
    if (!p)
        return false;
    read(p, sGizmo.m_object);
    for (int i = 0; i < 3; ++i)
        p->m_afSize[i] = sGizmo.m_afSize[i];
    return addOwned(p, "bool qor_cScene::extractGizmoBox(const qor_sGizmoBox & sGizmo)\n");
}

bool qor_cScene::extractGizmoCylinder(const qor_sGizmoCylinder & sGizmo)
{
    qor_cGizmoCylinder * p = new (std::nothrow) qor_cGizmoCylinder;
    if (!p)
        return false;
    read(p, sGizmo.m_object);
    for (int i = 0; i < 2; ++i)
        p->m_afSize[i] = sGizmo.m_afSize[i];
    return addOwned(p, "bool qor_cScene::extractGizmoCylinder(const qor_sGizmoCylinder & sGizmo)\n");
}

bool qor_cScene::extractLightOmni(const qor_sLightOmni & sLight)
{
    qor_cOmniLight * p = new (std::nothrow) qor_cOmniLight;
    if (!p)
        return false;
    read(p, sLight.m_object);
    qor_cLight & l = p->light();
    const qor_cColor & c = sLight.m_color;
    const float m = sLight.m_fMultiplier;
    l.m_uType = 0;
    if (sLight.isOn())
        l.m_diffuse.set(c.r * m, c.g * m, c.b * m, c.a * m);
    else
        l.m_diffuse.set(0.0f, 0.0f, 0.0f, 0.0f);
    if (sLight.isSpecularOn())
        l.m_specular = c;
    else
        l.m_specular.set(0.0f, 0.0f, 0.0f, 0.0f);
    // Without a range the light reaches as far as the device allows: sqrt(FLT_MAX).
    if (sLight.isRangeOn())
        l.setRange(sLight.m_fRange);
    else
    {
        l.m_sphere.m_fRadius = 1.8446743e19f;
        l.m_sphere.m_fRadiusSq = 3.4028235e38f;
    }
    l.m_fAttenuation0 = 1.0f;
    l.m_fAttenuation1 = 0.0f;
    l.m_fAttenuation2 = 0.0f;
    return addOwned(p, "bool qor_cScene::extractLightOmni(const qor_sLightOmni & sLight)\n");
}

bool qor_cScene::extractParticleSystem(const qor_sParticleSystem & sSystem)
{
    cchar * szSig = "bool qor_cScene::extractParticleSystem(const qor_sParticleSystem & sSystem)\n";
    qor_cMaterial * pMat = getMaterial(sSystem.m_szMaterialName);
    if (!pMat)
    {
        QOR_LOG_LOCATION();
        qoru_logError("%s", szSig);
        qoru_logError("qor_cMaterial * pMat = getMaterial(sSystem.m_szMaterialName);\n");
        qoru_logError("obj<%s> material<%s>\n", sSystem.m_object.m_szName, sSystem.m_szMaterialName);
        logWhere(sSystem.m_chunk);
        return false;
    }
    if (m_nParticles + sSystem.m_nParticle > kMaxSceneParticles)
    {
        QOR_LOG_LOCATION();
        qoru_logError("%s", szSig);
        qoru_logError("obj<%s>: %u particles, %llu in the scene already, %llu at most\n", sSystem.m_object.m_szName,
                      sSystem.m_nParticle, m_nParticles, kMaxSceneParticles);
        logWhere(sSystem.m_chunk);
        return false;
    }
    qor_cParticleSystem * p = new (std::nothrow) qor_cParticleSystem;
    if (!p)
        return false;
    read(p, sSystem.m_object);
    if (!p->createParticle(sSystem.m_nParticle))
    {
        logWhere(sSystem.m_chunk);
        delete p;
        return false;
    }
    qor_cParticleSystem::sParams params;
    m_nParticles += sSystem.m_nParticle;
    params.fLifeBase = float(sSystem.m_nLifeBase);
    params.fLifeRange = float(sSystem.m_nLifeRandom);
    params.bStream = sSystem.m_nStream == 1;
    params.bVisibilityHides = sSystem.m_nVisibility == 1;
    params.bOneShot = sSystem.m_nOneShot == 1;
    params.vAcceleration = sSystem.m_vAcceleration;
    params.vBox = sSystem.m_vBoxHalf;
    params.vVelocity = sSystem.m_vVelocity;
    params.vVelocityRange = sSystem.m_vVelocityRandom;
    const qor_cColor & s = sSystem.m_startColor;
    const qor_cColor & e = sSystem.m_endColor;
    params.startColor.set(s.r / 255.0f, s.g / 255.0f, s.b / 255.0f, s.a / 255.0f);
    params.endColor.set(e.r / 255.0f, e.g / 255.0f, e.b / 255.0f, e.a / 255.0f);
    params.fStartSize = sSystem.m_fStartSize;
    params.fStartSizeRange = sSystem.m_fStartSizeRandom;
    params.fEndSize = sSystem.m_fEndSize;
    params.fEndSizeRange = sSystem.m_fEndSizeRandom;
    p->setParams(params);
    p->setMaterial(pMat);
    bool b = addObject(p, false);
    if (!b)
    {
        delete p;
        QOR_LOG_LOCATION();
        qoru_logError("%s", szSig);
        qoru_logError("bool b = addObject(pSystem, false);\n");
        return false;
    }
    b = addParticleSystem(p, true);
    if (!b)
    {
        m_lObject.remove(m_lObject.getNbItem() - 1);
        delete p;
        QOR_LOG_LOCATION();
        qoru_logError("%s", szSig);
        qoru_logError("b = addParticleSystem(pSystem, true);\n");
        return false;
    }
    return true;
}

// ----- links between objects

bool qor_cScene::extractObjectHierarchy(const qor_sObjectHierarchy & sHierarchy)
{
    for (uint i = 0; i < sHierarchy.m_aPair.getCount(); ++i)
    {
        const qor_sS3dHierarchyPair pair = sHierarchy.m_aPair.at(i);
        qor_cObject * pChild = getObject(pair.m_szChild);
        qor_cObject * pParent = getObject(pair.m_szParent);
        if (pChild && pParent)
            pChild->setParentUnchecked(pParent);
    }
    // A parent chain that comes back to where it started would never finish updating.
    qor_cObject * pLoop = breakHierarchyLoops();
    if (pLoop)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cScene::extractObjectHierarchy(const qor_sObjectHierarchy & sHierarchy)\n");
        qoru_logError("object<%s>: its parents lead back to it\n", pLoop->getName());
        logWhere(sHierarchy.m_chunk);
        return false;
    }
    return true;
}

qor_cObject * qor_cScene::breakHierarchyLoops()
{
    // One walk up from every object, each object visited once: 1 on the current walk, 2 done.
    std::unordered_map<const qor_cObject *, uchar> state;
    std::vector<qor_cObject *> walk;
    qor_cObject * pFirst = nullptr;
    for (int i = 0; i < m_lObject.getNbItem(); ++i)
    {
        walk.clear();
        qor_cObject * p = m_lObject.get<qor_cObject>(i);
        for (; p && state[p] == 0; p = p->getParent())
        {
            state[p] = 1;
            walk.push_back(p);
        }
        if (p && state[p] == 1)
        {
            // The last object of the walk names one already on it: cut that link.
            walk.back()->setParentUnchecked(nullptr);
            if (!pFirst)
                pFirst = walk.back();
        }
        for (qor_cObject * q : walk)
            state[q] = 2;
    }
    return pFirst;
}

bool qor_cScene::extractGlobalInfos(const qor_sGlobalInfos & sInfos)
{
    m_ambient = sInfos.m_ambient;
    m_background = sInfos.m_background;
    return true;
}

bool qor_cScene::extractFogInfos(const qor_sFogInfos & sFog)
{
    if (sFog.m_nEnabled == 0)
        return true;
    qor_cFog * pFog = new (std::nothrow) qor_cFog;
    if (!pFog)
        return false;
    pFog->setColor(sFog.m_color.r, sFog.m_color.g, sFog.m_color.b, sFog.m_color.a);
    setFog(pFog);
    return true;
}

// ----- textures and materials

bool qor_cScene::extractTexture(const qor_sTexture & sTexture)
{
    qor_cTexture * pTex = new (std::nothrow) qor_cTexture;
    if (!pTex)
        return false;
    cchar * szName = sTexture.m_szName;
    cchar * szAlphaName = sTexture.m_szAlphaName[0] ? sTexture.m_szAlphaName : nullptr;
    bool bLoaded = true;
    if (sTexture.m_nFrame != 0)
    {
        bLoaded = pTex->loadAnim(szName, sTexture.m_nFrame, sTexture.m_playbackRate, sTexture.getEndMode());
        if (!bLoaded)
        {
            QOR_LOG_LOCATION();
            qoru_logError("bool qor_cScene::extractTexture(const qor_sTexture & sTexture)\n");
            qoru_logError("if (!pTex->loadAnim(szName<%s>, nFrame<%u>))\n", szName, sTexture.m_nFrame);
        }
    }
    else if (sTexture.m_nKind == 0)
    {
        bLoaded = pTex->load(szName, szAlphaName);
        if (!bLoaded)
        {
            QOR_LOG_LOCATION();
            qoru_logError("bool qor_cScene::extractTexture(const qor_sTexture & sTexture)\n");
            qoru_logError("if (!pTex->load(szName<%s>, szAlphaName<%s>))\n", szName, szAlphaName ? szAlphaName : "");
        }
    }
    else if (sTexture.m_nKind == 1)
    {
        bLoaded = pTex->loadAsBump(szName);
        if (!bLoaded)
        {
            QOR_LOG_LOCATION();
            qoru_logError("bool qor_cScene::extractTexture(const qor_sTexture & sTexture)\n");
            qoru_logError("if (!pTex->loadAsBump(szName<%s>))\n", szName);
        }
    }
    else
        pTex->setName(szName); // a kind without an image: named, binds nothing
    if (!bLoaded)
    {
        // An image that does not decode is treated as one that is missing: reported, and the
        // texture kept by name, binding nothing, so that the rest of the scene still loads.
        logWhere(sTexture.m_chunk);
        pTex->setName(szName);
    }
    if (!addTexture(pTex, true))
    {
        delete pTex;
        return false;
    }
    return true;
}

qor_cTexture * qor_cScene::findTexture(cchar * szName) const
{
    return (szName && szName[0]) ? getTexture(szName) : nullptr;
}

bool qor_cScene::extractMaterial(const qor_sMaterial & sMaterial)
{
    cchar * szSig = "bool qor_cScene::extractMaterial(const qor_sMaterial & sMaterial)\n";
    if (std::strlen(sMaterial.m_szName) > 63)
    {
        QOR_LOG_LOCATION();
        qoru_logError("%s", szSig);
        qoru_logError("nom du material trop long !\n");
        logWhere(sMaterial.m_chunk);
        return false;
    }
    qor_cTexture * pDiffuse = findTexture(sMaterial.m_szDiffuse);
    qor_cTexture * pSecond = findTexture(sMaterial.m_szSecond);
    qor_cTexture * pBump = findTexture(sMaterial.m_szBump);
    // Bump materials draw with passes of their own; the others by their translucency.
    if (!pBump && sMaterial.m_translucy > 2)
    {
        QOR_LOG_LOCATION();
        qoru_logError("%s", szSig);
        qoru_logError("sMaterial.m_translucy de type inconnu\n");
        logWhere(sMaterial.m_chunk);
        return false;
    }
    const bool bDiffuseFound = pDiffuse != nullptr;
    if (!pDiffuse)
    {
        pDiffuse = new (std::nothrow) qor_cTexture;
        if (!pDiffuse || !pDiffuse->createSolidColor(1.0f, 1.0f, 1.0f, 1.0f))
        {
            delete pDiffuse;
            return false;
        }
        qor_cString name;
        name.printf("color_white%x", pDiffuse->getHandle());
        pDiffuse->setName(name.get());
        if (!addTexture(pDiffuse, true))
        {
            delete pDiffuse;
            return false;
        }
    }
    qor_cMaterial * pMat = new (std::nothrow) qor_cMaterial;
    if (!pMat || !pMat->createEffect())
    {
        delete pMat;
        QOR_LOG_LOCATION();
        qoru_logError("%s", szSig);
        qoru_logError("qor_cMaterial * pMat = new qor_cMaterial;\nAllocation failure\n");
        return false;
    }
    pMat->setName(sMaterial.m_szName);
    qor_cMatProp & prop = pMat->getProp();
    if (bDiffuseFound)
        prop.setDiffuse(1.0f, 1.0f, 1.0f, 1.0f);
    else
        prop.setDiffuse(sMaterial.m_diffuse.r, sMaterial.m_diffuse.g, sMaterial.m_diffuse.b, sMaterial.m_diffuse.a);
    prop.setAmbient(sMaterial.m_ambient.r, sMaterial.m_ambient.g, sMaterial.m_ambient.b, sMaterial.m_ambient.a);
    const float lv = sMaterial.m_fSpecularLevel;
    prop.setSpecular(clamp1(sMaterial.m_specular.r * lv), clamp1(sMaterial.m_specular.g * lv),
                     clamp1(sMaterial.m_specular.b * lv), clamp1(sMaterial.m_specular.a * lv));
    const float am = sMaterial.m_fAmount;
    prop.setEmissive(sMaterial.m_emissive.r * am, sMaterial.m_emissive.g * am, sMaterial.m_emissive.b * am,
                     sMaterial.m_emissive.a * am);
    prop.setPower(sMaterial.m_fPower);
    prop.setSources(qorrs_matsrc_material, qorrs_matsrc_material, qorrs_matsrc_material, qorrs_matsrc_color1);

    qor_cEffect * pEffect = pMat->getEffect();
    if (!pBump)
    {
        qor_cEffectPass * pPass = pEffect->addPass();
        switch (sMaterial.m_translucy)
        {
        case 0:
            if (sMaterial.m_nOpacityMap)
                pPass->setBlend(qorrs_blend_srcalpha, qorrs_blend_invsrcalpha);
            else
                pPass->setBlend(qorrs_blend_one, qorrs_blend_zero);
            break;
        case 1:
            pPass->setBlend(qorrs_blend_one, qorrs_blend_one);
            pPass->setZWrite(0);
            break;
        default: // 2 (others were refused above)
            pPass->setBlend(qorrs_blend_srccolor, qorrs_blend_invsrccolor);
            break;
        }
        qor_cEffectStage * pStage = pPass->addStage();
        pStage->setTexture(pDiffuse, false);
        pStage->setColorCombiner(qorrs_texarg_diffuse, qorrs_texop_modulate, qorrs_texarg_texture);
        if (sMaterial.m_nOpacityMap)
            pStage->setAlphaCombiner(qorrs_texarg_diffuse, qorrs_texop_modulate, qorrs_texarg_texture);
        else
            pStage->setAlphaCombiner(qorrs_texarg_diffuse, qorrs_texop_disable, qorrs_texarg_texture);
        pStage->setTexCoordGen(5);
        pStage->setTexTransformFlags(0);
        if (pSecond)
        {
            pStage = pPass->addStage();
            pStage->setTexture(pSecond, false);
            pStage->setColorCombiner(qorrs_texarg_current, qorrs_texop_add, qorrs_texarg_texture);
            pStage->setAlphaCombiner(qorrs_texarg_current, qorrs_texop_disable, qorrs_texarg_texture);
            pStage->setTexCoordGen(0);
            pStage->setTexTransformFlags(3);
        }
    }
    else
    {
        // The normalisation cube map of this material.
        qor_cTexture * pCube = new (std::nothrow) qor_cTexture;
        if (!pCube || !pCube->createCubeBump(32))
        {
            delete pCube;
            delete pMat;
            return false;
        }
        qor_cString name;
        name.printf("cubebump%d\n", int(pCube->getHandle()));
        pCube->setName(name.get());
        if (!addTexture(pCube, true))
        {
            delete pCube;
            delete pMat;
            return false;
        }
        prop.setEmissive(am, am, am, am);
        prop.setSources(qorrs_matsrc_material, qorrs_matsrc_material, qorrs_matsrc_material, qorrs_matsrc_material);

        qor_cEffectPass * pPass = pEffect->addPass();
        pPass->setBlend(qorrs_blend_one, qorrs_blend_zero);
        qor_cEffectStage * pStage = pPass->addStage();
        pStage->setTexture(pBump, false);
        pStage->setColorCombiner(qorrs_texarg_texture, qorrs_texop_selectarg1, qorrs_texarg_diffuse);
        pStage->setTexCoordGen(5);
        pStage->setTexTransformFlags(0);
        pStage = pPass->addStage();
        pStage->setTexture(pCube, false);
        pStage->setColorCombiner(qorrs_texarg_texture, qorrs_texop_dotproduct3, qorrs_texarg_current);
        pStage->setTexCoordGen(4);
        pStage->setTexTransformFlags(3);

        auto diffusePass = [&](uint src, uint dst, uint op) {
            qor_cEffectPass * p = pEffect->addPass();
            p->setBlend(src, dst);
            qor_cEffectStage * s = p->addStage();
            s->setTexture(pDiffuse, false);
            s->setColorCombiner(qorrs_texarg_texture, op, qorrs_texarg_diffuse);
            s->setTexCoordGen(5);
            s->setTexTransformFlags(0);
        };
        if (am == 0.0f)
            diffusePass(qorrs_blend_destcolor, qorrs_blend_zero, qorrs_texop_selectarg1);
        else
        {
            diffusePass(qorrs_blend_destcolor, qorrs_blend_one, qorrs_texop_selectarg1);
            diffusePass(qorrs_blend_one, qorrs_blend_srccolor, qorrs_texop_modulate2x);
        }
    }
    if (sMaterial.m_nTwoSided)
        for (uint i = 0; i < pEffect->getNbPass(); ++i)
            pEffect->getPass(i)->setCullMode(0);

    if (!addMaterial(pMat, true))
    {
        delete pMat;
        QOR_LOG_LOCATION();
        qoru_logError("%s", szSig);
        qoru_logError("bool b = m_lMaterial.add(pMat, true);\n");
        return false;
    }
    return true;
}

bool qor_cScene::extractAnimUV(const qor_sAnimUV & sAnim)
{
    cchar * szSig = "bool qor_cScene::extractAnimUV(const qor_sAnimUV & sAnim)\n";
    qor_cMaterial * pMat = getMaterial(sAnim.m_szMaterial);
    if (!pMat)
    {
        QOR_LOG_LOCATION();
        qoru_logError("%s", szSig);
        qoru_logError("qor_cMaterial * pMat = getMaterial(sAnim.m_szMaterial<%s>);\n", sAnim.m_szMaterial);
        logWhere(sAnim.m_chunk);
        return false;
    }
    qor_cEffectStage * pStage = pMat->getStageByTexture(sAnim.m_szTexture);
    if (!pStage)
        return true;
    bool b = true;
    for (uint i = 0; b && i < sAnim.m_aPosition.getCount(); ++i)
    {
        const qor_sS3dUVKey k = sAnim.m_aPosition.at(i);
        b = pStage->addKey_position(k.m_fTime, k.m_afValue[0], k.m_afValue[1]);
    }
    if (b && sAnim.m_aPosition.getCount() > 0)
        b = pStage->lastKey_position();
    for (uint i = 0; b && i < sAnim.m_aRotation.getCount(); ++i)
    {
        const qor_sS3dUVKey k = sAnim.m_aRotation.at(i);
        b = pStage->addKey_rotation(k.m_fTime, k.m_afValue[0]);
    }
    if (b && sAnim.m_aRotation.getCount() > 0)
        b = pStage->lastKey_rotation();
    for (uint i = 0; b && i < sAnim.m_aScale.getCount(); ++i)
    {
        const qor_sS3dUVKey k = sAnim.m_aScale.at(i);
        b = pStage->addKey_scale(k.m_fTime, k.m_afValue[0], k.m_afValue[1]);
    }
    if (b && sAnim.m_aScale.getCount() > 0)
        b = pStage->lastKey_scale();
    if (!b)
        logWhere(sAnim.m_chunk);
    return b;
}

// ----- geometry

bool qor_cScene::extractMeshData(const qor_sMeshData & sData)
{
    cchar * szSig = "bool qor_cScene::extractMeshData(const qor_sMeshData & sData)\n";
    auto refuse = [&](cchar * szWhat) {
        QOR_LOG_LOCATION();
        qoru_logError("%s", szSig);
        qoru_logError("%s", szWhat);
        logWhere(sData.m_chunk);
        return false;
    };

    // Boundaries partition the faces of the polygon pool: more corners than the pool holds
    // would make a small file allocate without end.
    const uint nPoolFaces = sData.m_pPolygons ? sData.m_pPolygons->m_aFace.getCount() : 0;
    unsigned long long nFaces = 0;
    for (uint i = 0; i < sData.m_pMaterialBoundary.getCount(); ++i)
        nFaces += sData.m_pMaterialBoundary.at(i).m_nFaceCount;
    if (nFaces > nPoolFaces)
        return refuse("boundaries hold more faces than the polygon pool\n");
    // Several mesh data records may share one pool, each its own part of it: all of them
    // together build no more faces than the pools held.
    if (m_nBuiltFaces + nFaces > m_nPoolFaces)
        return refuse("mesh data records build more faces than the polygon pools hold\n");
    m_nBuiltFaces += nFaces;
    if (sData.m_bSkinned && sData.m_nBoneLimit > uint(m_lObject.getNbItem()))
        return refuse("skin bone index past the scene's objects\n");

    qor_cTriMesh * pMesh = new (std::nothrow) qor_cTriMesh;
    if (!pMesh)
        return refuse("qor_cTriMesh * pMesh = new qor_cTriMesh;\nAllocation failure\n");
    if (!addTriMesh(pMesh, true))
    {
        delete pMesh;
        return refuse("bool b = addTriMesh(pMesh, true);\n");
    }
    const uint nBoundary = sData.m_pMaterialBoundary.getCount();
    if (!pMesh->createNode(nBoundary))
        return refuse("if (!pMesh->createNode(nBoundary))\n");

    for (uint b = 0; b < nBoundary; ++b)
    {
        const qor_sS3dBoundary bound = sData.m_pMaterialBoundary.at(b);
        qor_cTriList * plist = qor_cTriList::create();
        if (!plist)
            return refuse("qor_cTriList * plist =  qor_cTriList::create();\n");
        pMesh->setNode(b, plist, nullptr, true, bound.m_nFaceCount);
        if (!plist->startAdd(bound.m_nFaceCount, sData.m_bSkinned ? 0 : 1))
            return refuse("plist->startAdd(nFace, mode)\n");
        if (sData.m_bSkinned && !pMesh->createSkin(b, bound.m_nFaceCount))
            return refuse("if (!pMesh->createSkin(b, nFace))\nAllocation failure\n");
        qor_sTriMeshNode * pNode = pMesh->getNode(b);

        for (uint f = 0; f < bound.m_nFaceCount; ++f)
        {
            for (uint c = 0; c < 3; ++c)
            {
                qor_sS3dCorner corner;
                if (!sData.getCorner(bound.m_nFirstFace + f, c, &corner))
                    return refuse("corner outside the pools\n");
                qor_cVector3 n = corner.m_vNormal;
                n.normalize();
                const float u = sData.m_bHasUV ? corner.m_vUV.x : 0.0f;
                const float v = sData.m_bHasUV ? 1.0f - corner.m_vUV.y : 0.0f;
                uchar r = 0, g = 0, bl = 0, a = 0;
                if (sData.m_bHasColor)
                {
                    r = colorByte(corner.m_color.r);
                    g = colorByte(corner.m_color.g);
                    bl = colorByte(corner.m_color.b);
                    a = 255;
                }
                const qor_cVector3 & p = corner.m_vPosition;
                plist->setPosition(p.x, p.y, p.z);
                plist->setNormal(n.x, n.y, n.z);
                plist->setUV(u, v);
                plist->setColor(r, g, bl, a);
                plist->next();
                if (!sData.m_bSkinned)
                    continue;
                const uint k = f * 3 + c;
                qor_sVertex2 & copy = pNode->pSkinVertex[k];
                copy.x = p.x;
                copy.y = p.y;
                copy.z = p.z;
                copy.nx = n.x;
                copy.ny = n.y;
                copy.nz = n.z;
                copy.color = uint(a) << 24 | uint(r) << 16 | uint(g) << 8 | uint(bl);
                copy.u = u;
                copy.v = v;
                qor_sSkinWeight & w = pNode->pSkinWeight[k];
                const uint nInf = corner.m_skin.m_nInfluence < 4 ? corner.m_skin.m_nInfluence : 4;
                for (uint j = 0; j < nInf; ++j)
                {
                    qor_cObject * pBone = m_lObject.get<qor_cObject>(int(corner.m_skin.m_anBone[j]));
                    // Only a bone has a skin matrix to carry the corner with.
                    if (!pBone || pBone->getType() != qor_cObject::e_type_bone)
                        return refuse("skin influence names an object that is not a bone\n");
                    w.aInfluence[j].pBone = static_cast<qor_cBone *>(pBone);
                    w.aInfluence[j].fWeight = corner.m_skin.m_afWeight[j];
                }
            }
        }
        if (!plist->endAdd())
            return refuse("plist->endAdd()\n");
        if (sData.m_bSkinned)
            pMesh->finishSkin(b);
        qor_cMaterial * pMat = getMaterial(bound.m_szMaterial);
        if (!pMat)
        {
            QOR_LOG_LOCATION();
            qoru_logError("%s", szSig);
            qoru_logError("\t\tname:<%s> impossible a trouver dans la scene\n", bound.m_szMaterial);
            logWhere(sData.m_chunk);
            return false;
        }
        pMesh->setNode(b, plist, pMat, true, bound.m_nFaceCount);
    }
    return true;
}

bool qor_cScene::extractPolygons(const qor_sPolygons & sPool)
{
    m_nPoolFaces += sPool.m_aFace.getCount();
    return true;
}

// ----- morph

bool qor_cScene::extractMorph(const qor_sMorph & sMorph)
{
    cchar * szSig = "bool qor_cScene::extractMorph(const qor_sMorph & sMorph)\n";
    qor_cMesh * pMesh = m_meshNames.find<qor_cMesh>(m_lMesh, sMorph.m_szName);
    if (!pMesh)
    {
        QOR_LOG_LOCATION();
        qoru_logError("%s", szSig);
        qoru_logError("morphed mesh <%s> not found\n", sMorph.m_szName);
        logWhere(sMorph.m_chunk);
        return false;
    }
    qor_cMorph * pMorph = pMesh->createMorph();
    if (!pMorph)
        return false;
    for (uint t = 0; t < sMorph.m_nTarget; ++t)
    {
        const qor_sS3dMorphTarget target = sMorph.getTarget(t);
        qor_cMesh * pTarget = m_meshNames.find<qor_cMesh>(m_lMesh, target.m_szName);
        if (!pTarget)
        {
            QOR_LOG_LOCATION();
            qoru_logError("%s", szSig);
            qoru_logError("target <%u> mesh <%s> not found\n", t, target.m_szName);
            logWhere(sMorph.m_chunk);
            return false;
        }
        qor_cTargetLinearController * pCtrl = new (std::nothrow) qor_cTargetLinearController;
        if (!pCtrl)
            return false;
        pCtrl->setTarget(pTarget);
        if (!pMorph->addController(pCtrl))
        {
            delete pCtrl;
            return false;
        }
        // Ticks of 1/160 frame unit; weights in percent. A key not after the last one kept is
        // dropped, so the track's times always increase.
        bool bHasKey = false;
        float fLast = 0.0f;
        for (uint k = 0; k < target.m_aKey.getCount(); ++k)
        {
            const qor_sS3dMorphKey mk = target.m_aKey.at(k);
            const float fTime = mk.m_fTicks * 0.00625f;
            if (bHasKey && !(fTime > fLast))
                continue;
            float w = mk.m_fPercent * 0.01f;
            w = w < 0.0f ? 0.0f : (w > 1.0f ? 1.0f : w);
            qor_cKey * pKey = new (std::nothrow) qor_cLinearKey(1);
            if (!pKey)
                return false;
            pKey->m_fTime = fTime;
            pKey->m_afValue[0] = w;
            if (!pCtrl->addKey(pKey, true))
            {
                delete pKey;
                return false;
            }
            bHasKey = true;
            fLast = fTime;
        }
        if (bHasKey && !pCtrl->initKeyArray())
            return false;
    }
    return pMorph->initResults();
}
