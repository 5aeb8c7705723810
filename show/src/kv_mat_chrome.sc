// Material script: chrome. The sky reflected by the surface (camera-space reflection vector
// through the stage's texture transform), doubled, with the metal added signed over it; the
// reflection carries its own light, so the lit colour is not used.
#include <qor>

main()
{
    addPass();
    setBlend(BLEND_ONE, BLEND_ZERO);
    setZCmp(CMP_LESSEQUAL);
    setZWrite(1);
    addStage();
    loadTexture("sky_pz");
    setTexGen(TEXGEN_REFLECTION);
    setTTF(TTF_COUNT2);
    setCombiner(TEXARG_TEXTURE, TEXOP_ADD, TEXARG_TEXTURE);
    setAlphaCombiner(TEXARG_DIFFUSE, TEXOP_SELECTARG1, TEXARG_DIFFUSE);
    addStage();
    loadTexture("metal");
    setTexGen(TEXGEN_VERTEX);
    setTTF(TTF_DISABLE);
    setCombiner(TEXARG_CURRENT, TEXOP_ADDSIGNED, TEXARG_TEXTURE);
    setMatDiff(230, 230, 255, FULL);
    setMatAmbi(120, 120, 140, FULL);
    setMatSpec(FULL, FULL, FULL, FULL);
    setMatEmis(20, 20, 30, FULL);
    setMatPropSrc(MATSRC_MATERIAL, MATSRC_MATERIAL, MATSRC_MATERIAL, MATSRC_MATERIAL);
}
