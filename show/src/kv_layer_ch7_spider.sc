// Chapter seven, the spider (imported from Debian's assimp-testmodels). The viewport track
// moves the layer's rectangle (where its quads lay out); the 3D view keeps the whole screen.
#include "show.inc"

main()
{
    setVP(0, 0, ONE, ONE);
    addKey_vp(0, 0, 0, ONE, ONE);
    addKey_vp(400, 0, 0, ONE, ONE);
    addKey_vp(480, 0, 100, 500, 800);
    addKey_vp(1055, 0, 100, 500, 800);
    lastKey_vp();
    setZBufferClear(CLEAR_ON);
    loadScene("scenes/spider.s3d", "spider.obj from assimp-testmodels");
}
