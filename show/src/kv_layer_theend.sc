// The end: the logo and the last words, fading to black with the last chord.
#include "show.inc"

main()
{
    setVP(0, 0, ONE, ONE);
    setFrameBufferClear(CLEAR_ON);
    setZBufferClear(CLEAR_ON);
    colourQuad("black", 0, 0, 0, FULL, DRAW_OPAQUE);
    alphaQuad("light", "glow", "glow_alpha", 0, -40, 900, 900, DRAW_ADDALPHA);
    fadeKeys(0, 1, 120, 90, 90, 60, 40);
    alphaQuad("logo", "logo", "logo_alpha", 0, -40, 640, 460);
    addKey_scale(0, 600, 430);
    addKey_scale(210, 700, 500);
    lastKey_scale();
    fadeKeys(0, 1, 120, 90, FULL, FULL, FULL);
    text("the end", 0, 140, 30, FULL, FULL, FULL, 20, 120);
    text("qor", 0, 180, 16, 160, 170, 200, 40, 120);
}
