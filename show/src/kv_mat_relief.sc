// Material script: relief. Pass one: the tiles lit through the height map's slope (the height
// image against itself shifted, by a dot product), pass two: the tiles' colours multiplied in.
#include <qor>

main()
{
    addPass();
    setBlend(BLEND_ONE, BLEND_ZERO);
    setZCmp(CMP_ALWAYS);
    setZWrite(0);
    addStage();
    loadTextureNoCompr("tiles_height");
    setCombiner(TEXARG_TEXTURE, TEXOP_DOTPRODUCT3, TEXARG_DIFFUSE);
    addStage();
    loadTexture("tiles_height");
    setCombiner(TEXARG_CURRENT, TEXOP_ADDSIGNED2X, TEXARG_TEXTURE);
    setMatPropColor(200, 180, 255, FULL, 40, 40, 40, FULL, FULL, FULL, FULL, FULL, 0, 0, 0, FULL);
    setMatPropSrc(MATSRC_MATERIAL, MATSRC_MATERIAL, MATSRC_MATERIAL, MATSRC_MATERIAL);

    addPass();
    setBlend(BLEND_DESTCOLOR, BLEND_SRCCOLOR);
    setZCmp(CMP_ALWAYS);
    setZWrite(0);
    addStage();
    loadTexture("tiles");
    setCombiner(TEXARG_TEXTURE, TEXOP_SELECTARG1, TEXARG_DIFFUSE);
    // The panel comes up from black and goes back to it.
    addKey_diffuse(0, 0, 0, 0, FULL);
    addKey_diffuse(40, 200, 180, FULL, FULL);
    addKey_diffuse(410, 200, 180, FULL, FULL);
    addKey_diffuse(450, 0, 0, 0, FULL);
    lastKey_diffuse();
}
