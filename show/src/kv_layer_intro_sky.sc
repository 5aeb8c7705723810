// Intro, first layer: clouds drifting and slowly turning, coming up out of the dark.
#include "show.inc"

main()
{
    setVP(0, 0, ONE, ONE);
    setFrameBufferClear(CLEAR_ON);
    setZBufferClear(CLEAR_ON);
    texQuad("clouds", "noise", 0, 0, ONE, ONE);
    addKey_diffuse(0, 40, 45, 70, FULL);
    addKey_diffuse(240, 120, 130, 170, FULL);
    addKey_diffuse(800, FULL, FULL, FULL, FULL);
    lastKey_diffuse();
    // The offset loops, the scale breathes, the rotation turns a little over the screen.
    addKey_uvpos(0, 0, 0);
    addKey_uvpos(300, ONE, 500);
    endMode_uvpos(END_LOOP);
    lastKey_uvpos();
    addKey_uvScale(0, 1500, 1500);
    addKey_uvScale(450, 900, 900);
    addKey_uvScale(890, 1300, 1300);
    lastKey_uvScale();
    addKey_uvrot(0, 0);
    addKey_uvrot(890, 800);
    lastKey_uvrot();
}
