// Intro, last layer: the logo grows out of a point over the riser, then a white flash leads
// into the title screen.
#include "show.inc"

main()
{
    setVP(0, 0, ONE, ONE);
    setZBufferClear(CLEAR_ON);
    alphaQuad("logo", "logo", "logo_alpha", 0, 0, 700, 500);
    addKey_scale(0, 0, 0);
    addKey_scale(620, 0, 0);
    addKey_scale(800, 700, 500);
    addKey_scale(890, 900, 640);
    lastKey_scale();
    fadeKeys(620, 120, 0, 0, FULL, FULL, FULL);
    text("a show made from its own sources", 0, 170, 20, 180, 200, FULL, 650, 860);
    colourQuad("flash", FULL, FULL, FULL, 0, DRAW_ADDALPHA);
    addKey_diffuse(0, FULL, FULL, FULL, 0);
    addKey_diffuse(860, FULL, FULL, FULL, 0);
    addKey_diffuse(890, FULL, FULL, FULL, FULL);
    lastKey_diffuse();
}
