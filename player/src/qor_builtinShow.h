// The show built into the player: the screen table that plays when application.ini describes
// no screens of its own, with the names of its pack, music and loading screen. The player and
// the tool that writes this show's music read the same table, so the music always fits it.
// (No engine header is needed: the music tool includes this file on its own.)
#pragma once

// One row of a show's table: the compiled screen script and how long its screen is shown, in
// frame units of 1/30 second. A null script name ends a table.
struct qor_sScreenEntry
{
    const char * szScript;
    int nDuration;
};

// Each screen script and how long its screen is shown. A script used several times is loaded
// into a screen of its own each time.
inline constexpr qor_sScreenEntry g_aBuiltinShow[] = {
    {"kv_screen_intro.o", 890},    {"kv_screen_dask.o", 390},      {"kv_screen_inter1.o", 450},
    {"kv_screen_black.o", 52},     {"kv_screen_chapter5.o", 1570}, {"kv_screen_inter2.o", 450},
    {"kv_screen_black.o", 30},     {"kv_screen_chapter7.o", 1055}, {"kv_screen_inter3.o", 450},
    {"kv_screen_chapter6.o", 980}, {"kv_screen_inter4.o", 450},    {"kv_screen_black.o", 55},
    {"kv_screen_chapter4.o", 1190}, {"kv_screen_endscroll.o", 1100}, {"kv_screen_theend.o", 210},
    {nullptr, 0},
};
// Entries of the built-in table, the end marker not counted.
inline constexpr int g_nBuiltinShow = int(sizeof(g_aBuiltinShow) / sizeof(g_aBuiltinShow[0])) - 1;

inline constexpr const char * g_szBuiltinPack = "dask243.dat";
inline constexpr const char * g_szBuiltinMusic = "DASKMIX.mp3";
inline constexpr const char * g_szBuiltinLoading = "kv_screen_loading.o";
