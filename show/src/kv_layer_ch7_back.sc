// Chapter seven, background: the sunset sky with clouds sliding through it.
#include "show.inc"

main()
{
    setVP(0, 0, ONE, ONE);
    setFrameBufferClear(CLEAR_ON);
    setZBufferClear(CLEAR_ON);
    texQuad("sky", "gradient_sunset", 0, 0, ONE, ONE);
    fadeKeys(0, 40, 0, 0, FULL, FULL, FULL);
    addPass();
    setDraw(DRAW_MULTIPLY);
    addStage();
    loadTexture("noise");
    setCombiner(TEXARG_TEXTURE, TEXOP_ADDSIGNED, TEXARG_DIFFUSE);
    // Over the whole sky: a band of added clouds would end in a hard edge across it.
    texQuad("clouds", "noise", 0, 0, ONE, ONE, DRAW_ADD);
    setUVScale(ONE, 500);
    addKey_uvpos(0, 0, 0);
    addKey_uvpos(300, ONE, 0);
    endMode_uvpos(END_LOOP);
    lastKey_uvpos();
    setMatDiff(60, 40, 50, FULL);
}
