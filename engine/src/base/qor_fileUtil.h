// qor_fileUtil: the one way the engine and its tools open files on the disk.
//
// Reading: a file is opened without blocking (O_NONBLOCK, so a named pipe or a device with no
// writer cannot stall the open), checked with fstat to be a regular file no larger than the
// caller's limit, and only then read or handed out. Nothing is allocated for a file before
// those checks pass, and a whole-file read stops at the limit even if the file grows meanwhile.
//
// Writing: an output path that exists and is not a regular file (a folder, a device, a named
// pipe, a symbolic link) is refused and left alone, as is a path naming a file the run reads.
// An output never follows a link: a link at the path is refused, not written through and not
// replaced (whatever it points to stays as it is, and so does the link). A replaced file is
// written to a temporary file in the same folder and renamed over the path only when every
// byte is written, so a failed write leaves the old file whole. Logs and settings that are
// appended to in place open through qoru_fopenWrite, which refuses the same paths.
//
// No function throws. Each returns false or null on failure and, when pstrError is not null,
// stores a short reason without the path (e.g. "is a folder, not a regular file"), for the
// caller to print as "PATH: REASON" in its own style.
#pragma once

#include "qor_types.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// The largest file any reader takes unless it asks for less (1 GiB): no data file of a show
// comes near it, and it keeps every size inside the 32-bit counts the file formats use.
constexpr uint64_t kQorMaxFileSize = 0x40000000u;

// Opens szPath for reading: a descriptor (O_CLOEXEC, blocking again after the checks) and the
// file's size in *pnSize (may be null), or -1 when the path cannot be opened, is not a regular
// file, or is larger than nMaxSize bytes.
int qoru_openRead(cchar * szPath, uint64_t nMaxSize, uint64_t * pnSize, std::string * pstrError);

// The same, as a stdio stream opened "rb" for readers that decode as they go (the pack reader,
// the JPEG module). The caller closes it with fclose.
FILE * qoru_fopenRead(cchar * szPath, uint64_t nMaxSize, uint64_t * pnSize, std::string * pstrError);

// Reads the whole of szPath into *pstrData (binary; replaced, cleared on failure). Fails like
// qoru_openRead, on a read error, when memory runs out, and when the file holds more than
// nMaxSize bytes by the time it is read.
bool qoru_readFile(cchar * szPath, uint64_t nMaxSize, std::string * pstrData, std::string * pstrError);

// Whether szName, a file name that data gives (a scene's texture, a script's scene, layer,
// texture or material script), stays inside the show's folders: not empty, not absolute ("/"
// or "\\" first, or a drive letter "C:"), and with no ".." component between "/" or "\\"
// separators. Paths the user gives on a command line are not data and are not checked.
bool qoru_isDataName(cchar * szName);

// True when both paths exist and name the same file (same device and inode), through links.
bool qoru_isSameFile(cchar * szPathA, cchar * szPathB);

// From now on every file this process opens for reading through this layer is an input of the
// run: qoru_checkOutput refuses it as an output, by whatever name or hard link it is reached.
// A tool calls it first thing; a long-lived program that rewrites its own files does not.
void qoru_trackInputs();

// Whether szPath may be written: it does not exist yet, or it is a regular file (not a
// symbolic link, whatever it points to), and it is neither the same file as szInput (when not
// null) nor any file read since qoru_trackInputs.
bool qoru_checkOutput(cchar * szPath, cchar * szInput, std::string * pstrError);

// An output being written: the stream points into a temporary file next to the final path.
struct qor_sOutputFile
{
    FILE * m_pFile = nullptr;
    std::string m_strPath; // the final path
    std::string m_strTemp; // the temporary file, "" once renamed or removed
};

// qoru_checkOutput(szPath, szInput), then creates the temporary file (mode 0666 less the umask,
// or the mode of the file it will replace) and returns its stream (also in pOut->m_pFile).
FILE * qoru_beginOutput(qor_sOutputFile * pOut, cchar * szPath, cchar * szInput, std::string * pstrError);
// Closes the stream and renames the temporary file over the path (checked once more just
// before). On any failure the temporary file is removed and the path is left as it was.
bool qoru_commitOutput(qor_sOutputFile * pOut, std::string * pstrError);
// Closes the stream and removes the temporary file; safe to call on an output never begun
// or already committed.
void qoru_abortOutput(qor_sOutputFile * pOut);

// One whole output: qoru_beginOutput, the bytes, qoru_commitOutput.
bool qoru_writeFile(cchar * szPath, const void * pData, size_t nSize, cchar * szInput, std::string * pstrError);

// In-place writing for logs and settings: szMode is "w", "a" or "a+" (a "b" or "t" is
// ignored). The path must be absent (it is created) or a regular file, opened without
// following a link (O_NOFOLLOW); "w" truncates only after that check. Null (and a reason) for
// anything else.
FILE * qoru_fopenWrite(cchar * szPath, cchar * szMode, std::string * pstrError);
