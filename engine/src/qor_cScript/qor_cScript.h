// The script host: loads one compiled script ("scripts/exe/" + name) through the
// pack reader, binds its natives (the global table plus the caller's tables) and runs main.
//
// Natives are plain functions; each loader stores the object its natives act on in a
// process-wide current-target pointer before it calls loadAndExecute. Every
// call has its own machine record and image, so a native may run another script.
#pragma once

#include "qor_amx.h"
#include "qor_types.h"

// Instructions one execution of main may run before the host stops it (far above what any
// construction script needs: those run a few thousand).
#define QOR_SCRIPT_MAX_STEPS 100000000

// Size of the shared buffer of amxStr2AnsiiStr.
#define SZ_TMP_BUFFER_SIZE 1024

class qor_cScript
{
  public:
    qor_cScript() {}
    virtual ~qor_cScript() {}

    // Runs script szScriptName with the natives of pAdditionalNativeFonctions (a table ending
    // with a null name) plus the global table. True when main ran to its end without a machine
    // error; the script's result is ignored.
    bool loadAndExecute(cchar * szScriptName, AMX_NATIVE_INFO * pAdditionalNativeFonctions);
    // The same with several caller tables (ppTables holds nTables tables, each ending with a
    // null name), registered in order after the global table.
    bool loadAndExecute(cchar * szScriptName, AMX_NATIVE_INFO * const * ppTables, int nTables);

    // The instruction budget of every later execution (default QOR_SCRIPT_MAX_STEPS; tests
    // lower it): one budget for a script and every script its natives start, as deep as they
    // go. Beyond it the script fails with a logged message.
    static void setMaxSteps(int64_t nSteps) { s_nMaxSteps = nSteps; }
    static int64_t getMaxSteps() { return s_nMaxSteps; }
    // How many scripts are running now, one inside the other (0: none; a native that starts a
    // script sees at least 1).
    static int getRunningDepth();

  private:
    static int64_t s_nMaxSteps;
};

// The global native table: "qor_rand", then the null entry.
extern AMX_NATIVE_INFO qor_aScriptGlobalNatives[];

// The Microsoft C library's generator, never seeded: 0 to 32767, the same sequence in every run
// of the program, so a show's "random" choices are the same on every machine. "qor_rand" draws from it.
int qoru_rand();
// Sets the generator back to its unseeded state (tests).
void qoru_resetRand();

// Copies an unpacked script string into one shared static buffer of SZ_TMP_BUFFER_SIZE bytes;
// null (and three log lines) when it does not fit.
char * amxStr2AnsiiStr(const void * szIn);
