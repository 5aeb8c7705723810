// Interlude two: wood, and a panel of two stages: wood grain lit by drifting clouds (added
// signed), before chapter seven.
#include "inter.inc"

main()
{
    interBackground("wood", 230, 200, 170);
    interPanel();
    addKey_uvpos(0, 0, 0);
    addKey_uvpos(150, 500, 250);
    endMode_uvpos(END_PINGPONG);
    lastKey_uvpos();
    addMaterial("panel");
    addPass();
    setDraw(DRAW_OPAQUE);
    addStage();
    loadTextureNoComp("wood");
    setCombiner(TEXARG_TEXTURE, TEXOP_MODULATE, TEXARG_DIFFUSE);
    addStage();
    loadTexture("noise");
    setCombiner(TEXARG_CURRENT, TEXOP_ADDSIGNED, TEXARG_TEXTURE);
    fadeKeys(0, 30, 420, 30, FULL, FULL, FULL);
    interTitle("chapter seven", "models from outside, drawn by the engine");
}
