// qor_cGLProgramStore: linked programs kept on disk between runs, so that a state first met
// during the show does not compile and link inside a draw call.
//
// One file per program, in $XDG_CACHE_HOME/qor (an absolute XDG_CACHE_HOME only, as the XDG
// base directory rules say) or else ~/.cache/qor. The file name is a hash of the state key,
// the generated sources, and the GL renderer and version strings; the file repeats all of them
// in full, so an entry made by another driver, another build of the shader generator or a
// colliding hash is never handed to GL. Layout (host byte order; an entry is only read back
// by the machine that wrote it):
//
//   "QORPROG1"                              8 bytes
//   key size, renderer length, version length, binary format, binary length   5 x uint32
//   source hash, binary checksum (FNV-1a 64)                                   2 x uint64
//   key bytes, renderer, version, program binary
//
// Files are written to a temporary name and renamed, so a reader never sees half an entry;
// a corrupt, truncated, foreign or oversized entry is ignored (and replaced by the rebuilt
// program). Only regular files are read or replaced.
#pragma once

#include "qor_types.h"

#include "qor_gl.h"

#include <cstdint>
#include <string>

struct qor_sShaderKey;

class qor_cGLProgramStore
{
public:
    // Largest program binary kept (llvmpipe's are tens of kilobytes).
    static constexpr uint32_t kMaxBinary = 8u << 20;

    // With the context current: picks the folder from the environment and reads the renderer
    // and version strings. The store stays off when GL offers no binary format or there is no
    // folder to use.
    void open();
    // The same with the folder and strings given (fuzzing, tests): no GL call.
    void openAt(const std::string & strDir, const std::string & strRenderer, const std::string & strVersion);
    bool isOpen() const { return !m_strDir.empty(); }
    const std::string & getDir() const { return m_strDir; }

    // The path of the entry for a key and its sources.
    std::string pathOf(const qor_sShaderKey & key, uint64_t uSourceHash) const;
    // A linked program made from the stored binary, or 0 (no entry, or one that is unusable:
    // it is then logged and left to be replaced).
    GLuint load(const qor_sShaderKey & key, uint64_t uSourceHash) const;
    // Stores a linked program (made with GL_PROGRAM_BINARY_RETRIEVABLE_HINT). False when it
    // could not be written; the program stays usable either way.
    bool save(const qor_sShaderKey & key, uint64_t uSourceHash, GLuint uProgram) const;

    // The program binary of an entry read whole: false (with the reason in *pszWhy) unless the
    // bytes are a complete entry for this key, these sources and this store's driver strings
    // with a binary that matches its checksum.
    struct Entry
    {
        uint32_t uFormat;
        const uint8_t * pBinary;
        uint32_t uLength;
    };
    bool parseEntry(const uint8_t * pData, size_t nSize, const qor_sShaderKey & key, uint64_t uSourceHash,
                    Entry * pEntry, cchar ** pszWhy) const;

    static uint64_t hashBytes(const void * p, size_t n, uint64_t h = 1469598103934665603ull);

private:
    std::string m_strDir;
    std::string m_strRenderer;
    std::string m_strVersion;
};
