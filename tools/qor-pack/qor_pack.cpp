// qor-pack: builds, lists, reads and unpacks pack files with the engine's own qor_cMonofiler.
//
//   qor-pack create OUT [--compress] FILE...   build a pack (addFile each FILE, then save)
//   qor-pack list PACK                         name TAB stored TAB compressed TAB unpacked
//   qor-pack cat PACK NAME                     loadFile(NAME) to standard output
//   qor-pack extract PACK DIR                  every entry under DIR ("\" becomes a folder)
//
// Exit status: 0 success, 1 failure (a message on standard error), 2 bad usage. Every file goes
// through the file layer: packs and inputs must be regular files of bounded size; outputs are
// written to a temporary name in the same folder, then renamed, never over a file that is not
// a regular file nor over an input. See docs/PACK.md.
#include "qor_cMonofiler.h"
#include "qor_fileUtil.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
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

std::string openFailure(const std::string & pack, const qor_cMonofiler & mono)
{
    return pack + ": cannot open pack: " + mono.getOpenError() + " (byte offset " +
           std::to_string(mono.getOpenErrorOffset()) + ")";
}

// Why an entry name cannot be extracted, or null when it is a safe relative path. create
// refuses the same names, so that every pack it writes extracts whole.
cchar * unsafeName(cchar * szName, uint nLength)
{
    if (nLength == 0)
        return "empty name";
    if (std::memchr(szName, 0, nLength))
        return "name holds a NUL byte";
    if (std::strstr(szName, ".."))
        return "name holds \"..\"";
    if (szName[0] == '/' || szName[0] == '\\')
        return "name starts with a separator (absolute path)";
    const char cLast = szName[nLength - 1];
    if (cLast == '/' || cLast == '\\')
        return "name ends with a separator (a folder, not a file)";
    return nullptr;
}

// A stored name for the one-line-per-entry listing: control bytes (and NUL bytes inside the
// stored length) as \xHH, so that a name cannot break the line format.
std::string printableName(cchar * szName, uint nLength)
{
    static const char s_acHex[] = "0123456789abcdef";
    std::string out;
    for (uint i = 0; i < nLength; ++i)
    {
        const uchar c = static_cast<uchar>(szName[i]);
        if (c < 0x20 || c == 0x7F)
        {
            out += "\\x";
            out += s_acHex[c >> 4];
            out += s_acHex[c & 15];
        }
        else
            out += static_cast<char>(c);
    }
    return out;
}

int cmdCreate(const std::vector<std::string> & args, bool bCompress)
{
    const std::string & out = args[0];
    std::string strOutErr;
    if (!qoru_checkOutput(out.c_str(), nullptr, &strOutErr))
        return fail(out + ": " + strOutErr);
    qor_cMonofiler pack;
    int nErrors = 0;
    char acLookup[qor_cMonofiler::kMaxNameLength + 1];
    for (size_t i = 1; i < args.size(); ++i)
    {
        const std::string & file = args[i];
        std::string err;
        const int fd = qoru_openRead(file.c_str(), qor_cMonofiler::kMaxFileSize, nullptr, &err);
        if (fd < 0)
        {
            nErrors += fail(file + ": " + err);
            continue;
        }
        ::close(fd);
        if (qoru_isSameFile(out.c_str(), file.c_str()))
        {
            nErrors += fail(out + ": is also an input file; not written over");
            continue;
        }
        if (file.size() > qor_cMonofiler::kMaxNameLength)
        {
            nErrors += fail(file + ": name longer than 1024 characters");
            continue;
        }
        qor_cMonofiler::makeLookupName(file.c_str(), acLookup);
        if (cchar * szWhy = unsafeName(acLookup, static_cast<uint>(std::strlen(acLookup))))
        {
            nErrors += fail(file + ": refused, " + szWhy + " (extract could not write it back)");
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

    std::string err;
    if (!pack.save(out.c_str(), &err))
        return fail(out + ": cannot write the pack: " + err);
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
        const std::string name = printableName(szName, pack.getEntry(i)->m_nNameLength);
        std::printf("%s\t%u\t%d\t%u\n", name.c_str(), nSize, bCompressed ? 1 : 0, nUnpacked);
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
    if (!pData && pack.findEntry(args[1].c_str()) >= 0)
        return fail(args[1] + ": the entry's data in " + args[0] + " is corrupt");
    if (!pData)
    {
        // Not in the pack: say why the disk file was not read (missing, not a regular file, ...).
        std::string err;
        FILE * pFile = qoru_fopenDiskName(args[1].c_str(), "rb", &err);
        if (pFile)
        {
            std::fclose(pFile);
            err = "cannot be read";
        }
        return fail(args[1] + ": not in " + args[0] + ", and on the disk: " + err);
    }
    const bool bOk = (nSize == 0 || std::fwrite(pData, 1, nSize, stdout) == nSize) && std::fflush(stdout) == 0;
    delete[] pData;
    return bOk ? 0 : fail(std::string("standard output: ") + std::strerror(errno));
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
    std::set<std::string> written;
    for (uint i = 0; i < pack.getNbEntry(); ++i)
    {
        const qor_sMonofilerEntry * pEntry = pack.getEntry(i);
        const std::string name = pEntry->m_szName;
        const std::string where = packPath + ": entry " + std::to_string(i) + " \"" +
                                  printableName(pEntry->m_szName, pEntry->m_nNameLength) + "\": ";
        if (cchar * szWhy = unsafeName(pEntry->m_szName, pEntry->m_nNameLength))
        {
            nErrors += fail(where + "refused, " + szWhy);
            continue;
        }
        std::string rel = name;
        for (char & c : rel)
            if (c == '\\')
                c = '/';
        // Two entries for one file: the first is the one every lookup (and cat) reads, so it
        // is the one written; a later one is reported and left out.
        if (!written.insert(rel).second)
        {
            std::fprintf(stderr, "qor-pack: %sskipped, an earlier entry has the same name (lookups read that one)\n",
                         where.c_str());
            continue;
        }
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
        if (!qoru_writeFile((realParent / target.filename()).string().c_str(), pData, nSize, packPath.c_str(), &err))
            nErrors += fail(where + "cannot write: " + err);
        delete[] pData;
    }
    return nErrors ? kExitFailure : 0;
}
} // namespace

int main(int argc, char ** argv)
{
    // Every file the run reads is an input: no output may replace it.
    qoru_trackInputs();
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
