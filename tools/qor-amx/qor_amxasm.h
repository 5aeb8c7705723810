// The AMX assembler, disassembler and image writer (library qor_amxasm), shared by the
// qor-amx tool, the tests and the script compiler. Syntax: docs/AMX_ASSEMBLER.md.
#pragma once

#include "qor_amx.h"

#include <cstdint>
#include <string>
#include <vector>

// One record of the public, native, library or public-variable table.
struct qor_sAmxEntry
{
    std::string strName; // at most AMX_NAMEMAX characters
    cell address;        // code offset (publics), data offset (pubvars), slot value (natives, libraries)
};

// An image before it is written: the writer lays it out as the old compiler did.
struct qor_sAmxImage
{
    std::vector<cell> aCode; // the code section, cell by cell
    std::vector<cell> aData; // the data section
    std::vector<qor_sAmxEntry> aPublics;
    std::vector<qor_sAmxEntry> aNatives;
    std::vector<qor_sAmxEntry> aLibraries;
    std::vector<qor_sAmxEntry> aPubvars;
    int32_t nStackCells = 4096; // heap and stack room after the data
    int32_t cip = -1;           // code offset of main, -1 for none
    bool bCompact = false;      // compact encoding of code and data
    int16_t extraFlags = 0;     // ORed into the header flags
    int8_t fileVersion = 4;
    int8_t amxVersion = 4;
};

// Lays the image out (header, publics, natives, libraries, pubvars, code, data) and encodes it;
// *pHdr (when given) receives the header written. False when a name is longer than 19
// characters or a size does not fit the header's fields (*pError says which).
bool qoru_amxWriteImage(const qor_sAmxImage & image, std::vector<unsigned char> * pOut, AMX_HEADER * pHdr = nullptr,
                        std::string * pError = nullptr);

// The compact encoding of Part 3.1 (shortest group per cell, as the old compiler wrote it).
void qoru_amxCompactCells(const cell * pCells, size_t nCells, std::vector<unsigned char> * pOut);
// Its inverse over a byte buffer (reads backwards, as amx_Init does); false when the bytes do
// not give exactly nCells cells.
bool qoru_amxExpandCells(const unsigned char * p, size_t n, size_t nCells, std::vector<cell> * pOut);

// Assembles `text`; `szFileName` prefixes the error lines ("FILE:LINE: message").
// bCompact forces the compact encoding (as .compact does). True and the image in *pOut, or
// false with every error in *pErrors and *pOut untouched.
bool qoru_amxAssemble(const std::string & text, const char * szFileName, bool bCompact,
                      std::vector<unsigned char> * pOut, std::vector<std::string> * pErrors);

// Prints an image file in the assembler's syntax. False (with *pError) when the header or the
// section offsets cannot be decoded; the text then holds what could be printed.
bool qoru_amxDisassemble(const unsigned char * p, size_t n, std::string * pText, std::string * pError);

// Mnemonic -> opcode (case-insensitive), 0 when unknown.
int qoru_amxOpcode(const std::string & strMnemonic);
