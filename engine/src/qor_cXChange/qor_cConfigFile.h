// qor_cConfigFile: the INI reader that reads application.ini.
//
// Storage: sections in file order, each with (key, value) pairs in file order; lookups take
// the first exact, case-sensitive match. Nothing is trimmed: "ID = 1" defines the key "ID ".
// The parser keeps its rules to the letter, quirks included (see load()): existing
// application.ini files rely on them.
#pragma once

#include "qor_cString.h"
#include "qor_types.h"

#include <cstdio>
#include <string>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

struct qor_sConfigSection;

class qor_cConfigFile
{
public:
    // Longest readable line, line break not counted.
    static const uint kMaxLine = 511;
    // Largest file load() reads (16 MiB): a settings file is a few lines. Reading is linear in
    // the file's size (sections and keys are found through hash indexes).
    static constexpr uint kMaxFileSize = 16u << 20;

    qor_cConfigFile();
    virtual ~qor_cConfigFile();
    qor_cConfigFile(const qor_cConfigFile &) = delete;
    qor_cConfigFile & operator=(const qor_cConfigFile &) = delete;

    // Opens szPath with "a+" (creating an empty file when there is none), else with "r", and
    // parses it; the file stays open until destruction. False when it can be neither opened
    // nor created, is not a regular file, is larger than kMaxFileSize, or when storing a value
    // runs out of memory; getError() then says why when the file itself was refused.
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

    int getNbSection() const { return static_cast<int>(m_vSection.size()); }
    // Name of section iIndex in file order, or null.
    cchar * getSectionName(int iIndex) const;
    // Number of keys of the section (0 when it does not exist).
    int getNbKey(cchar * szSection) const;
    // Key iIndex of the section in file order, or null.
    cchar * getKeyName(cchar * szSection, int iIndex) const;
    // Keys that load() skipped because their line could not be read (longer than kMaxLine, or
    // the file's last line without a line break): the section and the key text (the start of
    // the line, cut before its "="), in file order. They are not stored, as the rules say; a
    // reader that must not miss a key can name them.
    int getNbSkipped() const { return static_cast<int>(m_vSkipped.size()); }
    cchar * getSkippedSection(int i) const { return m_vSkipped[static_cast<size_t>(i)].first.c_str(); }
    cchar * getSkippedKey(int i) const { return m_vSkipped[static_cast<size_t>(i)].second.c_str(); }
    // Why the last load() refused the file ("" when it did not).
    cchar * getError() const { return m_strError.c_str(); }

private:
    void noteSkipped(cchar * szSection, cchar * szKey);
    qor_sConfigSection * findSection(cchar * szSection) const;

    // Sections in file order, and an index from name to the first section of that name.
    std::vector<std::unique_ptr<qor_sConfigSection>> m_vSection;
    std::unordered_map<std::string, qor_sConfigSection *> m_mapSection;
    FILE * m_pFile;
    std::string m_strError;
    std::vector<std::pair<std::string, std::string>> m_vSkipped;
};
