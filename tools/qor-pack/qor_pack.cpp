// qor-pack: builds, lists, reads and unpacks pack files with the engine's own qor_cMonofiler.
//
//   qor-pack create OUT [--compress] FILE...   build a pack (addFile each FILE, then save)
//   qor-pack list PACK                         name TAB stored TAB compressed TAB unpacked
//   qor-pack cat PACK NAME                     loadFile(NAME) to standard output
//   qor-pack extract PACK DIR                  every entry under DIR ("\" becomes a folder)
//
// Every failure prints a message on standard error and exits non-zero; files are written to
// a temporary name in the same folder, then renamed. See docs/PACK.md.
#include "qor_cMonofiler.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace
{
const int kExitFailure = 1;
const int kExitUsage = 2;

typedef int (*CommandFn)(const std::vector<std::string> & args, bool bCompress);

int cmdCreate(const std::vector<std::string> & args, bool bCompress);
int cmdList(const std::vector<std::string> & args, bool bCompress);
int cmdCat(const std::vector<std::string> & args, bool bCompress);
int cmdExtract(const std::vector<std::string> & args, bool bCompress);

struct Command
{
    cchar * szName;
    int nMinArgs;
    int nMaxArgs; // -1: any number
    CommandFn pfnRun;
    cchar * szArgs;
    cchar * szHelp;
};

// The commands and options, one table each.
const Command s_aCommand[] = {
    {"create", 1, -1, &cmdCreate, "OUT [--compress] FILE...",
     "build a pack from disk files (names are the paths, lower-cased, \"/\" -> \"\\\")"},
    {"list", 1, 1, &cmdList, "PACK", "one line per entry: name, stored size, compressed (0/1), unpacked size"},
    {"cat", 2, 2, &cmdCat, "PACK NAME", "write the file the engine loads for NAME (pack, then disk) to stdout"},
    {"extract", 2, 2, &cmdExtract, "PACK DIR", "write every entry under DIR"},
};

struct Option
{
    cchar * szName;
    cchar * szHelp;
};

const Option s_aOption[] = {
    {"--compress", "create: store each file LZO1X-compressed when that makes it smaller"},
    {"--help", "print this help"},
    {"--", "end of options"},
};

void printUsage(FILE * pOut)
{
    std::fprintf(pOut, "usage:\n");
    for (const Command & cmd : s_aCommand)
        std::fprintf(pOut, "  qor-pack %s %s\n      %s\n", cmd.szName, cmd.szArgs, cmd.szHelp);
    std::fprintf(pOut, "options:\n");
    for (const Option & opt : s_aOption)
        std::fprintf(pOut, "  %-11s %s\n", opt.szName, opt.szHelp);
}

// Prints the error, then the usage; the exit code for a bad command line.
int help(cchar * szError)
{
    if (szError)
        std::fprintf(stderr, "qor-pack: %s\n", szError);
    printUsage(stderr);
    return kExitUsage;
}

int fail(const std::string & msg)
{
    std::fprintf(stderr, "qor-pack: %s\n", msg.c_str());
    return kExitFailure;
}

// Writes n bytes to a temporary file beside szPath, then renames it to szPath.
bool writeFileAtomic(const std::string & path, const void * p, size_t n, std::string * pError)
{
    std::string tmpl = path + ".tmp-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back(0);
    const int fd = mkstemp(buf.data());
    if (fd < 0)
    {
        *pError = std::strerror(errno);
        return false;
    }
    const std::string tmp(buf.data());
    const mode_t mask = umask(0);
    umask(mask);
    bool bOk = fchmod(fd, 0666 & ~mask) == 0;
    const char * pc = static_cast<const char *>(p);
    size_t nDone = 0;
    while (bOk && nDone < n)
    {
        const ssize_t nWritten = write(fd, pc + nDone, n - nDone);
        if (nWritten < 0 && errno == EINTR)
            continue;
        bOk = nWritten > 0;
        if (bOk)
            nDone += static_cast<size_t>(nWritten);
    }
    if (!bOk)
        *pError = std::strerror(errno);
    if (::close(fd) != 0 && bOk)
    {
        *pError = std::strerror(errno);
        bOk = false;
    }
    if (bOk && std::rename(tmp.c_str(), path.c_str()) != 0)
    {
        *pError = std::strerror(errno);
        bOk = false;
    }
    if (!bOk)
        std::remove(tmp.c_str());
    return bOk;
}

std::string openFailure(const std::string & pack, const qor_cMonofiler & mono)
{
    return pack + ": cannot open pack: " + mono.getOpenError() + " (byte offset " +
           std::to_string(mono.getOpenErrorOffset()) + ")";
}

int cmdCreate(const std::vector<std::string> & args, bool bCompress)
{
    const std::string & out = args[0];
    qor_cMonofiler pack;
    int nErrors = 0;
    char acLookup[qor_cMonofiler::kMaxNameLength + 1];
    for (size_t i = 1; i < args.size(); ++i)
    {
        const std::string & file = args[i];
        struct stat st;
        if (stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        {
            nErrors += fail(file + ": not a readable regular file");
            continue;
        }
        if (file.size() > qor_cMonofiler::kMaxNameLength)
        {
            nErrors += fail(file + ": name longer than 1024 characters");
            continue;
        }
        // A lookup takes the first entry containing the name: a file that an earlier entry
        // already answers for could never be read from the pack (addFile would skip it).
        const int iEntry = pack.findEntry(file.c_str());
        if (iEntry >= 0)
        {
            qor_cMonofiler::makeLookupName(file.c_str(), acLookup);
            cchar * szEarlier = pack.getEntry(static_cast<uint>(iEntry))->m_szName;
            if (std::strcmp(szEarlier, acLookup) == 0)
                std::fprintf(stderr, "qor-pack: %s: listed twice, stored once\n", file.c_str());
            else
                nErrors += fail(file + ": a lookup of this name finds the earlier entry \"" + szEarlier +
                                "\" first, so it could never be read from the pack; list it before that entry");
            continue;
        }
        if (!pack.addFile(file.c_str(), bCompress))
            nErrors += fail(file + ": cannot add (unreadable or larger than 1 GiB)");
    }
    if (nErrors)
        return fail("not writing " + out + " due to errors");

    std::string tmpl = out + ".tmp-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back(0);
    const int fd = mkstemp(buf.data());
    if (fd < 0)
        return fail(out + ": cannot create a temporary file: " + std::strerror(errno));
    const std::string tmp(buf.data());
    const mode_t mask = umask(0);
    umask(mask);
    const bool bModeOk = fchmod(fd, 0666 & ~mask) == 0;
    ::close(fd);
    if (!bModeOk || !pack.save(tmp.c_str()))
    {
        std::remove(tmp.c_str());
        return fail(out + ": cannot write the pack (a file could not be read, or a write failed)");
    }
    if (std::rename(tmp.c_str(), out.c_str()) != 0)
    {
        const std::string err = std::strerror(errno);
        std::remove(tmp.c_str());
        return fail(out + ": " + err);
    }
    return 0;
}

int cmdList(const std::vector<std::string> & args, bool)
{
    qor_cMonofiler pack;
    if (!pack.open(args[0].c_str()))
        return fail(openFailure(args[0], pack));
    for (uint i = 0; i < pack.getNbEntry(); ++i)
    {
        cchar * szName = nullptr;
        uint nSize = 0, nUnpacked = 0;
        bool bCompressed = false;
        pack.getEntryInfo(i, &szName, &nSize, &bCompressed, &nUnpacked);
        std::printf("%s\t%u\t%d\t%u\n", szName, nSize, bCompressed ? 1 : 0, nUnpacked);
    }
    if (std::fflush(stdout) != 0)
        return fail(std::string("standard output: ") + std::strerror(errno));
    return 0;
}

int cmdCat(const std::vector<std::string> & args, bool)
{
    qor_cMonofiler pack;
    // As in the player: a pack that fails to open is an empty pack, every name goes to the disk.
    pack.open(args[0].c_str());
    uint nSize = 0;
    char * pData = pack.loadFile(args[1].c_str(), &nSize);
    if (!pData)
        return fail(args[1] + ": not in " + args[0] + " nor on the disk, or its data is corrupt");
    const bool bOk = (nSize == 0 || std::fwrite(pData, 1, nSize, stdout) == nSize) && std::fflush(stdout) == 0;
    delete[] pData;
    return bOk ? 0 : fail(std::string("standard output: ") + std::strerror(errno));
}

// Why an entry name cannot be extracted, or null when it is a safe relative path.
cchar * unsafeName(const qor_sMonofilerEntry * pEntry)
{
    if (pEntry->m_nNameLength == 0)
        return "empty name";
    if (std::memchr(pEntry->m_szName, 0, pEntry->m_nNameLength))
        return "name holds a NUL byte";
    if (std::strstr(pEntry->m_szName, ".."))
        return "name holds \"..\"";
    if (pEntry->m_szName[0] == '/' || pEntry->m_szName[0] == '\\')
        return "name starts with a separator (absolute path)";
    const char cLast = pEntry->m_szName[pEntry->m_nNameLength - 1];
    if (cLast == '/' || cLast == '\\')
        return "name ends with a separator (a folder, not a file)";
    return nullptr;
}

bool isInside(const fs::path & root, const fs::path & p)
{
    auto itRoot = root.begin();
    auto it = p.begin();
    for (; itRoot != root.end(); ++itRoot, ++it)
    {
        if (it == p.end() || *it != *itRoot)
            return false;
    }
    return true;
}

int cmdExtract(const std::vector<std::string> & args, bool)
{
    const std::string & packPath = args[0];
    qor_cMonofiler pack;
    if (!pack.open(packPath.c_str()))
        return fail(openFailure(packPath, pack));
    std::error_code ec;
    fs::create_directories(args[1], ec);
    const fs::path root = fs::weakly_canonical(args[1], ec);
    if (ec || !fs::is_directory(root, ec))
        return fail(args[1] + ": cannot create the folder");

    int nErrors = 0;
    for (uint i = 0; i < pack.getNbEntry(); ++i)
    {
        const qor_sMonofilerEntry * pEntry = pack.getEntry(i);
        const std::string name = pEntry->m_szName;
        const std::string where = packPath + ": entry " + std::to_string(i) + " \"" + name + "\": ";
        if (cchar * szWhy = unsafeName(pEntry))
        {
            nErrors += fail(where + "refused, " + szWhy);
            continue;
        }
        std::string rel = name;
        for (char & c : rel)
            if (c == '\\')
                c = '/';
        const fs::path target = root / fs::path(rel);
        const fs::path parent = target.parent_path();
        // A folder that already exists under DIR may be a link that leads out of it: resolve
        // what exists before creating anything (the rest holds no "..", it stays inside).
        const fs::path realParent = fs::weakly_canonical(parent, ec);
        if (ec || !isInside(root, realParent))
        {
            nErrors += fail(where + "refused, its folder resolves outside " + args[1]);
            continue;
        }
        fs::create_directories(realParent, ec);
        if (ec)
        {
            nErrors += fail(where + "cannot create its folder: " + ec.message());
            continue;
        }
        uint nSize = 0;
        char * pData = pack.loadEntry(i, &nSize);
        if (!pData)
        {
            nErrors += fail(where + "corrupt data (byte offset " + std::to_string(pEntry->m_nOffset) + ")");
            continue;
        }
        std::string err;
        if (!writeFileAtomic((realParent / target.filename()).string(), pData, nSize, &err))
            nErrors += fail(where + "cannot write: " + err);
        delete[] pData;
    }
    return nErrors ? kExitFailure : 0;
}
} // namespace

int main(int argc, char ** argv)
{
    if (argc < 2)
        return help("no command");
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help")
    {
        printUsage(stdout);
        return 0;
    }
    const Command * pCommand = nullptr;
    for (const Command & cmd : s_aCommand)
        if (command == cmd.szName)
            pCommand = &cmd;
    if (!pCommand)
        return help(("unknown command \"" + command + "\"").c_str());

    std::vector<std::string> args;
    bool bCompress = false, bOptions = true;
    for (int i = 2; i < argc; ++i)
    {
        const std::string arg = argv[i];
        if (bOptions && arg == "--")
            bOptions = false;
        else if (bOptions && arg == "--compress" && pCommand->pfnRun == &cmdCreate)
            bCompress = true;
        else if (bOptions && (arg == "--help" || arg == "-h"))
        {
            printUsage(stdout);
            return 0;
        }
        else if (bOptions && arg.size() > 1 && arg[0] == '-')
            return help(("unknown option \"" + arg + "\" for " + command).c_str());
        else
            args.push_back(arg);
    }
    const int nArgs = static_cast<int>(args.size());
    if (nArgs < pCommand->nMinArgs || (pCommand->nMaxArgs >= 0 && nArgs > pCommand->nMaxArgs))
        return help(("wrong number of arguments for " + command).c_str());
    return pCommand->pfnRun(args, bCompress);
}
