// The file access qor-import gives Assimp: every file a model names (material libraries,
// buffers, other parts) is opened only when it is a regular file of bounded size, read only,
// so that a model naming a FIFO or a device can neither block nor feed the importer forever.
#pragma once

#include <assimp/IOSystem.hpp>

class qor_cImportIOSystem : public Assimp::IOSystem
{
public:
    // Largest file handed to Assimp.
    static constexpr long long e_maxFile = 512ll * 1024 * 1024;

    // bAllowFiles false: no file opens at all (inputs read from memory that must stay there).
    explicit qor_cImportIOSystem(bool bAllowFiles = true) : m_bAllowFiles(bAllowFiles) {}

    bool Exists(const char * szFile) const override;
    char getOsSeparator() const override { return '/'; }
    Assimp::IOStream * Open(const char * szFile, const char * szMode = "rb") override;
    void Close(Assimp::IOStream * pFile) override;

private:
    bool m_bAllowFiles;
};
