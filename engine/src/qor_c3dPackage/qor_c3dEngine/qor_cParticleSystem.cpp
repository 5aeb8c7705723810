#include "qor_cParticleSystem.h"

#include "qor_cDisp.h"
#include "qor_cErrorHandler.h"
#include "qor_cMaterial.h"
#include "qor_cXChange.h"

#include <new>

qor_cParticleSystem::qor_cParticleSystem()
    : qor_cObject(e_type_particleSystem), m_nParticle(0), m_pParticle(nullptr), m_params(), m_bStarted(true),
      m_bInitialised(true), m_pList(nullptr), m_pMaterial(nullptr), m_nIndex(0), m_uRand(0), m_bRandSeeded(false)
{
    m_pList = qor_cTriList::create();
}

qor_cParticleSystem::~qor_cParticleSystem()
{
    delete[] m_pParticle;
    delete m_pList;
}

bool qor_cParticleSystem::createParticle(uint n)
{
    delete[] m_pParticle;
    m_pParticle = nullptr;
    m_nParticle = 0;
    if (n > kMaxParticle)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cParticleSystem::createParticle(uint n<%d>)\n", int(n));
        qoru_logError("n > %u\n", kMaxParticle);
        return false;
    }
    if (n == 0)
        return true;
    m_pParticle = new (std::nothrow) cParticle[n]();
    if (!m_pParticle)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cParticleSystem::createParticle(uint n<%d>)\n", int(n));
        qoru_logError("m_pParticle = new cParticle[n];\n");
        return false;
    }
    m_nParticle = n;
    return true;
}

void qor_cParticleSystem::setParams(const sParams & params)
{
    m_params = params;
    m_bStarted = !m_params.bStream;
    m_bInitialised = !m_params.bOneShot;
}

void qor_cParticleSystem::setMaterial(qor_cMaterial * pMaterial)
{
    m_pMaterial = pMaterial;
    if (!pMaterial)
        return;
    qor_cMatProp & prop = pMaterial->getProp();
    prop.setSources(prop.getDiffuseSrc(), prop.getAmbientSrc(), prop.getSpecularSrc(), qorrs_matsrc_color1);
    qor_cEffect * pEffect = pMaterial->getEffect();
    qor_cEffectPass * pPass = pEffect ? pEffect->getPass(0) : nullptr;
    qor_cEffectStage * pStage = pPass ? pPass->getStage(0) : nullptr;
    if (pStage)
    {
        pStage->setColorCombiner(qorrs_texarg_diffuse, qorrs_texop_modulate, qorrs_texarg_texture);
        pStage->setAlphaCombiner(qorrs_texarg_diffuse, qorrs_texop_modulate, qorrs_texarg_texture);
    }
}

void qor_cParticleSystem::rewind()
{
    qor_cObject::rewind();
    m_bStarted = !m_params.bStream;
    m_bInitialised = !m_params.bOneShot;
    m_bRandSeeded = false;
}

void qor_cParticleSystem::setIndex(uint nIndex)
{
    m_nIndex = nIndex;
    m_bRandSeeded = false;
}

uint32_t qor_cParticleSystem::getSeed() const
{
    // FNV-1a over the name, its end, then the index's four bytes.
    uint32_t h = 2166136261u;
    const auto mix = [&h](uint8_t c) { h = (h ^ c) * 16777619u; };
    for (cchar * sz = getName(); sz && *sz; ++sz)
        mix(uint8_t(*sz));
    mix(0);
    for (int i = 0; i < 4; ++i)
        mix(uint8_t(m_nIndex >> (8 * i)));
    return h;
}

float qor_cParticleSystem::randRange(float a, float b)
{
    if (!m_bRandSeeded)
    {
        m_uRand = getSeed();
        m_bRandSeeded = true;
    }
    m_uRand = m_uRand * 214013u + 2531011u;
    const uint32_t r = (m_uRand >> 16) & 0x7fff;
    return a + static_cast<float>(r) * (1.0f / 32767.0f) * (b - a);
}

void qor_cParticleSystem::spread()
{
    if (m_nParticle > 0)
    {
        const float fMax = m_params.fLifeBase + m_params.fLifeRange;
        float fLargest = -fMax;
        for (uint i = 0; i < m_nParticle; ++i)
        {
            m_pParticle[i].fLife = -randRange(0.0f, fMax);
            if (m_pParticle[i].fLife > fLargest)
                fLargest = m_pParticle[i].fLife;
        }
        // The latest-waiting particle goes at once, the others over one maximum lifetime.
        for (uint i = 0; i < m_nParticle; ++i)
            m_pParticle[i].fLife -= fLargest;
    }
    m_bStarted = true;
    m_bInitialised = true;
}

void qor_cParticleSystem::emit(cParticle & p)
{
    if (!m_params.bVisibilityHides && getVisibility() == 0.0f)
    {
        // Invisible size until the system shows again; the particle keeps cycling.
        p.fSize = 0.0f;
        p.fSizeStep = 0.0f;
        return;
    }
    p.fLife = m_params.fLifeBase + randRange(0.0f, m_params.fLifeRange);
    const qor_cVector3 & b = m_params.vBox;
    // One draw a statement: the draws go x, y, z whatever order a compiler evaluates arguments in.
    qor_cVector3 local;
    local.x = randRange(-b.x, b.x);
    local.y = randRange(-b.y, b.y);
    local.z = randRange(-b.z, b.z);
    p.vPosition = m_world.transform(local);
    const qor_cVector3 & r = m_params.vVelocityRange;
    qor_cVector3 vel = m_params.vVelocity;
    vel.x += randRange(-r.x, r.x);
    vel.y += randRange(-r.y, r.y);
    vel.z += randRange(-r.z, r.z);
    qor_cMatrix rot = m_world;
    rot.setTranslation(0.0f, 0.0f, 0.0f);
    p.vVelocity = rot.transform(vel);
    // A life of 0 would divide by zero: such a particle simply keeps its start values.
    const float fInv = p.fLife > 0.0f ? 1.0f / p.fLife : 0.0f;
    p.color = m_params.startColor;
    p.colorStep.set((m_params.endColor.r - p.color.r) * fInv, (m_params.endColor.g - p.color.g) * fInv,
                    (m_params.endColor.b - p.color.b) * fInv, (m_params.endColor.a - p.color.a) * fInv);
    p.fSize = m_params.fStartSize + randRange(0.0f, m_params.fStartSizeRange);
    const float fEnd = m_params.fEndSize + randRange(0.0f, m_params.fEndSizeRange);
    p.fSizeStep = (fEnd - p.fSize) * fInv;
}

void qor_cParticleSystem::update(cfloat * pDt)
{
    qor_cObject::update(pDt);
    const float dt = *pDt;

    if (!m_bInitialised)
    {
        if (getVisibility() == 0.0f)
            return;
        if (m_bStarted)
        {
            for (uint i = 0; i < m_nParticle; ++i)
                m_pParticle[i].fLife = -1.0f;
            m_bInitialised = true;
        }
        else
            spread();
    }
    else if (!m_bStarted)
    {
        if (getVisibility() == 0.0f)
            return;
        spread();
    }

    for (uint i = 0; i < m_nParticle; ++i)
    {
        cParticle & p = m_pParticle[i];
        if (p.fLife >= 0.0f)
        {
            p.vPosition += p.vVelocity * dt;
            p.vVelocity += m_params.vAcceleration * dt;
            p.color.set(p.color.r + p.colorStep.r * dt, p.color.g + p.colorStep.g * dt,
                        p.color.b + p.colorStep.b * dt, p.color.a + p.colorStep.a * dt);
            p.fSize += p.fSizeStep * dt;
            p.fLife -= dt;
            if (p.fLife < 0.0f)
            {
                if (m_params.bOneShot)
                    p.fLife = 0.0f;
                else
                    emit(p);
            }
        }
        else
        {
            p.fLife += dt;
            if (p.fLife >= 0.0f)
                emit(p);
        }
    }
}

void qor_cParticleSystem::render()
{
    qor_cDisp * pDisp = QOR_DISP();
    if (!pDisp || !m_pList || !m_pMaterial)
        return;
    if (m_params.bVisibilityHides && getVisibility() == 0.0f)
        return;
    qor_cMatrix identity;
    pDisp->setMatrix(qorrs_ts_world, &identity);
    if (!m_pList->startAddPoint(m_nParticle))
        return;
    for (uint i = 0; i < m_nParticle; ++i)
    {
        const cParticle & p = m_pParticle[i];
        if (p.fLife > 0.0f)
            m_pList->addPoint(p.vPosition.x, p.vPosition.y, p.vPosition.z, p.fSize, p.color.getARGB());
    }
    m_pList->endAddPoint();
    // Sprites write no depth: a pass sets its own depth write, so it is switched off after each
    // one. Otherwise an opaque or alpha-blended spark material would stamp its whole quad,
    // transparent corners included, into the depth buffer, and whatever is drawn after it
    // farther away (the sparks behind, a layer over the scene) would be cut out there.
    for (uint i = 0; i < m_pMaterial->getNbPass(); ++i)
    {
        m_pMaterial->usePass(i);
        pDisp->enableZWrite(false);
        m_pList->drawPoints();
    }
    pDisp->enableZWrite(true);
}
