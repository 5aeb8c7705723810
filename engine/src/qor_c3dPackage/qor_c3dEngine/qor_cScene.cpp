#include "qor_cScene.h"

#include "qor_cBone.h"
#include "qor_cCamera.h"
#include "qor_cDisp.h"
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
#include "tz_cChunkedFile.h"

#include <cstring>

qor_cScene * qor_cScene::s_pCurrent = nullptr;

qor_cScene::qor_cScene()
    : m_nPoolFaces(0), m_nBuiltFaces(0), m_nParticles(0), m_pChunkedFile(nullptr), m_auAnimInfo{0, 0, 0},
      m_pFog(nullptr), m_ambient(0.0f, 0.0f, 0.0f, 0.0f),
      m_background(0.0f, 0.0f, 0.0f, 0.0f), m_afViewport{0.0f, 0.0f, 1.0f, 1.0f, 0.0f, 1.0f}, m_apScene{}, m_nScene(0),
      m_hRenderTarget(QOR_NULL_TEXTURE), m_bLightsDropped(false)
{
    float * v = m_sceneTrack.m_key.m_afValue;
    v[0] = 0.0f;
    v[1] = 0.0f;
    v[2] = 1.0f;
    v[3] = 1.0f;
}

qor_cScene::~qor_cScene()
{
    if (s_pCurrent == this)
        s_pCurrent = nullptr;
    m_lObject.clear();
    m_lGizmoCylinder.clear();
    m_lGizmoBox.clear();
    m_lGizmoSphere.clear();
    m_lDummy.clear();
    m_lBone.clear();
    m_lOmniLight.clear();
    m_lTarget.clear();
    m_lCamera.clear();
    m_lParticleSystem.clear();
    m_lMaterial.clear();
    m_lTexture.clear();
    m_lTriMesh.clear();
    m_lMesh.clear();
    delete m_pFog;
    m_pFog = nullptr;
    delete m_pChunkedFile;
}

bool qor_cScene::init()
{
    return true;
}

// ----- look-ups

int qor_cNameIndex::findIndex(const qor_cList & list, cchar * szName, pfnName pfn) const
{
    if (!szName)
        return -1;
    const int nCount = list.getNbItem();
    if (nCount < m_nIndexed)
    {
        m_first.clear();
        m_nIndexed = 0;
    }
    for (; m_nIndexed < nCount; ++m_nIndexed)
        if (void * p = list.getItem(m_nIndexed))
            m_first.try_emplace(pfn(p), m_nIndexed); // an earlier item of the same name stays
    const auto it = m_first.find(szName);
    if (it == m_first.end())
        return -1;
    if (std::strcmp(pfn(list.getItem(it->second)), szName) == 0)
        return it->second;
    // Renamed since it was listed: search the list itself, and index it afresh next time.
    m_first.clear();
    m_nIndexed = 0;
    for (int i = 0; i < nCount; ++i)
        if (void * p = list.getItem(i); p && std::strcmp(pfn(p), szName) == 0)
            return i;
    return -1;
}

qor_cObject * qor_cScene::getObject(cchar * szName) const
{
    return m_objectNames.find<qor_cObject>(m_lObject, szName);
}

qor_cObject * qor_cScene::getObject(int iTarget) const
{
    return m_lTarget.get<qor_cObject>(iTarget);
}

qor_cMaterial * qor_cScene::getMaterialByName(cchar * szName) const
{
    return m_materialNames.find<qor_cMaterial>(m_lMaterial, szName);
}

qor_cTexture * qor_cScene::getTexture(cchar * szName) const
{
    return m_textureNames.find<qor_cTexture>(m_lTexture, szName);
}

namespace
{
// The material script runner: qor_cMaterial::loadFromScript(name, scene) where the script
// machine's material natives are built in; without them no script can run.
template <typename M> bool runMaterialScript(M * pMat, cchar * szScript, qor_cScene * pScene)
{
    if constexpr (requires { pMat->loadFromScript(szScript, pScene); })
        return pMat->loadFromScript(szScript, pScene);
    else
    {
        (void)pMat;
        (void)szScript;
        (void)pScene;
        return false;
    }
}
} // namespace

bool qor_cScene::modifyMaterial(cchar * szMaterialName, cchar * szMaterialScript)
{
    qor_cMaterial * pMat = getMaterialByName(szMaterialName);
    if (!pMat)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cScene::modifyMaterial(cchar * szMaterialName<%s>, cchar * szMaterialScript<%s>)\n",
                      szMaterialName ? szMaterialName : "", szMaterialScript ? szMaterialScript : "");
        qoru_logError("qor_cMaterial * pMat = getMaterialByName(szMaterialName);\n");
        qoru_logError("Material impossible a trouver dans la scene\n");
        return false;
    }
    const bool bRet = runMaterialScript(pMat, szMaterialScript, this);
    if (!bRet)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cScene::modifyMaterial(cchar * szMaterialName<%s>, cchar * szMaterialScript<%s>)\n",
                      szMaterialName, szMaterialScript ? szMaterialScript : "");
        qoru_logError("bool bRet = pMat->loadFromScript(szMaterialScript);\n");
        qoru_logError("Echec dans l'execution du script\n");
        return false;
    }
    return true;
}

// ----- adding

bool qor_cScene::addTexture(qor_cTexture * pTexture, bool bOwner)
{
    bool b = m_lTexture.add(pTexture, bOwner);
    if (!b)
    {
        QOR_LOG_LOCATION();
        qoru_logError("_i bool qor_cScene::addTexture(qor_cTexture * pTexture, bool bOwner)\n");
        qoru_logError("bool b = m_lTexture.add(pTexture, bOwner);\n");
    }
    return b;
}

bool qor_cScene::addMesh(qor_cMesh * pMesh, bool bOwner)
{
    return m_lMesh.add(pMesh, bOwner);
}

bool qor_cScene::addObject(qor_cObject * pObject, bool bOwner)
{
    return m_lObject.add(pObject, bOwner);
}

bool qor_cScene::addParticleSystem(qor_cParticleSystem * pSystem, bool bOwner)
{
    // Its place among the scene's systems is part of the seed of its random draws.
    if (pSystem)
        pSystem->setIndex(uint(m_lParticleSystem.getNbItem()));
    return m_lParticleSystem.add(pSystem, bOwner);
}

bool qor_cScene::addTriMesh(qor_cTriMesh * pTriMesh, bool bOwner)
{
    return m_lTriMesh.add(pTriMesh, bOwner);
}

bool qor_cScene::addMaterial(qor_cMaterial * pMaterial, bool bOwner)
{
    return m_lMaterial.add(pMaterial, bOwner);
}

bool qor_cScene::add(qor_cObject * pObject, bool bOwner)
{
    if (!pObject)
        return false;
    // Each list deletes its entries as the class they were added as.
    switch (pObject->getType())
    {
    case qor_cObject::e_type_camera:
    case qor_cObject::e_type_cameraTarget:
        return m_lCamera.add(static_cast<qor_cCamera *>(pObject), bOwner);
    case qor_cObject::e_type_mesh:
        return m_lMesh.add(static_cast<qor_cMesh *>(pObject), bOwner);
    case qor_cObject::e_type_omniLight:
        return m_lOmniLight.add(static_cast<qor_cOmniLight *>(pObject), bOwner);
    case qor_cObject::e_type_bone:
        return m_lBone.add(static_cast<qor_cBone *>(pObject), bOwner);
    case qor_cObject::e_type_dummy:
        return m_lDummy.add(static_cast<qor_cDummy *>(pObject), bOwner);
    case qor_cObject::e_type_gizmoSphere:
        return m_lGizmoSphere.add(static_cast<qor_cGizmoSphere *>(pObject), bOwner);
    case qor_cObject::e_type_gizmoBox:
        return m_lGizmoBox.add(static_cast<qor_cGizmoBox *>(pObject), bOwner);
    case qor_cObject::e_type_gizmoCylinder:
        return m_lGizmoCylinder.add(static_cast<qor_cGizmoCylinder *>(pObject), bOwner);
    case qor_cObject::e_type_particleSystem:
        return addParticleSystem(static_cast<qor_cParticleSystem *>(pObject), bOwner);
    case qor_cObject::e_type_target:
        return m_lTarget.add(pObject, bOwner);
    default:
        return false;
    }
}

bool qor_cScene::addScene(qor_cScene * pScene)
{
    if (m_nScene >= e_maxScene)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cLayer::addScene(qor_cScene * pScene)\nImpossible de creer plus de layer additionnel, "
                      "slot max=%d\n",
                      int(e_maxScene));
        return false;
    }
    m_apScene[m_nScene++] = pScene;
    return true;
}

void qor_cScene::setFog(qor_cFog * pFog)
{
    if (pFog != m_pFog)
        delete m_pFog;
    m_pFog = pFog;
    if (m_pFog)
        m_background = m_pFog->getColor();
}

// ----- frame

void qor_cScene::clearUpdatedFlags()
{
    for (int i = 0; i < m_lObject.getNbItem(); ++i)
        m_lObject.get<qor_cObject>(i)->clearUpdated();
}

void qor_cScene::update(cfloat * pDt)
{
    clearUpdatedFlags();
    for (uint i = 0; i < m_nScene; ++i)
        m_apScene[i]->update(pDt);
    for (int i = 0; i < m_lParticleSystem.getNbItem(); ++i)
        m_lParticleSystem.get<qor_cParticleSystem>(i)->update(pDt);
    for (int i = 0; i < m_lMaterial.getNbItem(); ++i)
        m_lMaterial.get<qor_cMaterial>(i)->update(pDt);
    for (int i = 0; i < m_lTexture.getNbItem(); ++i)
        m_lTexture.get<qor_cTexture>(i)->update(pDt);
    for (int i = 0; i < m_lObject.getNbItem(); ++i)
        m_lObject.get<qor_cObject>(i)->update(pDt);
    m_sceneTrack.advance(pDt);
}

void qor_cScene::rewind()
{
    for (uint i = 0; i < m_nScene; ++i)
        m_apScene[i]->rewind();
    for (int i = 0; i < m_lMaterial.getNbItem(); ++i)
        m_lMaterial.get<qor_cMaterial>(i)->reset();
    for (int i = 0; i < m_lTexture.getNbItem(); ++i)
    {
        qor_cTexture * p = m_lTexture.get<qor_cTexture>(i);
        p->frameTrack().rewind();
    }
    for (int i = 0; i < m_lObject.getNbItem(); ++i)
        m_lObject.get<qor_cObject>(i)->rewind();
    m_sceneTrack.rewind();
}

void qor_cScene::renderAdditionalScenes()
{
    qor_cDisp * pDisp = QOR_DISP();
    if (!pDisp)
        return;
    for (uint i = 0; i < m_nScene; ++i)
    {
        qor_cScene * p = m_apScene[i];
        pDisp->setTextureAsRenderTarget(p->getRenderTarget());
        pDisp->beginScene();
        pDisp->clear(QOR_CLEAR_TARGET | QOR_CLEAR_ZBUFFER);
        p->render();
        pDisp->endScene();
    }
}

void qor_cScene::setupCamera(qor_cCamera * pCamera)
{
    qor_cDisp * pDisp = QOR_DISP();
    pCamera->evaluate();

    const qor_cVector3 eye = pCamera->m_vPosition;
    qor_cMatrix roll;
    roll.setRotationZ(pCamera->getRoll());
    qor_cVector3 up = roll.transform(qor_cVector3(0.0f, 1.0f, 0.0f));

    qor_cVector3 at;
    if (pCamera->getTarget())
        at = pCamera->getTarget()->m_vPosition;
    else
    {
        qor_cMatrix rot;
        rot.setRotation(pCamera->m_qRotation);
        at = eye + rot.transform(qor_cVector3(0.0f, -1.0f, 0.0f));
    }
    qor_cMatrix view;
    view.setLookAtLH(eye, at, up);
    pDisp->setMatrix(qorrs_ts_view, &view);

    // Always a 4:3 picture, whatever the screen.
    qor_cMatrix proj;
    proj.setPerspective(640.0f, 480.0f, pCamera->getFov(), 1.0f, pCamera->getFar());
    pDisp->setMatrix(qorrs_ts_projection, &proj);

    pDisp->setFogRange(pCamera->getRangeStart(), pCamera->getFar());
}

void qor_cScene::chooseLights(qor_cMesh * pMesh)
{
    qor_cDisp * pDisp = QOR_DISP();
    const qor_cVector3 & centre = pMesh->getWorldSphere().m_vCenter;
    // The nearest e_maxDrawLights lights in range, kept sorted by squared distance to the centre;
    // a light as near as one already kept comes after it, so ties go to the earlier light.
    qor_cOmniLight * apNear[e_maxDrawLights];
    float afDist[e_maxDrawLights];
    uint nNear = 0, nInRange = 0;
    for (int i = 0; i < m_lOmniLight.getNbItem(); ++i)
    {
        qor_cOmniLight * pLight = m_lOmniLight.get<qor_cOmniLight>(i);
        const qor_cLight & l = pLight->light();
        // Only the centre counts: a light reaching part of the mesh but not its centre is left out.
        if (l.m_sphere.isPointOutside(centre))
            continue;
        ++nInRange;
        const qor_cVector3 d = pLight->m_vPosition - centre;
        const float fDist = d.x * d.x + d.y * d.y + d.z * d.z;
        uint j = nNear;
        while (j > 0 && afDist[j - 1] > fDist)
            --j;
        if (j >= e_maxDrawLights)
            continue;
        const uint nLast = nNear < e_maxDrawLights ? nNear : e_maxDrawLights - 1;
        for (uint k = nLast; k > j; --k)
        {
            apNear[k] = apNear[k - 1];
            afDist[k] = afDist[k - 1];
        }
        apNear[j] = pLight;
        afDist[j] = fDist;
        if (nNear < e_maxDrawLights)
            ++nNear;
    }
    // Enabled in list order, so that slots do not change while the order by distance does.
    qor_cLight * apSlot[e_maxDrawLights] = {};
    uint nSlot = 0;
    for (int i = 0; i < m_lOmniLight.getNbItem() && nSlot < nNear; ++i)
    {
        qor_cOmniLight * pLight = m_lOmniLight.get<qor_cOmniLight>(i);
        for (uint k = 0; k < nNear; ++k)
            if (apNear[k] == pLight)
                apSlot[nSlot++] = &pLight->light();
    }
    pDisp->setLights(apSlot, nSlot);
    if (nInRange > nNear && !m_bLightsDropped)
    {
        m_bLightsDropped = true;
        QOR_LOG_LOCATION();
        qoru_logError("void qor_cScene::chooseLights(qor_cMesh * pMesh <%s>)\n",
                      pMesh->getName() ? pMesh->getName() : "");
        qoru_logError("%u lumieres atteignent le mesh, seules les %d plus proches sont allumees\n", nInRange,
                      int(e_maxDrawLights));
    }
}

void qor_cScene::render()
{
    qor_cDisp * pDisp = QOR_DISP();
    if (!pDisp)
        return;
    if (m_pFog)
    {
        pDisp->setFogMode(1);
        m_pFog->apply();
        m_background = m_pFog->getColor();
    }
    else
        pDisp->setFogMode(0);
    pDisp->setAmbientLight(m_ambient.r, m_ambient.g, m_ambient.b, m_ambient.a);
    if (m_pFog)
        pDisp->setClearColor(m_background.r, m_background.g, m_background.b);

    if (m_lCamera.getNbItem() > 0)
        setupCamera(m_lCamera.get<qor_cCamera>(0));

    // Each light is placed once per render; the meshes then only choose among them.
    for (int i = 0; i < m_lOmniLight.getNbItem(); ++i)
    {
        qor_cOmniLight * pLight = m_lOmniLight.get<qor_cOmniLight>(i);
        pLight->evaluate();
        pLight->light().setPosition(pLight->m_vPosition.x, pLight->m_vPosition.y, pLight->m_vPosition.z);
    }
    for (int i = 0; i < m_lMesh.getNbItem(); ++i)
    {
        qor_cMesh * pMesh = m_lMesh.get<qor_cMesh>(i);
        chooseLights(pMesh);
        pMesh->render();
    }
    for (int i = 0; i < m_lParticleSystem.getNbItem(); ++i)
        m_lParticleSystem.get<qor_cParticleSystem>(i)->render();
}
