// The animation file half of qor_cScene: loadAnim() reads the ".MOT" chunk stream that comes
// with every scene file and turns its tracks into the objects' controllers and tracks, then
// takes the bones' bind pose.
//
// Stream layout: top-level chunk 1 (three u32: two values kept as read, then the rate in
// key-time units per frame unit), chunk 2 (u32 object count, then per object a chunk header,
// a 128-byte name and six sub-chunks: position, rotation, scale, camera roll, camera field of
// view, visibility, each a static value or a key track). Every count is checked against the
// bytes left in the file before anything is read or allocated for it.
#include "qor_cScene.h"

#include "qor_cBone.h"
#include "qor_cCamera.h"
#include "qor_cErrorHandler.h"
#include "qor_cKey.h"
#include "qor_fileUtil.h"
#include "tz_cChunkedFile.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace
{
// Sub-chunk identifiers: static form, track form.
enum : uint
{
    e_mot_common = 1,
    e_mot_objects = 2,
    e_mot_posStatic = 5,
    e_mot_posTrack = 6,
    e_mot_rotStatic = 7,
    e_mot_rotTrack = 8,
    e_mot_scaleStatic = 9,
    e_mot_scaleTrack = 10,
    e_mot_fovStatic = 11,
    e_mot_fovTrack = 12,
    e_mot_rollStatic = 13,
    e_mot_rollTrack = 14,
    e_mot_visStatic = 15,
    e_mot_visTrack = 16,
};

// Key kinds of the tracks.
enum : uint
{
    e_kind_tcb = 1,
    e_kind_smooth = 2,
    e_kind_linear = 3,
};

// Smallest object block: header, name, six sub-chunk headers.
const long long kMinObjectBlock = 12 + 128 + 6 * 12;

bool isCamera(const qor_cObject & o)
{
    return o.getType() == qor_cObject::e_type_camera || o.getType() == qor_cObject::e_type_cameraTarget;
}

// A key of the kind's class with n components.
qor_cKey * newKey(uint nKind, uint n)
{
    switch (nKind)
    {
    case e_kind_tcb:
        return new (std::nothrow) qor_cTcbKey(n);
    case e_kind_smooth:
        return new (std::nothrow) qor_cSmoothKey(n);
    default:
        return new (std::nothrow) qor_cLinearKey(n);
    }
}
} // namespace

bool qor_cScene::loadAnim(cchar * sz)
{
    cchar * szName = sz ? sz : "";
    m_nAnimObject = 0;
    delete m_pChunkedFile;
    m_pChunkedFile = new (std::nothrow) tz_cChunkedFile;
    if (!m_pChunkedFile)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cScene::loadAnim(cchar * sz<%s>)\n", szName);
        qoru_logError("m_pChunkedFile = new tz_cChunkedFile(sz, \"rb\");\n");
        return false;
    }
    bool b = m_pChunkedFile->open(sz, "rb");
    if (b && m_pChunkedFile->size() > tz_cFile::e_maxReadSize)
        b = false;
    if (!b)
    {
        delete m_pChunkedFile;
        m_pChunkedFile = nullptr;
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cScene::loadAnim(cchar * sz<%s>)\n", szName);
        qoru_logError("bool b = m_pChunkedFile->open(sz, \"rb\");\n");
        // The reason, as the file layer gives it (missing, not a regular file, too large).
        std::string strWhy;
        FILE * pProbe = qoru_fopenRead(szName, kQorMaxFileSize, nullptr, &strWhy);
        if (pProbe)
        {
            std::fclose(pProbe);
            strWhy = "larger than the engine reads";
        }
        qoru_logError("Impossible d'ouvrir le fichier d'animation <%s> : %s\n", szName, strWhy.c_str());
        return false;
    }

    bool bRet = true;
    for (;;)
    {
        const long long nLeft = m_pChunkedFile->remaining();
        if (nLeft == 0)
            break;
        m_pChunkedFile->readHeader();
        if (!m_pChunkedFile->hasHeader())
        {
            // Bytes left that cannot make a header: the file was cut.
            QOR_LOG_LOCATION();
            qoru_logError("bool qor_cScene::loadAnim(cchar * sz<%s>)\n", szName);
            qoru_logError("truncated chunk header at offset <%lld>\n", m_pChunkedFile->size() - nLeft);
            bRet = false;
            break;
        }
        const uint nID = m_pChunkedFile->getID();
        if (nID == e_mot_common)
        {
            if (!extractAnimCommonInfos())
            {
                QOR_LOG_LOCATION();
                qoru_logError("bool qor_cScene::loadAnim(cchar * sz<%s>)\n", szName);
                qoru_logError("if (!extractAnimCommonInfos())\n");
                bRet = false;
                break;
            }
        }
        else if (nID == e_mot_objects)
        {
            if (!extractAnimObjectsMotions())
            {
                QOR_LOG_LOCATION();
                qoru_logError("bool qor_cScene::loadAnim(cchar * sz<%s>)\n", szName);
                qoru_logError("if (!extractAnimObjectsMotions())\n");
                qoru_logError("file:<%s>\n", szName);
                bRet = false;
                break;
            }
        }
        // Any other chunk: its header is consumed and the next one read right after it.
    }
    delete m_pChunkedFile;
    m_pChunkedFile = nullptr;
    if (!bRet)
        return false;
    takeBindPose();
    return true;
}

void qor_cScene::takeBindPose()
{
    // Every bone at time 0 with its parents. A step of 0 leaves an object where one update put
    // it, so each object is updated once for all the bones (the updated flags remember it): a
    // chain of bones costs its length, not its length squared.
    const float dt = 0.0f;
    clearUpdatedFlags();
    for (int i = 0; i < m_lBone.getNbItem(); ++i)
    {
        qor_cBone * pBone = m_lBone.get<qor_cBone>(i);
        pBone->update(&dt);
        pBone->setBindPose();
    }
    clearUpdatedFlags();
}

bool qor_cScene::extractAnimCommonInfos()
{
    tz_cChunkedFile & f = *m_pChunkedFile;
    return f.readU32(&m_auAnimInfo[0]) && f.readU32(&m_auAnimInfo[1]) && f.readU32(&m_auAnimInfo[2]);
}

bool qor_cScene::extractAnimObjectsMotions()
{
    tz_cChunkedFile & f = *m_pChunkedFile;
    uint nObject = 0;
    if (!f.readU32(&nObject))
        return false;
    if (nObject > 0 && (long long)nObject > f.remaining() / kMinObjectBlock)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cScene::extractAnimObjectsMotions()\n");
        qoru_logError("object count <%u> at offset <%lld> larger than the file holds\n", nObject, f.tell() - 4);
        return false;
    }
    for (uint i = 0; i < nObject; ++i)
    {
        f.readHeader();
        char szName[129];
        if (!f.hasHeader() || f.read(szName, 128) != 128)
        {
            QOR_LOG_LOCATION();
            qoru_logError("bool qor_cScene::extractAnimObjectsMotions()\n");
            qoru_logError("object <%u> cut short at offset <%lld>\n", i, f.tell());
            return false;
        }
        szName[128] = 0; // a name that fills its field is not read past it
        qor_cString name(szName);
        qor_cObject * pObject = getObject(name.get());
        if (!pObject)
        {
            QOR_LOG_LOCATION();
            qoru_logError("bool qor_cScene::extractAnimObjectsMotions()\n");
            qoru_logError("qor_cObject * pObject = getObject(name.get()<%s>);\n", name.get());
            qoru_logError("Object<%s> non trouv\xe9 dans la scene\n", name.get());
            return false;
        }
        pObject->setRate(float(m_auAnimInfo[2]));
        ++m_nAnimObject;

        // The six channels in their fixed order: static form, track form, or neither.
        struct sChannel
        {
            uint nStatic, nTrack;
            bool (qor_cScene::*pfnStatic)(qor_cObject &);
            bool (qor_cScene::*pfnTrack)(qor_cObject &);
            cchar * szStatic;
            cchar * szTrack;
        };
        static const sChannel aChannel[6] = {
            {e_mot_posStatic, e_mot_posTrack, &qor_cScene::extractAnimPositionStatic,
             &qor_cScene::extractAnimPositionTrack, "if (!extractAnimPositionStatic(*pObject))\n",
             "if (!extractAnimPositionTrack(*pObject))\n"},
            {e_mot_rotStatic, e_mot_rotTrack, &qor_cScene::extractAnimRotationStatic,
             &qor_cScene::extractAnimRotationTrack, "if (!extractAnimRotationStatic(*pObject))\n",
             "if (!extractAnimRotationTrack(*pObject))\n"},
            {e_mot_scaleStatic, e_mot_scaleTrack, &qor_cScene::extractAnimScaleStatic,
             &qor_cScene::extractAnimScaleTrack, "if (!extractAnimScaleStatic(*pObject))\n",
             "if (!extractAnimScaleTrack(*pObject))\n"},
            {e_mot_rollStatic, e_mot_rollTrack, &qor_cScene::extractAnimRollStatic, &qor_cScene::extractAnimRollTrack,
             nullptr, nullptr},
            {e_mot_fovStatic, e_mot_fovTrack, &qor_cScene::extractAnimFovStatic, &qor_cScene::extractAnimFovTrack,
             nullptr, nullptr},
            {e_mot_visStatic, e_mot_visTrack, &qor_cScene::extractAnimVisibilityStatic,
             &qor_cScene::extractAnimVisibilityTrack, "if (!extractAnimVisibilityStatic(*pObject))\n",
             "if (!extractAnimVisibilityTrack(*pObject))\n"},
        };
        for (const sChannel & ch : aChannel)
        {
            f.readHeader();
            if (!f.hasHeader())
            {
                QOR_LOG_LOCATION();
                qoru_logError("bool qor_cScene::extractAnimObjectsMotions()\n");
                qoru_logError("object<%s>: channel header missing at offset <%lld>\n", name.get(), f.tell());
                return false;
            }
            const uint nID = f.getID();
            bool bOk = true;
            cchar * szStatement = nullptr;
            if (nID == ch.nStatic)
            {
                bOk = (this->*ch.pfnStatic)(*pObject);
                szStatement = ch.szStatic;
            }
            else if (nID == ch.nTrack)
            {
                bOk = (this->*ch.pfnTrack)(*pObject);
                szStatement = ch.szTrack;
            }
            if (!bOk)
            {
                // Roll and field-of-view failures end the load without a message of their own.
                if (szStatement)
                {
                    QOR_LOG_LOCATION();
                    qoru_logError("bool qor_cScene::extractAnimObjectsMotions()\n");
                    qoru_logError("%s", szStatement);
                }
                return false;
            }
        }
    }
    return true;
}

// ----- static forms

bool qor_cScene::readFloats(float * pf, uint n)
{
    for (uint i = 0; i < n; ++i)
        if (!m_pChunkedFile->readF32(&pf[i]))
            return false;
    return true;
}

bool qor_cScene::extractAnimPositionStatic(qor_cObject & o)
{
    float v[3];
    if (!readFloats(v, 3))
        return false;
    o.m_vPosition.set(v[0], v[1], v[2]);
    return true;
}

bool qor_cScene::extractAnimRotationStatic(qor_cObject & o)
{
    float v[4];
    if (!readFloats(v, 4))
        return false;
    o.m_qRotation.set(v[0], v[1], v[2], v[3]);
    return true;
}

bool qor_cScene::extractAnimScaleStatic(qor_cObject & o)
{
    float v[3];
    if (!readFloats(v, 3))
        return false;
    o.m_vScale.set(v[0], v[1], v[2]);
    return true;
}

bool qor_cScene::extractAnimRollStatic(qor_cObject & o)
{
    float v;
    if (!readFloats(&v, 1))
        return false;
    if (isCamera(o))
        static_cast<qor_cCamera &>(o).setRoll(v);
    return true;
}

bool qor_cScene::extractAnimFovStatic(qor_cObject & o)
{
    float v;
    if (!readFloats(&v, 1))
        return false;
    if (isCamera(o))
        static_cast<qor_cCamera &>(o).setFov(v);
    return true;
}

bool qor_cScene::extractAnimVisibilityStatic(qor_cObject & o)
{
    float v;
    if (!readFloats(&v, 1))
        return false;
    o.setVisibility(v);
    return true;
}

// ----- track forms

bool qor_cScene::readTrackHead(uint nComponent, bool bRotation, uint * pnKind, uint * pnKey, uint * pnKeySize)
{
    tz_cChunkedFile & f = *m_pChunkedFile;
    if (!f.readU16(pnKind) || !f.readU32(pnKey))
        return false;
    if (*pnKey == 1)
        return true;
    switch (*pnKind)
    {
    case e_kind_tcb:
        *pnKeySize = 4 * (1 + nComponent + 3);
        break;
    case e_kind_smooth:
        // Rotations have no smooth layout: such a file cannot be read.
        if (bRotation)
            return false;
        *pnKeySize = nComponent == 1 ? 12 : 4 * (1 + nComponent + 3);
        break;
    case e_kind_linear:
        *pnKeySize = 4 * (1 + nComponent);
        break;
    default:
        return false;
    }
    // The keys must be there before any is made.
    return (long long)*pnKey <= f.remaining() / *pnKeySize;
}

bool qor_cScene::readKey(uint nKind, uint nComponent, qor_cKey ** ppKey)
{
    tz_cChunkedFile & f = *m_pChunkedFile;
    float fTime;
    float v[4] = {0, 0, 0, 0};
    float p[3] = {0, 0, 0};
    const uint nParam = nKind == e_kind_tcb ? 3 : nKind == e_kind_smooth ? (nComponent == 1 ? 1 : 3) : 0;
    if (!f.readF32(&fTime) || !readFloats(v, nComponent) || !readFloats(p, nParam))
        return false;
    qor_cKey * pKey = newKey(nKind, nComponent);
    if (!pKey)
        return false;
    pKey->m_fTime = fTime;
    for (uint i = 0; i < nComponent; ++i)
        pKey->m_afValue[i] = v[i];
    if (nKind == e_kind_tcb)
    {
        qor_cTcbKey * k = static_cast<qor_cTcbKey *>(pKey);
        k->m_fTension = p[0];
        k->m_fContinuity = p[1];
        k->m_fBias = p[2];
    }
    else if (nKind == e_kind_smooth)
    {
        qor_cSmoothKey * k = static_cast<qor_cSmoothKey *>(pKey);
        for (uint i = 0; i < nParam; ++i)
            k->m_afTangent[i] = p[i];
    }
    *ppKey = pKey;
    return true;
}

bool qor_cScene::extractAnimTransformTrack(qor_cObject & o, uint nChannel)
{
    const uint nComponent = nChannel == 1 ? 4 : 3;
    uint nKind = 0, nKey = 0, nKeySize = 0;
    if (!readTrackHead(nComponent, nChannel == 1, &nKind, &nKey, &nKeySize))
        return false;
    if (nKey == 1)
    {
        // One value without a time: the constant value.
        float v[4];
        if (!readFloats(v, nComponent))
            return false;
        if (nChannel == 0)
            o.m_vPosition.set(v[0], v[1], v[2]);
        else if (nChannel == 1)
            o.m_qRotation.set(v[0], v[1], v[2], v[3]);
        else
            o.m_vScale.set(v[0], v[1], v[2]);
        return true;
    }
    if (nKey == 0)
        return true;
    qor_cController * pCtrl = nullptr;
    float fLast = 0.0f;
    for (uint k = 0; k < nKey; ++k)
    {
        qor_cKey * pKey = nullptr;
        if (!readKey(nKind, nComponent, &pKey))
        {
            delete pCtrl;
            return false;
        }
        if (!pCtrl)
        {
            // The controller follows the first key's type.
            pCtrl = qor_cController::create(pKey->getType());
            if (!pCtrl)
            {
                delete pKey;
                return false;
            }
        }
        if (!pCtrl->addKey(pKey, true))
        {
            delete pKey;
            delete pCtrl;
            return false;
        }
        fLast = pKey->m_fTime;
    }
    o.growLength(fLast);
    if (!pCtrl->initKeyArray())
    {
        delete pCtrl;
        return false;
    }
    if (nChannel == 0)
        o.setPositionController(pCtrl);
    else if (nChannel == 1)
        o.setRotationController(pCtrl);
    else
        o.setScaleController(pCtrl);
    o.evaluate();
    return true;
}

bool qor_cScene::extractAnimPositionTrack(qor_cObject & o)
{
    return extractAnimTransformTrack(o, 0);
}

bool qor_cScene::extractAnimRotationTrack(qor_cObject & o)
{
    return extractAnimTransformTrack(o, 1);
}

bool qor_cScene::extractAnimScaleTrack(qor_cObject & o)
{
    return extractAnimTransformTrack(o, 2);
}

bool qor_cScene::extractAnimCameraTrack(qor_cObject & o, bool bRoll)
{
    uint nKind = 0, nKey = 0, nKeySize = 0;
    if (!readTrackHead(1, false, &nKind, &nKey, &nKeySize))
        return false;
    if (nKey == 1)
    {
        float v;
        return readFloats(&v, 1); // read and dropped
    }
    // Key times are converted to frame units by the rate: without a rate there are none.
    const float fRate = float(m_auAnimInfo[2]);
    if (nKey > 0 && fRate == 0.0f)
        return false;
    qor_cEasyAnim * pTrack = nullptr;
    if (isCamera(o))
        pTrack = bRoll ? &static_cast<qor_cCamera &>(o).rollTrack() : &static_cast<qor_cCamera &>(o).fovTrack();
    for (uint k = 0; k < nKey; ++k)
    {
        qor_cKey * pKey = nullptr;
        if (!readKey(nKind, 1, &pKey))
            return false;
        pKey->m_fTime /= fRate;
        // A key not after the track's last one is refused by the track and dropped.
        if (!pTrack || !pTrack->addKey(pKey, true))
            delete pKey;
    }
    if (pTrack)
    {
        if (!pTrack->initKeyArray())
            return false;
        o.evaluate();
    }
    return true;
}

bool qor_cScene::extractAnimRollTrack(qor_cObject & o)
{
    return extractAnimCameraTrack(o, true);
}

bool qor_cScene::extractAnimFovTrack(qor_cObject & o)
{
    return extractAnimCameraTrack(o, false);
}

bool qor_cScene::extractAnimVisibilityTrack(qor_cObject & o)
{
    tz_cChunkedFile & f = *m_pChunkedFile;
    uint nUnused = 0, nKey = 0;
    if (!f.readU16(&nUnused) || !f.readU32(&nKey))
        return false;
    if ((long long)nKey > f.remaining() / 8)
        return false;
    const float fRate = float(m_auAnimInfo[2]);
    if (nKey > 0 && fRate == 0.0f)
        return false;
    qor_cEasyAnim & track = o.visibilityTrack();
    for (uint k = 0; k < nKey; ++k)
    {
        float t, v;
        if (!f.readF32(&t) || !f.readF32(&v))
            return false;
        qor_cKey * pKey = new (std::nothrow) qor_cStepKey(1);
        if (!pKey)
            return false;
        pKey->m_fTime = t / fRate;
        pKey->m_afValue[0] = v;
        if (!track.addKey(pKey, true))
            delete pKey;
    }
    return track.initKeyArray();
}
