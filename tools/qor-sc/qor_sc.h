// qor-sc: the compiler for show scripts. Compiles one source file of the C-like scripting
// language (docs/SCRIPTING.md) into a script image for the engine's abstract machine
// (amx_version 4, defsize 24, optionally compact-encoded). The library is used by the
// command-line tool (main.cpp) and in-process by the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The most source text one compilation reads, the main file and every include together
// (16 MiB): a show script is a few KiB, and the limit keeps a wrong path (a huge file, a
// device) from growing the compiler without bound.
constexpr uint64_t kQorScMaxSourceSize = 16u << 20;

struct qor_sScOptions
{
    std::vector<std::string> includeDirs; // searched by #include, in order
    bool compact = false;                 // write the compact encoding (header flag 0x04)
    bool listing = false;                 // fill qor_sScResult::listing
    uint64_t maxSourceSize = kQorScMaxSourceSize; // source bytes read in all, includes with them
};

struct qor_sScResult
{
    bool ok = false;            // no error: image holds the compiled script
    std::vector<uint8_t> image; // the image file: header, tables, code, data
    std::string listing;        // the code in qor-amx assembler syntax (option listing)
    std::string messages;       // every diagnostic, "file:line:column: error: text\n"
    int errors = 0;
    int warnings = 0;
};

// Compiles the file at `path`. Diagnostics name files as they were found (path as given).
qor_sScResult qor_scCompileFile(const std::string & path, const qor_sScOptions & options);

// Compiles `text` as if it were the content of a file called `name` (includes are searched
// in the folder of `name`, then in options.includeDirs).
qor_sScResult qor_scCompileText(const std::string & name, const std::string & text, const qor_sScOptions & options);
