#include "qor_cMesh.h"

#include "qor_cDisp.h"
#include "qor_cMaterial.h"
#include "qor_cTriMesh.h"
#include "qor_cXChange.h"

#include <new>

qor_cMesh::qor_cMesh() : qor_cObject(e_type_mesh), m_uTriMesh(0), m_pTriMesh(nullptr), m_pMorph(nullptr) {}

qor_cMesh::~qor_cMesh()
{
    delete m_pMorph;
}

void qor_cMesh::update(cfloat * pDt)
{
    if (isUpdated())
        return;
    qor_cObject::update(pDt);
    if (m_pMorph)
        m_pMorph->advance(pDt);
}

void qor_cMesh::rewind()
{
    qor_cObject::rewind();
    if (m_pMorph)
        m_pMorph->reset();
}

qor_cMorph * qor_cMesh::createMorph()
{
    delete m_pMorph;
    m_pMorph = new (std::nothrow) qor_cMorph;
    return m_pMorph;
}

void qor_cMesh::applyMorph()
{
    m_pMorph->evaluate();
    bool bReset = true;
    for (int t = 0; t < m_pMorph->getNbResults(); ++t)
    {
        const qor_sMorphResult * r = m_pMorph->getResult(t);
        if (r->fWeight == 0.0f || !r->pTarget)
            continue;
        const qor_cTriMesh * pTarget = static_cast<qor_cMesh *>(r->pTarget)->getTriMesh();
        if (!pTarget)
            continue;
        for (uint i = 0; i < m_pTriMesh->getNbNode(); ++i)
        {
            qor_sTriMeshNode * n = m_pTriMesh->getNode(i);
            const qor_sTriMeshNode * tn = pTarget->getNode(i);
            // Blending needs the same corners on both sides.
            if (!n->pList || !tn || !tn->pList || tn->nTriangle != n->nTriangle)
                continue;
            n->pList->morph(tn->pList, r->fWeight, bReset);
        }
        bReset = false;
    }
}

void qor_cMesh::render()
{
    qor_cDisp * pDisp = QOR_DISP();
    if (!pDisp || !m_pTriMesh)
        return;
    if (!pDisp->isVisible(m_worldSphere.m_vCenter, m_worldSphere.m_fRadius) || getVisibility() == 0.0f)
        return;
    if (m_pMorph)
        applyMorph();
    pDisp->setMatrix(qorrs_ts_world, &m_world);
    qor_cMatrix identity;
    for (uint i = 0; i < m_pTriMesh->getNbNode(); ++i)
    {
        qor_sTriMeshNode * n = m_pTriMesh->getNode(i);
        if (!n->pList || !n->pMaterial)
            continue;
        if (n->pSkinWeight)
        {
            // Skinned positions are already in world space.
            m_pTriMesh->skinNode(i);
            pDisp->setMatrix(qorrs_ts_world, &identity);
        }
        for (uint p = 0; p < n->pMaterial->getNbPass(); ++p)
        {
            n->pMaterial->usePass(p);
            n->pList->draw();
        }
    }
}
