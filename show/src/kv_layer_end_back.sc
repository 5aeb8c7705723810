// End scroll, background: the ocean through the tunnel tables, slow and dim, and the logo
// watermark turning behind the text.
#include "show.inc"

main()
{
    setVP(0, 0, ONE, ONE);
    setFrameBufferClear(CLEAR_ON);
    setZBufferClear(CLEAR_ON);
    addQuad();
    addMaterial("tunnel");
    addPass();
    setDraw(DRAW_OPAQUE);
    addStage();
    loadTableOffset("gradient_ocean", "ot_tunnel_x", "ot_tunnel_y");
    setCombiner(TEXARG_TEXTURE, TEXOP_MODULATE, TEXARG_DIFFUSE);
    fadeKeys(0, 60, 1040, 60, 150, 150, 170);
    alphaQuad("logo", "logo", "logo_alpha", 0, 0, 700, 500, DRAW_ADDALPHA);
    fadeKeys(0, 90, 1000, 100, 70, 70, 90);
    addKey_uvrot(0, -200);
    addKey_uvrot(550, 200);
    addKey_uvrot(1100, -200);
    lastKey_uvrot();
}
