// qor_cMonofiler: the pack file reader and builder.
//
// A pack is one file holding many named files, each stored plain or LZO1X-compressed.
// open() reads the directory and keeps the pack open; lookups lower-case the requested name,
// turn "/" into "\" and take the first entry whose stored name contains that text (strstr).
// A name that no entry contains is read from the disk under the name exactly as requested,
// so a missing or empty pack runs everything from loose files. The format is in docs/PACK.md.
//
// Hostile packs: open() checks every count and size against the pack's real size before it
// allocates anything (see the limits below) and fails, keeping no entry, on the first lie.
// Buffers returned by loadFile()/loadEntry() belong to the caller: release them with delete [].
// The class writes no log lines; callers report (qor_cXChange::readFile, the script host).
#pragma once

#include "qor_cList.h"
#include "qor_types.h"

#include <cstdint>
#include <cstdio>
#include <string>

struct qor_sMonofilerEntry
{
    char * m_szName;         // stored name (heap, NUL-terminated, may hold an earlier NUL)
    int32_t m_nOffset;       // absolute position of the entry's data in the pack file
    uint m_nSize;            // number of data bytes in the pack
    bool m_bCompressRequest; // builder only: try to compress this file in save()
    bool m_bCompressed;      // the data is LZO1X-compressed
    uint m_nUnpackedSize;    // size after decompression; meaningful when compressed
    uint m_nNameLength;      // L as stored in the pack (the name may hold a NUL before L)
    char * m_szSourcePath;   // builder only: the disk path given to addFile (null when read)

    qor_sMonofilerEntry();
    ~qor_sMonofilerEntry();
    qor_sMonofilerEntry(const qor_sMonofilerEntry &) = delete;
    qor_sMonofilerEntry & operator=(const qor_sMonofilerEntry &) = delete;
};

class qor_cMonofiler
{
public:
    static const uint32_t kMagic = 0xABCDF707u;
    // Longest stored name (bytes): the lookup text is cut at this length too.
    static const uint kMaxNameLength = 1024;
    // Largest file that loadFile()/loadEntry() will allocate for, and largest unpacked size a
    // compressed entry may declare (1 GiB).
    static const uint kMaxFileSize = 0x40000000u;
    // A compressed entry's declared unpacked size may be at most this many times its stored
    // size: LZO1X produces at most 255 bytes per input byte (a run length is extended by 255
    // per zero byte), so no valid stream can exceed 256 x its own size.
    static const uint kMaxExpansion = 256;

    qor_cMonofiler();
    virtual ~qor_cMonofiler();
    qor_cMonofiler(const qor_cMonofiler &) = delete;
    qor_cMonofiler & operator=(const qor_cMonofiler &) = delete;

    // close(), then reads the directory of szPath and keeps the pack open. False (and an empty,
    // closed reader) on a null path, a file that cannot be opened, a bad magic, or any entry
    // whose fields do not fit the file; getOpenError() then says what and where.
    bool open(cchar * szPath);
    // Frees every entry, empties the directory, closes the pack file.
    void close();

    // Directory lookup. Outputs are cleared first (each may be null). Found in the pack: the
    // pack file positioned at the entry's data, its stored size, compressed flag and unpacked
    // size; true. Otherwise the disk file of that exact name gives its size in *pSize; false.
    bool findFile(cchar * szName, FILE ** ppFile, uint * pSize, bool * pbCompressed, uint * pUnpackedSize = nullptr);
    // The pack file positioned at the entry's stored bytes (no decompression), or null.
    FILE * getFile(cchar * szName);
    // The whole file (decompressed) in a new buffer the caller releases with delete [], or null.
    // *pSize (when given) receives the buffer size: 0 when the file exists nowhere.
    char * loadFile(cchar * szName, uint * pSize = nullptr);
    // Reads the whole file into pBuffer. False when the name is found nowhere, when nCapacity
    // is smaller than the file (nothing is read then), on a short read, or when a compressed
    // entry fails to decompress to exactly its unpacked size (the buffer may then hold part).
    bool loadFileInto(cchar * szName, char * pBuffer, uint nCapacity);
    // Stored size of a pack entry, else the size of the disk file, else 0.
    uint getFileSize(cchar * szName);

    // Entry index nIndex in file order; false when nIndex >= entry count. Outputs may be null.
    bool getEntryInfo(uint nIndex, cchar ** pszName, uint * pSize, bool * pbCompressed,
                      uint * pUnpackedSize = nullptr) const;
    const qor_sMonofilerEntry * getEntry(uint nIndex) const;
    uint getNbEntry() const { return static_cast<uint>(m_lEntry.getNbItem()); }
    // Index of the entry a lookup of szName takes (lookup rules above), or -1.
    int findEntry(cchar * szName) const;
    // Entry nIndex's own bytes (decompressed), whatever lookups would pick; delete [] it.
    char * loadEntry(uint nIndex, uint * pSize = nullptr);
    bool isOpen() const { return m_pFile != nullptr; }

    // Why the last open() failed ("" after a success) and at which byte offset.
    cchar * getOpenError() const { return m_strOpenError.c_str(); }
    long getOpenErrorOffset() const { return m_nOpenErrorOffset; }

    // Builder: appends szPath (a readable regular file of at most kMaxFileSize bytes) as an
    // entry named szPath lower-cased with "/" turned into "\". A path that a lookup already
    // matches adds nothing and returns true. False on a null, unreadable or too long path.
    bool addFile(cchar * szPath, bool bCompress);
    // Builder: closes the pack file, writes every entry (compressing those that asked for it
    // when that makes them smaller) to szPath through the file layer: a temporary file beside
    // it renamed over it at the end, never over a path that is not a regular file. False (the
    // path untouched, the reason in *pstrError when given) on any open, read or write failure.
    bool save(cchar * szPath, std::string * pstrError = nullptr);

    // A function told the name of every file looked up (findFile, and through it loadFile,
    // getFileSize and the file exchange; loadFileInto), in the pack or on the disk, by any
    // reader: a live player learns which files each screen was built from. Null: none.
    typedef void (*LookupObserver)(cchar * szName, void * pUser);
    static void setLookupObserver(LookupObserver pfnObserver, void * pUser);

    // The lookup text of a name: at most kMaxNameLength characters, lower-cased, "/" -> "\".
    static void makeLookupName(cchar * szName, char * pOut /* kMaxNameLength + 1 bytes */);

private:
    bool readEntryData(const qor_sMonofilerEntry * pEntry, char * pBuffer, uint nCapacity);
    bool failOpen(cchar * szWhy, long nOffset);

    uint32_t m_nMagic;
    qor_cList m_lEntry;
    FILE * m_pFile;
    std::string m_strOpenError;
    long m_nOpenErrorOffset;
};

// Initialises liblzo2 once (lzo_init); false, for good, when the library refuses.
bool qoru_lzoInit();

// fopen of a data name on the disk through the file layer (qor_fileUtil.h): reading ("r...")
// takes only a regular file of at most qor_cMonofiler::kMaxFileSize bytes, writing never
// replaces what is not a regular file. The name as given, then, when that fails and the name
// uses "\" between folders, the same name with "/". Null, with the reason when asked.
FILE * qoru_fopenDiskName(cchar * szName, cchar * szMode, std::string * pstrError = nullptr);
