// Intro, second layer: the plasma opening from a thin band to the whole screen as the drums
// come in (the viewport track), added over the clouds.
#include "show.inc"

main()
{
    setVP(0, 490, ONE, 20);
    addKey_vp(0, 0, 490, ONE, 20);
    addKey_vp(230, 0, 490, ONE, 20);
    addKey_vp(450, 0, 300, ONE, 400);
    addKey_vp(680, 0, 0, ONE, ONE);
    addKey_vp(890, 0, 0, ONE, ONE);
    lastKey_vp();
    addQuad();
    addMaterial("plasma");
    addPass();
    setDraw(DRAW_ADD);
    addStage();
    // Eight frames, played back and forth.
    loadAnim("plasma", 8);
    setCombiner(TEXARG_TEXTURE, TEXOP_MODULATE, TEXARG_DIFFUSE);
    addKey_texture(0, 0);
    addKey_texture(16, 7);
    lastKey_texture();
    endMode_texture(END_PINGPONG);
    fadeKeys(200, 200, 0, 0, 130, 60, 150);
    addKey_uvScale(0, 700, 2000);
    addKey_uvScale(890, 1000, 1000);
    lastKey_uvScale();
}
