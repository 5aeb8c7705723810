// The dark corners laid over a screen (the vignette's alpha darkens towards the edges).
#include "show.inc"

main()
{
    setVP(0, 0, ONE, ONE);
    alphaQuad("vignette", "vignette", "vignette_alpha", 0, 0, ONE, ONE);
    setMatDiff(FULL, FULL, FULL, FULL);
}
