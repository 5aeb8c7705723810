// Chapter seven, the second model (Wuson, imported): drawn into a texture by a layer of its
// own, shown on a panel that swings in from the right at the middle of the chapter.
#include "show.inc"

main()
{
    setVP(0, 0, ONE, ONE);
    addQuad();
    addKey_pos(0, 1000, 0);
    addKey_pos(420, 1000, 0);
    addKey_pos(500, 250, 0);
    addKey_pos(1000, 230, 20);
    addKey_pos(1055, 1000, 0);
    lastKey_pos();
    addKey_scale(0, 420, 560);
    addKey_scale(500, 440, 590);
    addKey_scale(1000, 470, 620);
    lastKey_scale();
    addMaterial("panel");
    addPass();
    setDraw(DRAW_OPAQUE);
    addStage();
    loadTextureScript("kv_tex_wuson.o");
    setCombiner(TEXARG_TEXTURE, TEXOP_SELECTARG1, TEXARG_DIFFUSE);
}
