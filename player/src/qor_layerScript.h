// The screen and layer natives: the tables that screen scripts and layer scripts are run with,
// and the process-wide current targets they act on.
//
// Argument units: times are integer frames (1/30 second); positions, sizes, viewports and
// texture offsets and scales are thousandths; texture rotations thousandths of a radian;
// colours 0 to 255; flags 1 for true, anything else false; strings at most 1023 characters.
#pragma once

#include "qor_amx.h"
#include "qor_matScript.h"

class qor_cLayerScreen;
class qor_cLayer;
class qor_cLayerQuad;

// Current targets of the screen and layer natives.
struct qor_sLayerScriptTargets
{
    qor_cLayerScreen * pScreen; // set by qor_cLayerScreen::loadFromScript
    qor_cLayer * pLayer;        // set by qor_cLayer::loadScript
    qor_cLayerQuad * pQuad;     // set by "addQuad"
};
qor_sLayerScriptTargets & qoru_layerScriptTargets();

// Every current target of every native table, as a native saves them before it runs another
// script and puts them back after it.
struct qor_sScriptTargets
{
    qor_sLayerScriptTargets layer;
    qor_sMatScriptTargets material;
};
qor_sScriptTargets qoru_saveScriptTargets();
void qoru_restoreScriptTargets(const qor_sScriptTargets & saved);

// The screen table ("addLayer") and the layer table (52 natives), each ending with the null entry.
extern AMX_NATIVE_INFO qor_aScreenScriptNatives[];
extern AMX_NATIVE_INFO qor_aLayerScriptNatives[];
enum
{
    QOR_SCREENSCRIPT_NB_NATIVE = 1,
    QOR_LAYERSCRIPT_NB_NATIVE = 52
};

// Caps on what screen and layer scripts build, far above any show (whose screens hold a few
// layers of a few dozen quads and a handful of texture layers): past them a count only costs
// memory and frame time. Reaching one is logged; "addQuad" and "addLayer" past their cap stop
// the script (a loop that adds without end would only fill the log), "loadTextureScript" past
// its cap refuses that texture layer and the script goes on.
const int kQorMaxQuadsPerLayer = 65536;
const int kQorMaxLayersPerScreen = 4096;
// Texture layers of one screen, all depths together (each holds a 256 x 256 target texture,
// and loadTextureScript nests up to 8 deep: without a cap four scripts that each load all four
// make 4^8 layers).
const int kQorMaxTextureLayersPerScreen = 256;
// Starts the count of texture layers anew: a screen starts loading, or a layer is loaded by
// itself (no script running).
void qoru_resetTextureLayerCount();

// Thousandths of the script's integers (positions, sizes, viewports, angles).
#define QOR_LAYERSCRIPT_UNIT 0.001f
