// The files qor-import reads. A model names other files (material libraries, buffers, textures,
// other parts): those are read only from the model's own folder and below, unless the user
// allows more, so that a model cannot make the tool read "/etc/shadow" or "../../secret.bin".
// Every file is opened only when it is a regular file of bounded size, read only, so that a
// model naming a FIFO or a device can neither block nor feed the importer forever. Every file
// read is remembered (device and inode) so that no output replaces one of them.
#pragma once

#include <assimp/IOSystem.hpp>

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

class qor_cImportFiles
{
  public:
    // strModel: the model's path as given. bAllowOutside: references may leave its folder.
    qor_cImportFiles(const std::string & strModel, bool bAllowOutside);

    // Opens strPath for reading (the model itself, or a file it refers to): a descriptor, or -1
    // with *pstrWhy. A reference outside the model's folder is refused and adds a warning
    // naming it (once per path).
    int openRead(const std::string & strPath, uint64_t nMaxSize, uint64_t * pnSize, std::string * pstrWhy);
    // The same, the whole file into *pData.
    bool readFile(const std::string & strPath, uint64_t nMaxSize, std::string * pData, std::string * pstrWhy);
    // Whether strPath may be read at all (no file is opened; no warning).
    bool inside(const std::string & strPath) const;
    // The same, with the warning for a path refused.
    bool allowed(const std::string & strPath);

    // (device, inode) of every file opened.
    using tId = std::pair<uint64_t, uint64_t>;
    const std::set<tId> & reads() const { return m_reads; }
    std::vector<std::string> & warnings() { return m_warnings; }
    const std::string & folder() const { return m_strFolder; }

  private:
    void refuse(const std::string & strPath, std::string * pstrWhy);

    std::string m_strModel;
    std::string m_strFolder;     // the model's folder as given ("." when none)
    std::string m_strFolderLex;  // absolute, "." and ".." removed
    std::string m_strFolderReal; // through every link (realpath)
    bool m_bAllowOutside;
    std::set<tId> m_reads;
    std::set<std::string> m_refused;
    std::vector<std::string> m_warnings;
};

// Assimp's file access for qor-import. pFiles null: no file opens at all (inputs read from
// memory that must stay there).
class qor_cImportIOSystem : public Assimp::IOSystem
{
  public:
    // Largest file handed to Assimp.
    static constexpr uint64_t e_maxFile = 512ull * 1024 * 1024;

    explicit qor_cImportIOSystem(qor_cImportFiles * pFiles) : m_pFiles(pFiles) {}

    bool Exists(const char * szFile) const override;
    char getOsSeparator() const override { return '/'; }
    Assimp::IOStream * Open(const char * szFile, const char * szMode = "rb") override;
    void Close(Assimp::IOStream * pFile) override;

  private:
    qor_cImportFiles * m_pFiles;
};

// Absolute form of a path with "." and ".." taken out, without looking at the disk.
std::string qoru_importLexicalPath(const std::string & strPath);
