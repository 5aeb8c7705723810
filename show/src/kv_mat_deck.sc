// Material script: the machine's deck. Stage one: the wood, lit (the vertex colours glow in as
// its emissive light). Stage two: the marble projected from the eye: the camera-space position
// (x, y, z) divided by its depth gives the same texel to every point on one line of sight, so
// its veins lie on the deck like the shadows of a picture cast by a projector at the camera.
#include <qor>

main()
{
    addPass();
    setBlend(BLEND_ONE, BLEND_ZERO);
    addStage();
    loadTexture("wood");
    setCombiner(TEXARG_TEXTURE, TEXOP_MODULATE, TEXARG_DIFFUSE);
    addStage();
    loadTexture("marble");
    setTexGen(TEXGEN_POSITION);
    setTTF(TTF_COUNT3 + TTF_PROJECTED);
    setCombiner(TEXARG_CURRENT, TEXOP_MODULATE2X, TEXARG_TEXTURE);
    setMatPropColor(120, 120, 120, FULL, 60, 60, 60, FULL, 60, 60, 60, FULL, 0, 0, 0, FULL);
    setMatPropSrc(MATSRC_MATERIAL, MATSRC_MATERIAL, MATSRC_MATERIAL, MATSRC_COLOR1);
}
