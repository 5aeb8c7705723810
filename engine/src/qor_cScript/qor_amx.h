// The Small abstract machine: 32-bit cells, 56-byte image header, 24-byte table
// records, opcodes 1 to 133.
//
// The host is 64-bit while the machine's cells and table slots are 32 bits, so:
// - code addresses stay code-relative: amx_Init checks every jump, call and case target (it must
//   be the start of an instruction) instead of rewriting it into an absolute address; the
//   interpreter turns offsets into positions itself. A script cannot tell: it sees code
//   addresses only through LCTRL 6, which is code-relative in the Small machine too.
// - natives are bound through a side table with one function pointer per native record
//   (AMX::natives), allocated by amx_Init and freed by amx_Cleanup, not through the record's
//   32-bit address slot.
//
// Beyond the Small machine's own checks, it refuses images and instructions that no compiler
// writes (see amx_Init and amx_Exec): every memory access stays inside the data section, every
// code target is the start of a checked instruction, every header table lies inside the image,
// and an execution can be given an instruction budget (AMX::maxsteps).
#pragma once

#include <cstddef>
#include <cstdint>

typedef int32_t cell;
typedef uint32_t ucell;

#define AMX_NATIVE_CALL

struct AMX;
typedef cell(AMX_NATIVE_CALL * AMX_NATIVE)(AMX * amx, cell * params);
typedef int (*AMX_CALLBACK)(AMX * amx, cell index, cell * result, cell * params);
typedef int (*AMX_DEBUG)(AMX * amx);

// One entry of a host's native table; a list ends with an entry whose name is null.
struct AMX_NATIVE_INFO
{
    const char * name;
    AMX_NATIVE func;
};

enum
{
    AMX_ERR_NONE = 0,
    AMX_ERR_EXIT = 1,      // forced exit
    AMX_ERR_ASSERT = 2,    // assertion failed
    AMX_ERR_STACKERR = 3,  // stack/heap collision
    AMX_ERR_BOUNDS = 4,    // index out of bounds
    AMX_ERR_MEMACCESS = 5, // invalid memory access
    AMX_ERR_INVINSTR = 6,  // invalid instruction
    AMX_ERR_STACKLOW = 7,  // stack underflow
    AMX_ERR_HEAPLOW = 8,   // heap underflow
    AMX_ERR_CALLBACK = 9,  // no callback, or invalid callback
    AMX_ERR_NATIVE = 10,   // native function failed
    AMX_ERR_DIVIDE = 11,   // divide by zero
    AMX_ERR_MEMORY = 16,   // out of memory
    AMX_ERR_FORMAT = 17,   // invalid file format
    AMX_ERR_VERSION = 18,  // file is for a newer version of the AMX
    AMX_ERR_NOTFOUND = 19, // function not found
    AMX_ERR_INDEX = 20,    // invalid index parameter (bad entry point)
    AMX_ERR_DEBUG = 21,    // debugger cannot run
    AMX_ERR_INIT = 22,     // AMX not initialized (or doubly initialized)
    AMX_ERR_USERDATA = 23, // unable to set user data field (table full)
    AMX_ERR_INIT_JIT = 24, // cannot initialize the JIT
    AMX_ERR_PARAMS = 25,   // parameter error
};

enum
{
    AMX_FLAG_CHAR16 = 0x01,   // header: characters are 16 bits wide (refused)
    AMX_FLAG_DEBUG = 0x02,    // header: debug information; machine: debugging on
    AMX_FLAG_COMPACT = 0x04,  // header: compact encoding
    AMX_FLAG_BUDGET = 0x0100, // machine (ours): the last amx_Exec ran out of its instruction budget
    AMX_FLAG_BROWSE = 0x4000, // machine: code being scanned
    AMX_FLAG_RELOC = 0x8000,  // machine: code scanned and checked ("relocated")
};

enum
{
    AMX_EXEC_MAIN = -1,
};

// Debug codes stored in AMX::dbgcode before the debug hook is called.
enum
{
    DBG_INIT = 0,
    DBG_FILE = 1,
    DBG_LINE = 2,
    DBG_SYMBOL = 3,
    DBG_SRANGE = 8,
};

#define AMX_MAGIC 0xF1E0
#define AMX_HEADER_SIZE 56
#define AMX_DEFSIZE 24
#define AMX_NAMEMAX 19 // a table name has at most 19 characters, NUL-padded to 20 bytes
#define AMX_MAX_VERSION 4
#define AMX_NUM_OPCODES 133

// Zero bytes that a host adds after the stp bytes of an image block (see amx_ReadString and
// the native call convention): a native that reads more arguments than the script pushed, or
// an unpacked string that starts at an unaligned address in the last stack cell, stays inside
// the block. The host and the tools allocate stp + AMX_IMAGE_SLACK bytes, zero-filled.
#define AMX_IMAGE_SLACK 256

// The largest image block (stp: code, data, heap and stack together) that a host allocates
// unless told otherwise: 64 MiB. Show scripts need a few KiB; an image that asks for more is
// refused with AMX_ERR_MEMORY before anything is allocated for it (a 200-byte file could
// otherwise make its host allocate 2 GiB).
#define AMX_MAX_STP (64 * 1024 * 1024)

// The image header, decoded field by field (the image keeps its own little-endian bytes).
struct AMX_HEADER
{
    int32_t size;
    uint16_t magic;
    int8_t file_version;
    int8_t amx_version;
    int16_t flags;
    int16_t defsize;
    int32_t cod;
    int32_t dat;
    int32_t hea;
    int32_t stp;
    int32_t cip;
    int16_t num_publics;
    int32_t publics;
    int16_t num_natives;
    int32_t natives;
    int16_t num_libraries;
    int32_t libraries;
    int16_t num_pubvars;
    int32_t pubvars;
};

// Table record: int32 address, then the name NUL-terminated in 20 bytes.
struct AMX_FUNCSTUB
{
    ucell address;
    char name[AMX_NAMEMAX + 1];
};

// The checks a host makes on an image file of nFileSize bytes before it allocates the block:
// AMX_ERR_FORMAT when the file is shorter than its header or its declared size, or the size is
// not within [header, stp]; AMX_ERR_MEMORY when stp is above nMaxStp (AMX_MAX_STP unless a
// tool was asked for more). AMX_ERR_NONE otherwise; *pHdr (may be null) gets the header.
int amx_CheckImageFile(const void * pFile, size_t nFileSize, int64_t nMaxStp, AMX_HEADER * pHdr);

// Decodes the 56 header bytes at p (little-endian); encodes it back.
void amx_ReadHeader(const void * p, AMX_HEADER * pHdr);
void amx_WriteHeader(void * p, const AMX_HEADER * pHdr);

// The machine record: one per running script, zero-filled by its owner before amx_Init.
struct AMX
{
    unsigned char * base; // the image
    AMX_CALLBACK callback;
    AMX_DEBUG debug;
    // registers saved while a native runs: cip code-relative, the others data-relative
    cell cip;
    cell frm;
    cell hea;
    cell stk;
    cell stp;
    int flags;
    // debug state
    long curline;
    long curfile;
    int dbgcode;
    cell dbgaddr;
    cell dbgparam;
    char * dbgname;
    long usertags[4];
    void * userdata[4];
    int error; // the error a native raises
    // ours: native side table (one function per native record, null while unbound) and the
    // map of instruction starts, both allocated by amx_Init and freed by amx_Cleanup
    AMX_NATIVE * natives;
    int numnatives;
    uint32_t * insmap;
    cell codesize;
    // ours: instruction budget of each amx_Exec (0: unlimited) and the instructions the last
    // amx_Exec ran; running out ends it with AMX_ERR_EXIT and sets AMX_FLAG_BUDGET
    int64_t maxsteps;
    int64_t steps;
    // ours: when not null, a budget shared with every execution the natives start: an
    // amx_Exec runs at most *sharedleft instructions (as well as maxsteps), takes what it runs
    // from it, and after each native call goes on with no more than what the native's own
    // executions left; at 0 it stops like maxsteps does
    int64_t * sharedleft;
};

// Checks the header, expands compact code, prepares the record and checks the code.
// The image stays owned by the caller and is modified in place; it must hold the header's stp
// bytes (plus AMX_IMAGE_SLACK zero bytes, see above).
int amx_Init(AMX * amx, void * program);
// Frees what amx_Init allocated (the native side table and the instruction map); the record
// may then be zero-filled and used again. Safe on a zero-filled record.
void amx_Cleanup(AMX * amx);
// Binds every unbound native record to the entry of `list` with the same name; `number`
// entries, or up to the null name when negative. 0, or AMX_ERR_NOTFOUND while a record is
// still unbound.
int amx_Register(AMX * amx, const AMX_NATIVE_INFO * list, int number);
// Runs `main` (index AMX_EXEC_MAIN) or public function `index` with numparams cell arguments.
int amx_Exec(AMX * amx, cell * retval, int index, int numparams, ...);
// The same with the arguments in an array (first argument first).
int amx_Execv(AMX * amx, cell * retval, int index, int numparams, const cell * params);
// Data address of the script -> pointer into the image; AMX_ERR_MEMACCESS in the gap between
// heap and stack, at or above the stack top, or below 0.
int amx_AddrToPtr(AMX * amx, cell addr, cell ** out);
// Copies a script string (packed or unpacked) into dest, NUL-terminated; no length limit.
int amx_ReadString(char * dest, const cell * src);
// The same, writing at most size bytes (the result is always terminated when size > 0).
int amx_ReadStringN(char * dest, const cell * src, size_t size);

// The default dispatcher: calls the native bound to record `index`; AMX_ERR_NOTFOUND when the
// index is outside the table or the record is unbound.
int amx_Callback(AMX * amx, cell index, cell * result, cell * params);

// The error-name table: the literal text of each code ("AMX_ERR_DIVIDE,       /* divide by
// zero */"); "AMX_ERR_UNKNOWN" for 12 to 15 and any code outside the table.
const char * amx_ErrorText(int code);
// The identifier alone ("AMX_ERR_DIVIDE"); "AMX_ERR_NONE" for 0.
const char * amx_ErrorName(int code);

// Opcode names of the machine (index = opcode, 1 to 133; [0] is null), lower case as the
// assembler writes them ("load.pri", "sysreq.c", ...).
extern const char * const amx_opnames[AMX_NUM_OPCODES + 1];

// Opcode numbers.
enum
{
    OP_NONE,
    OP_LOAD_PRI,
    OP_LOAD_ALT,
    OP_LOAD_S_PRI,
    OP_LOAD_S_ALT,
    OP_LREF_PRI,
    OP_LREF_ALT,
    OP_LREF_S_PRI,
    OP_LREF_S_ALT,
    OP_LOAD_I,
    OP_LODB_I, // 10
    OP_CONST_PRI,
    OP_CONST_ALT,
    OP_ADDR_PRI,
    OP_ADDR_ALT,
    OP_STOR_PRI,
    OP_STOR_ALT,
    OP_STOR_S_PRI,
    OP_STOR_S_ALT,
    OP_SREF_PRI,
    OP_SREF_ALT, // 20
    OP_SREF_S_PRI,
    OP_SREF_S_ALT,
    OP_STOR_I,
    OP_STRB_I,
    OP_LIDX,
    OP_LIDX_B,
    OP_IDXADDR,
    OP_IDXADDR_B,
    OP_ALIGN_PRI,
    OP_ALIGN_ALT, // 30
    OP_LCTRL,
    OP_SCTRL,
    OP_MOVE_PRI,
    OP_MOVE_ALT,
    OP_XCHG,
    OP_PUSH_PRI,
    OP_PUSH_ALT,
    OP_PUSH_R,
    OP_PUSH_C,
    OP_PUSH, // 40
    OP_PUSH_S,
    OP_POP_PRI,
    OP_POP_ALT,
    OP_STACK,
    OP_HEAP,
    OP_PROC,
    OP_RET,
    OP_RETN,
    OP_CALL,
    OP_CALL_PRI, // 50
    OP_JUMP,
    OP_JREL,
    OP_JZER,
    OP_JNZ,
    OP_JEQ,
    OP_JNEQ,
    OP_JLESS,
    OP_JLEQ,
    OP_JGRTR,
    OP_JGEQ, // 60
    OP_JSLESS,
    OP_JSLEQ,
    OP_JSGRTR,
    OP_JSGEQ,
    OP_SHL,
    OP_SHR,
    OP_SSHR,
    OP_SHL_C_PRI,
    OP_SHL_C_ALT,
    OP_SHR_C_PRI, // 70
    OP_SHR_C_ALT,
    OP_SMUL,
    OP_SDIV,
    OP_SDIV_ALT,
    OP_UMUL,
    OP_UDIV,
    OP_UDIV_ALT,
    OP_ADD,
    OP_SUB,
    OP_SUB_ALT, // 80
    OP_AND,
    OP_OR,
    OP_XOR,
    OP_NOT,
    OP_NEG,
    OP_INVERT,
    OP_ADD_C,
    OP_SMUL_C,
    OP_ZERO_PRI,
    OP_ZERO_ALT, // 90
    OP_ZERO,
    OP_ZERO_S,
    OP_SIGN_PRI,
    OP_SIGN_ALT,
    OP_EQ,
    OP_NEQ,
    OP_LESS,
    OP_LEQ,
    OP_GRTR,
    OP_GEQ, // 100
    OP_SLESS,
    OP_SLEQ,
    OP_SGRTR,
    OP_SGEQ,
    OP_EQ_C_PRI,
    OP_EQ_C_ALT,
    OP_INC_PRI,
    OP_INC_ALT,
    OP_INC,
    OP_INC_S, // 110
    OP_INC_I,
    OP_DEC_PRI,
    OP_DEC_ALT,
    OP_DEC,
    OP_DEC_S,
    OP_DEC_I,
    OP_MOVS,
    OP_CMPS,
    OP_FILL,
    OP_HALT, // 120
    OP_BOUNDS,
    OP_SYSREQ_PRI,
    OP_SYSREQ_C,
    OP_FILE,
    OP_LINE,
    OP_SYMBOL,
    OP_SRANGE,
    OP_JUMP_PRI,
    OP_SWITCH,
    OP_CASETBL, // 130
    OP_SWAP_PRI,
    OP_SWAP_ALT,
    OP_PUSHADDR,
    OP_NUM_OPCODES
};
static_assert(OP_NUM_OPCODES == AMX_NUM_OPCODES + 1, "opcodes 1 to 133");

// Operand kind of each opcode, shared by the scan, the assembler and the disassembler.
enum amx_eOperand
{
    AMX_OPND_NONE,   // one cell: the opcode
    AMX_OPND_VALUE,  // opcode, value
    AMX_OPND_CODE,   // opcode, code offset (CALL, JUMP, the conditional jumps, SWITCH)
    AMX_OPND_JREL,   // opcode, offset relative to the next instruction
    AMX_OPND_NATIVE, // opcode, native index (SYSREQ.C)
    AMX_OPND_TWO,    // opcode, two values (LINE, SRANGE)
    AMX_OPND_FILE,   // opcode, size, ordinal, name bytes (size = bytes after the size cell)
    AMX_OPND_SYMBOL, // opcode, size, address, flags, name bytes
    AMX_OPND_CASETBL // opcode, count, default, count x (value, address)
};
amx_eOperand amx_OperandKind(int opcode); // AMX_OPND_NONE for an invalid opcode too
