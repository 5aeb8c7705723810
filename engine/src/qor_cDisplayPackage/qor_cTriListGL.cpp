#include "qor_cTriListGL.h"

#include "qor_cErrorHandler.h"
#include "qor_cGLDevice.h"
#include "qor_cMatrix.h"

#include <cstring>
#include <new>

#if __has_include("qor_cXChange.h")
#include "qor_cXChange.h"
#define QOR_HAS_XCHANGE 1
#endif

namespace
{
qor_cGLDevice * deviceOf()
{
#ifdef QOR_HAS_XCHANGE
    if (QOR_D3DDEVICE())
        return static_cast<qor_cGLDevice *>(QOR_D3DDEVICE());
#endif
    return qor_cGLDevice::current();
}

cchar * recordName(uint uFormat)
{
    return uFormat == QOR_FVF_VERTEX1   ? "// ----- Type qor_sVertex1\n"
           : uFormat == QOR_FVF_VERTEX2 ? "// ----- Type qor_sVertex2\n"
                                        : "// ----- Type qor_sVertex3\n";
}
} // namespace

qor_cTriList * qor_cTriList::create()
{
    qor_cTriList * pList = new (std::nothrow) qor_cTriListGL;
    if (!pList)
    {
        QOR_LOG_LOCATION();
        qoru_logError("qor_cTriList * pList = (qor_cTriList *) new qor_cTriListDX8;\n");
    }
    return pList;
}

qor_cTriListGL::qor_cTriListGL()
    : m_nTriangle(0), m_uMode(0), m_uFlags(0), m_nVertex(0), m_uFormat(0), m_pV1(nullptr), m_pV2(nullptr),
      m_pV3(nullptr), m_bMapped(false), m_pDev(deviceOf()), m_uVbo(0), m_uVao(0), m_uVboBytes(0), m_nCapacity(0),
      m_uColor(0), m_fU(0.0f), m_fV(0.0f), m_pBase(nullptr)
{
    std::memset(m_afPos, 0, sizeof(m_afPos));
    std::memset(m_afPosRHW, 0, sizeof(m_afPosRHW));
    std::memset(m_afNormal, 0, sizeof(m_afNormal));
}

qor_cTriListGL::~qor_cTriListGL()
{
    if (m_bMapped)
        endAddPoint();
    delete[] m_pV1;
    if (!m_bMapped)
        delete[] m_pV2;
    delete[] m_pV3;
    delete m_pBase;
    releaseBuffer();
}

void qor_cTriListGL::setPosition(float x, float y, float z)
{
    m_afPos[0] = x, m_afPos[1] = y, m_afPos[2] = z;
    m_uFlags |= QOR_VF_POSITION;
}

void qor_cTriListGL::setPositionRHW(float x, float y, float z, float rhw)
{
    m_afPosRHW[0] = x, m_afPosRHW[1] = y, m_afPosRHW[2] = z, m_afPosRHW[3] = rhw;
    m_uFlags |= QOR_VF_POSITIONRHW;
}

void qor_cTriListGL::setNormal(float x, float y, float z)
{
    m_afNormal[0] = x, m_afNormal[1] = y, m_afNormal[2] = z;
    m_uFlags |= QOR_VF_NORMAL;
}

void qor_cTriListGL::setColor(uchar r, uchar g, uchar b, uchar a)
{
    m_uColor = (uint(a) << 24) | (uint(r) << 16) | (uint(g) << 8) | uint(b);
    m_uFlags |= QOR_VF_COLOR;
}

void qor_cTriListGL::setUV(float u, float v)
{
    m_fU = u, m_fV = v;
    m_uFlags |= QOR_VF_UV;
}

bool qor_cTriListGL::createBuffer(uint uBytes, uint mode)
{
    if (mode == 2)
        return true;
    if (!m_pDev)
        return false;
    glGenBuffers(1, &m_uVbo);
    glGenVertexArrays(1, &m_uVao);
    if (!m_uVbo || !m_uVao)
    {
        releaseBuffer();
        return false;
    }
    glBindBuffer(GL_ARRAY_BUFFER, m_uVbo);
    glBufferData(GL_ARRAY_BUFFER, uBytes, nullptr, mode == 0 ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
    m_uVboBytes = uBytes;
    // The attribute layout is part of the vertex array object; the device's cached binding is
    // told about the bind that setupVertexArray makes.
    qor_cGLDevice::setupVertexArray(m_uVao, m_uVbo, m_uFormat);
    m_pDev->invalidateVertexArray();
    return true;
}

void qor_cTriListGL::releaseBuffer()
{
    if (m_uVao)
    {
        if (m_pDev)
            m_pDev->unbindVertexArray(m_uVao);
        glDeleteVertexArrays(1, &m_uVao);
    }
    if (m_uVbo)
        glDeleteBuffers(1, &m_uVbo);
    if (m_uIbo)
        glDeleteBuffers(1, &m_uIbo);
    m_uVao = m_uVbo = m_uIbo = 0;
    m_uVboBytes = 0;
    m_nIndexed = 0;
    m_aRemap.clear();
    m_aFirst.clear();
}

void qor_cTriListGL::setElements(const std::vector<uint32_t> & aIndex, uint nSlot)
{
    if (!m_uIbo)
        glGenBuffers(1, &m_uIbo);
    // The element buffer binding belongs to the vertex array object.
    m_pDev->bindVertexArray(m_uVao);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_uIbo);
    // 16-bit indices while the slots fit: half the bytes for the vertex fetch to read.
    m_bShortIndex = nSlot <= 65536;
    if (m_bShortIndex)
    {
        const std::vector<uint16_t> aShort(aIndex.begin(), aIndex.end());
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(aShort.size() * sizeof(uint16_t)), aShort.data(),
                     GL_STATIC_DRAW);
    }
    else
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(aIndex.size() * sizeof(uint32_t)), aIndex.data(),
                     GL_STATIC_DRAW);
}

namespace
{
// Lists shorter than this are drawn as arrays: too few vertices to share.
constexpr uint kMinIndexed = 24;
// A list whose slots came out above this share of its vertices is drawn as arrays.
constexpr uint kMaxSlotsPercent = 75;
// Index builds a list may take (its first, then one for each time its vertices stopped being
// equal where they were); after that it is drawn as arrays.
constexpr uint kMaxIndexBuild = 3;

uint32_t hashVertex(const uint8_t * p, uint uStride)
{
    uint32_t h = 2166136261u;
    for (uint i = 0; i < uStride; i += 4)
    {
        uint32_t w;
        std::memcpy(&w, p + i, 4);
        h = (h ^ w) * 16777619u;
    }
    return h ^ (h >> 15);
}
} // namespace

namespace
{
template <uint kStride> bool holds(const uint8_t * pData, const uint32_t * pRemap, const uint32_t * pFirst, uint n)
{
    for (uint i = 0; i < n; ++i)
    {
        const uint32_t uFirst = pFirst[pRemap[i]];
        // A size known here: the comparison is a few loads, not a call.
        if (uFirst != i && std::memcmp(pData + size_t(i) * kStride, pData + size_t(uFirst) * kStride, kStride) != 0)
            return false;
    }
    return true;
}
} // namespace

bool qor_cTriListGL::indexHolds(const uint8_t * pData, uint n, uint uStride) const
{
    if (m_aRemap.size() != n)
        return false;
    // Every vertex still equals the first vertex of its slot. (Vertices that became equal since
    // merely share less than they could.)
    if (uStride == sizeof(qor_sVertex1))
        return holds<sizeof(qor_sVertex1)>(pData, m_aRemap.data(), m_aFirst.data(), n);
    if (uStride == sizeof(qor_sVertex2))
        return holds<sizeof(qor_sVertex2)>(pData, m_aRemap.data(), m_aFirst.data(), n);
    return false;
}

bool qor_cTriListGL::buildIndex(const uint8_t * pData, uint n, uint uStride)
{
    ++m_nIndexBuild;
    size_t nTable = 16;
    while (nTable < size_t(n) * 2)
        nTable <<= 1;
    std::vector<uint32_t> table(nTable, ~0u);
    m_aRemap.resize(n);
    m_aFirst.clear();
    for (uint i = 0; i < n; ++i)
    {
        const uint8_t * pV = pData + size_t(i) * uStride;
        size_t h = hashVertex(pV, uStride) & (nTable - 1);
        for (;;)
        {
            uint32_t & uSlot = table[h];
            if (uSlot == ~0u)
            {
                uSlot = uint32_t(m_aFirst.size());
                m_aFirst.push_back(i);
                break;
            }
            if (std::memcmp(pData + size_t(m_aFirst[uSlot]) * uStride, pV, uStride) == 0)
                break;
            h = (h + 1) & (nTable - 1);
        }
        m_aRemap[i] = table[h];
    }
    if (m_aFirst.size() * 100 > size_t(n) * kMaxSlotsPercent)
    {
        m_aRemap.clear();
        m_aFirst.clear();
        m_nIndexBuild = kMaxIndexBuild;
        return false;
    }
    setElements(m_aRemap, uint(m_aFirst.size()));
    return true;
}

bool qor_cTriListGL::uploadIndexed(const uint8_t * pData, uint n, uint uStride)
{
    if (n < kMinIndexed || !m_pDev)
        return false;
    if (!indexHolds(pData, n, uStride))
    {
        m_nIndexed = 0;
        if (m_nIndexBuild >= kMaxIndexBuild || !buildIndex(pData, n, uStride))
            return false;
    }
    const size_t nSlot = m_aFirst.size();
    m_aGather.resize(nSlot * uStride);
    for (size_t k = 0; k < nSlot; ++k)
        std::memcpy(&m_aGather[k * uStride], pData + size_t(m_aFirst[k]) * uStride, uStride);
    glBindBuffer(GL_ARRAY_BUFFER, m_uVbo);
    if (m_uMode == 0) // D3DLOCK_DISCARD: fresh storage (the array path sizes it again)
        QOR_GL_CHECK(glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(m_aGather.size()), m_aGather.data(), GL_DYNAMIC_DRAW));
    else
        QOR_GL_CHECK(glBufferSubData(GL_ARRAY_BUFFER, 0, GLsizeiptr(m_aGather.size()), m_aGather.data()));
    m_nIndexed = n;
    if (m_uMode != 0)
        std::vector<uint8_t>().swap(m_aGather); // written once: no need to keep the copy
    return true;
}

uint qor_cTriListGL::next()
{
    if (m_nVertex == 0 && !m_uVbo && !m_pV1 && !m_pV2 && !m_pV3)
    {
        const uint n = m_nTriangle * 3;
        uint uStride = 0;
        switch (m_uFlags)
        {
        case QOR_FVF_VERTEX1:
            m_pV1 = new (std::nothrow) qor_sVertex1[n];
            if (!m_pV1)
            {
                QOR_LOG_LOCATION();
                qoru_logError("m_pV1 = new qor_sVertex1 [m_nTriangle<%d> * 3];\n", m_nTriangle);
            }
            uStride = sizeof(qor_sVertex1);
            break;
        case QOR_FVF_VERTEX3:
            m_pV3 = new (std::nothrow) qor_sVertex3[n];
            if (!m_pV3)
            {
                QOR_LOG_LOCATION();
                qoru_logError("m_pV3 = new qor_sVertex3 [m_nTriangle<%d> * 3];\n", m_nTriangle);
            }
            uStride = sizeof(qor_sVertex3);
            break;
        case QOR_FVF_VERTEX2:
            m_pV2 = new (std::nothrow) qor_sVertex2[n];
            if (!m_pV2)
            {
                QOR_LOG_LOCATION();
                qoru_logError("m_pV2 = new qor_sVertex2 [m_nTriangle<%d> * 3];\n", m_nTriangle);
            }
            uStride = sizeof(qor_sVertex2);
            break;
        default:
            QOR_LOG_LOCATION();
            qoru_logError("void qor_cTriListDX8::next()\n");
            qoru_logError("format de vertex inconnu !\n");
            break;
        }
        if (uStride)
        {
            m_uFormat = m_uFlags;
            m_nCapacity = (m_pV1 || m_pV2 || m_pV3) ? n : 0;
            // Three vertices per triangle: a buffer of triangles x record size bytes would hold a
            // third of them.
            if ((m_pV1 || m_pV2 || m_pV3) && !createBuffer(n * uStride, m_uMode))
            {
                QOR_LOG_LOCATION();
                qoru_logError("\t\tHRESULT hRet = QOR_D3DDEVICE()->CreateVertexBuffer(\n");
            }
        }
    }
    const uint i = m_nVertex;
    const bool bIn = i < m_nCapacity;
    if (m_pV1 && bIn)
    {
        qor_sVertex1 & v = m_pV1[i];
        if (m_uFlags & QOR_VF_POSITION)
            v.x = m_afPos[0], v.y = m_afPos[1], v.z = m_afPos[2];
        if (m_uFlags & QOR_VF_NORMAL)
            v.nx = m_afNormal[0], v.ny = m_afNormal[1], v.nz = m_afNormal[2];
        if (m_uFlags & QOR_VF_UV)
            v.u = m_fU, v.v = m_fV;
    }
    else if (m_pV2 && bIn)
    {
        qor_sVertex2 & v = m_pV2[i];
        if (m_uFlags & QOR_VF_POSITION)
            v.x = m_afPos[0], v.y = m_afPos[1], v.z = m_afPos[2];
        if (m_uFlags & QOR_VF_NORMAL)
            v.nx = m_afNormal[0], v.ny = m_afNormal[1], v.nz = m_afNormal[2];
        if (m_uFlags & QOR_VF_COLOR)
            v.color = m_uColor;
        if (m_uFlags & QOR_VF_UV)
            v.u = m_fU, v.v = m_fV;
    }
    else if (m_pV3 && bIn)
    {
        qor_sVertex3 & v = m_pV3[i];
        if (m_uFlags & QOR_VF_POSITIONRHW)
            v.x = m_afPosRHW[0], v.y = m_afPosRHW[1], v.z = m_afPosRHW[2], v.rhw = m_afPosRHW[3];
        if (m_uFlags & QOR_VF_COLOR)
            v.color = m_uColor;
        if (m_uFlags & QOR_VF_UV)
            v.u = m_fU, v.v = m_fV;
    }
    return ++m_nVertex;
}

bool qor_cTriListGL::startAdd(uint nTriangle, uint mode)
{
    m_nTriangle = nTriangle;
    m_uMode = mode;
    m_uFlags = 0;
    m_nVertex = 0;
    return true;
}

bool qor_cTriListGL::endAdd() { return upload(); }

bool qor_cTriListGL::upload()
{
    m_bUploadDue = false;
    if (m_uMode == 2 || (!m_pV1 && !m_pV2 && !m_pV3) || m_bMapped)
        return true;
    const void * pData = m_pV1   ? static_cast<const void *>(m_pV1)
                         : m_pV2 ? static_cast<const void *>(m_pV2)
                                 : static_cast<const void *>(m_pV3);
    const uint uBytes = m_nCapacity * qor_cGLDevice::strideOf(m_uFormat);
    if (!m_uVbo || uBytes > m_uVboBytes)
    {
        m_nIndexed = 0;
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cTriListDX8::endAdd()\n");
        qoru_logError("HRESULT hRet = m_pVB->Lock(0, size, (BYTE **)&pLock, flags);\n");
        qoru_logError("%s", recordName(m_uFormat));
        return false;
    }
    // Pre-transformed lists (a layer's quads, a line of text) are small and rebuilt every frame:
    // they go as arrays.
    const uint nFilled = m_nVertex < m_nCapacity ? m_nVertex : m_nCapacity;
    if (!m_pV3 && uploadIndexed(static_cast<const uint8_t *>(pData), nFilled, qor_cGLDevice::strideOf(m_uFormat)))
        return true;
    m_nIndexed = 0;
    glBindBuffer(GL_ARRAY_BUFFER, m_uVbo);
    if (m_uMode == 0 && uBytes == m_uVboBytes) // D3DLOCK_DISCARD: fresh storage, filled at once
        QOR_GL_CHECK(glBufferData(GL_ARRAY_BUFFER, uBytes, pData, GL_DYNAMIC_DRAW));
    else
    {
        if (m_uMode == 0)
            glBufferData(GL_ARRAY_BUFFER, m_uVboBytes, nullptr, GL_DYNAMIC_DRAW);
        QOR_GL_CHECK(glBufferSubData(GL_ARRAY_BUFFER, 0, uBytes, pData));
    }
    return true;
}

bool qor_cTriListGL::draw()
{
    if (!m_uVbo || !m_pDev || m_bMapped)
        return true; // no stream: Direct3D draws nothing useful either
    if (m_bUploadDue)
    {
        m_bUploadDue = false;
        upload();
    }
    const uint n = m_nVertex < m_nCapacity ? m_nVertex : m_nCapacity;
    if (m_nIndexed)
    {
        const uint k = n < m_nIndexed ? n : m_nIndexed;
        return m_pDev->drawIndexed(m_uVao, m_uFormat, int(k - k % 3), m_bShortIndex);
    }
    return m_pDev->drawTriangles(m_uVao, m_uFormat, 0, int(n - n % 3));
}

void * qor_cTriListGL::getVertexArray()
{
    return m_pV1 ? static_cast<void *>(m_pV1) : m_pV2 ? static_cast<void *>(m_pV2) : static_cast<void *>(m_pV3);
}

void qor_cTriListGL::setMode(uint mode)
{
    if (mode == m_uMode)
        return;
    m_uMode = mode;
    releaseBuffer();
    if (m_uFormat && m_nCapacity && mode != 2)
        createBuffer(m_nCapacity * qor_cGLDevice::strideOf(m_uFormat), mode);
}

// ----- point batches

bool qor_cTriListGL::startAddPoint(uint nPoint)
{
    if (!m_uVbo)
    {
        m_nTriangle = 2 * nPoint;
        m_uFlags = m_uFormat = QOR_FVF_VERTEX2;
        m_uMode = 0;
        m_nCapacity = 6 * nPoint;
        // Four corners a point, two triangles through the element buffer.
        if (!createBuffer(nPoint * 4 * sizeof(qor_sVertex2), 0))
        {
            QOR_LOG_LOCATION();
            qoru_logError("bool qor_cTriListDX8::startAddPoint(uint nPoint<%d>)\n", nPoint);
            qoru_logError("\t\tHRESULT hRet = QOR_D3DDEVICE()->CreateVertexBuffer() ...\n");
            return false;
        }
        // The corners of a quad: 0 top left, 1 top right, 2 bottom right, 3 bottom left; the
        // triangles 0 1 2 and 2 3 0, the order of the six corners a triangle list would hold.
        static constexpr uint kCorner[6] = {0, 1, 2, 2, 3, 0};
        std::vector<uint32_t> aIndex(size_t(nPoint) * 6);
        for (size_t i = 0; i < aIndex.size(); ++i)
            aIndex[i] = uint32_t(i / 6 * 4 + kCorner[i % 6]);
        setElements(aIndex, nPoint * 4);
    }
    m_nVertex = 0;
    if (m_bMapped)
        endAddPoint();
    void * p = nullptr;
    if (m_uVboBytes)
    {
#if QOR_GLES
        // WebGL 2 maps no buffers: the points go to client memory, sent by endAddPoint.
        p = new (std::nothrow) qor_sVertex2[size_t(m_nTriangle) * 2];
#else
        glBindBuffer(GL_ARRAY_BUFFER, m_uVbo);
        // D3DLOCK_DISCARD: the driver hands out fresh memory; no client copy.
        p = glMapBufferRange(GL_ARRAY_BUFFER, 0, GLsizeiptr(m_nTriangle) * 2 * sizeof(qor_sVertex2),
                             GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_BUFFER_BIT);
#endif
    }
    if (!p)
    {
        QOR_LOG_LOCATION();
        qoru_logError("void qor_cTriListDX8::addPoint(float x, float y, float z, float size)\n");
        qoru_logError("HRESULT hRet = m_pVB->Lock(\n");
        return true;
    }
    delete[] m_pV2; // a client array of an earlier fill, if any
    m_pV2 = static_cast<qor_sVertex2 *>(p);
    m_bMapped = true;
    return true;
}

uint qor_cTriListGL::addPoint(float x, float y, float z, float size, uint colour)
{
    if (m_nVertex == 0)
    {
        // Billboard axes from the view matrix: no translation, rigid inverse; the size of the
        // first point serves the whole batch.
        qor_cMatrix view;
        if (m_pDev)
            std::memcpy(view.data(), m_pDev->getView(), 16 * sizeof(float));
        view._41 = view._42 = view._43 = 0.0f;
        const qor_cMatrix inv = view.getRigidInverse();
        m_vRight = inv.transform(qor_cVector3(1.0f, 0.0f, 0.0f)) * (size * 0.5f);
        m_vUp = inv.transform(qor_cVector3(0.0f, -1.0f, 0.0f)) * (size * 0.5f);
        m_vNormal = inv.transform(qor_cVector3(0.0f, 0.0f, -1.0f));
    }
    if (!m_bMapped || m_nVertex + 6 > m_nTriangle * 3)
        return m_nVertex;
    const float rx = m_vRight.x, rz = m_vRight.z, uy = m_vUp.y;
    // Only R.x, R.z and U.y enter: the quads turn about the vertical axis and stay upright.
    const float aPos[4][5] = {
        {x - rx, y + uy, z - rz, 0.0f, 0.0f},
        {x + rx, y + uy, z + rz, 1.0f, 0.0f},
        {x + rx, y - uy, z + rz, 1.0f, 1.0f},
        {x - rx, y - uy, z - rz, 0.0f, 1.0f},
    };
    qor_sVertex2 * pQuad = m_pV2 + m_nVertex / 6 * 4;
    for (int i = 0; i < 4; ++i)
    {
        qor_sVertex2 & v = pQuad[i];
        v.x = aPos[i][0];
        v.y = aPos[i][1];
        v.z = aPos[i][2];
        v.nx = m_vNormal.x;
        v.ny = m_vNormal.y;
        v.nz = m_vNormal.z;
        v.color = colour;
        v.u = aPos[i][3];
        v.v = aPos[i][4];
    }
    m_nVertex += 6;
    return m_nVertex;
}

void qor_cTriListGL::endAddPoint()
{
    if (!m_bMapped)
        return;
    glBindBuffer(GL_ARRAY_BUFFER, m_uVbo);
#if QOR_GLES
    glBufferSubData(GL_ARRAY_BUFFER, 0, GLsizeiptr(m_nVertex / 6 * 4) * sizeof(qor_sVertex2), m_pV2);
    delete[] m_pV2;
#else
    glUnmapBuffer(GL_ARRAY_BUFFER);
#endif
    m_pV2 = nullptr;
    m_bMapped = false;
}

bool qor_cTriListGL::drawPoints()
{
    if (m_nVertex == 0 || !m_uVbo || !m_pDev || m_bMapped)
        return true;
    return m_pDev->drawIndexed(m_uVao, QOR_FVF_VERTEX2, int(m_nVertex - m_nVertex % 6), m_bShortIndex);
}

// ----- morphing

void qor_cTriListGL::morph(qor_cTriList * pTarget, float t, bool bReset)
{
    if (t == 0.0f || !pTarget)
        return;
    if (!m_pV1 && !m_pV2)
        return; // the pre-transformed record takes no part in morphing
    const uint n = m_nCapacity;
    if (!m_pBase)
    {
        m_pBase = new (std::nothrow) qor_cTriListGL;
        if (!m_pBase)
            return;
        m_pBase->startAdd(m_nTriangle, 2);
        for (uint i = 0; i < n; ++i)
        {
            if (m_pV1)
            {
                const qor_sVertex1 & v = m_pV1[i];
                m_pBase->setPosition(v.x, v.y, v.z);
                m_pBase->setNormal(v.nx, v.ny, v.nz);
                m_pBase->setUV(v.u, v.v);
            }
            else
            {
                const qor_sVertex2 & v = m_pV2[i];
                m_pBase->setPosition(v.x, v.y, v.z);
                m_pBase->setNormal(v.nx, v.ny, v.nz);
                m_pBase->setColor(uchar(v.color >> 16), uchar(v.color >> 8), uchar(v.color), uchar(v.color >> 24));
                m_pBase->setUV(v.u, v.v);
            }
            m_pBase->next();
        }
    }
    if (bReset && m_pBase->getVertexArray())
        std::memcpy(getVertexArray(), m_pBase->getVertexArray(), size_t(n) * qor_cGLDevice::strideOf(m_uFormat));
    const void * pT = pTarget->getVertexArray();
    if (pT && m_pV1)
    {
        // Every float moves t of the way from its value towards the target's.
        float * p = reinterpret_cast<float *>(m_pV1);
        const float * q = static_cast<const float *>(pT);
        for (uint i = 0; i < n * 8; ++i)
            p[i] += t * (q[i] - p[i]);
    }
    else if (pT && m_pV2)
    {
        // Position and normal: value += t (target - base); colour and coordinates stay.
        const qor_sVertex2 * q = static_cast<const qor_sVertex2 *>(pT);
        const qor_sVertex2 * b = static_cast<const qor_sVertex2 *>(m_pBase->getVertexArray());
        for (uint i = 0; i < n; ++i)
        {
            float * p = &m_pV2[i].x;
            const float * qt = &q[i].x;
            const float * pb = &b[i].x;
            for (int k = 0; k < 6; ++k)
                p[k] += t * (qt[k] - pb[k]);
        }
    }
    setMode(0);
    // Sent once, at the next draw, whatever number of targets is blended before it.
    m_bUploadDue = true;
}
