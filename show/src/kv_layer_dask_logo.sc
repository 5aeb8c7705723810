// Title screen, second layer: the logo pulsing on the beat, its light added in a second pass;
// the blur track makes the layout breathe; the title under it.
#include "show.inc"

main()
{
    setVP(0, 0, ONE, ONE);
    // The quads lay out in a screen that starts at twice its size and settles (the blur track).
    addKey_vpBlur(0, 2000, 2000);
    addKey_vpBlur(45, ONE, ONE);
    addKey_vpBlur(300, ONE, ONE);
    addKey_vpBlur(390, 1300, 1300);
    lastKey_vpBlur();
    alphaQuad("logo", "logo", "logo_alpha", 0, -40, 800, 560);
    // About 125 beats a minute: a pulse every 14.4 frames.
    for (new k = 0; k < 27; k++)
    {
        addKey_scale(k * 144 / 10, 820, 590);
        addKey_scale(k * 144 / 10 + 5, 780, 540);
    }
    lastKey_scale();
    setMatDiff(FULL, FULL, FULL, FULL);
    // Pass two: the logo's colours added again, through the alpha, flashing on every bar.
    addPass();
    setDraw(DRAW_ADDALPHA);
    addStage();
    loadTexture("logo");
    setCombiner(TEXARG_TEXTURE, TEXOP_MODULATE, TEXARG_DIFFUSE);
    setAlphaCombiner(TEXARG_TEXTURE, TEXOP_MODULATE, TEXARG_DIFFUSE);
    text("d a s k   2 4 3", 0, 150, 32, FULL, 200, 120, 30, 360);
    text("sixteen scripts  -  one pack  -  no files from outside", 0, 190, 16, 180, 200, FULL, 90, 360);
}
