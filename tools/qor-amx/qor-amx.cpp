// qor-amx: assembler, disassembler and runner of script images (docs/AMX_ASSEMBLER.md).
//
//   qor-amx asm IN.asm -o OUT.o [--compact]
//   qor-amx dis FILE
//   qor-amx run FILE [--entry N] [--steps N] [ARG ...]
#include "qor_amxasm.h"
#include "qor_cScript.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
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
};

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
    return 1;
}

const Option * findOption(const char * szCommand, const char * szArg)
{
    for (const Option & o : s_aOptions)
        if (!strcmp(o.szCommand, szCommand) && !strcmp(o.szName, szArg))
            return &o;
    return nullptr;
}

bool readFile(const char * szPath, std::vector<unsigned char> * pOut)
{
    std::ifstream in(szPath, std::ios::binary);
    if (!in)
        return false;
    pOut->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
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
    std::vector<unsigned char> src;
    if (!readFile(szIn, &src))
    {
        fprintf(stderr, "%s: cannot read the file\n", szIn);
        return 1;
    }
    std::vector<unsigned char> image;
    std::vector<std::string> errors;
    if (!qoru_amxAssemble(std::string(src.begin(), src.end()), szIn, bCompact, &image, &errors))
    {
        for (const std::string & e : errors)
            fprintf(stderr, "%s\n", e.c_str());
        fprintf(stderr, "%s: %zu error(s), no output written\n", szIn, errors.size());
        return 1;
    }
    std::string tmp = std::string(szOut) + ".tmp";
    FILE * f = fopen(tmp.c_str(), "wb");
    bool bOk = f && fwrite(image.data(), 1, image.size(), f) == image.size();
    if (f)
        bOk = (fclose(f) == 0) && bOk;
    if (!bOk || rename(tmp.c_str(), szOut) != 0)
    {
        remove(tmp.c_str());
        fprintf(stderr, "%s: cannot write the file\n", szOut);
        return 1;
    }
    return 0;
}

int cmdDis(int argc, char ** argv)
{
    if (argc != 1)
        return Help("dis needs exactly one file");
    std::vector<unsigned char> img;
    if (!readFile(argv[0], &img))
    {
        fprintf(stderr, "%s: cannot read the file\n", argv[0]);
        return 1;
    }
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
    std::vector<cell> args;
    for (int i = 0; i < argc; i++)
    {
        const Option * o = findOption("run", argv[i]);
        if (o)
        {
            if (i + 1 >= argc)
                return Help((std::string(argv[i]) + " needs a value").c_str());
            bool bOk = !strcmp(o->szName, "--entry") ? parseInt(argv[++i], 0, 32767, &nEntry)
                                                     : parseInt(argv[++i], 0, LLONG_MAX, &nSteps);
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
    std::vector<unsigned char> file;
    if (!readFile(szFile, &file))
    {
        fprintf(stderr, "%s: cannot read the file\n", szFile);
        return 1;
    }
    // The file must hold its header and its declared size, which must fit in stp.
    if (file.size() < AMX_HEADER_SIZE)
        return fail(AMX_ERR_FORMAT);
    AMX_HEADER hdr;
    amx_ReadHeader(file.data(), &hdr);
    if (hdr.stp <= 0 || hdr.size < AMX_HEADER_SIZE || hdr.size > hdr.stp || (size_t)hdr.size > file.size())
        return fail(AMX_ERR_FORMAT);
    std::vector<unsigned char> image;
    try
    {
        image.assign((size_t)hdr.stp + AMX_IMAGE_SLACK, 0);
    }
    catch (...)
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
    amx_Cleanup(&amx);
    fflush(stdout);
    if (err != AMX_ERR_NONE)
        return fail(err);
    printf("ret %d\n", ret);
    return 0;
}
} // namespace

int main(int argc, char ** argv)
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
