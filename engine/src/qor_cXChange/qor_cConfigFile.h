// qor_cConfigFile: the INI reader that reads application.ini.
//
// Storage: sections in file order, each with (key, value) pairs in file order; lookups take
// the first exact, case-sensitive match. Nothing is trimmed: "ID = 1" defines the key "ID ".
// The parser keeps its rules to the letter, quirks included (see load()): existing
// application.ini files rely on them.
#pragma once

#include "qor_cList.h"
#include "qor_cString.h"
#include "qor_types.h"

#include <cstdio>

class qor_cConfigFile
{
public:
    // Longest readable line, line break not counted.
    static const uint kMaxLine = 511;

    qor_cConfigFile();
    virtual ~qor_cConfigFile();
    qor_cConfigFile(const qor_cConfigFile &) = delete;
    qor_cConfigFile & operator=(const qor_cConfigFile &) = delete;

    // Opens szPath with "a+" (creating an empty file when there is none), else with "r", and
    // parses it; the file stays open until destruction. False when it can be neither opened
    // nor created, or when storing a value runs out of memory.
    //
    // Parsing: every "[" of the file is a section start. A section name is the rest of the
    // line after a "[", its last character (the "]") dropped. In a section, the next "=" after
    // the current position gives a key line: the key is that line cut before its first "=",
    // the value a line read from just after the "=". A line is at most 511 characters and must
    // end with a line break ("\n" or "\r\n"); leading line breaks are skipped, so an empty value
    // takes the next line. An unreadable key line ends the section; an unreadable value skips
    // the key. A key whose value ends past the next section's "[" is left to that section.
    bool load(cchar * szPath);
    // The stored value text, or null.
    cchar * getValue(cchar * szSection, cchar * szKey) const;
    // Adds the section when new, replaces the value of an existing key, else appends the key.
    // False when memory runs out.
    bool setValue(cchar * szSection, cchar * szKey, cchar * szValue);

    int getNbSection() const { return m_lSection.getNbItem(); }
    // Name of section iIndex in file order, or null.
    cchar * getSectionName(int iIndex) const;
    // Number of keys of the section (0 when it does not exist).
    int getNbKey(cchar * szSection) const;

private:
    void * findSection(cchar * szSection) const;

    qor_cList m_lSection;
    FILE * m_pFile;
};
