// tz_cFile: a small buffered file over the C stream functions, and the file helpers beside it.
//
// Every file is opened through qoru_openRegularFile, over the engine's file layer
// (qor_fileUtil.h): the path must name a regular file (a FIFO, a device or a folder is refused
// before anything can block on it), and a file opened for writing never replaces something
// that is not a regular file. Reads and writes report the bytes really transferred, so a short
// read at the end of a file is visible to the caller.
#pragma once

#include "qor_cString.h"
#include "qor_types.h"

#include <cstddef>
#include <cstdio>

// Opens szPath with an fopen mode ("rb", "wb", "ab", "w+b" ...; not "r+"), refusing anything
// that is not a regular file, and for reading anything above kQorMaxFileSize bytes. The open
// itself does not block and a write mode truncates only after the check. Null on any failure.
FILE * qoru_openRegularFile(cchar * szPath, cchar * szMode);

class tz_cFile
{
public:
    // Largest file a reader of this layer takes whole or chunk by chunk (512 MiB): a scene or
    // animation file of the modelling package's exporter is a few megabytes.
    static constexpr long long e_maxReadSize = 512ll * 1024 * 1024;

    tz_cFile();
    // Opens at once; isOpen() tells whether it worked.
    tz_cFile(cchar * szPath, cchar * szMode);
    virtual ~tz_cFile();
    tz_cFile(const tz_cFile &) = delete;
    tz_cFile & operator=(const tz_cFile &) = delete;

    // False for a null path or mode or an empty path; a file already open is closed first.
    virtual bool open(cchar * szPath, cchar * szMode);
    void close();
    bool isOpen() const { return m_bOpen; }

    // Size in bytes (the position is kept); 0 when not open. A file opened for reading only is
    // measured once when it opens: readers ask before every field they read, and measuring by
    // seeking to the end would throw the stream's buffer away each time.
    long long size();
    // Current position; -1 when not open. Kept by the reads and seeks of a file opened for
    // reading only.
    long long tell();
    // Bytes between the position and the end (0 when not open or past the end).
    long long remaining();

    // Bytes transferred; 0 for a null buffer, a length of 0 or less, a closed file, or a stream
    // error. A short count at the end of the file is returned as it is.
    int read(void * pBuffer, int nLength);
    int write(const void * pBuffer, int nLength);

    // Little-endian fields; false (and the value 0) when the bytes are not all there.
    bool readU32(uint * pValue);
    bool readU16(uint * pValue);
    bool readF32(float * pValue);
    bool writeU32(uint nValue);
    bool writeF32(float fValue);

    // nOrigin 0 start, 1 current, 2 end; any other origin fails.
    bool seek(long long nOffset, int nOrigin);

    cchar * getPath() const { return m_strPath.get(); }
    cchar * getMode() const { return m_strMode.get(); }
    FILE * getStream() const { return m_pFile; }

protected:
    bool m_bOpen;
    FILE * m_pFile;
    qor_cString m_strPath;
    qor_cString m_strMode;
    // A file opened for reading only: its size, and the position kept by read() and seek()
    // (asking the stream costs a system call per field); -1 for other files.
    long long m_nReadSize = -1;
    long long m_nReadPos = -1;
};

// Copies szSource to szDest in blocks of 1024 bytes. With bFailIfExists, a destination that
// can already be opened for reading is left untouched and the copy fails. True once the source
// is exhausted; false when a file cannot be opened or a write falls short.
bool qoru_fileCopy(cchar * szSource, cchar * szDest, bool bFailIfExists);
// True on success; false for null arguments.
bool qoru_fileRemove(cchar * szPath);
bool qoru_fileRename(cchar * szFrom, cchar * szTo);

// Little-endian fields in memory (the containers' byte order, whatever the host's).
inline uint qoru_readU32LE(const void * p)
{
    const uchar * pb = static_cast<const uchar *>(p);
    return uint(pb[0]) | uint(pb[1]) << 8 | uint(pb[2]) << 16 | uint(pb[3]) << 24;
}
inline uint qoru_readU16LE(const void * p)
{
    const uchar * pb = static_cast<const uchar *>(p);
    return uint(pb[0]) | uint(pb[1]) << 8;
}
float qoru_readF32LE(const void * p);
inline void qoru_writeU32LE(void * p, uint n)
{
    uchar * pb = static_cast<uchar *>(p);
    pb[0] = uchar(n);
    pb[1] = uchar(n >> 8);
    pb[2] = uchar(n >> 16);
    pb[3] = uchar(n >> 24);
}
void qoru_writeF32LE(void * p, float f);
