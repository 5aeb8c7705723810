// qor-amx: assembler, disassembler and runner of script images (docs/AMX_ASSEMBLER.md).
//
//   qor-amx asm IN.asm -o OUT.o [--compact]
//   qor-amx dis FILE
//   qor-amx run FILE [--entry N] [--steps N] [--max-stp N] [ARG ...]
//
// Exit status: 0 success, 1 failure (a message on standard error, or "error N NAME" from run),
// 2 bad usage. Every file goes through the file layer: a regular file of bounded size in, an
// output written beside its path and renamed, never over a non-regular file or the input.
#include "qor_amxasm.h"
#include "qor_cScript.h"
#include "qor_fileUtil.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace
{
struct Option
{
    const char * szCommand;
    const char * szName;
    bool bValue;
    const char * szHelp;
};

const Option s_aOptions[] = {
    {"asm", "-o", true, "output image file"},
    {"asm", "--compact", false, "write the compact encoding"},
    {"run", "--entry", true, "run public function N instead of main"},
    {"run", "--steps", true, "instruction budget (default 100000000, 0: none)"},
    {"run", "--max-stp", true, "largest image block to allocate, bytes (default 67108864)"},
};

const int kExitFailure = 1;
const int kExitUsage = 2;
// Largest assembler source read (16 MiB); images are bounded by the largest stp accepted.
const uint64_t kMaxSourceSize = 16u << 20;

int Help(const char * pszError)
{
    if (pszError)
        fprintf(stderr, "qor-amx: %s\n\n", pszError);
    fprintf(stderr, "usage:\n"
                    "  qor-amx asm IN.asm -o OUT.o [--compact]\n"
                    "  qor-amx dis FILE\n"
                    "  qor-amx run FILE [--entry N] [--steps N] [ARG ...]\n"
                    "options:\n");
    for (const Option & o : s_aOptions)
        fprintf(stderr, "  %s %-10s %s%s\n", o.szCommand, o.szName, o.bValue ? "N  " : "   ", o.szHelp);
    return pszError ? kExitUsage : 0;
}

const Option * findOption(const char * szCommand, const char * szArg)
{
    for (const Option & o : s_aOptions)
        if (!strcmp(o.szCommand, szCommand) && !strcmp(o.szName, szArg))
            return &o;
    return nullptr;
}

// The whole file through the file layer; prints "PATH: REASON" on failure.
bool readFile(const char * szPath, uint64_t nMaxSize, std::vector<unsigned char> * pOut)
{
    std::string data, err;
    if (!qoru_readFile(szPath, nMaxSize, &data, &err))
    {
        fprintf(stderr, "%s: cannot read the file: %s\n", szPath, err.c_str());
        return false;
    }
    try
    {
        pOut->assign(data.begin(), data.end());
    }
    catch (const std::bad_alloc &)
    {
        fprintf(stderr, "%s: out of memory\n", szPath);
        return false;
    }
    return true;
}

bool parseInt(const char * sz, long long lo, long long hi, long long * pv)
{
    char * end;
    errno = 0;
    long long v = strtoll(sz, &end, 0);
    if (errno || end == sz || *end || v < lo || v > hi)
        return false;
    *pv = v;
    return true;
}

int cmdAsm(int argc, char ** argv)
{
    const char * szIn = nullptr;
    const char * szOut = nullptr;
    bool bCompact = false;
    for (int i = 0; i < argc; i++)
    {
        const Option * o = argv[i][0] == '-' ? findOption("asm", argv[i]) : nullptr;
        if (argv[i][0] == '-' && !o)
            return Help((std::string("unknown option ") + argv[i]).c_str());
        if (o && o->bValue && i + 1 >= argc)
            return Help((std::string(argv[i]) + " needs a value").c_str());
        if (o && !strcmp(o->szName, "-o"))
            szOut = argv[++i];
        else if (o)
            bCompact = true;
        else if (!szIn)
            szIn = argv[i];
        else
            return Help("more than one input file");
    }
    if (!szIn || !szOut)
        return Help("asm needs an input file and -o OUT");
    std::string err;
    if (!qoru_checkOutput(szOut, szIn, &err))
    {
        fprintf(stderr, "%s: %s\n", szOut, err.c_str());
        return kExitFailure;
    }
    std::vector<unsigned char> src;
    if (!readFile(szIn, kMaxSourceSize, &src))
        return kExitFailure;
    std::vector<unsigned char> image;
    std::vector<std::string> errors;
    if (!qoru_amxAssemble(std::string(src.begin(), src.end()), szIn, bCompact, &image, &errors))
    {
        for (const std::string & e : errors)
            fprintf(stderr, "%s\n", e.c_str());
        fprintf(stderr, "%s: %zu error(s), no output written\n", szIn, errors.size());
        return 1;
    }
    if (!qoru_writeFile(szOut, image.data(), image.size(), szIn, &err))
    {
        fprintf(stderr, "%s: cannot write the file: %s\n", szOut, err.c_str());
        return kExitFailure;
    }
    return 0;
}

int cmdDis(int argc, char ** argv)
{
    if (argc != 1)
        return Help("dis needs exactly one file");
    std::vector<unsigned char> img;
    if (!readFile(argv[0], AMX_MAX_STP, &img))
        return kExitFailure;
    std::string text, err;
    bool bOk = qoru_amxDisassemble(img.data(), img.size(), &text, &err);
    fputs(text.c_str(), stdout);
    if (!bOk)
    {
        fprintf(stderr, "%s: %s\n", argv[0], err.c_str());
        return 1;
    }
    return 0;
}

// Console natives of `run`.
cell AMX_NATIVE_CALL print_int(AMX * amx, cell * params)
{
    if (params[0] < (cell)sizeof(cell))
    {
        amx->error = AMX_ERR_NATIVE;
        return 0;
    }
    printf("%d\n", params[1]);
    return 0;
}

cell AMX_NATIVE_CALL print_str(AMX * amx, cell * params)
{
    cell * p;
    if (params[0] < (cell)sizeof(cell) || amx_AddrToPtr(amx, params[1], &p) != AMX_ERR_NONE)
    {
        amx->error = AMX_ERR_NATIVE;
        return 0;
    }
    // every character comes from its own byte of the image: stp bytes are enough
    std::vector<char> buf((size_t)amx->stp + 8);
    amx_ReadStringN(buf.data(), p, buf.size());
    printf("%s\n", buf.data());
    return 0;
}

cell AMX_NATIVE_CALL print_float(AMX * amx, cell * params)
{
    if (params[0] < (cell)sizeof(cell))
    {
        amx->error = AMX_ERR_NATIVE;
        return 0;
    }
    float f;
    memcpy(&f, &params[1], sizeof f);
    printf("%g\n", (double)f);
    return 0;
}

AMX_NATIVE_INFO s_aConsoleNatives[] = {
    {"print_int", print_int},
    {"print_str", print_str},
    {"print_float", print_float},
    {nullptr, nullptr},
};

int fail(int code)
{
    printf("error %d %s\n", code, amx_ErrorName(code));
    return 1;
}

int cmdRun(int argc, char ** argv)
{
    const char * szFile = nullptr;
    long long nEntry = AMX_EXEC_MAIN;
    long long nSteps = QOR_SCRIPT_MAX_STEPS;
    long long nMaxStp = AMX_MAX_STP;
    std::vector<cell> args;
    for (int i = 0; i < argc; i++)
    {
        const Option * o = findOption("run", argv[i]);
        if (o)
        {
            if (i + 1 >= argc)
                return Help((std::string(argv[i]) + " needs a value").c_str());
            bool bOk = !strcmp(o->szName, "--entry")   ? parseInt(argv[++i], 0, 32767, &nEntry)
                       : !strcmp(o->szName, "--steps") ? parseInt(argv[++i], 0, LLONG_MAX, &nSteps)
                                                       : parseInt(argv[++i], 4, INT32_MAX - 1, &nMaxStp);
            if (!bOk)
                return Help((std::string("bad value for ") + o->szName).c_str());
        }
        else if (!szFile)
        {
            if (argv[i][0] == '-' && argv[i][1] == '-')
                return Help((std::string("unknown option ") + argv[i]).c_str());
            szFile = argv[i];
        }
        else
        {
            long long v;
            if (!parseInt(argv[i], INT32_MIN, UINT32_MAX, &v))
                return Help((std::string("bad argument ") + argv[i]).c_str());
            args.push_back((cell)(ucell)(uint32_t)v);
        }
    }
    if (!szFile)
        return Help("run needs a file");
    // The file is no larger than the largest block: an image's declared size fits in stp.
    std::vector<unsigned char> file;
    if (!readFile(szFile, (uint64_t)nMaxStp, &file))
        return kExitFailure;
    // The file must hold its header and its declared size, which must fit in stp; stp must be
    // at most the limit. Checked before the block is allocated.
    AMX_HEADER hdr;
    const int iCheck = amx_CheckImageFile(file.data(), file.size(), nMaxStp, &hdr);
    if (iCheck == AMX_ERR_MEMORY)
        fprintf(stderr, "%s: stp %d is above the limit of %lld bytes (--max-stp)\n", szFile, hdr.stp, nMaxStp);
    if (iCheck != AMX_ERR_NONE)
        return fail(iCheck);
    std::vector<unsigned char> image;
    try
    {
        image.assign((size_t)hdr.stp + AMX_IMAGE_SLACK, 0);
    }
    catch (const std::bad_alloc &)
    {
        return fail(AMX_ERR_MEMORY);
    }
    memcpy(image.data(), file.data(), (size_t)hdr.size);

    AMX amx;
    memset(&amx, 0, sizeof amx);
    int err = amx_Init(&amx, image.data());
    if (err != AMX_ERR_NONE)
        return fail(err);
    amx_Register(&amx, qor_aScriptGlobalNatives, -1);
    err = amx_Register(&amx, s_aConsoleNatives, -1);
    if (err != AMX_ERR_NONE)
    {
        amx_Cleanup(&amx);
        return fail(err);
    }
    amx.maxsteps = nSteps;
    cell ret = 0;
    err = amx_Execv(&amx, &ret, (int)nEntry, (int)args.size(), args.data());
    const bool bBudget = err != AMX_ERR_NONE && (amx.flags & AMX_FLAG_BUDGET);
    amx_Cleanup(&amx);
    fflush(stdout);
    if (bBudget)
    {
        // The machine stops a script that runs out of its budget with the exit code: say which.
        printf("error %d %s: the instruction budget of %lld is used up (an endless loop? --steps N raises it, "
               "--steps 0 lifts it)\n",
               err, amx_ErrorName(err), nSteps);
        return 1;
    }
    if (err != AMX_ERR_NONE)
        return fail(err);
    printf("ret %d\n", ret);
    return 0;
}
} // namespace

namespace
{
int run(int argc, char ** argv)
{
    if (argc < 2)
        return Help("no command");
    std::string cmd = argv[1];
    if (cmd == "asm")
        return cmdAsm(argc - 2, argv + 2);
    if (cmd == "dis")
        return cmdDis(argc - 2, argv + 2);
    if (cmd == "run")
        return cmdRun(argc - 2, argv + 2);
    if (cmd == "-h" || cmd == "--help")
        return Help(nullptr);
    return Help(("unknown command " + cmd).c_str());
}
} // namespace

int main(int argc, char ** argv)
{
    // Every file the run reads is an input: no output may replace it.
    qoru_trackInputs();
    try
    {
        return run(argc, argv);
    }
    catch (const std::bad_alloc &)
    {
        fprintf(stderr, "qor-amx: out of memory\n");
        return kExitFailure;
    }
}
