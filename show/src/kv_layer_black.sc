// A short break: black, with one ember drifting across the middle and dying out.
#include "show.inc"

main()
{
    setVP(0, 0, ONE, ONE);
    setFrameBufferClear(CLEAR_ON);
    colourQuad("black", 0, 0, 0, FULL, DRAW_OPAQUE);
    alphaQuad("ember", "glow", "glow_alpha", 0, 0, 300, 400, DRAW_ADDALPHA);
    addKey_diffuse(0, FULL, 180, 120, FULL);
    addKey_diffuse(55, 60, 30, 15, 160);
    lastKey_diffuse();
    addKey_pos(0, -200, 0);
    addKey_pos(55, 200, 0);
    lastKey_pos();
    addKey_scale(0, 300, 400);
    addKey_scale(55, 120, 160);
    lastKey_scale();
}
