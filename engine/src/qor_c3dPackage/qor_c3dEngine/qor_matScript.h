// The material-script natives: the functions through which material scripts (and layer scripts,
// after "addMaterial") build a material's passes, stages, textures and colours.
//
// The natives are plain functions; they act on process-wide current targets. A loader that runs
// a script stores its targets first; a native that runs another script saves every target
// before the nested run and restores them after it (qor_sMatScriptTargets is copied whole).
#pragma once

#include "qor_amx.h"
#include "qor_types.h"

class qor_cMaterial;
class qor_cEffectPass;
class qor_cEffectStage;
class qor_cTexture;
class qor_cScene;

// The current targets of the material natives.
struct qor_sMatScriptTargets
{
    qor_cMaterial * pMaterial; // set by qor_cMaterial::loadFromScript and by "addMaterial"
    // The current scene: loaded textures are looked up in its texture list by name and appended
    // to it (owned). Set with the current material.
    qor_cScene * pScene;
    qor_cEffectPass * pPass;   // set by "addPass"
    qor_cEffectStage * pStage; // set by "addStage"
    qor_cTexture * pTexture;   // set by "loadAnim" only
};

// The targets themselves (one set for the process).
qor_sMatScriptTargets & qoru_matScriptTargets();
// A new material target: the material and its scene; pass, stage and texture cleared.
void qoru_setMatScriptMaterial(qor_cMaterial * pMaterial, qor_cScene * pScene);

// The material native table: 27 entries, then the null entry.
extern AMX_NATIVE_INFO qor_aMatScriptNatives[];
enum
{
    QOR_MATSCRIPT_NB_NATIVE = 27
};

// Colour channels are integers 0 to 255 scaled by this factor.
#define QOR_MATSCRIPT_COLOR_SCALE 0.003921569f
// Script strings are read into buffers of this size (1023 characters and the terminator).
#define QOR_SCRIPT_STRING_SIZE 1024

// Reads the script string at data address addr into szOut (at most nSize - 1 characters, cut
// beyond). False, with szOut empty, when the address is not a valid one of the script.
bool qoru_amxGetString(AMX * amx, cell addr, char * szOut, size_t nSize);
// A native argument of n cells: params[0] holds the byte count the script pushed. Natives read
// their arguments through this, so a script that pushed fewer reads 0 instead of the stack
// above its arguments.
inline cell qoru_amxArg(const cell * params, int i)
{
    return (params[0] >= (cell)(i * (int)sizeof(cell))) ? params[i] : 0;
}
// What a native does when its target does not exist (a pass native before "addPass", a quad
// native before "addQuad"): logs one line naming the native and the call it needs, returns 0 to
// the script.
cell qoru_nativeNoTarget(cchar * szNative, cchar * szMissing);

// The natives, shared with the layer table (which lists them under its own order).
cell AMX_NATIVE_CALL matscript_addPass(AMX * amx, cell * params);
cell AMX_NATIVE_CALL matscript_setBlend(AMX * amx, cell * params);
cell AMX_NATIVE_CALL matscript_addStage(AMX * amx, cell * params);
cell AMX_NATIVE_CALL matscript_loadTexture(AMX * amx, cell * params);
cell AMX_NATIVE_CALL matscript_loadTextureNoCompression(AMX * amx, cell * params);
cell AMX_NATIVE_CALL matscript_loadTextureWithAlpha(AMX * amx, cell * params);
cell AMX_NATIVE_CALL matscript_loadTextureTableOffset(AMX * amx, cell * params);
cell AMX_NATIVE_CALL matscript_loadAnim(AMX * amx, cell * params);
cell AMX_NATIVE_CALL matscript_setCombiner(AMX * amx, cell * params);
cell AMX_NATIVE_CALL matscript_setAlphaCombiner(AMX * amx, cell * params);
cell AMX_NATIVE_CALL matscript_setTexGen(AMX * amx, cell * params);
cell AMX_NATIVE_CALL matscript_setTTF(AMX * amx, cell * params);
cell AMX_NATIVE_CALL matscript_setMatPropColor(AMX * amx, cell * params);
cell AMX_NATIVE_CALL matscript_setMatDiff(AMX * amx, cell * params);
cell AMX_NATIVE_CALL matscript_setMatAmbi(AMX * amx, cell * params);
cell AMX_NATIVE_CALL matscript_setMatSpec(AMX * amx, cell * params);
cell AMX_NATIVE_CALL matscript_setMatEmis(AMX * amx, cell * params);
cell AMX_NATIVE_CALL matscript_setMatPropSrc(AMX * amx, cell * params);
cell AMX_NATIVE_CALL matscript_setZCmp(AMX * amx, cell * params);
cell AMX_NATIVE_CALL matscript_setZWrite(AMX * amx, cell * params);
cell AMX_NATIVE_CALL matscript_addKey_diffuse(AMX * amx, cell * params);
cell AMX_NATIVE_CALL matscript_lastKey_diffuse(AMX * amx, cell * params);
cell AMX_NATIVE_CALL matscript_addKey_texture(AMX * amx, cell * params);
cell AMX_NATIVE_CALL matscript_lastKey_texture(AMX * amx, cell * params);
cell AMX_NATIVE_CALL matscript_endMode_texture(AMX * amx, cell * params);
cell AMX_NATIVE_CALL matscript_useTextureAsRenderTarget(AMX * amx, cell * params);
