// A layer drawn into a 256 x 256 texture: the plasma, with a light passing over it.
#include "show.inc"

main()
{
    setVP(0, 0, ONE, ONE);
    setFrameBufferClear(CLEAR_ON);
    addQuad();
    addMaterial("plasma");
    addPass();
    setDraw(DRAW_OPAQUE);
    addStage();
    loadAnim("plasma", 8);
    setCombiner(TEXARG_TEXTURE, TEXOP_SELECTARG1, TEXARG_DIFFUSE);
    alphaQuad("light", "glow", "glow_alpha", 0, 0, 600, 600, DRAW_ADDALPHA);
    addKey_pos(0, -400, -300);
    addKey_pos(90, 400, 300);
    addKey_pos(180, -400, 300);
    addKey_pos(270, 400, -300);
    addKey_pos(360, -400, -300);
    addKey_pos(450, 0, 0);
    lastKey_pos();
    setMatDiff(FULL, FULL, FULL, FULL);
}
