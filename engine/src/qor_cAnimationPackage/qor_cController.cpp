#include "qor_cController.h"

#include "qor_cErrorHandler.h"

#include <new>

qor_cController::qor_cController(qor_cKey::EType eType)
    : m_ppKeys(nullptr), m_nKeyArray(0), m_bSortedArray(true), m_lKey(), m_eType(eType)
{
}

qor_cController::~qor_cController() { delete[] m_ppKeys; }

qor_cController * qor_cController::create(qor_cKey::EType eType)
{
    switch (eType)
    {
    case qor_cKey::e_key_linear:
        return new (std::nothrow) qor_cLinearController;
    case qor_cKey::e_key_smooth:
        return new (std::nothrow) qor_cSmoothController;
    case qor_cKey::e_key_hermite:
        return new (std::nothrow) qor_cHermiteController;
    case qor_cKey::e_key_tcb:
        return new (std::nothrow) qor_cTcbController;
    case qor_cKey::e_key_step:
        return new (std::nothrow) qor_cStepController;
    }
    return nullptr;
}

bool qor_cController::initKeyArray()
{
    const int nKeys = getNbKeys();
    qor_cKey ** ppKeys = new (std::nothrow) qor_cKey *[nKeys > 0 ? nKeys : 1];
    if (!ppKeys)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cController::initKeyArray(void)\n");
        QOR_LOG_LOCATION();
        qoru_logError("m_ppKeys = new qor_cKey*[getNbKeys()<%d>];\n", nKeys);
        return false;
    }
    bool bSorted = true;
    for (int i = 0; i < nKeys; ++i)
    {
        ppKeys[i] = getKey(i);
        if (i > 0 && !(ppKeys[i - 1]->m_fTime <= ppKeys[i]->m_fTime))
            bSorted = false;
    }
    delete[] m_ppKeys;
    m_ppKeys = ppKeys;
    m_nKeyArray = nKeys;
    m_bSortedArray = bSorted;
    return true;
}

void qor_cSegmentController::evaluate(float t, qor_cKey * pOut)
{
    // 1. Build the table at the first evaluation (a controller without keys has nothing to build).
    if (!m_ppKeys && (getNbKeys() == 0 || !initKeyArray()))
        return;
    const int n = m_nKeyArray;
    qor_cKey * const * k = m_ppKeys;
    if (n <= 0)
        return;
    // 2. One key; 3. outside the range: copy the end key.
    if (n == 1 || t < k[0]->m_fTime)
    {
        pOut->copyFrom(*k[0]);
        return;
    }
    if (t > k[n - 1]->m_fTime)
    {
        pOut->copyFrom(*k[n - 1]);
        return;
    }
    // 4. Binary search; an exact hit on a probed key copies it. The loop body runs at least once
    //    ("repeat until"), so with two keys t equal to the first key's time copies that key.
    int lo = 0, hi = n - 1;
    do
    {
        const int mid = (lo + hi) / 2;
        if (t == k[mid]->m_fTime)
        {
            pOut->copyFrom(*k[mid]);
            return;
        }
        if (t < k[mid]->m_fTime)
            hi = mid;
        else
            lo = mid;
    } while (hi - lo > 1);
    // 5. The segment parameter.
    const float d = k[lo + 1]->m_fTime - k[lo]->m_fTime;
    const float s = (d == 0.0f) ? 0.0f : (t - k[lo]->m_fTime) / d;
    // 6. The method writes the values; pOut keeps its time, n and type.
    interpolate(lo, s, pOut);
}

namespace
{
struct HermiteBasis
{
    float h00, h01, h10, h11;
    explicit HermiteBasis(float s)
    {
        const float s2 = s * s, s3 = s2 * s;
        h01 = 3.0f * s2 - 2.0f * s3;
        h00 = 1.0f - h01;
        h10 = s3 - 2.0f * s2 + s;
        h11 = s3 - s2;
    }
    float operator()(float p0, float p1, float m0, float m1) const { return p0 * h00 + p1 * h01 + m0 * h10 + m1 * h11; }
};

// d over a neighbouring span; 0 for a span of 0 (keys with equal times).
float spanFactor(float d, float fSpan) { return fSpan == 0.0f ? 0.0f : d / fSpan; }

// The keys around a segment: k[i-1] and k[i+2] are null where they do not exist.
struct Neighbours
{
    const qor_cKey *pPrev, *p0, *p1, *pNext;
    float d, f0, f1;
    Neighbours(qor_cKey * const * k, int n, int i)
        : pPrev(i > 0 ? k[i - 1] : nullptr), p0(k[i]), p1(k[i + 1]), pNext(i + 2 < n ? k[i + 2] : nullptr),
          d(p1->m_fTime - p0->m_fTime), f0(pPrev ? spanFactor(d, p1->m_fTime - pPrev->m_fTime) : 0.0f),
          f1(pNext ? spanFactor(d, pNext->m_fTime - p0->m_fTime) : 0.0f)
    {
    }
};
} // namespace

void qor_cLinearController::interpolate(int i, float s, qor_cKey * pOut) const
{
    const qor_cKey & k0 = *m_ppKeys[i];
    const qor_cKey & k1 = *m_ppKeys[i + 1];
    for (uint c = 0, n = nbValues(k0); c < n; ++c)
        pOut->m_afValue[c] = k0.m_afValue[c] + s * (k1.m_afValue[c] - k0.m_afValue[c]);
}

void qor_cSmoothController::interpolate(int i, float s, qor_cKey * pOut) const
{
    const Neighbours nb(m_ppKeys, m_nKeyArray, i);
    const HermiteBasis h(s);
    for (uint c = 0, n = nbValues(*nb.p0); c < n; ++c)
    {
        const float p0 = nb.p0->m_afValue[c], p1 = nb.p1->m_afValue[c];
        const float m0 = nb.pPrev ? (p1 - nb.pPrev->m_afValue[c]) * nb.f0 : p1 - p0;
        const float m1 = nb.pNext ? (nb.pNext->m_afValue[c] - p0) * nb.f1 : p1 - p0;
        pOut->m_afValue[c] = h(p0, p1, m0, m1);
    }
}

void qor_cHermiteController::interpolate(int i, float s, qor_cKey * pOut) const
{
    const qor_cKey & k0 = *m_ppKeys[i];
    const qor_cKey & k1 = *m_ppKeys[i + 1];
    const qor_cSmoothKey * pT0 = dynamic_cast<const qor_cSmoothKey *>(&k0);
    const qor_cSmoothKey * pT1 = dynamic_cast<const qor_cSmoothKey *>(&k1);
    for (uint c = 0, n = nbValues(k0); c < n; ++c)
    {
        const float p0 = k0.m_afValue[c], p1 = k1.m_afValue[c];
        const float g0 = pT0 ? pT0->m_afTangent[c] : 0.0f;
        const float g1 = pT1 ? pT1->m_afTangent[c] : 0.0f;
        const float a3 = 2.0f * p0 - 2.0f * p1 + g0 + g1;
        const float a2 = 3.0f * p1 - 3.0f * p0 - 2.0f * g0 - g1;
        pOut->m_afValue[c] = ((a3 * s + a2) * s + g0) * s + p0;
    }
}

void qor_cTcbController::interpolate(int i, float s, qor_cKey * pOut) const
{
    const Neighbours nb(m_ppKeys, m_nKeyArray, i);
    const qor_cTcbKey * pK0 = dynamic_cast<const qor_cTcbKey *>(nb.p0);
    const qor_cTcbKey * pK1 = dynamic_cast<const qor_cTcbKey *>(nb.p1);
    const float fT0 = pK0 ? pK0->m_fTension : 0.0f, fC0 = pK0 ? pK0->m_fContinuity : 0.0f;
    const float fB0 = pK0 ? pK0->m_fBias : 0.0f;
    const float fT1 = pK1 ? pK1->m_fTension : 0.0f, fC1 = pK1 ? pK1->m_fContinuity : 0.0f;
    const float fB1 = pK1 ? pK1->m_fBias : 0.0f;
    // The start key weighs its incoming difference by (1 + c)(1 + b), the end key its incoming
    // difference by (1 - c)(1 + b): the engine's own factors, which exported data is tuned to.
    const float a0 = (1.0f - fT0) * (1.0f + fC0) * (1.0f + fB0);
    const float d0 = (1.0f - fT0) * (1.0f - fC0) * (1.0f - fB0);
    const float a1 = (1.0f - fT1) * (1.0f - fC1) * (1.0f + fB1);
    const float d1 = (1.0f - fT1) * (1.0f + fC1) * (1.0f - fB1);
    const HermiteBasis h(s);
    for (uint c = 0, n = nbValues(*pOut); c < n; ++c)
    {
        const float p0 = nb.p0->m_afValue[c], p1 = nb.p1->m_afValue[c];
        const float m0 =
            nb.pPrev ? ((p0 - nb.pPrev->m_afValue[c]) * a0 + (p1 - p0) * d0) * nb.f0 : 0.5f * (a0 + d0) * (p1 - p0);
        const float m1 =
            nb.pNext ? ((p1 - p0) * a1 + (nb.pNext->m_afValue[c] - p1) * d1) * nb.f1 : 0.5f * (a1 + d1) * (p1 - p0);
        pOut->m_afValue[c] = h(p0, p1, m0, m1);
    }
}

void qor_cStepController::evaluate(float t, qor_cKey * pOut)
{
    if (!m_ppKeys || m_nKeyArray <= 0)
        return;
    qor_cKey * const * k = m_ppKeys;
    const int n = m_nKeyArray;
    // The last key of the walk "from the first key while k.time <= t". On a table whose times
    // never decrease that is the last key with time <= t, found by bisection.
    int iHeld = 0;
    if (m_bSortedArray)
    {
        int lo = 0, hi = n; // k[lo - 1] <= t < k[hi] (in the walk's terms)
        while (lo < hi)
        {
            const int mid = (lo + hi) / 2;
            if (k[mid]->m_fTime <= t)
                lo = mid + 1;
            else
                hi = mid;
        }
        iHeld = lo - 1;
    }
    else
    {
        iHeld = -1;
        while (iHeld + 1 < n && k[iHeld + 1]->m_fTime <= t)
            ++iHeld;
    }
    // Before the first key (no key reached): hold the first key.
    const qor_cKey & key = *k[iHeld < 0 ? 0 : iHeld];
    pOut->m_fTime = key.m_fTime;
    for (uint c = 0, nv = nbValues(key); c < nv; ++c)
        pOut->m_afValue[c] = key.m_afValue[c];
}
