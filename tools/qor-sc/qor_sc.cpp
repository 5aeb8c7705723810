// The compiler's entry points: lex, parse, generate, write.
#include "qor_scInternal.h"

namespace
{
const int DEFAULT_DYNAMIC_CELLS = 4096; // stack and heap: 16 KiB unless #pragma dynamic says

qor_sScResult compile(const std::string & path, const std::string * pText, const qor_sScOptions & options)
{
    qor_sScResult res;
    qor_cScDiag diag;
    std::vector<std::unique_ptr<std::string>> names;
    qor_sScLexResult lex;
    qor_scLex(path, pText, options.includeDirs, options.maxSourceSize, &names, diag, &lex);
    // A main file that could not be read has no program to parse: its one message is enough.
    const bool bRead = !names.empty();
    qor_sScProgram prog;
    if (bRead && (diag.errors() == 0 || !diag.tooMany()))
        qor_scParse(lex.tokens, diag, &prog);
    qor_cScAsm as;
    if (bRead && !diag.tooMany())
        qor_scGenerate(prog, names[0].get(), diag, as);
    const int dynamic = lex.dynamicCells > 0 ? lex.dynamicCells : DEFAULT_DYNAMIC_CELLS;
    if (diag.errors() == 0)
    {
        std::string err;
        if (!as.write(dynamic, options.compact, &res.image, &err))
        {
            qor_sScPos pos;
            if (!names.empty())
                pos.file = names[0].get();
            diag.error(pos, err);
            res.image.clear();
        }
        else if (options.listing)
            res.listing = as.listing(dynamic);
    }
    res.messages = diag.text();
    res.errors = diag.errors();
    res.warnings = diag.warnings();
    res.ok = diag.errors() == 0;
    if (!res.ok)
        res.image.clear();
    return res;
}
} // namespace

qor_sScResult qor_scCompileFile(const std::string & path, const qor_sScOptions & options)
{
    return compile(path, nullptr, options);
}

qor_sScResult qor_scCompileText(const std::string & name, const std::string & text, const qor_sScOptions & options)
{
    return compile(name, &text, options);
}
