// The Small abstract machine. See qor_amx.h for how a 64-bit host runs the 32-bit machine and
// for the checks it makes on images.
#include "qor_amx.h"

#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <vector>

// ---------------------------------------------------------------------------------------------
// Tables

const char * const amx_opnames[AMX_NUM_OPCODES + 1] = {
    nullptr,      "load.pri",   "load.alt",   "load.s.pri", "load.s.alt", "lref.pri",   "lref.alt",   "lref.s.pri",
    "lref.s.alt", "load.i",     "lodb.i",     "const.pri",  "const.alt",  "addr.pri",   "addr.alt",   "stor.pri",
    "stor.alt",   "stor.s.pri", "stor.s.alt", "sref.pri",   "sref.alt",   "sref.s.pri", "sref.s.alt", "stor.i",
    "strb.i",     "lidx",       "lidx.b",     "idxaddr",    "idxaddr.b",  "align.pri",  "align.alt",  "lctrl",
    "sctrl",      "move.pri",   "move.alt",   "xchg",       "push.pri",   "push.alt",   "push.r",     "push.c",
    "push",       "push.s",     "pop.pri",    "pop.alt",    "stack",      "heap",       "proc",       "ret",
    "retn",       "call",       "call.pri",   "jump",       "jrel",       "jzer",       "jnz",        "jeq",
    "jneq",       "jless",      "jleq",       "jgrtr",      "jgeq",       "jsless",     "jsleq",      "jsgrtr",
    "jsgeq",      "shl",        "shr",        "sshr",       "shl.c.pri",  "shl.c.alt",  "shr.c.pri",  "shr.c.alt",
    "smul",       "sdiv",       "sdiv.alt",   "umul",       "udiv",       "udiv.alt",   "add",        "sub",
    "sub.alt",    "and",        "or",         "xor",        "not",        "neg",        "invert",     "add.c",
    "smul.c",     "zero.pri",   "zero.alt",   "zero",       "zero.s",     "sign.pri",   "sign.alt",   "eq",
    "neq",        "less",       "leq",        "grtr",       "geq",        "sless",      "sleq",       "sgrtr",
    "sgeq",       "eq.c.pri",   "eq.c.alt",   "inc.pri",    "inc.alt",    "inc",        "inc.s",      "inc.i",
    "dec.pri",    "dec.alt",    "dec",        "dec.s",      "dec.i",      "movs",       "cmps",       "fill",
    "halt",       "bounds",     "sysreq.pri", "sysreq.c",   "file",       "line",       "symbol",     "srange",
    "jump.pri",   "switch",     "casetbl",    "swap.pri",   "swap.alt",   "push.adr",
};
static_assert(sizeof(amx_opnames) / sizeof(amx_opnames[0]) == AMX_NUM_OPCODES + 1);

amx_eOperand amx_OperandKind(int op)
{
    switch (op)
    {
    case OP_LOAD_I:
    case OP_STOR_I:
    case OP_LIDX:
    case OP_IDXADDR:
    case OP_MOVE_PRI:
    case OP_MOVE_ALT:
    case OP_XCHG:
    case OP_PUSH_PRI:
    case OP_PUSH_ALT:
    case OP_POP_PRI:
    case OP_POP_ALT:
    case OP_PROC:
    case OP_RET:
    case OP_RETN:
    case OP_CALL_PRI:
    case OP_SHL:
    case OP_SHR:
    case OP_SSHR:
    case OP_SMUL:
    case OP_SDIV:
    case OP_SDIV_ALT:
    case OP_UMUL:
    case OP_UDIV:
    case OP_UDIV_ALT:
    case OP_ADD:
    case OP_SUB:
    case OP_SUB_ALT:
    case OP_AND:
    case OP_OR:
    case OP_XOR:
    case OP_NOT:
    case OP_NEG:
    case OP_INVERT:
    case OP_ZERO_PRI:
    case OP_ZERO_ALT:
    case OP_SIGN_PRI:
    case OP_SIGN_ALT:
    case OP_EQ:
    case OP_NEQ:
    case OP_LESS:
    case OP_LEQ:
    case OP_GRTR:
    case OP_GEQ:
    case OP_SLESS:
    case OP_SLEQ:
    case OP_SGRTR:
    case OP_SGEQ:
    case OP_INC_PRI:
    case OP_INC_ALT:
    case OP_INC_I:
    case OP_DEC_PRI:
    case OP_DEC_ALT:
    case OP_DEC_I:
    case OP_SYSREQ_PRI:
    case OP_JUMP_PRI:
    case OP_SWAP_PRI:
    case OP_SWAP_ALT:
        return AMX_OPND_NONE;
    case OP_CALL:
    case OP_JUMP:
    case OP_JZER:
    case OP_JNZ:
    case OP_JEQ:
    case OP_JNEQ:
    case OP_JLESS:
    case OP_JLEQ:
    case OP_JGRTR:
    case OP_JGEQ:
    case OP_JSLESS:
    case OP_JSLEQ:
    case OP_JSGRTR:
    case OP_JSGEQ:
    case OP_SWITCH:
        return AMX_OPND_CODE;
    case OP_JREL:
        return AMX_OPND_JREL;
    case OP_SYSREQ_C:
        return AMX_OPND_NATIVE;
    case OP_LINE:
    case OP_SRANGE:
        return AMX_OPND_TWO;
    case OP_FILE:
        return AMX_OPND_FILE;
    case OP_SYMBOL:
        return AMX_OPND_SYMBOL;
    case OP_CASETBL:
        return AMX_OPND_CASETBL;
    default:
        return (op > 0 && op <= AMX_NUM_OPCODES) ? AMX_OPND_VALUE : AMX_OPND_NONE;
    }
}

static const char * const s_aszErrorText[] = {
    "AMX_ERR_NONE,         /* no error */",
    "AMX_ERR_EXIT,         /* forced exit */",
    "AMX_ERR_ASSERT,       /* assertion failed */",
    "AMX_ERR_STACKERR,     /* stack/heap collision */",
    "AMX_ERR_BOUNDS,       /* index out of bounds */",
    "AMX_ERR_MEMACCESS,    /* invalid memory access */",
    "AMX_ERR_INVINSTR,     /* invalid instruction */",
    "AMX_ERR_STACKLOW,     /* stack underflow */",
    "AMX_ERR_HEAPLOW,      /* heap underflow */",
    "AMX_ERR_CALLBACK,     /* no callback, or invalid callback */",
    "AMX_ERR_NATIVE,       /* native function failed */",
    "AMX_ERR_DIVIDE,       /* divide by zero */",
    "AMX_ERR_UNKNOWN",
    "AMX_ERR_UNKNOWN",
    "AMX_ERR_UNKNOWN",
    "AMX_ERR_UNKNOWN",
    "AMX_ERR_MEMORY = 16,  /* out of memory */",
    "AMX_ERR_FORMAT,       /* invalid file format */",
    "AMX_ERR_VERSION,      /* file is for a newer version of the AMX */",
    "AMX_ERR_NOTFOUND,     /* function not found */",
    "AMX_ERR_INDEX,        /* invalid index parameter (bad entry point) */",
    "AMX_ERR_DEBUG,        /* debugger cannot run */",
    "AMX_ERR_INIT,         /* AMX not initialized (or doubly initialized) */",
    "AMX_ERR_USERDATA,     /* unable to set user data field (table full) */",
    "AMX_ERR_INIT_JIT,     /* cannot initialize the JIT */",
    "AMX_ERR_PARAMS,       /* parameter error */",
};
static_assert(sizeof(s_aszErrorText) / sizeof(s_aszErrorText[0]) == AMX_ERR_PARAMS + 1);

static const char * const s_aszErrorName[] = {
    "AMX_ERR_NONE",      "AMX_ERR_EXIT",     "AMX_ERR_ASSERT",   "AMX_ERR_STACKERR", "AMX_ERR_BOUNDS",
    "AMX_ERR_MEMACCESS", "AMX_ERR_INVINSTR", "AMX_ERR_STACKLOW", "AMX_ERR_HEAPLOW",  "AMX_ERR_CALLBACK",
    "AMX_ERR_NATIVE",    "AMX_ERR_DIVIDE",   "AMX_ERR_UNKNOWN",  "AMX_ERR_UNKNOWN",  "AMX_ERR_UNKNOWN",
    "AMX_ERR_UNKNOWN",   "AMX_ERR_MEMORY",   "AMX_ERR_FORMAT",   "AMX_ERR_VERSION",  "AMX_ERR_NOTFOUND",
    "AMX_ERR_INDEX",     "AMX_ERR_DEBUG",    "AMX_ERR_INIT",     "AMX_ERR_USERDATA", "AMX_ERR_INIT_JIT",
    "AMX_ERR_PARAMS",
};
static_assert(sizeof(s_aszErrorName) / sizeof(s_aszErrorName[0]) == AMX_ERR_PARAMS + 1);

const char * amx_ErrorText(int code)
{
    if (code < 0 || code > AMX_ERR_PARAMS)
        return "AMX_ERR_UNKNOWN";
    return s_aszErrorText[code];
}

const char * amx_ErrorName(int code)
{
    if (code < 0 || code > AMX_ERR_PARAMS)
        return "AMX_ERR_UNKNOWN";
    return s_aszErrorName[code];
}

// ---------------------------------------------------------------------------------------------
// Little-endian cells and header fields

static bool s_bLittleEndian = false; // process-wide (the byte order of the host), set by amx_Init

static inline cell rdcell(const unsigned char * p)
{
    cell v;
    memcpy(&v, p, sizeof v);
    return v;
}

static inline void wrcell(unsigned char * p, cell v) { memcpy(p, &v, sizeof v); }

static int32_t rd32(const unsigned char * p)
{
    return (int32_t)((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24);
}

static int16_t rd16(const unsigned char * p) { return (int16_t)(uint16_t)(p[0] | p[1] << 8); }

static void wr32(unsigned char * p, int32_t v)
{
    uint32_t u = (uint32_t)v;
    p[0] = (unsigned char)u;
    p[1] = (unsigned char)(u >> 8);
    p[2] = (unsigned char)(u >> 16);
    p[3] = (unsigned char)(u >> 24);
}

static void wr16(unsigned char * p, int16_t v)
{
    uint16_t u = (uint16_t)v;
    p[0] = (unsigned char)u;
    p[1] = (unsigned char)(u >> 8);
}

void amx_ReadHeader(const void * pv, AMX_HEADER * h)
{
    const unsigned char * p = (const unsigned char *)pv;
    h->size = rd32(p + 0);
    h->magic = (uint16_t)rd16(p + 4);
    h->file_version = (int8_t)p[6];
    h->amx_version = (int8_t)p[7];
    h->flags = rd16(p + 8);
    h->defsize = rd16(p + 10);
    h->cod = rd32(p + 12);
    h->dat = rd32(p + 16);
    h->hea = rd32(p + 20);
    h->stp = rd32(p + 24);
    h->cip = rd32(p + 28);
    h->num_publics = rd16(p + 32);
    h->publics = rd32(p + 34);
    h->num_natives = rd16(p + 38);
    h->natives = rd32(p + 40);
    h->num_libraries = rd16(p + 44);
    h->libraries = rd32(p + 46);
    h->num_pubvars = rd16(p + 50);
    h->pubvars = rd32(p + 52);
}

int amx_CheckImageFile(const void * pFile, size_t nFileSize, int64_t nMaxStp, AMX_HEADER * pHdr)
{
    AMX_HEADER hdr;
    std::memset(&hdr, 0, sizeof hdr);
    if (pHdr)
        *pHdr = hdr;
    if (!pFile || nFileSize < AMX_HEADER_SIZE)
        return AMX_ERR_FORMAT;
    amx_ReadHeader(pFile, &hdr);
    if (pHdr)
        *pHdr = hdr;
    if (hdr.stp <= 0 || hdr.size < AMX_HEADER_SIZE || hdr.size > hdr.stp || (size_t)hdr.size > nFileSize)
        return AMX_ERR_FORMAT;
    if ((int64_t)hdr.stp > nMaxStp)
        return AMX_ERR_MEMORY;
    return AMX_ERR_NONE;
}

void amx_WriteHeader(void * pv, const AMX_HEADER * h)
{
    unsigned char * p = (unsigned char *)pv;
    wr32(p + 0, h->size);
    wr16(p + 4, (int16_t)h->magic);
    p[6] = (unsigned char)h->file_version;
    p[7] = (unsigned char)h->amx_version;
    wr16(p + 8, h->flags);
    wr16(p + 10, h->defsize);
    wr32(p + 12, h->cod);
    wr32(p + 16, h->dat);
    wr32(p + 20, h->hea);
    wr32(p + 24, h->stp);
    wr32(p + 28, h->cip);
    wr16(p + 32, h->num_publics);
    wr32(p + 34, h->publics);
    wr16(p + 38, h->num_natives);
    wr32(p + 40, h->natives);
    wr16(p + 44, h->num_libraries);
    wr32(p + 46, h->libraries);
    wr16(p + 50, h->num_pubvars);
    wr32(p + 52, h->pubvars);
}

// ---------------------------------------------------------------------------------------------
// Initialisation

static int amx_DefaultDebug(AMX *) { return AMX_ERR_DEBUG; }

static inline bool isInstructionStart(const uint32_t * insmap, ucell codesize, ucell t)
{
    return t < codesize && (t & 3) == 0 && ((insmap[t >> 7] >> ((t >> 2) & 31)) & 1) != 0;
}

// A table of `num` records at `off` lies between the header and the code.
static bool tableFits(int16_t num, int32_t off, int32_t cod)
{
    if (num < 0)
        return false;
    if (num == 0)
        return true;
    return off >= AMX_HEADER_SIZE && (int64_t)off + (int64_t)num * AMX_DEFSIZE <= cod;
}

// Compact expansion, from a copy of the input, so that an output that overtakes
// the input while expanding in place cannot corrupt it. AMX_ERR_FORMAT when a group is longer
// than 5 bytes or the groups do not give exactly the output's cells.
static int expandCompact(unsigned char * code, int64_t codesize, int64_t memsize)
{
    if (memsize % (int64_t)sizeof(cell) != 0)
        return AMX_ERR_FORMAT;
    std::vector<unsigned char> in;
    try
    {
        in.assign(code, code + codesize);
    }
    catch (...)
    {
        return AMX_ERR_MEMORY;
    }
    while (codesize > 0)
    {
        ucell c = 0;
        int shift = 0;
        int nBytes = 0;
        do
        {
            codesize--;
            if (++nBytes > 5)
                return AMX_ERR_FORMAT; // no honest group is longer: its top bits would be lost
            c |= (ucell)(in[(size_t)codesize] & 0x7f) << shift;
            shift += 7;
        } while (codesize > 0 && (in[(size_t)codesize - 1] & 0x80) != 0);
        if ((in[(size_t)codesize] & 0x40) != 0)
        {
            while (shift < (int)(8 * sizeof(cell)))
            {
                c |= (ucell)0xff << shift;
                shift += 8;
            }
        }
        memsize -= sizeof(cell);
        if (memsize < 0)
            return AMX_ERR_FORMAT;
        wrcell(code + (size_t)memsize, (cell)c);
    }
    return memsize == 0 ? AMX_ERR_NONE : AMX_ERR_FORMAT;
}

static void callDebug(AMX * amx, int code)
{
    amx->dbgcode = code;
    amx->debug(amx);
}

// First pass: walks the code, marks instruction starts, checks sizes and native indices.
// Returns AMX_ERR_NONE, AMX_ERR_INVINSTR (an unknown opcode stops the scan) or AMX_ERR_FORMAT.
static int scanCode(AMX * amx, const unsigned char * code, ucell codesize, int numNatives, bool bDebug)
{
    ucell pos = 0;
    while (pos < codesize)
    {
        if (codesize - pos < 4)
            return AMX_ERR_FORMAT;
        cell op = rdcell(code + pos);
        if (op <= 0 || op > AMX_NUM_OPCODES)
            return AMX_ERR_INVINSTR;
        ucell room = codesize - pos; // bytes from the opcode to the code end
        ucell size;
        switch (amx_OperandKind(op))
        {
        case AMX_OPND_NONE:
            size = 4;
            break;
        case AMX_OPND_VALUE:
        case AMX_OPND_CODE:
        case AMX_OPND_JREL:
        case AMX_OPND_NATIVE:
            size = 8;
            break;
        case AMX_OPND_TWO:
            size = 12;
            break;
        case AMX_OPND_FILE:
        case AMX_OPND_SYMBOL: {
            if (room < 8)
                return AMX_ERR_FORMAT;
            cell n = rdcell(code + pos + 4);
            ucell nFixed = op == OP_FILE ? 4 : 8; // ordinal, or address and flags
            if (n < (cell)nFixed + 1 || (n & 3) != 0 || (ucell)n > room - 8)
                return AMX_ERR_FORMAT;
            // the name must end inside the instruction (a debug hook reads it as a string)
            if (!memchr(code + pos + 8 + nFixed, 0, (size_t)n - nFixed))
                return AMX_ERR_FORMAT;
            size = 8 + (ucell)n;
            break;
        }
        case AMX_OPND_CASETBL: {
            if (room < 12)
                return AMX_ERR_FORMAT;
            cell n = rdcell(code + pos + 4);
            if (n < 0 || (ucell)n > (room - 12) / 8)
                return AMX_ERR_FORMAT;
            size = 12 + 8 * (ucell)n;
            break;
        }
        default:
            return AMX_ERR_FORMAT;
        }
        if (size > room)
            return AMX_ERR_FORMAT;
        if (op == OP_SYSREQ_C)
        {
            cell idx = rdcell(code + pos + 4);
            if (idx < 0 || idx >= numNatives)
                return AMX_ERR_FORMAT;
        }
        if (bDebug)
        {
            switch (op)
            {
            case OP_FILE:
                amx->curfile = rdcell(code + pos + 8);
                amx->dbgname = (char *)(code + pos + 12);
                callDebug(amx, DBG_FILE);
                break;
            case OP_LINE:
                amx->curline = rdcell(code + pos + 4);
                amx->curfile = rdcell(code + pos + 8);
                callDebug(amx, DBG_LINE);
                break;
            case OP_SYMBOL:
                amx->dbgaddr = rdcell(code + pos + 8);
                amx->dbgparam = rdcell(code + pos + 12);
                amx->dbgname = (char *)(code + pos + 16);
                callDebug(amx, DBG_SYMBOL);
                break;
            case OP_SRANGE:
                amx->dbgaddr = rdcell(code + pos + 4);
                amx->dbgparam = rdcell(code + pos + 8);
                callDebug(amx, DBG_SRANGE);
                break;
            }
        }
        amx->insmap[pos >> 7] |= 1u << ((pos >> 2) & 31);
        pos += size;
    }
    return AMX_ERR_NONE;
}

// Second pass: every jump, call and case target is the start of an instruction, and every
// switch names a case table.
static int checkTargets(const unsigned char * code, ucell codesize, const uint32_t * insmap)
{
    for (ucell pos = 0; pos < codesize; pos += 4)
    {
        if (!isInstructionStart(insmap, codesize, pos))
            continue;
        cell op = rdcell(code + pos);
        switch (amx_OperandKind(op))
        {
        case AMX_OPND_CODE: {
            ucell t = (ucell)rdcell(code + pos + 4);
            if (!isInstructionStart(insmap, codesize, t))
                return AMX_ERR_FORMAT;
            if (op == OP_SWITCH && rdcell(code + t) != OP_CASETBL)
                return AMX_ERR_FORMAT;
            break;
        }
        case AMX_OPND_JREL: {
            int64_t t = (int64_t)pos + 8 + rdcell(code + pos + 4);
            if (t < 0 || t >= (int64_t)codesize || !isInstructionStart(insmap, codesize, (ucell)t))
                return AMX_ERR_FORMAT;
            break;
        }
        case AMX_OPND_CASETBL: {
            cell n = rdcell(code + pos + 4);
            if (!isInstructionStart(insmap, codesize, (ucell)rdcell(code + pos + 8)))
                return AMX_ERR_FORMAT;
            for (cell i = 0; i < n; i++)
                if (!isInstructionStart(insmap, codesize, (ucell)rdcell(code + pos + 16 + 8 * (ucell)i)))
                    return AMX_ERR_FORMAT;
            break;
        }
        default:
            break;
        }
    }
    return AMX_ERR_NONE;
}

void amx_Cleanup(AMX * amx)
{
    free(amx->natives);
    free(amx->insmap);
    amx->natives = nullptr;
    amx->insmap = nullptr;
    amx->numnatives = 0;
    amx->codesize = 0;
    amx->flags &= ~AMX_FLAG_RELOC;
}

int amx_Init(AMX * amx, void * program)
{
    if (!amx || !program)
        return AMX_ERR_PARAMS;
    if (amx->natives || amx->insmap)
        return AMX_ERR_INIT; // doubly initialised: amx_Cleanup first
    {
        const uint16_t probe = 1;
        s_bLittleEndian = *(const unsigned char *)&probe == 1;
        if (!s_bLittleEndian)
            return AMX_ERR_INIT; // cells are read in host order: little-endian hosts only
    }
    unsigned char * img = (unsigned char *)program;
    AMX_HEADER hdr;
    amx_ReadHeader(img, &hdr);

    // 1. The machine's header checks, in their fixed order (the error code depends on it).
    if (hdr.magic != AMX_MAGIC || hdr.defsize != AMX_DEFSIZE)
        return AMX_ERR_FORMAT;
    if (hdr.amx_version > AMX_MAX_VERSION)
        return AMX_ERR_VERSION;
    if (hdr.stp <= 0 || hdr.stp >= 0x7FFFFFFF)
        return AMX_ERR_FORMAT;
    if (hdr.flags & AMX_FLAG_CHAR16)
        return AMX_ERR_FORMAT;
    // Ours: sections in order, cell-aligned, inside the image; room for the stack-top sentinel;
    // the file size between the header and stp; every table between the header and the code.
    if (hdr.cod < AMX_HEADER_SIZE || hdr.cod > hdr.dat || hdr.dat > hdr.hea || hdr.hea > hdr.stp - 4)
        return AMX_ERR_FORMAT;
    if ((hdr.cod | hdr.dat | hdr.hea | hdr.stp) & 3)
        return AMX_ERR_FORMAT;
    if (hdr.size < AMX_HEADER_SIZE || hdr.size > hdr.stp)
        return AMX_ERR_FORMAT;
    if (!tableFits(hdr.num_publics, hdr.publics, hdr.cod) || !tableFits(hdr.num_natives, hdr.natives, hdr.cod) ||
        !tableFits(hdr.num_libraries, hdr.libraries, hdr.cod) || !tableFits(hdr.num_pubvars, hdr.pubvars, hdr.cod))
        return AMX_ERR_FORMAT;

    // 2. Compact expansion: input size - cod bytes at cod, output hea - cod bytes.
    if (hdr.flags & AMX_FLAG_COMPACT)
    {
        if (hdr.size < hdr.cod)
            return AMX_ERR_FORMAT;
        int err = expandCompact(img + hdr.cod, hdr.size - hdr.cod, hdr.hea - hdr.cod);
        if (err != AMX_ERR_NONE)
            return err;
    }

    // 3. The stack-top sentinel.
    hdr.stp -= (int32_t)sizeof(cell);
    wr32(img + 24, hdr.stp);
    wrcell(img + hdr.stp, 0);

    // 4., 5. The record.
    amx->base = img;
    amx->hea = hdr.hea - hdr.dat;
    amx->stp = hdr.stp - hdr.dat;
    amx->stk = amx->stp;
    if (!amx->callback)
        amx->callback = amx_Callback;
    if (!amx->debug)
        amx->debug = amx_DefaultDebug;
    amx->curline = 0;
    amx->curfile = 0;

    // Ours: the native side table and the map of instruction starts.
    ucell codesize = (ucell)(hdr.dat - hdr.cod);
    amx->codesize = (cell)codesize;
    amx->numnatives = hdr.num_natives;
    amx->natives = (AMX_NATIVE *)calloc(hdr.num_natives > 0 ? (size_t)hdr.num_natives : 1, sizeof(AMX_NATIVE));
    amx->insmap = (uint32_t *)calloc((size_t)(codesize / 128) + 1, sizeof(uint32_t));
    if (!amx->natives || !amx->insmap)
    {
        amx_Cleanup(amx);
        return AMX_ERR_MEMORY;
    }

    // 6. Scan the code: relocation is the identity (code addresses stay code-relative), but
    // every target is checked. An invalid opcode stops the scan: amx_Init still returns 0, as
    // the Small machine does, and amx_Exec refuses the machine with AMX_ERR_INIT.
    amx->flags = AMX_FLAG_BROWSE;
    amx->dbgcode = DBG_INIT;
    if (amx->debug(amx) == AMX_ERR_NONE)
        amx->flags |= AMX_FLAG_DEBUG;
    const unsigned char * code = img + hdr.cod;
    int err = scanCode(amx, code, codesize, hdr.num_natives, (amx->flags & AMX_FLAG_DEBUG) != 0);
    if (err == AMX_ERR_INVINSTR)
        return AMX_ERR_NONE;
    if (err == AMX_ERR_NONE)
        err = checkTargets(code, codesize, amx->insmap);
    // Ours: main and every public function start at an instruction.
    if (err == AMX_ERR_NONE && hdr.cip >= 0 && !isInstructionStart(amx->insmap, codesize, (ucell)hdr.cip))
        err = AMX_ERR_FORMAT;
    for (int i = 0; err == AMX_ERR_NONE && i < hdr.num_publics; i++)
    {
        ucell addr = (ucell)rd32(img + hdr.publics + i * AMX_DEFSIZE);
        if (!isInstructionStart(amx->insmap, codesize, addr))
            err = AMX_ERR_FORMAT;
    }
    if (err != AMX_ERR_NONE)
    {
        amx_Cleanup(amx);
        amx->base = nullptr;
        return err;
    }
    amx->flags |= AMX_FLAG_RELOC;
    return AMX_ERR_NONE;
}

// ---------------------------------------------------------------------------------------------
// Natives

// A record's name matches when it equals `name` within its 20 bytes (a name without a NUL
// in its 20 bytes matches nothing).
static bool nameMatches(const unsigned char * rec, const char * name)
{
    size_t n = strlen(name);
    return n <= AMX_NAMEMAX && memcmp(rec, name, n) == 0 && rec[n] == 0;
}

int amx_Register(AMX * amx, const AMX_NATIVE_INFO * list, int number)
{
    if (!amx || !amx->base || !amx->natives)
        return AMX_ERR_INIT;
    AMX_HEADER hdr;
    amx_ReadHeader(amx->base, &hdr);
    if (hdr.num_natives != amx->numnatives)
        return AMX_ERR_INIT;
    int nUnbound = 0;
    for (int i = 0; i < amx->numnatives; i++)
    {
        if (amx->natives[i])
            continue;
        const unsigned char * rec = amx->base + hdr.natives + i * AMX_DEFSIZE + 4;
        for (int j = 0; list && (number < 0 ? list[j].name != nullptr : j < number); j++)
        {
            if (list[j].name && list[j].func && nameMatches(rec, list[j].name))
            {
                amx->natives[i] = list[j].func;
                break;
            }
        }
        if (!amx->natives[i])
            nUnbound++;
    }
    return nUnbound ? AMX_ERR_NOTFOUND : AMX_ERR_NONE;
}

int amx_Callback(AMX * amx, cell index, cell * result, cell * params)
{
    if (index < 0 || index >= amx->numnatives || !amx->natives || !amx->natives[index])
        return AMX_ERR_NOTFOUND;
    amx->error = AMX_ERR_NONE;
    *result = amx->natives[index](amx, params);
    return amx->error;
}

int amx_AddrToPtr(AMX * amx, cell addr, cell ** out)
{
    if (!amx || !amx->base)
        return AMX_ERR_INIT;
    if ((addr >= amx->hea && addr < amx->stk) || addr < 0 || addr >= amx->stp)
        return AMX_ERR_MEMACCESS;
    *out = (cell *)(amx->base + rd32(amx->base + 16) + addr);
    return AMX_ERR_NONE;
}

int amx_ReadStringN(char * dest, const cell * src, size_t size)
{
    if (size == 0)
        return AMX_ERR_NONE;
    const unsigned char * p = (const unsigned char *)src;
    size_t n = 0;
    cell c = rdcell(p);
    if (c >= 256)
    {
        for (;; p += sizeof(cell))
        {
            c = rdcell(p);
            for (int sh = 24; sh >= 0; sh -= 8)
            {
                char ch = (char)(((ucell)c >> sh) & 0xff);
                if (ch == 0 || n + 1 >= size)
                    goto done;
                dest[n++] = ch;
            }
        }
    }
    else
    {
        for (; (c = rdcell(p)) != 0 && n + 1 < size; p += sizeof(cell))
            dest[n++] = (char)c;
    }
done:
    dest[n] = 0;
    return AMX_ERR_NONE;
}

int amx_ReadString(char * dest, const cell * src) { return amx_ReadStringN(dest, src, SIZE_MAX); }

// ---------------------------------------------------------------------------------------------
// Execution

int amx_Exec(AMX * amx, cell * retval, int index, int numparams, ...)
{
    if (numparams < 0 || numparams > 256) // amx_Execv takes any number
        return AMX_ERR_PARAMS;
    cell aParams[256];
    va_list ap;
    va_start(ap, numparams);
    for (int i = 0; i < numparams; i++)
        aParams[i] = va_arg(ap, cell);
    va_end(ap);
    return amx_Execv(amx, retval, index, numparams, aParams);
}

int amx_Execv(AMX * amx, cell * retval, int index, int numparams, const cell * params)
{
    if (!amx)
        return AMX_ERR_PARAMS;
    // 1.
    if (!amx->callback)
        return AMX_ERR_CALLBACK;
    amx->flags &= ~AMX_FLAG_BROWSE;
    if (!(amx->flags & AMX_FLAG_RELOC) || !amx->base || !amx->insmap)
        return AMX_ERR_INIT;
    amx->flags &= ~AMX_FLAG_BUDGET;
    amx->steps = 0;
    if (amx->stk > amx->stp)
        return AMX_ERR_STACKLOW;
    if (amx->hea < 0)
        return AMX_ERR_HEAPLOW;

    unsigned char * const base = amx->base;
    AMX_HEADER hdr;
    amx_ReadHeader(base, &hdr);
    // Ours: the record still describes this image.
    if (hdr.dat - hdr.cod != amx->codesize || (int64_t)hdr.stp - hdr.dat != amx->stp || amx->stp < 0)
        return AMX_ERR_INIT;
    const ucell codesize = (ucell)amx->codesize;
    const uint32_t * const insmap = amx->insmap;

    // 2. The entry point.
    cell entry;
    if (index == AMX_EXEC_MAIN)
    {
        if (hdr.cip < 0)
            return AMX_ERR_INDEX;
        entry = hdr.cip;
    }
    else if (index >= 0 && index < hdr.num_publics)
        entry = rd32(base + hdr.publics + index * AMX_DEFSIZE);
    else
        return AMX_ERR_INDEX;
    if (!isInstructionStart(insmap, codesize, (ucell)entry))
        return AMX_ERR_INDEX;
    if (numparams < 0 || (numparams > 0 && !params))
        return AMX_ERR_PARAMS;

    // 3. Arguments (first at the lowest address), their byte count, a zero return address.
    const cell reset_stk = amx->stk;
    const cell reset_hea = amx->hea;
    const int64_t newStk = (int64_t)reset_stk - ((int64_t)numparams + 2) * (int64_t)sizeof(cell);
    if (newStk < (int64_t)reset_hea + 16 * (int64_t)sizeof(cell))
        return AMX_ERR_STACKERR;

    const unsigned char * const code = base + hdr.cod;
    unsigned char * const data = base + hdr.dat;
    const ucell dsize = (ucell)amx->stp; // the data window: [0, stp); at least 72 bytes here
    const ucell dlim4 = dsize - 4;       // highest address of a cell access
    cell stk = (cell)newStk;
    cell hea = reset_hea;
    cell frm = amx->frm;
    cell pri = 0;
    cell alt = 0;
    wrcell(data + stk, 0);
    wrcell(data + stk + 4, numparams * (cell)sizeof(cell));
    for (int i = 0; i < numparams; i++)
        wrcell(data + stk + 8 + 4 * i, params[i]);

    const bool bDebug = (amx->flags & AMX_FLAG_DEBUG) != 0;
    int64_t * const sharedleft = amx->sharedleft;
    int64_t maxsteps = amx->maxsteps > 0 ? amx->maxsteps : INT64_MAX;
    if (sharedleft && *sharedleft < maxsteps)
        maxsteps = *sharedleft > 0 ? *sharedleft : 0;
    int64_t left = maxsteps;
    int64_t mark = left;      // left when the shared budget was last charged
    ucell cip = (ucell)entry; // code offset of the next cell to read
    ucell opcip = cip;        // code offset of the instruction being run
    cell offs;
    cell num;
    int err;

// Wrapping arithmetic on cells (the machine's registers wrap, C++'s signed ints must not).
#define WADD(a, b) ((cell)((ucell)(a) + (ucell)(b)))
#define OPND() (rdcell(code + cip))
#define GETPARAM(v) ((v) = rdcell(code + cip), cip += 4)
#define ABORT(e)                                                                                                       \
    do                                                                                                                 \
    {                                                                                                                  \
        err = (e);                                                                                                     \
        goto abort;                                                                                                    \
    } while (0)
// A cell access at data address a (any cell expression) stays inside [0, stp).
#define CHKCELL(a)                                                                                                     \
    if ((ucell)(a) > dlim4)                                                                                            \
    ABORT(AMX_ERR_MEMACCESS)
// The Small machine's check of LOAD.I, LODB.I, STOR.I, STRB.I, LIDX and LIDX.B: not in the free gap
// between the heap and the stack, not at or above the stack top.
#define CHKGAP(a)                                                                                                      \
    if (((a) >= hea && (a) < stk) || (ucell)(a) >= dsize)                                                              \
    ABORT(AMX_ERR_MEMACCESS)
#define PUSH(v)                                                                                                        \
    do                                                                                                                 \
    {                                                                                                                  \
        stk = WADD(stk, -4);                                                                                           \
        if ((ucell)stk > dlim4)                                                                                        \
            ABORT(AMX_ERR_STACKERR);                                                                                   \
        wrcell(data + stk, (v));                                                                                       \
    } while (0)
#define POP(v)                                                                                                         \
    do                                                                                                                 \
    {                                                                                                                  \
        if ((ucell)stk > dlim4)                                                                                        \
            ABORT(AMX_ERR_STACKLOW);                                                                                   \
        (v) = rdcell(data + stk);                                                                                      \
        stk = WADD(stk, 4);                                                                                            \
    } while (0)
#define CHKMARGIN()                                                                                                    \
    if ((int64_t)hea + 16 * (int64_t)sizeof(cell) > (int64_t)stk)                                                      \
    ABORT(AMX_ERR_STACKERR)
// A code address computed at run time: inside the code (else 5), an instruction start (else 6).
#define CHKTARGET(t)                                                                                                   \
    if ((ucell)(t) >= codesize)                                                                                        \
        ABORT(AMX_ERR_MEMACCESS);                                                                                      \
    if (!isInstructionStart(insmap, codesize, (ucell)(t)))                                                             \
    ABORT(AMX_ERR_INVINSTR)
// A block of n bytes at data address a stays inside [0, stp).
#define CHKBLOCK(a, n)                                                                                                 \
    if ((n) < 0 || (ucell)(a) > dsize || (ucell)(n) > dsize - (ucell)(a))                                              \
    ABORT(AMX_ERR_MEMACCESS)
#define DEBUGHOOK(c)                                                                                                   \
    if (bDebug)                                                                                                        \
    {                                                                                                                  \
        amx->frm = frm;                                                                                                \
        amx->stk = stk;                                                                                                \
        amx->hea = hea;                                                                                                \
        amx->cip = (cell)cip;                                                                                          \
        amx->dbgcode = (c);                                                                                            \
        num = amx->debug(amx);                                                                                         \
        if (num != AMX_ERR_NONE)                                                                                       \
            ABORT(num);                                                                                                \
    }

    // 4. Interpret. Every instruction met here was checked by amx_Init: opcode known, operands
    // inside the code, static targets at instruction starts.
    for (;;)
    {
        if (--left < 0)
        {
            amx->flags |= AMX_FLAG_BUDGET;
            ABORT(AMX_ERR_EXIT);
        }
        // the only way out of the code that amx_Init cannot see: falling off its end
        opcip = cip;
        if (cip >= codesize)
            ABORT(AMX_ERR_MEMACCESS);
        const cell op = rdcell(code + cip);
        cip += 4;
        switch (op)
        {
        case OP_LOAD_PRI: // pri = [addr]
            GETPARAM(offs);
            CHKCELL(offs);
            pri = rdcell(data + offs);
            break;
        case OP_LOAD_ALT: // alt = [addr]
            GETPARAM(offs);
            CHKCELL(offs);
            alt = rdcell(data + offs);
            break;
        case OP_LOAD_S_PRI: // pri = [frm + offs]
            GETPARAM(offs);
            offs = WADD(frm, offs);
            CHKCELL(offs);
            pri = rdcell(data + offs);
            break;
        case OP_LOAD_S_ALT: // alt = [frm + offs]
            GETPARAM(offs);
            offs = WADD(frm, offs);
            CHKCELL(offs);
            alt = rdcell(data + offs);
            break;
        case OP_LREF_PRI: // pri = [[addr]]
            GETPARAM(offs);
            CHKCELL(offs);
            offs = rdcell(data + offs);
            CHKCELL(offs);
            pri = rdcell(data + offs);
            break;
        case OP_LREF_ALT: // alt = [[addr]]
            GETPARAM(offs);
            CHKCELL(offs);
            offs = rdcell(data + offs);
            CHKCELL(offs);
            alt = rdcell(data + offs);
            break;
        case OP_LREF_S_PRI: // pri = [[frm + offs]]
            GETPARAM(offs);
            offs = WADD(frm, offs);
            CHKCELL(offs);
            offs = rdcell(data + offs);
            CHKCELL(offs);
            pri = rdcell(data + offs);
            break;
        case OP_LREF_S_ALT: // alt = [[frm + offs]]
            GETPARAM(offs);
            offs = WADD(frm, offs);
            CHKCELL(offs);
            offs = rdcell(data + offs);
            CHKCELL(offs);
            alt = rdcell(data + offs);
            break;
        case OP_LOAD_I: // pri = [pri]
            CHKGAP(pri);
            CHKCELL(pri);
            pri = rdcell(data + pri);
            break;
        case OP_LODB_I: // pri = n bytes at [pri], zero-extended (n = 1, 2, 4; else pri kept)
            GETPARAM(offs);
            CHKGAP(pri);
            switch (offs)
            {
            case 1:
                pri = data[(ucell)pri];
                break;
            case 2: {
                if ((ucell)pri > dsize - 2)
                    ABORT(AMX_ERR_MEMACCESS);
                uint16_t v;
                memcpy(&v, data + (ucell)pri, 2);
                pri = v;
                break;
            }
            case 4:
                CHKCELL(pri);
                pri = rdcell(data + pri);
                break;
            }
            break;
        case OP_CONST_PRI: // pri = value
            GETPARAM(pri);
            break;
        case OP_CONST_ALT: // alt = value
            GETPARAM(alt);
            break;
        case OP_ADDR_PRI: // pri = frm + offs
            GETPARAM(offs);
            pri = WADD(frm, offs);
            break;
        case OP_ADDR_ALT: // alt = frm + offs
            GETPARAM(offs);
            alt = WADD(frm, offs);
            break;
        case OP_STOR_PRI: // [addr] = pri
            GETPARAM(offs);
            CHKCELL(offs);
            wrcell(data + offs, pri);
            break;
        case OP_STOR_ALT: // [addr] = alt
            GETPARAM(offs);
            CHKCELL(offs);
            wrcell(data + offs, alt);
            break;
        case OP_STOR_S_PRI: // [frm + offs] = pri
            GETPARAM(offs);
            offs = WADD(frm, offs);
            CHKCELL(offs);
            wrcell(data + offs, pri);
            break;
        case OP_STOR_S_ALT: // [frm + offs] = alt
            GETPARAM(offs);
            offs = WADD(frm, offs);
            CHKCELL(offs);
            wrcell(data + offs, alt);
            break;
        case OP_SREF_PRI: // [[addr]] = pri
            GETPARAM(offs);
            CHKCELL(offs);
            offs = rdcell(data + offs);
            CHKCELL(offs);
            wrcell(data + offs, pri);
            break;
        case OP_SREF_ALT: // [[addr]] = alt
            GETPARAM(offs);
            CHKCELL(offs);
            offs = rdcell(data + offs);
            CHKCELL(offs);
            wrcell(data + offs, alt);
            break;
        case OP_SREF_S_PRI: // [[frm + offs]] = pri
            GETPARAM(offs);
            offs = WADD(frm, offs);
            CHKCELL(offs);
            offs = rdcell(data + offs);
            CHKCELL(offs);
            wrcell(data + offs, pri);
            break;
        case OP_SREF_S_ALT: // [[frm + offs]] = alt
            GETPARAM(offs);
            offs = WADD(frm, offs);
            CHKCELL(offs);
            offs = rdcell(data + offs);
            CHKCELL(offs);
            wrcell(data + offs, alt);
            break;
        case OP_STOR_I: // [alt] = pri
            CHKGAP(alt);
            CHKCELL(alt);
            wrcell(data + alt, pri);
            break;
        case OP_STRB_I: // n bytes of pri at [alt] (n = 1, 2, 4; else nothing)
            GETPARAM(offs);
            CHKGAP(alt);
            switch (offs)
            {
            case 1:
                data[(ucell)alt] = (unsigned char)pri;
                break;
            case 2: {
                if ((ucell)alt > dsize - 2)
                    ABORT(AMX_ERR_MEMACCESS);
                uint16_t v = (uint16_t)pri;
                memcpy(data + (ucell)alt, &v, 2);
                break;
            }
            case 4:
                CHKCELL(alt);
                wrcell(data + alt, pri);
                break;
            }
            break;
        case OP_LIDX: // pri = [alt + 4 * pri]
            offs = WADD((ucell)pri * 4u, alt);
            CHKGAP(offs);
            CHKCELL(offs);
            pri = rdcell(data + offs);
            break;
        case OP_LIDX_B: // pri = [alt + (pri << n)]
            GETPARAM(offs);
            offs = WADD((ucell)pri << (offs & 31), alt);
            CHKGAP(offs);
            CHKCELL(offs);
            pri = rdcell(data + offs);
            break;
        case OP_IDXADDR: // pri = alt + 4 * pri
            pri = WADD((ucell)pri * 4u, alt);
            break;
        case OP_IDXADDR_B: // pri = alt + (pri << n)
            GETPARAM(offs);
            pri = WADD((ucell)pri << (offs & 31), alt);
            break;
        case OP_ALIGN_PRI: // little-endian: pri ^= 4 - n when n < 4
            GETPARAM(offs);
            if ((ucell)offs < sizeof(cell))
                pri ^= (cell)sizeof(cell) - offs;
            break;
        case OP_ALIGN_ALT:
            GETPARAM(offs);
            if ((ucell)offs < sizeof(cell))
                alt ^= (cell)sizeof(cell) - offs;
            break;
        case OP_LCTRL: // pri = COD, DAT, HEA, STP, STK, FRM, CIP
            GETPARAM(offs);
            switch (offs)
            {
            case 0:
                pri = hdr.cod;
                break;
            case 1:
                pri = hdr.dat;
                break;
            case 2:
                pri = hea;
                break;
            case 3:
                pri = (cell)dsize;
                break;
            case 4:
                pri = stk;
                break;
            case 5:
                pri = frm;
                break;
            case 6:
                pri = (cell)cip;
                break;
            }
            break;
        case OP_SCTRL: // HEA, STK, FRM, CIP = pri
            GETPARAM(offs);
            switch (offs)
            {
            case 2:
                hea = pri;
                break;
            case 4:
                stk = pri;
                break;
            case 5:
                frm = pri;
                break;
            case 6:
                CHKTARGET(pri);
                cip = (ucell)pri;
                break;
            }
            break;
        case OP_MOVE_PRI: // pri = alt
            pri = alt;
            break;
        case OP_MOVE_ALT: // alt = pri
            alt = pri;
            break;
        case OP_XCHG: // pri <-> alt
            offs = pri;
            pri = alt;
            alt = offs;
            break;
        case OP_PUSH_PRI: // [--stk] = pri
            PUSH(pri);
            break;
        case OP_PUSH_ALT:
            PUSH(alt);
            break;
        case OP_PUSH_R: // n times [--stk] = pri
            GETPARAM(offs);
            if (offs > 0 && ((ucell)stk > dsize || (ucell)offs > (ucell)stk / 4))
                ABORT(AMX_ERR_STACKERR);
            while (offs-- > 0)
                PUSH(pri);
            break;
        case OP_PUSH_C: // [--stk] = value
            GETPARAM(offs);
            PUSH(offs);
            break;
        case OP_PUSH: // [--stk] = [addr]
            GETPARAM(offs);
            CHKCELL(offs);
            PUSH(rdcell(data + offs));
            break;
        case OP_PUSH_S: // [--stk] = [frm + offs]
            GETPARAM(offs);
            offs = WADD(frm, offs);
            CHKCELL(offs);
            PUSH(rdcell(data + offs));
            break;
        case OP_POP_PRI: // pri = [stk++]
            POP(pri);
            break;
        case OP_POP_ALT:
            POP(alt);
            break;
        case OP_STACK: { // alt = stk, stk += n
            GETPARAM(offs);
            alt = stk;
            int64_t s = (int64_t)stk + offs;
            if ((int64_t)hea + 16 * (int64_t)sizeof(cell) > s)
                ABORT(AMX_ERR_STACKERR);
            if (s > (int64_t)dsize)
                ABORT(AMX_ERR_STACKLOW);
            stk = (cell)s;
            break;
        }
        case OP_HEAP: { // alt = hea, hea += n
            GETPARAM(offs);
            alt = hea;
            int64_t h = (int64_t)hea + offs;
            if (h + 16 * (int64_t)sizeof(cell) > (int64_t)stk)
                ABORT(AMX_ERR_STACKERR);
            if (h < 0)
                ABORT(AMX_ERR_HEAPLOW);
            hea = (cell)h;
            break;
        }
        case OP_PROC: // [--stk] = frm, frm = stk
            PUSH(frm);
            frm = stk;
            CHKMARGIN();
            break;
        case OP_RET: // frm = [stk++], cip = [stk++]
            POP(frm);
            POP(offs);
            if (offs == 0)
                goto done;
            CHKTARGET(offs);
            cip = (ucell)offs;
            break;
        case OP_RETN: // frm = [stk++], cip = [stk++], stk += [stk] + 4
            POP(frm);
            POP(offs);
            if (offs == 0)
                goto done;
            CHKTARGET(offs);
            cip = (ucell)offs;
            CHKCELL(stk);
            stk = WADD(stk, WADD(rdcell(data + stk), sizeof(cell)));
            break;
        case OP_CALL: // [--stk] = next cip, cip = addr
            PUSH((cell)(cip + 4));
            cip = (ucell)OPND();
            break;
        case OP_CALL_PRI: // [--stk] = next cip, cip = pri
            PUSH((cell)cip);
            CHKTARGET(pri);
            cip = (ucell)pri;
            break;
        case OP_JUMP:
            cip = (ucell)OPND();
            break;
        case OP_JREL: // relative to the next instruction
            cip = cip + 4 + (ucell)OPND();
            break;
#define JUMPIF(cond)                                                                                                   \
    if (cond)                                                                                                          \
        cip = (ucell)OPND();                                                                                           \
    else                                                                                                               \
        cip += 4;                                                                                                      \
    break
        case OP_JZER:
            JUMPIF(pri == 0);
        case OP_JNZ:
            JUMPIF(pri != 0);
        case OP_JEQ:
            JUMPIF(pri == alt);
        case OP_JNEQ:
            JUMPIF(pri != alt);
        case OP_JLESS:
            JUMPIF((ucell)pri < (ucell)alt);
        case OP_JLEQ:
            JUMPIF((ucell)pri <= (ucell)alt);
        case OP_JGRTR:
            JUMPIF((ucell)pri > (ucell)alt);
        case OP_JGEQ:
            JUMPIF((ucell)pri >= (ucell)alt);
        case OP_JSLESS:
            JUMPIF(pri < alt);
        case OP_JSLEQ:
            JUMPIF(pri <= alt);
        case OP_JSGRTR:
            JUMPIF(pri > alt);
        case OP_JSGEQ:
            JUMPIF(pri >= alt);
#undef JUMPIF
        case OP_SHL: // shift counts use their low 5 bits, as the x86 shift does
            pri = (cell)((ucell)pri << (alt & 31));
            break;
        case OP_SHR:
            pri = (cell)((ucell)pri >> (alt & 31));
            break;
        case OP_SSHR:
            pri = pri >> (alt & 31);
            break;
        case OP_SHL_C_PRI:
            GETPARAM(offs);
            pri = (cell)((ucell)pri << (offs & 31));
            break;
        case OP_SHL_C_ALT:
            GETPARAM(offs);
            alt = (cell)((ucell)alt << (offs & 31));
            break;
        case OP_SHR_C_PRI:
            GETPARAM(offs);
            pri = (cell)((ucell)pri >> (offs & 31));
            break;
        case OP_SHR_C_ALT:
            GETPARAM(offs);
            alt = (cell)((ucell)alt >> (offs & 31));
            break;
        case OP_SMUL:
            pri = (cell)((ucell)pri * (ucell)alt);
            break;
        case OP_SDIV:       // pri = pri / alt rounded towards minus infinity, alt = remainder
        case OP_SDIV_ALT: { // pri = alt / pri, alt = remainder
            int64_t dividend = op == OP_SDIV ? pri : alt;
            int64_t divisor = op == OP_SDIV ? alt : pri;
            if (divisor == 0)
                ABORT(AMX_ERR_DIVIDE);
            // 64-bit: INT_MIN / -1 wraps instead of trapping
            int64_t r = (dividend % divisor + divisor) % divisor;
            pri = (cell)(ucell)(uint64_t)((dividend - r) / divisor);
            alt = (cell)r;
            break;
        }
        case OP_UMUL:
            pri = (cell)((ucell)pri * (ucell)alt);
            break;
        case OP_UDIV:
            if (alt == 0)
                ABORT(AMX_ERR_DIVIDE);
            offs = (cell)((ucell)pri % (ucell)alt);
            pri = (cell)((ucell)pri / (ucell)alt);
            alt = offs;
            break;
        case OP_UDIV_ALT:
            if (pri == 0)
                ABORT(AMX_ERR_DIVIDE);
            offs = (cell)((ucell)alt % (ucell)pri);
            pri = (cell)((ucell)alt / (ucell)pri);
            alt = offs;
            break;
        case OP_ADD:
            pri = WADD(pri, alt);
            break;
        case OP_SUB:
            pri = (cell)((ucell)pri - (ucell)alt);
            break;
        case OP_SUB_ALT:
            pri = (cell)((ucell)alt - (ucell)pri);
            break;
        case OP_AND:
            pri &= alt;
            break;
        case OP_OR:
            pri |= alt;
            break;
        case OP_XOR:
            pri ^= alt;
            break;
        case OP_NOT:
            pri = !pri;
            break;
        case OP_NEG:
            pri = (cell)(0u - (ucell)pri);
            break;
        case OP_INVERT:
            pri = ~pri;
            break;
        case OP_ADD_C:
            GETPARAM(offs);
            pri = WADD(pri, offs);
            break;
        case OP_SMUL_C:
            GETPARAM(offs);
            pri = (cell)((ucell)pri * (ucell)offs);
            break;
        case OP_ZERO_PRI:
            pri = 0;
            break;
        case OP_ZERO_ALT:
            alt = 0;
            break;
        case OP_ZERO: // [addr] = 0
            GETPARAM(offs);
            CHKCELL(offs);
            wrcell(data + offs, 0);
            break;
        case OP_ZERO_S: // [frm + offs] = 0
            GETPARAM(offs);
            offs = WADD(frm, offs);
            CHKCELL(offs);
            wrcell(data + offs, 0);
            break;
        case OP_SIGN_PRI: // sign-extend the low byte
            if ((pri & 0xff) >= 0x80)
                pri |= ~(cell)0xff;
            break;
        case OP_SIGN_ALT:
            if ((alt & 0xff) >= 0x80)
                alt |= ~(cell)0xff;
            break;
        case OP_EQ:
            pri = pri == alt;
            break;
        case OP_NEQ:
            pri = pri != alt;
            break;
        case OP_LESS:
            pri = (ucell)pri < (ucell)alt;
            break;
        case OP_LEQ:
            pri = (ucell)pri <= (ucell)alt;
            break;
        case OP_GRTR:
            pri = (ucell)pri > (ucell)alt;
            break;
        case OP_GEQ:
            pri = (ucell)pri >= (ucell)alt;
            break;
        case OP_SLESS:
            pri = pri < alt;
            break;
        case OP_SLEQ:
            pri = pri <= alt;
            break;
        case OP_SGRTR:
            pri = pri > alt;
            break;
        case OP_SGEQ:
            pri = pri >= alt;
            break;
        case OP_EQ_C_PRI:
            GETPARAM(offs);
            pri = pri == offs;
            break;
        case OP_EQ_C_ALT:
            GETPARAM(offs);
            pri = alt == offs;
            break;
        case OP_INC_PRI:
            pri = WADD(pri, 1);
            break;
        case OP_INC_ALT:
            alt = WADD(alt, 1);
            break;
        case OP_INC: // [addr] += 1
            GETPARAM(offs);
            CHKCELL(offs);
            wrcell(data + offs, WADD(rdcell(data + offs), 1));
            break;
        case OP_INC_S: // [frm + offs] += 1
            GETPARAM(offs);
            offs = WADD(frm, offs);
            CHKCELL(offs);
            wrcell(data + offs, WADD(rdcell(data + offs), 1));
            break;
        case OP_INC_I: // [pri] += 1
            CHKCELL(pri);
            wrcell(data + pri, WADD(rdcell(data + pri), 1));
            break;
        case OP_DEC_PRI:
            pri = WADD(pri, -1);
            break;
        case OP_DEC_ALT:
            alt = WADD(alt, -1);
            break;
        case OP_DEC: // [addr] -= 1
            GETPARAM(offs);
            CHKCELL(offs);
            wrcell(data + offs, WADD(rdcell(data + offs), -1));
            break;
        case OP_DEC_S: // [frm + offs] -= 1
            GETPARAM(offs);
            offs = WADD(frm, offs);
            CHKCELL(offs);
            wrcell(data + offs, WADD(rdcell(data + offs), -1));
            break;
        case OP_DEC_I: // [pri] -= 1
            CHKCELL(pri);
            wrcell(data + pri, WADD(rdcell(data + pri), -1));
            break;
        case OP_MOVS: // copy n bytes from [pri] to [alt]
            GETPARAM(offs);
            CHKBLOCK(pri, offs);
            CHKBLOCK(alt, offs);
            memmove(data + (ucell)alt, data + (ucell)pri, (size_t)offs);
            break;
        case OP_CMPS: { // pri = sign of the comparison of n bytes at [alt] with [pri]
            GETPARAM(offs);
            CHKBLOCK(pri, offs);
            CHKBLOCK(alt, offs);
            int c = memcmp(data + (ucell)alt, data + (ucell)pri, (size_t)offs);
            pri = c < 0 ? -1 : c > 0 ? 1 : 0;
            break;
        }
        case OP_FILL: { // n / 4 cells at [alt] = pri
            GETPARAM(offs);
            cell nCells = offs >= 4 ? offs / 4 : 0;
            if (nCells > 0)
            {
                CHKBLOCK(alt, nCells * 4);
                for (cell i = 0; i < nCells; i++)
                    wrcell(data + (ucell)alt + 4 * (ucell)i, pri);
            }
            break;
        }
        case OP_HALT: // result = pri, end with code n
            GETPARAM(offs);
            if (retval)
                *retval = pri;
            err = offs;
            goto halt;
        case OP_BOUNDS: // pri outside 0..n
            GETPARAM(offs);
            if ((ucell)pri > (ucell)offs)
                ABORT(AMX_ERR_BOUNDS);
            break;
        case OP_SYSREQ_PRI: // native number pri
            num = pri;
            goto sysreq;
        case OP_SYSREQ_C: // native number n
            GETPARAM(num);
        sysreq:
            amx->cip = (cell)cip;
            amx->hea = hea;
            amx->frm = frm;
            amx->stk = stk;
            // Ours: the argument block (byte count, then the arguments) lies inside the stack.
            if ((ucell)stk > dlim4 || (stk & 3) != 0)
                ABORT(AMX_ERR_PARAMS);
            offs = rdcell(data + stk);
            if (offs < 0 || (offs & 3) != 0 || (ucell)offs > dlim4 - (ucell)stk)
                ABORT(AMX_ERR_PARAMS);
            // The shared budget is charged with what ran so far, the native may run scripts of
            // its own from it, and this execution goes on with no more than they left.
            if (sharedleft)
                *sharedleft -= mark - left;
            err = amx->callback(amx, num, &pri, (cell *)(data + stk));
            if (sharedleft)
            {
                if (*sharedleft < left)
                    left = *sharedleft > 0 ? *sharedleft : 0;
                mark = left;
            }
            if (err != AMX_ERR_NONE)
                goto abort;
            break;
        case OP_FILE: // skipped
            cip = opcip + 8 + (ucell)OPND();
            break;
        case OP_LINE:
            GETPARAM(amx->curline);
            GETPARAM(amx->curfile);
            DEBUGHOOK(DBG_LINE);
            break;
        case OP_SYMBOL:
            GETPARAM(offs);
            amx->dbgaddr = rdcell(code + cip);
            amx->dbgparam = rdcell(code + cip + 4);
            amx->dbgname = (char *)(code + cip + 8);
            cip = opcip + 8 + (ucell)offs;
            DEBUGHOOK(DBG_SYMBOL);
            break;
        case OP_SRANGE:
            GETPARAM(amx->dbgaddr);
            GETPARAM(amx->dbgparam);
            DEBUGHOOK(DBG_SRANGE);
            break;
        case OP_JUMP_PRI:
            CHKTARGET(pri);
            cip = (ucell)pri;
            break;
        case OP_SWITCH: { // cip = address of the case of pri in the case table, or its default
            ucell tbl = (ucell)OPND() + 4;
            cell n = rdcell(code + tbl);
            ucell target = (ucell)rdcell(code + tbl + 4);
            for (ucell p = tbl + 8; n > 0; n--, p += 8)
            {
                if (rdcell(code + p) == pri)
                {
                    target = (ucell)rdcell(code + p + 4);
                    break;
                }
            }
            cip = target;
            break;
        }
        case OP_SWAP_PRI: // [stk] <-> pri
            CHKCELL(stk);
            offs = rdcell(data + stk);
            wrcell(data + stk, pri);
            pri = offs;
            break;
        case OP_SWAP_ALT:
            CHKCELL(stk);
            offs = rdcell(data + stk);
            wrcell(data + stk, alt);
            alt = offs;
            break;
        case OP_PUSHADDR: // [--stk] = frm + offs
            GETPARAM(offs);
            PUSH(WADD(frm, offs));
            break;
        case OP_CASETBL: // only reached through SWITCH
        default:
            ABORT(AMX_ERR_INVINSTR);
        }
    }

done:
    if (retval)
        *retval = pri;
    amx->stk = reset_stk;
    amx->hea = reset_hea;
    amx->steps = maxsteps - left;
    if (sharedleft)
        *sharedleft -= mark - left;
    return AMX_ERR_NONE;

halt:
    amx->stk = reset_stk;
    amx->hea = reset_hea;
    amx->cip = (cell)opcip;
    amx->steps = maxsteps - left;
    if (sharedleft)
        *sharedleft -= mark - left;
    return err;

abort:
    if (left < 0)
        left = 0;
    amx->stk = reset_stk;
    amx->hea = reset_hea;
    amx->cip = (cell)opcip;
    amx->steps = maxsteps - left;
    if (sharedleft)
        *sharedleft -= mark - left;
    return err;

#undef WADD
#undef OPND
#undef GETPARAM
#undef ABORT
#undef CHKCELL
#undef CHKGAP
#undef PUSH
#undef POP
#undef CHKMARGIN
#undef CHKTARGET
#undef CHKBLOCK
#undef DEBUGHOOK
}
