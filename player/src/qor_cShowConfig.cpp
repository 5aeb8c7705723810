#include "qor_cShowConfig.h"

#include "qor_cConfigFile.h"
#include "qor_fileUtil.h"

#include <cstring>
#include <map>

namespace
{
cchar * const kSection = "SHOW";

// "SCREEN" followed by a number written without sign or leading zero: that number, else 0
// (SCREEN0, SCREEN01, SCREENx: not a screen key).
int screenNumber(const std::string & strKey)
{
    if (strKey.compare(0, 6, "SCREEN") != 0 || strKey.size() == 6 || strKey.size() > 6 + 9 || strKey[6] == '0')
        return 0;
    int n = 0;
    for (size_t i = 6; i < strKey.size(); ++i)
    {
        if (strKey[i] < '0' || strKey[i] > '9')
            return 0;
        n = n * 10 + (strKey[i] - '0');
    }
    return n;
}

// A positive whole number of at most kMaxDuration, in decimal digits only; 0 when it is not.
int parseDuration(const std::string & str)
{
    if (str.empty() || str.size() > 9)
        return 0;
    int n = 0;
    for (char c : str)
    {
        if (c < '0' || c > '9')
            return 0;
        n = n * 10 + (c - '0');
    }
    return n <= qor_cShowConfig::kMaxDuration ? n : 0;
}
} // namespace

qor_cShowConfig & qor_cShowConfig::get()
{
    static qor_cShowConfig s_show;
    return s_show;
}

void qor_cShowConfig::reset()
{
    m_strPack = g_szBuiltinPack;
    m_strMusic = g_szBuiltinMusic;
    m_strLoading = g_szBuiltinLoading;
    m_strError.clear();
    m_vScript.clear();
    m_vEntry.assign(g_aBuiltinShow, g_aBuiltinShow + g_nBuiltinShow + 1);
    m_bBuiltin = true;
    m_bLoadingGiven = false;
}

double qor_cShowConfig::getLength() const
{
    long long nUnits = 0;
    for (const qor_sScreenEntry & e : m_vEntry)
        nUnits += e.szScript ? e.nDuration : 0;
    return double(nUnits) / 30.0;
}

bool qor_cShowConfig::read(const qor_cConfigFile & ini)
{
    m_strError.clear();
    auto fail = [this](const std::string & strKey, const std::string & strWhat) {
        m_strError = "application.ini: [" + std::string(kSection) + "] " + strKey + ": " + strWhat;
        return false;
    };
    // A key whose line could not be read is lost to the reader's rules: say so rather than
    // play a show without it.
    for (int i = 0; i < ini.getNbSkipped(); ++i)
        if (std::strcmp(ini.getSkippedSection(i), kSection) == 0)
            return fail(ini.getSkippedKey(i), "its line cannot be read (longer than 511 characters, the last "
                                              "line of the file without a line break, or an empty value)");

    std::string strPack = g_szBuiltinPack, strMusic = g_szBuiltinMusic, strLoading = g_szBuiltinLoading;
    std::map<int, std::string> mapScreen; // number -> value
    const int nKey = ini.getNbKey(kSection);
    for (int i = 0; i < nKey; ++i)
    {
        const std::string strKey = ini.getKeyName(kSection, i);
        const char * szValue = ini.getValue(kSection, strKey.c_str());
        const std::string strValue = szValue ? szValue : "";
        if (strKey == "PACK" || strKey == "MUSIC" || strKey == "LOADING")
        {
            if (strValue.empty())
                return fail(strKey, "the file name is empty");
            const bool bScript = strKey == "LOADING";
            const int nMax = bScript ? kMaxScriptName : kMaxFileName;
            if (int(strValue.size()) > nMax)
                return fail(strKey, "the name is " + std::to_string(strValue.size()) +
                                        " characters long; file names "
                                        "allow at most " +
                                        std::to_string(nMax));
            if (bScript && !qoru_isDataName(strValue.c_str()))
                return fail(strKey, "\"" + strValue +
                                        "\" leaves the scripts folder (an absolute path or a \"..\" "
                                        "component); name a script under scripts/exe/");
            (strKey == "PACK" ? strPack : bScript ? strLoading : strMusic) = strValue;
            continue;
        }
        const int nScreen = screenNumber(strKey);
        if (nScreen <= 0)
            return fail(strKey, "unknown key; [SHOW] takes PACK, MUSIC, LOADING and SCREEN1, SCREEN2, ... "
                                "(numbered from 1, written without leading zeros or blanks)");
        if (nScreen > kMaxScreens)
            return fail(strKey, "a show has at most " + std::to_string(kMaxScreens) + " screens");
        mapScreen[nScreen] = strValue;
    }

    std::vector<std::string> vScript;
    std::vector<int> vDuration;
    int nExpected = 1;
    for (const auto & screen : mapScreen)
    {
        const std::string strKey = "SCREEN" + std::to_string(screen.first);
        if (screen.first != nExpected)
            return fail(strKey, "there is no SCREEN" + std::to_string(nExpected) +
                                    ": screens are numbered from SCREEN1 without gaps");
        ++nExpected;
        const std::string & strValue = screen.second;
        const size_t iComma = strValue.rfind(',');
        if (iComma == std::string::npos)
            return fail(strKey, "\"" + strValue + "\" has no comma; write " + strKey +
                                    "=script.o,duration (the duration in frame units of 1/30 s)");
        const std::string strScript = strValue.substr(0, iComma), strDuration = strValue.substr(iComma + 1);
        if (strScript.empty())
            return fail(strKey, "no script name before the comma; write " + strKey + "=script.o,duration");
        if (int(strScript.size()) > kMaxScriptName)
            return fail(strKey, "the script name is " + std::to_string(strScript.size()) +
                                    " characters long; script names allow at most " + std::to_string(kMaxScriptName));
        if (!qoru_isDataName(strScript.c_str()))
            return fail(strKey, "\"" + strScript +
                                    "\" leaves the scripts folder (an absolute path or a \"..\" "
                                    "component); name a script under scripts/exe/");
        const int nDuration = parseDuration(strDuration);
        if (nDuration <= 0)
            return fail(strKey, "the duration \"" + strDuration +
                                    "\" is not a positive whole number of frame units "
                                    "(1/30 s; 1 to " +
                                    std::to_string(kMaxDuration) + ", digits only)");
        vScript.push_back(strScript);
        vDuration.push_back(nDuration);
    }

    m_strPack = strPack;
    m_strMusic = strMusic;
    m_strLoading = strLoading;
    m_bLoadingGiven = ini.getValue(kSection, "LOADING") != nullptr;
    if (vScript.empty())
    {
        m_vScript.clear();
        m_vEntry.assign(g_aBuiltinShow, g_aBuiltinShow + g_nBuiltinShow + 1);
        m_bBuiltin = true;
        return true;
    }
    m_vScript.swap(vScript);
    m_vEntry.clear();
    for (size_t i = 0; i < m_vScript.size(); ++i)
        m_vEntry.push_back({m_vScript[i].c_str(), vDuration[i]});
    m_vEntry.push_back({nullptr, 0});
    m_bBuiltin = false;
    return true;
}
