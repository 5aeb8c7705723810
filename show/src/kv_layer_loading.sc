// Loading screen: the ocean gradient, the logo in its glow, the corners darkened.
#include "show.inc"

main()
{
    setVP(0, 0, ONE, ONE);
    setFrameBufferClear(CLEAR_ON);
    setZBufferClear(CLEAR_ON);
    texQuad("sky", "gradient_ocean", 0, 0, ONE, ONE);
    setDim(640, 480); // accepted and ignored: the size comes from setScale
    setMatDiff(160, 160, 200, FULL);
    alphaQuad("logo", "logo", "logo_alpha", 0, -60, 600, 400);
    setMatDiff(FULL, FULL, FULL, FULL);
    alphaQuad("vignette", "vignette", "vignette_alpha", 0, 0, ONE, ONE);
    setMatDiff(FULL, FULL, FULL, FULL);
    text("loading", 0, 150, 24, 200, 220, FULL);
}
