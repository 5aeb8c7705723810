// Chapter six, background: the ocean seen through the ripple tables.
#include "show.inc"

main()
{
    setVP(0, 0, ONE, ONE);
    setFrameBufferClear(CLEAR_ON);
    setZBufferClear(CLEAR_ON);
    addQuad();
    // Once over the height: the ocean ramp does not tile, and a second start would cut a seam.
    setUVScale(1500, 1000);
    addMaterial("ripples");
    addPass();
    setDraw(DRAW_OPAQUE);
    addStage();
    loadTableOffset("ot_source", "ot_ripple_x", "ot_ripple_y");
    setCombiner(TEXARG_TEXTURE, TEXOP_MODULATE, TEXARG_DIFFUSE);
    addStage();
    loadTexture("gradient_ocean");
    setCombiner(TEXARG_CURRENT, TEXOP_MODULATE2X, TEXARG_TEXTURE);
    fadeKeys(0, 40, 0, 0, 170, 170, 190);
}
