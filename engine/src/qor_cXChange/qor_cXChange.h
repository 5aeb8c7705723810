// qor_cXChange: the engine's directory of global services and its one entry point for reading
// files. One instance, embedded in the main object: constructing it makes it the
// instance QOR_XCHANGE() returns, destroying it makes the accessor return null. It owns
// nothing; every slot is owned elsewhere and starts null.
#pragma once

#include "qor_types.h"

#include <cstdio>

class qor_cDisp;
class qor_cMonofiler;

// Every file name that data gives (a texture in a scene or a material script, a scene or a
// script a script names) passes here before anything is opened: a name that is absolute or
// has a ".." component (qoru_isDataName) is refused, logged with the name, and false returned.
// szWhat says what named it, for the log.
bool qoru_acceptDataName(cchar * szName, cchar * szWhat);

class qor_cXChange
{
public:
    qor_cXChange();
    virtual ~qor_cXChange();
    qor_cXChange(const qor_cXChange &) = delete;
    qor_cXChange & operator=(const qor_cXChange &) = delete;

    static qor_cXChange * getInstance() { return s_pInstance; }

    // The registered pack reader, or null; null unregisters.
    qor_cMonofiler * getMonofiler() const { return m_pMonofiler; }
    void setMonofiler(qor_cMonofiler * pMonofiler) { m_pMonofiler = pMonofiler; }

    // The display device (filled by the main object's initDisp).
    qor_cDisp * getDisp() const { return m_pDisp; }
    void setDisp(qor_cDisp * pDisp) { m_pDisp = pDisp; }

    // The backend's device (what QOR_D3DDEVICE() returns), filled by the display device.
    void * getD3DDevice() const { return m_pD3DDevice; }
    void setD3DDevice(void * pDevice) { m_pD3DDevice = pDevice; }

    // The whole file in a new buffer (decompressed) that the caller releases with delete [],
    // or null: from the pack when a lookup matches, else from the disk. *pBufferSize (when
    // given) receives the size, 0 when the file exists nowhere. A failure logs three reports,
    // the first also in a message box. Without a registered pack reader every file comes
    // from the disk.
    char * readFile(cchar * szFilename, uint * pBufferSize = nullptr);

    // A stream positioned at the first byte of the file's stored data, or null (nothing is
    // reported). From the pack it is the pack's own stream, positioned at the stored (never
    // decompressed) bytes; else the disk file opened with szMode. Read it sequentially, read
    // nothing else meanwhile, then call unlockFile(). One lock at a time: locking again ends
    // the previous lock first.
    FILE * lockFile(cchar * szFilename, cchar * szMode = "rb");
    // Ends the lock; closes the stream only when lockFile opened it from the disk.
    void unlockFile();

private:
    static qor_cXChange * s_pInstance;

    qor_cDisp * m_pDisp;
    qor_cMonofiler * m_pMonofiler;
    void * m_pD3DDevice;
};

// The service directory, null while none exists.
inline qor_cXChange * QOR_XCHANGE() { return qor_cXChange::getInstance(); }
// The display device (QOR_ENGINE is the older name of the same accessor); null without one.
inline qor_cDisp * QOR_DISP() { return QOR_XCHANGE() ? QOR_XCHANGE()->getDisp() : nullptr; }
inline qor_cDisp * QOR_ENGINE() { return QOR_DISP(); }
// The backend device, null without one.
inline void * QOR_D3DDEVICE() { return QOR_XCHANGE() ? QOR_XCHANGE()->getD3DDevice() : nullptr; }
