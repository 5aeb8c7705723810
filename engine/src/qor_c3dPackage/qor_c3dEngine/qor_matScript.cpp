// The material-script natives and their table.
#include "qor_matScript.h"

#include "qor_cEffect.h"
#include "qor_cErrorHandler.h"
#include "qor_cList.h"
#include "qor_cMaterial.h"
#include "qor_cScene.h"
#include "qor_cTexture.h"

#include <cstring>
#include <new>

namespace
{
qor_sMatScriptTargets s_targets = {nullptr, nullptr, nullptr, nullptr, nullptr};

inline float color(const cell * params, int i)
{
    return (float)qoru_amxArg(params, i) * QOR_MATSCRIPT_COLOR_SCALE;
}


qor_cEffectPass * pass(cchar * szNative)
{
    if (!s_targets.pPass)
        qoru_nativeNoTarget(szNative, "addPass");
    return s_targets.pPass;
}

qor_cEffectStage * stage(cchar * szNative)
{
    if (!s_targets.pStage)
        qoru_nativeNoTarget(szNative, "addStage");
    return s_targets.pStage;
}

qor_cMaterial * material(cchar * szNative)
{
    if (!s_targets.pMaterial)
        qoru_nativeNoTarget(szNative, "addMaterial");
    return s_targets.pMaterial;
}

qor_cTexture * animTexture(cchar * szNative)
{
    if (!s_targets.pTexture)
        qoru_nativeNoTarget(szNative, "loadAnim");
    return s_targets.pTexture;
}

// The texture of that exact name in the current scene, or null.
qor_cTexture * findTexture(cchar * szName)
{
    return s_targets.pScene ? s_targets.pScene->getTexture(szName) : nullptr;
}

// Binds a texture the native just made: appended to the scene (owned) and bound to the stage.
// When the scene cannot take it the stage owns it, so it is still drawn and freed once.
void appendAndBind(qor_cTexture * pTexture)
{
    bool bInScene = false;
    if (s_targets.pScene)
        bInScene = s_targets.pScene->addTexture(pTexture, true);
    else
    {
        QOR_LOG_LOCATION();
        qoru_logError("_i bool qor_cScene::addTexture(qor_cTexture * pTexture, bool bOwner)\n");
        qoru_logError("bool b = m_lTexture.add(pTexture, bOwner);\n");
    }
    s_targets.pStage->setTexture(pTexture, !bInScene);
}

// The loaders of "loadTexture", "loadTextureNoCompr" (and the layer table's
// "loadTextureNoComp"): an existing texture of that name is bound, else one is loaded.
cell loadTextureNative(AMX * amx, cell * params, cchar * szSignature, bool bCompress)
{
    if (!stage(szSignature))
        return 0;
    char szName[QOR_SCRIPT_STRING_SIZE];
    qoru_amxGetString(amx, qoru_amxArg(params, 1), szName, sizeof szName);
    if (qor_cTexture * pFound = findTexture(szName))
    {
        s_targets.pStage->setTexture(pFound, false);
        return 1;
    }
    qor_cTexture * pTexture = new (std::nothrow) qor_cTexture;
    if (!pTexture)
    {
        QOR_LOG_LOCATION();
        qoru_logError("%s", szSignature);
        QOR_LOG_LOCATION();
        qoru_logError("pTexture = new qor_cTexture;\n");
        QOR_LOG_LOCATION();
        qoru_logError("Echec dans l'allocation <%s>\n", szName);
        return 0;
    }
    if (!pTexture->load(szName, nullptr, bCompress))
    {
        delete pTexture;
        QOR_LOG_LOCATION();
        qoru_logError("%s", szSignature);
        QOR_LOG_LOCATION();
        qoru_logError("bool b = pTexture->load(szName<%s>);\n", szName);
        return 0;
    }
    appendAndBind(pTexture);
    return 1;
}
} // namespace

qor_sMatScriptTargets & qoru_matScriptTargets()
{
    return s_targets;
}

void qoru_setMatScriptMaterial(qor_cMaterial * pMaterial, qor_cScene * pScene)
{
    s_targets.pMaterial = pMaterial;
    s_targets.pScene = pScene;
    s_targets.pPass = nullptr;
    s_targets.pStage = nullptr;
    s_targets.pTexture = nullptr;
}

bool qoru_amxGetString(AMX * amx, cell addr, char * szOut, size_t nSize)
{
    if (nSize == 0)
        return false;
    szOut[0] = 0;
    cell * p = nullptr;
    if (amx_AddrToPtr(amx, addr, &p) != AMX_ERR_NONE)
        return false;
    return amx_ReadStringN(szOut, p, nSize) == AMX_ERR_NONE;
}

// ----- structure natives

cell AMX_NATIVE_CALL matscript_addPass(AMX *, cell *)
{
    qor_cMaterial * pMat = material("matscript_addPass");
    if (!pMat)
        return 0;
    qor_cEffect * pEffect = pMat->getEffect();
    qor_cEffectPass * pPass = pEffect ? pEffect->addPass() : nullptr;
    if (!pPass)
    {
        // An effect holds four passes; a fifth has nowhere to go.
        QOR_LOG_LOCATION();
        qoru_logError("matscript_addPass : pas plus de %d pass par material\n", (int)qor_cEffect::e_maxPass);
        return 0;
    }
    s_targets.pPass = pPass;
    s_targets.pStage = nullptr;
    return 1;
}

cell AMX_NATIVE_CALL matscript_setBlend(AMX *, cell * params)
{
    qor_cEffectPass * p = pass("matscript_setBlend");
    if (!p)
        return 0;
    p->setBlend((uint)qoru_amxArg(params, 1), (uint)qoru_amxArg(params, 2));
    return 1;
}

cell AMX_NATIVE_CALL matscript_setZCmp(AMX *, cell * params)
{
    qor_cEffectPass * p = pass("matscript_setZCmp");
    if (!p)
        return 0;
    p->setZFunc((uint)qoru_amxArg(params, 1));
    return 1;
}

cell AMX_NATIVE_CALL matscript_setZWrite(AMX *, cell * params)
{
    qor_cEffectPass * p = pass("matscript_setZWrite");
    if (!p)
        return 0;
    p->setZWrite(qoru_amxArg(params, 1) == 1 ? 1 : 0);
    return 1;
}

cell AMX_NATIVE_CALL matscript_addStage(AMX *, cell *)
{
    qor_cEffectPass * p = pass("matscript_addStage");
    if (!p)
        return 0;
    qor_cEffectStage * pStage = p->addStage();
    if (!pStage)
    {
        QOR_LOG_LOCATION();
        qoru_logError("matscript_addStage : pas plus de %d stages par pass\n", (int)qor_cEffectPass::e_maxStage);
        return 0;
    }
    s_targets.pStage = pStage;
    return 1;
}

cell AMX_NATIVE_CALL matscript_setCombiner(AMX *, cell * params)
{
    qor_cEffectStage * p = stage("matscript_setCombiner");
    if (!p)
        return 0;
    p->setColorCombiner((uint)qoru_amxArg(params, 1), (uint)qoru_amxArg(params, 2), (uint)qoru_amxArg(params, 3));
    return 1;
}

cell AMX_NATIVE_CALL matscript_setAlphaCombiner(AMX *, cell * params)
{
    qor_cEffectStage * p = stage("matscript_setAlphaCombiner");
    if (!p)
        return 0;
    p->setAlphaCombiner((uint)qoru_amxArg(params, 1), (uint)qoru_amxArg(params, 2), (uint)qoru_amxArg(params, 3));
    return 1;
}

cell AMX_NATIVE_CALL matscript_setTexGen(AMX *, cell * params)
{
    qor_cEffectStage * p = stage("matscript_setTexGen");
    if (!p)
        return 0;
    p->setTexCoordGen((uint)qoru_amxArg(params, 1));
    return 1;
}

cell AMX_NATIVE_CALL matscript_setTTF(AMX *, cell * params)
{
    qor_cEffectStage * p = stage("matscript_setTTF");
    if (!p)
        return 0;
    p->setTexTransformFlags((uint)qoru_amxArg(params, 1));
    return 1;
}

cell AMX_NATIVE_CALL matscript_useTextureAsRenderTarget(AMX *, cell *)
{
    return 1;
}

// ----- texture natives

cell AMX_NATIVE_CALL matscript_loadTexture(AMX * amx, cell * params)
{
    return loadTextureNative(amx, params, "cell AMX_NATIVE_CALL matscript_loadTexture(AMX * amx, cell * params)\n", true);
}

cell AMX_NATIVE_CALL matscript_loadTextureNoCompression(AMX * amx, cell * params)
{
    return loadTextureNative(
        amx, params, "cell AMX_NATIVE_CALL matscript_loadTextureNoCompression(AMX * amx, cell * params)\n", false);
}

cell AMX_NATIVE_CALL matscript_loadTextureWithAlpha(AMX * amx, cell * params)
{
    cchar * szSig = "cell AMX_NATIVE_CALL matscript_loadTextureWithAlpha(AMX * amx, cell * params)\n";
    if (!stage(szSig))
        return 0;
    char szName[QOR_SCRIPT_STRING_SIZE], szAlpha[QOR_SCRIPT_STRING_SIZE];
    qoru_amxGetString(amx, qoru_amxArg(params, 1), szName, sizeof szName);
    qoru_amxGetString(amx, qoru_amxArg(params, 2), szAlpha, sizeof szAlpha);
    // A texture of that name already in the scene: nothing is bound.
    if (findTexture(szName))
        return 1;
    qor_cTexture * pTexture = new (std::nothrow) qor_cTexture;
    if (!pTexture)
    {
        QOR_LOG_LOCATION();
        qoru_logError("%s", szSig);
        QOR_LOG_LOCATION();
        qoru_logError("pTexture = new qor_cTexture;\n");
        QOR_LOG_LOCATION();
        qoru_logError("Echec dans l'allocation <%s>\n", szName);
        return 0;
    }
    if (!pTexture->load(szName, szAlpha, true))
    {
        delete pTexture;
        QOR_LOG_LOCATION();
        qoru_logError("%s", szSig);
        QOR_LOG_LOCATION();
        qoru_logError("bool b = pTexture->load(szName<%s>, <%s>);\n", szName, szAlpha);
        return 0;
    }
    appendAndBind(pTexture);
    return 1;
}

cell AMX_NATIVE_CALL matscript_loadTextureTableOffset(AMX * amx, cell * params)
{
    if (!stage("matscript_loadTextureTableOffset"))
        return 0;
    char szMap[QOR_SCRIPT_STRING_SIZE], szX[QOR_SCRIPT_STRING_SIZE], szY[QOR_SCRIPT_STRING_SIZE];
    qoru_amxGetString(amx, qoru_amxArg(params, 1), szMap, sizeof szMap);
    qoru_amxGetString(amx, qoru_amxArg(params, 2), szX, sizeof szX);
    qoru_amxGetString(amx, qoru_amxArg(params, 3), szY, sizeof szY);
    qor_cTexture * pTexture = new (std::nothrow) qor_cTexture;
    if (!pTexture)
    {
        QOR_LOG_LOCATION();
        qoru_logError("matscript_loadTextureTableOffset\n");
        QOR_LOG_LOCATION();
        qoru_logError("qor_cTexture * pTexture = new qor_cTexture;\n");
        return 0;
    }
    if (!pTexture->loadOffsetTable(szMap, szX, szY))
    {
        delete pTexture;
        QOR_LOG_LOCATION();
        qoru_logError("matscript_loadTextureTableOffset\n");
        QOR_LOG_LOCATION();
        qoru_logError("if (!pTexture->loadOffsetTable(szMap<%s>, szTableX<%s>, szTableY<%s>))\n", szMap, szX, szY);
        return 0;
    }
    appendAndBind(pTexture);
    return 1;
}

cell AMX_NATIVE_CALL matscript_loadAnim(AMX * amx, cell * params)
{
    if (!stage("matscript_loadAnim"))
        return 0;
    char szName[QOR_SCRIPT_STRING_SIZE];
    qoru_amxGetString(amx, qoru_amxArg(params, 1), szName, sizeof szName);
    cell nFrame = qoru_amxArg(params, 2);
    qor_cTexture * pTexture = new (std::nothrow) qor_cTexture;
    if (!pTexture)
        return 0;
    // A frame count below 1 names no image; the loader refuses it like a missing frame.
    if (nFrame < 1 || !pTexture->loadAnim(szName, (uint)nFrame, 1.0f, 0))
    {
        delete pTexture;
        QOR_LOG_LOCATION();
        qoru_logError("cell AMX_NATIVE_CALL matscript_loadTextureAlpha(AMX * amx, cell * params)\n");
        QOR_LOG_LOCATION();
        qoru_logError("bool b = pTex->loadAnim(szName, nFrame);\n");
        return 0;
    }
    appendAndBind(pTexture);
    s_targets.pTexture = pTexture;
    return 1;
}

cell AMX_NATIVE_CALL matscript_addKey_texture(AMX *, cell * params)
{
    qor_cTexture * p = animTexture("matscript_addKey_texture");
    if (!p)
        return 0;
    // A refused key is logged by the texture; the script goes on.
    p->addKey_frame((float)qoru_amxArg(params, 1), (float)qoru_amxArg(params, 2));
    return 1;
}

cell AMX_NATIVE_CALL matscript_lastKey_texture(AMX *, cell *)
{
    qor_cTexture * p = animTexture("matscript_lastKey_texture");
    if (!p)
        return 0;
    p->lastKey_frame();
    return 1;
}

cell AMX_NATIVE_CALL matscript_endMode_texture(AMX *, cell * params)
{
    qor_cTexture * p = animTexture("matscript_endMode_texture");
    if (!p)
        return 0;
    p->frameTrack().m_iEndMode = (int)qoru_amxArg(params, 1);
    return 1;
}

// ----- colour natives

cell AMX_NATIVE_CALL matscript_setMatPropColor(AMX *, cell * params)
{
    qor_cMaterial * p = material("matscript_setMatPropColor");
    if (!p)
        return 0;
    qor_cMatProp & prop = p->getProp();
    prop.setDiffuse(color(params, 1), color(params, 2), color(params, 3), color(params, 4));
    prop.setAmbient(color(params, 5), color(params, 6), color(params, 7), color(params, 8));
    prop.setSpecular(color(params, 9), color(params, 10), color(params, 11), color(params, 12));
    prop.setEmissive(color(params, 13), color(params, 14), color(params, 15), color(params, 16));
    return 1;
}

cell AMX_NATIVE_CALL matscript_setMatDiff(AMX *, cell * params)
{
    qor_cMaterial * p = material("matscript_setMatDiff");
    if (!p)
        return 0;
    p->getProp().setDiffuse(color(params, 1), color(params, 2), color(params, 3), color(params, 4));
    return 1;
}

cell AMX_NATIVE_CALL matscript_setMatAmbi(AMX *, cell * params)
{
    qor_cMaterial * p = material("matscript_setMatAmbi");
    if (!p)
        return 0;
    p->getProp().setAmbient(color(params, 1), color(params, 2), color(params, 3), color(params, 4));
    return 1;
}

cell AMX_NATIVE_CALL matscript_setMatSpec(AMX *, cell * params)
{
    qor_cMaterial * p = material("matscript_setMatSpec");
    if (!p)
        return 0;
    p->getProp().setSpecular(color(params, 1), color(params, 2), color(params, 3), color(params, 4));
    return 1;
}

cell AMX_NATIVE_CALL matscript_setMatEmis(AMX *, cell * params)
{
    qor_cMaterial * p = material("matscript_setMatEmis");
    if (!p)
        return 0;
    p->getProp().setEmissive(color(params, 1), color(params, 2), color(params, 3), color(params, 4));
    return 1;
}

cell AMX_NATIVE_CALL matscript_setMatPropSrc(AMX *, cell * params)
{
    qor_cMaterial * p = material("matscript_setMatPropSrc");
    if (!p)
        return 0;
    p->getProp().setSources((uint)qoru_amxArg(params, 1), (uint)qoru_amxArg(params, 2), (uint)qoru_amxArg(params, 3),
                            (uint)qoru_amxArg(params, 4));
    return 1;
}

cell AMX_NATIVE_CALL matscript_addKey_diffuse(AMX *, cell * params)
{
    qor_cMaterial * p = material("matscript_addKey_diffuse");
    if (!p)
        return 0;
    // A refused key is logged by the material; the script goes on.
    p->addKey_diffuse((float)qoru_amxArg(params, 1), color(params, 2), color(params, 3), color(params, 4),
                      color(params, 5));
    return 1;
}

cell AMX_NATIVE_CALL matscript_lastKey_diffuse(AMX *, cell *)
{
    qor_cMaterial * p = material("matscript_lastKey_diffuse");
    if (!p)
        return 0;
    p->lastKey_diffuse();
    return 1;
}

// The material table. "lastKey_texture" is listed twice (the second entry is never bound:
// the first one of a name wins); "useTextureAsRenderTarget" is longer than an image's native
// names can be, so no script can bind it either.
AMX_NATIVE_INFO qor_aMatScriptNatives[] = {
    {"addPass", matscript_addPass},
    {"setBlend", matscript_setBlend},
    {"addStage", matscript_addStage},
    {"loadTexture", matscript_loadTexture},
    {"loadTextureNoCompr", matscript_loadTextureNoCompression},
    {"loadTextureAlpha", matscript_loadTextureWithAlpha},
    {"loadTableOffset", matscript_loadTextureTableOffset},
    {"loadAnim", matscript_loadAnim},
    {"setCombiner", matscript_setCombiner},
    {"setAlphaCombiner", matscript_setAlphaCombiner},
    {"setTexGen", matscript_setTexGen},
    {"setTTF", matscript_setTTF},
    {"setMatPropColor", matscript_setMatPropColor},
    {"setMatDiff", matscript_setMatDiff},
    {"setMatAmbi", matscript_setMatAmbi},
    {"setMatSpec", matscript_setMatSpec},
    {"setMatEmis", matscript_setMatEmis},
    {"setMatPropSrc", matscript_setMatPropSrc},
    {"setZCmp", matscript_setZCmp},
    {"setZWrite", matscript_setZWrite},
    {"addKey_diffuse", matscript_addKey_diffuse},
    {"lastKey_diffuse", matscript_lastKey_diffuse},
    {"addKey_texture", matscript_addKey_texture},
    {"lastKey_texture", matscript_lastKey_texture},
    {"lastKey_texture", matscript_lastKey_texture},
    {"endMode_texture", matscript_endMode_texture},
    {"useTextureAsRenderTarget", matscript_useTextureAsRenderTarget},
    {nullptr, nullptr},
};

cell qoru_nativeNoTarget(cchar * szNative, cchar * szMissing)
{
    QOR_LOG_LOCATION();
    qoru_logError("%s : pas de cible, appeler %s avant\n", szNative, szMissing);
    return 0;
}
