// Chapter five, background: dark rock under a drifting cloud layer (two passes).
#include "show.inc"

main()
{
    setVP(0, 0, ONE, ONE);
    setFrameBufferClear(CLEAR_ON);
    setZBufferClear(CLEAR_ON);
    texQuad("rock", "rock", 0, 0, ONE, ONE);
    setUVScale(2000, 1500);
    addKey_uvpos(0, 0, 0);
    addKey_uvpos(1570, 0, 2000);
    lastKey_uvpos();
    fadeKeys(0, 60, 0, 0, 90, 85, 95);
    addPass();
    setDraw(DRAW_ADD);
    addStage();
    loadTexture("noise");
    setCombiner(TEXARG_TEXTURE, TEXOP_MODULATE, TEXARG_DIFFUSE);
}
