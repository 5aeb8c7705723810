// qor-sc: compiles one show script into a script image for the abstract machine.
//   qor-sc IN.sc [-I DIR]... [-o OUT.o] [--compact] [--list]
//
// Exit status: 0 success, 1 failure (diagnostics or a file that cannot be read or written),
// 2 bad usage. Sources are read through the file layer (regular files, kQorScMaxSourceSize
// bytes in all); the image is written beside OUT and renamed, never over a non-regular file
// or the input.
#include "qor_fileUtil.h"
#include "qor_sc.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace
{
const int kExitFailure = 1;
const int kExitUsage = 2;

struct Option
{
    const char * name;
    const char * arg;
    const char * help;
};

const Option s_aOptions[] = {
    {"-I", "DIR", "add DIR to the folders searched by #include (repeatable; -IDIR works too)"},
    {"-o", "OUT", "write the image to OUT (default: IN with its extension replaced by .o)"},
    {"--compact", nullptr, "write the compact encoding (header flag 0x04)"},
    {"--list", nullptr, "print the generated code in qor-amx assembler syntax"},
    {"-h", nullptr, "show this help"},
};

int help(const char * pszError)
{
    if (pszError)
        std::fprintf(stderr, "qor-sc: error: %s\n\n", pszError);
    std::fprintf(pszError ? stderr : stdout, "usage: qor-sc IN.sc [options]\n");
    for (const Option & o : s_aOptions)
        std::fprintf(pszError ? stderr : stdout, "  %-4s %-4s %s\n", o.name, o.arg ? o.arg : "", o.help);
    return pszError ? kExitUsage : 0;
}

int run(int argc, char ** argv)
{
    qor_sScOptions options;
    std::string in, out;
    for (int i = 1; i < argc; ++i)
    {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help")
            return help(nullptr);
        if (a == "-I" || a == "-o")
        {
            if (i + 1 >= argc)
                return help((a + " needs an argument").c_str());
            if (a == "-I")
                options.includeDirs.push_back(argv[++i]);
            else
                out = argv[++i];
            continue;
        }
        if (a.size() > 2 && a.compare(0, 2, "-I") == 0)
        {
            options.includeDirs.push_back(a.substr(2));
            continue;
        }
        if (a == "--compact")
            options.compact = true;
        else if (a == "--list")
            options.listing = true;
        else if (!a.empty() && a[0] == '-')
            return help(("unknown option " + a).c_str());
        else if (in.empty())
            in = a;
        else
            return help("only one input file can be given");
    }
    if (in.empty())
        return help("no input file");
    if (out.empty())
    {
        const size_t slash = in.find_last_of('/');
        const size_t dot = in.find_last_of('.');
        out = (dot != std::string::npos && (slash == std::string::npos || dot > slash) ? in.substr(0, dot) : in) + ".o";
    }

    std::string err;
    if (!qoru_checkOutput(out.c_str(), in.c_str(), &err))
    {
        std::fprintf(stderr, "qor-sc: error: '%s' %s\n", out.c_str(), err.c_str());
        return kExitFailure;
    }
    const qor_sScResult res = qor_scCompileFile(in, options);
    // The diagnostics may quote source bytes: write them whole, a NUL byte included.
    std::fwrite(res.messages.data(), 1, res.messages.size(), stderr);
    if (!res.ok)
    {
        std::fprintf(stderr, "qor-sc: %d error(s), %d warning(s); no file written\n", res.errors, res.warnings);
        return kExitFailure;
    }
    if (options.listing)
        std::fwrite(res.listing.data(), 1, res.listing.size(), stdout);
    // Written beside OUT and renamed, so that a failure leaves no half file.
    if (!qoru_writeFile(out.c_str(), res.image.data(), res.image.size(), in.c_str(), &err))
    {
        std::fprintf(stderr, "qor-sc: error: cannot write '%s': %s\n", out.c_str(), err.c_str());
        return kExitFailure;
    }
    return 0;
}
} // namespace

int main(int argc, char ** argv)
{
    // Every file the run reads (the source and what it includes) is an input: no output may
    // replace it.
    qoru_trackInputs();
    try
    {
        return run(argc, argv);
    }
    catch (const std::bad_alloc &)
    {
        std::fprintf(stderr, "qor-sc: error: out of memory\n");
        return kExitFailure;
    }
}
