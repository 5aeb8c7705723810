// The screen and layer natives and their tables.
#include "qor_layerScript.h"

#include "qor_cDisp.h"
#include "qor_cEffect.h"
#include "qor_cErrorHandler.h"
#include "qor_cLayer.h"
#include "qor_cLayerQuad.h"
#include "qor_cLayerScreen.h"
#include "qor_cMaterial.h"
#include "qor_cTexture.h"
#include "qor_cXChange.h"

#include <cstring>
#include <new>

namespace
{
qor_sLayerScriptTargets s_targets = {nullptr, nullptr, nullptr};

// Layers drawn into textures may show layers drawn into textures, but not without end: a script
// that names itself would otherwise nest until the stack runs out.
const int kMaxTextureLayerDepth = 8;
int s_nTextureLayerDepth = 0;
// Texture layers made since the screen (or the layer loaded by itself) started loading.
int s_nTextureLayers = 0;

inline float milli(const cell * params, int i)
{
    return (float)qoru_amxArg(params, i) * QOR_LAYERSCRIPT_UNIT;
}
inline float frames(const cell * params, int i)
{
    return (float)qoru_amxArg(params, i);
}
inline bool flag(const cell * params, int i)
{
    return qoru_amxArg(params, i) == 1;
}


qor_cLayer * layer(cchar * szNative)
{
    if (!s_targets.pLayer)
        qoru_nativeNoTarget(szNative, "qor_cLayer::loadScript");
    return s_targets.pLayer;
}

qor_cLayerQuad * quad(cchar * szNative)
{
    if (!s_targets.pQuad)
        qoru_nativeNoTarget(szNative, "addQuad");
    return s_targets.pQuad;
}

// ----- screen native

cell AMX_NATIVE_CALL screenscript_addLayer(AMX * amx, cell * params)
{
    char szLayerScriptName[QOR_SCRIPT_STRING_SIZE];
    qoru_amxGetString(amx, qoru_amxArg(params, 1), szLayerScriptName, sizeof szLayerScriptName);
    // Read before the nested script, which changes the targets.
    qor_cLayerScreen * pScreen = s_targets.pScreen;
    if (!pScreen)
        return qoru_nativeNoTarget("screenscript_addLayer", "qor_cLayerScreen::loadFromScript");
    if (pScreen->getNbLayer() >= kQorMaxLayersPerScreen)
    {
        QOR_LOG_LOCATION();
        qoru_logError("screenscript_addLayer : <%s> trop de layers dans l'ecran, max : %d ; script arrete\n",
                      szLayerScriptName, kQorMaxLayersPerScreen);
        amx->error = AMX_ERR_NATIVE;
        return 0;
    }
    qor_cLayer * pLayer = new (std::nothrow) qor_cLayer;
    if (!pLayer)
    {
        QOR_LOG_LOCATION();
        qoru_logError("cell AMX_NATIVE_CALL screenscript_addLayer(AMX * amx, cell * params) <%s>\n", szLayerScriptName);
        QOR_LOG_LOCATION();
        qoru_logError("qor_cLayer * pLayer = new qor_cLayer;\n");
        return 0;
    }
    qor_sScriptTargets saved = qoru_saveScriptTargets();
    bool bRet = pLayer->loadScript(szLayerScriptName);
    qoru_restoreScriptTargets(saved);
    if (!bRet)
    {
        delete pLayer;
        QOR_LOG_LOCATION();
        qoru_logError("cell AMX_NATIVE_CALL screenscript_addLayer(AMX * amx, cell * params) <%s>\n", szLayerScriptName);
        QOR_LOG_LOCATION();
        qoru_logError("bool bRet = pLayer->loadScript(szLayerScriptName);\n");
        return 0;
    }
    bRet = pScreen->addLayer((qor_cScene *)pLayer);
    if (!bRet)
    {
        delete pLayer;
        QOR_LOG_LOCATION();
        qoru_logError("cell AMX_NATIVE_CALL screenscript_addLayer(AMX * amx, cell * params) <%s>\n", szLayerScriptName);
        QOR_LOG_LOCATION();
        qoru_logError("bRet = pScreen->addLayer((qor_cScene *)pLayer);\n");
        QOR_LOG_LOCATION();
        qoru_logError("Echec d'allocation\n");
        return 0;
    }
    return 1;
}

// ----- layer natives

cell AMX_NATIVE_CALL layerscript_addQuad(AMX * amx, cell *)
{
    qor_cLayer * p = layer("layerscript_addQuad");
    if (!p)
        return 0;
    if (p->getNbQuad() >= kQorMaxQuadsPerLayer)
    {
        s_targets.pQuad = nullptr;
        QOR_LOG_LOCATION();
        qoru_logError("layerscript_addQuad : trop de quads dans le layer, max : %d ; script arrete\n",
                      kQorMaxQuadsPerLayer);
        amx->error = AMX_ERR_NATIVE;
        return 0;
    }
    s_targets.pQuad = p->addQuad();
    if (!s_targets.pQuad)
    {
        QOR_LOG_LOCATION();
        qoru_logError("layerscript_addQuad : Echec d'allocation\n");
        return 0;
    }
    return 1;
}

cell AMX_NATIVE_CALL layerscript_loadMaterial(AMX * amx, cell * params)
{
    cchar * szSig = "cell AMX_NATIVE_CALL layerscript_loadMaterial(AMX * amx, cell * params)\n";
    qor_cLayer * pLayer = layer("layerscript_loadMaterial");
    if (!pLayer)
        return 0;
    char szName[QOR_SCRIPT_STRING_SIZE];
    qoru_amxGetString(amx, qoru_amxArg(params, 1), szName, sizeof szName);
    qor_cMaterial * pMat = new (std::nothrow) qor_cMaterial;
    if (!pMat || !pMat->createEffect())
    {
        delete pMat;
        QOR_LOG_LOCATION();
        qoru_logError("%s", szSig);
        QOR_LOG_LOCATION();
        qoru_logError("pMat = pMat ? pMat : new qor_cMaterial;\n");
        return 0;
    }
    // A material's name holds 63 characters; a longer one leaves the material unnamed.
    if (std::strlen(szName) < (size_t)qor_cMaterial::e_nameSize)
        pMat->setName(szName);
    if (!pLayer->addMaterial(pMat, true))
    {
        delete pMat;
        QOR_LOG_LOCATION();
        qoru_logError("%s", szSig);
        QOR_LOG_LOCATION();
        qoru_logError("b = pLayerScreen->addMaterial(pMat, true);\n");
        return 0;
    }
    qoru_setMatScriptMaterial(pMat, pLayer);
    // Without a quad the material is still made (and the material natives that follow work on
    // it), but nothing draws it.
    if (!s_targets.pQuad)
        return qoru_nativeNoTarget("layerscript_loadMaterial", "addQuad");
    s_targets.pQuad->setMaterial(pMat);
    return 1;
}

cell AMX_NATIVE_CALL layerscript_setDim(AMX *, cell *)
{
    return 1;
}

cell AMX_NATIVE_CALL layerscript_setPos(AMX *, cell * params)
{
    qor_cLayerQuad * p = quad("layerscript_setPos");
    if (!p)
        return 0;
    p->setPos(milli(params, 1), milli(params, 2));
    return 1;
}

cell AMX_NATIVE_CALL layerscript_setScale(AMX *, cell * params)
{
    qor_cLayerQuad * p = quad("layerscript_setScale");
    if (!p)
        return 0;
    p->setScale(milli(params, 1), milli(params, 2));
    return 1;
}

cell AMX_NATIVE_CALL layerscript_setUVScale(AMX *, cell * params)
{
    qor_cLayerQuad * p = quad("layerscript_setUVScale");
    if (!p)
        return 0;
    p->setUVScale(milli(params, 1), milli(params, 2));
    return 1;
}

cell AMX_NATIVE_CALL layerscript_setZBufferClear(AMX *, cell * params)
{
    qor_cLayer * p = layer("layerscript_setZBufferClear");
    if (!p)
        return 0;
    p->setZBufferClear(flag(params, 1));
    return 1;
}

cell AMX_NATIVE_CALL layerscript_setFrameBufferClear(AMX *, cell * params)
{
    qor_cLayer * p = layer("layerscript_setFrameBufferClear");
    if (!p)
        return 0;
    p->setFrameBufferClear(flag(params, 1));
    return 1;
}

cell AMX_NATIVE_CALL layerscrtipt_loadScene(AMX * amx, cell * params)
{
    qor_cLayer * pLayer = layer("layerscrtipt_loadScene");
    if (!pLayer)
        return 0;
    char szScene[QOR_SCRIPT_STRING_SIZE], szOther[QOR_SCRIPT_STRING_SIZE];
    qoru_amxGetString(amx, qoru_amxArg(params, 1), szScene, sizeof szScene);
    qoru_amxGetString(amx, qoru_amxArg(params, 2), szOther, sizeof szOther);
    // The scene's material scripts change the targets.
    qor_sScriptTargets saved = qoru_saveScriptTargets();
    bool b = qoru_acceptDataName(szScene, "loadScene") && pLayer->load(szScene);
    qoru_restoreScriptTargets(saved);
    if (!b)
    {
        QOR_LOG_LOCATION();
        qoru_reportError("Impossible de trouver les fichier : <%s> <%s>\n", szScene, szOther);
        QOR_LOG_LOCATION();
        qoru_logError("cell AMX_NATIVE_CALL layerscrtipt_loadScene(AMX * amx, cell * params)\n");
        QOR_LOG_LOCATION();
        qoru_logError("bool b = getlayer().load(szScene);\n");
        return 0;
    }
    return 1;
}

cell AMX_NATIVE_CALL layerscript_addKey_pos(AMX *, cell * params)
{
    qor_cLayerQuad * p = quad("layerscript_addKey_pos");
    if (!p)
        return 0;
    p->addKey_pos(frames(params, 1), milli(params, 2), milli(params, 3));
    return 1;
}

cell AMX_NATIVE_CALL layerscript_lastKey_pos(AMX *, cell *)
{
    qor_cLayerQuad * p = quad("layerscript_lastKey_pos");
    if (!p)
        return 0;
    p->lastKey_pos();
    return 1;
}

cell AMX_NATIVE_CALL layerscript_addKey_scale(AMX *, cell * params)
{
    qor_cLayerQuad * p = quad("layerscript_addKey_scale");
    if (!p)
        return 0;
    p->addKey_scale(frames(params, 1), milli(params, 2), milli(params, 3));
    return 1;
}

cell AMX_NATIVE_CALL layerscript_lastKey_scale(AMX *, cell *)
{
    qor_cLayerQuad * p = quad("layerscript_lastKey_scale");
    if (!p)
        return 0;
    p->lastKey_scale();
    return 1;
}

cell AMX_NATIVE_CALL layerscript_setVP(AMX *, cell * params)
{
    qor_cLayer * p = layer("layerscript_setVP");
    if (!p)
        return 0;
    p->setVP(milli(params, 1), milli(params, 2), milli(params, 3), milli(params, 4));
    return 1;
}

cell AMX_NATIVE_CALL layerscript_addKey_vp(AMX *, cell * params)
{
    qor_cLayer * p = layer("layerscript_addKey_vp");
    if (!p)
        return 0;
    return p->addKey_vp(frames(params, 1), milli(params, 2), milli(params, 3), milli(params, 4), milli(params, 5)) ? 1
                                                                                                                   : 0;
}

cell AMX_NATIVE_CALL layerscript_lastKey_vp(AMX *, cell *)
{
    qor_cLayer * p = layer("layerscript_lastKey_vp");
    if (!p)
        return 0;
    return p->lastKey_vp() ? 1 : 0;
}

cell AMX_NATIVE_CALL layerscript_addKey_vpBlur(AMX *, cell * params)
{
    qor_cLayer * p = layer("layerscript_addKey_vpBlur");
    if (!p)
        return 0;
    p->addKey_vpBlur(frames(params, 1), milli(params, 2), milli(params, 3));
    return 1;
}

cell AMX_NATIVE_CALL layerscript_lastKey_vpBlur(AMX *, cell *)
{
    qor_cLayer * p = layer("layerscript_lastKey_vpBlur");
    if (!p)
        return 0;
    p->lastKey_vpBlur();
    return 1;
}

cell AMX_NATIVE_CALL layerscript_addKey_uvScale(AMX *, cell * params)
{
    qor_cLayerQuad * p = quad("layerscript_addKey_uvScale");
    if (!p)
        return 0;
    p->addKey_uvScale(frames(params, 1), milli(params, 2), milli(params, 3));
    return 1;
}

cell AMX_NATIVE_CALL layerscript_lastKey_uvScale(AMX *, cell *)
{
    qor_cLayerQuad * p = quad("layerscript_lastKey_uvScale");
    if (!p)
        return 0;
    p->lastKey_uvScale();
    return 1;
}

cell AMX_NATIVE_CALL layerscript_addKey_uvpos(AMX *, cell * params)
{
    qor_cLayerQuad * p = quad("layerscript_addKey_uvpos");
    if (!p)
        return 0;
    p->addKey_uvpos(frames(params, 1), milli(params, 2), milli(params, 3));
    return 1;
}

cell AMX_NATIVE_CALL layerscript_lastKey_uvpos(AMX *, cell *)
{
    qor_cLayerQuad * p = quad("layerscript_lastKey_uvpos");
    if (!p)
        return 0;
    p->lastKey_uvpos();
    return 1;
}

cell AMX_NATIVE_CALL layerscript_endMode_uvpos(AMX *, cell * params)
{
    qor_cLayerQuad * p = quad("layerscript_endMode_uvpos");
    if (!p)
        return 0;
    p->setEndMode_uvpos((int)qoru_amxArg(params, 1));
    return 1;
}

cell AMX_NATIVE_CALL layerscript_addKey_uvrot(AMX *, cell * params)
{
    qor_cLayerQuad * p = quad("layerscript_addKey_uvrot");
    if (!p)
        return 0;
    p->addKey_uvrot(frames(params, 1), milli(params, 2));
    return 1;
}

cell AMX_NATIVE_CALL layerscript_lastKey_uvrot(AMX *, cell *)
{
    qor_cLayerQuad * p = quad("layerscript_lastKey_uvrot");
    if (!p)
        return 0;
    p->lastKey_uvrot();
    return 1;
}

cell AMX_NATIVE_CALL layerscript_loadTextureScript(AMX * amx, cell * params)
{
    cchar * szSig = "cell AMX_NATIVE_CALL layerscript_loadTextureScript(AMX * amx, cell * params)\n";
    qor_cLayer * pLayer = layer("layerscript_loadTextureScript");
    if (!pLayer)
        return 0;
    char szName[QOR_SCRIPT_STRING_SIZE];
    qoru_amxGetString(amx, qoru_amxArg(params, 1), szName, sizeof szName);
    qor_sMatScriptTargets & mat = qoru_matScriptTargets();
    if (!mat.pStage)
        return qoru_nativeNoTarget("layerscript_loadTextureScript", "addStage");
    // 1. Drawn once per name: a texture of that name in the scene means the layer is already
    // made. The stage still shows it, as loadTexture binds a texture it finds.
    if (qor_cTexture * pFound = pLayer->getTexture(szName))
    {
        mat.pStage->setTexture(pFound, false);
        return 1;
    }
    // 2. The target texture, in the scene and on the current stage.
    qor_cTexture * pTexture = new (std::nothrow) qor_cTexture;
    qor_hTexture hTex = QOR_DISP() ? QOR_DISP()->createTexture(256, 256, 2) : QOR_NULL_TEXTURE;
    if (!pTexture || hTex == QOR_NULL_TEXTURE)
    {
        delete pTexture;
        if (hTex != QOR_NULL_TEXTURE)
            QOR_DISP()->releaseTexture(hTex);
        QOR_LOG_LOCATION();
        qoru_logError("%s", szSig);
        QOR_LOG_LOCATION();
        qoru_logError("qor_cTexture * pTexture = new qor_cTexture;\n");
        QOR_LOG_LOCATION();
        qoru_logError("Echec dans l'allocation <%s>\n", szName);
        return 0;
    }
    pTexture->setName(szName);
    pTexture->setHandle(hTex);
    bool bInScene = pLayer->addTexture(pTexture, true);
    mat.pStage->setTexture(pTexture, !bInScene);

    // 3. The nested layer script changes every target.
    qor_sScriptTargets saved = qoru_saveScriptTargets();
    qor_cLayer * pNewLayer = nullptr;
    bool b = false;
    if (s_nTextureLayerDepth >= kMaxTextureLayerDepth)
    {
        QOR_LOG_LOCATION();
        qoru_logError("layerscript_loadTextureScript : <%s> trop de layers imbriques, max : %d\n", szName,
                      kMaxTextureLayerDepth);
    }
    else if (s_nTextureLayers >= kQorMaxTextureLayersPerScreen)
    {
        QOR_LOG_LOCATION();
        qoru_logError("layerscript_loadTextureScript : <%s> trop de layers de texture dans l'ecran, max : %d\n", szName,
                      kQorMaxTextureLayersPerScreen);
    }
    else
    {
        ++s_nTextureLayers;
        ++s_nTextureLayerDepth;
        pNewLayer = new (std::nothrow) qor_cLayer;
        b = pNewLayer && pNewLayer->loadScript(szName);
        --s_nTextureLayerDepth;
    }
    qoru_restoreScriptTargets(saved);
    if (!b)
    {
        // 5.
        delete pNewLayer;
        QOR_LOG_LOCATION();
        qoru_logError("%s", szSig);
        QOR_LOG_LOCATION();
        qoru_logError("bool b = pNewLayer->loadScript(szName<%s>);\n", szName);
        return 0;
    }
    // 4. The layer that owns the texture keeps the texture layer alive and draws it first.
    pNewLayer->setRenderTarget(hTex);
    if (!pLayer->addTextureLayer(pNewLayer))
        return 0;
    return 1;
}

cell AMX_NATIVE_CALL layerscript_replaceMaterial(AMX * amx, cell * params)
{
    qor_cLayer * pLayer = layer("layerscript_replaceMaterial");
    if (!pLayer)
        return 0;
    char szName[QOR_SCRIPT_STRING_SIZE], szScript[QOR_SCRIPT_STRING_SIZE];
    qoru_amxGetString(amx, qoru_amxArg(params, 1), szName, sizeof szName);
    qoru_amxGetString(amx, qoru_amxArg(params, 2), szScript, sizeof szScript);
    qor_cMaterial * pMat = pLayer->getMaterialByName(szName);
    if (!pMat)
    {
        QOR_LOG_LOCATION();
        qoru_reportError("Impossible de trouver le material <%s>\nRemplacement annulé !", szName);
        return 0;
    }
    pMat->deleteEffect();
    qor_sScriptTargets saved = qoru_saveScriptTargets();
    bool b = pMat->loadFromScript(szScript, pLayer);
    qoru_restoreScriptTargets(saved);
    // The pass and stage the script was building belonged to the effect just replaced.
    if (qoru_matScriptTargets().pMaterial == pMat)
    {
        qoru_matScriptTargets().pPass = nullptr;
        qoru_matScriptTargets().pStage = nullptr;
    }
    if (!b)
    {
        QOR_LOG_LOCATION();
        qoru_reportError("Impossible de charger le material script<%s>", szScript);
        return 0;
    }
    return 1;
}
} // namespace

void qoru_resetTextureLayerCount() { s_nTextureLayers = 0; }

qor_sLayerScriptTargets & qoru_layerScriptTargets()
{
    return s_targets;
}

qor_sScriptTargets qoru_saveScriptTargets()
{
    return {s_targets, qoru_matScriptTargets()};
}

void qoru_restoreScriptTargets(const qor_sScriptTargets & saved)
{
    s_targets = saved.layer;
    qoru_matScriptTargets() = saved.material;
}

AMX_NATIVE_INFO qor_aScreenScriptNatives[] = {
    {"addLayer", screenscript_addLayer},
    {nullptr, nullptr},
};

AMX_NATIVE_INFO qor_aLayerScriptNatives[] = {
    {"addQuad", layerscript_addQuad},
    {"addMaterial", layerscript_loadMaterial},
    {"setDim", layerscript_setDim},
    {"setPos", layerscript_setPos},
    {"setScale", layerscript_setScale},
    {"setUVScale", layerscript_setUVScale},
    {"setZBufferClear", layerscript_setZBufferClear},
    {"setFrameBufferClear", layerscript_setFrameBufferClear},
    {"loadScene", layerscrtipt_loadScene},
    {"addKey_pos", layerscript_addKey_pos},
    {"lastKey_pos", layerscript_lastKey_pos},
    {"addKey_scale", layerscript_addKey_scale},
    {"lastKey_scale", layerscript_lastKey_scale},
    {"setVP", layerscript_setVP},
    {"addKey_vp", layerscript_addKey_vp},
    {"lastKey_vp", layerscript_lastKey_vp},
    {"addKey_vpBlur", layerscript_addKey_vpBlur},
    {"lastKey_vpBlur", layerscript_lastKey_vpBlur},
    {"addKey_uvScale", layerscript_addKey_uvScale},
    {"lastKey_uvScale", layerscript_lastKey_uvScale},
    {"addKey_uvpos", layerscript_addKey_uvpos},
    {"lastKey_uvpos", layerscript_lastKey_uvpos},
    {"endMode_uvpos", layerscript_endMode_uvpos},
    {"addKey_uvrot", layerscript_addKey_uvrot},
    {"lastKey_uvrot", layerscript_lastKey_uvrot},
    {"addKey_texture", matscript_addKey_texture},
    {"lastKey_texture", matscript_lastKey_texture},
    {"endMode_texture", matscript_endMode_texture},
    {"addKey_diffuse", matscript_addKey_diffuse},
    {"lastKey_diffuse", matscript_lastKey_diffuse},
    {"addPass", matscript_addPass},
    {"setBlend", matscript_setBlend},
    {"addStage", matscript_addStage},
    {"loadTexture", matscript_loadTexture},
    {"loadTextureNoComp", matscript_loadTextureNoCompression},
    {"loadTextureScript", layerscript_loadTextureScript},
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
    {"replaceMaterial", layerscript_replaceMaterial},
    {nullptr, nullptr},
};
