// The show the demo player plays: its pack, music, loading screen and screen table. By default
// the built-in show; the [SHOW] section of application.ini describes another:
//
//   [SHOW]
//   PACK=myshow.dat          (default "dask243.dat")
//   MUSIC=tune.mp3           (default "DASKMIX.mp3")
//   LOADING=my_loading.o     (default "kv_screen_loading.o")
//   SCREEN1=intro.o,90       script name, duration in frame units of 1/30 s
//   SCREEN2=main.o,300       ... numbered from 1 without gaps, at most kMaxScreens
//
// Without any SCREENn key the built-in table plays (PACK, MUSIC and LOADING still apply).
#pragma once

#include "qor_builtinShow.h"
#include "qor_types.h"

#include <string>
#include <vector>

class qor_cConfigFile;

class qor_cShowConfig
{
public:
    static const int kMaxScreens = 256;
    // Longest duration of one screen, in frame units (about 9 h 15 min): the show's length
    // stays far inside an int.
    static const int kMaxDuration = 1000000;
    // Longest script name: "scripts/exe/" + name must fit the script host's 1024-byte path.
    static const int kMaxScriptName = 1023 - 12;
    // Longest pack or music name: the pack's longest entry name.
    static const int kMaxFileName = 1024;

    // The process-wide show the demo player plays (the built-in one until read() changes it).
    static qor_cShowConfig & get();

    qor_cShowConfig() { reset(); }
    qor_cShowConfig(const qor_cShowConfig &) = delete;
    qor_cShowConfig & operator=(const qor_cShowConfig &) = delete;
    // Back to the built-in show.
    void reset();
    // Takes the [SHOW] section of the ini (none: the built-in show). False when an entry is
    // malformed: getError() then says which key and what is wrong, in one line, and the show
    // is left as it was.
    bool read(const qor_cConfigFile & ini);
    cchar * getError() const { return m_strError.c_str(); }

    cchar * getPack() const { return m_strPack.c_str(); }
    cchar * getMusic() const { return m_strMusic.c_str(); }
    cchar * getLoading() const { return m_strLoading.c_str(); }
    // The screen table, ended by a null script name.
    const qor_sScreenEntry * getTable() const { return m_vEntry.data(); }
    int getNbScreen() const { return static_cast<int>(m_vEntry.size()) - 1; }
    bool isBuiltinTable() const { return m_bBuiltin; }
    // True when LOADING names the loading script (else it is the built-in show's).
    bool isLoadingGiven() const { return m_bLoadingGiven; }
    // The show's length in seconds: the durations added up.
    double getLength() const;

private:
    std::string m_strPack, m_strMusic, m_strLoading, m_strError;
    std::vector<std::string> m_vScript; // the names m_vEntry points into (never resized after)
    std::vector<qor_sScreenEntry> m_vEntry;
    bool m_bBuiltin = true;
    bool m_bLoadingGiven = false;
};
