// Title screen, first layer: a tunnel of glowing cells drawn through offset tables (the table
// scrolls the source a row a frame), turning, with a second pass of ripples added over it.
#include "show.inc"

main()
{
    setVP(0, 0, ONE, ONE);
    setFrameBufferClear(CLEAR_ON);
    setZBufferClear(CLEAR_ON);
    addQuad();
    addKey_uvrot(0, 0);
    addKey_uvrot(390, 2 * PI);
    lastKey_uvrot();
    addMaterial("tunnel");
    addPass();
    setDraw(DRAW_OPAQUE);
    addStage();
    loadTableOffset("ot_source", "ot_tunnel_x", "ot_tunnel_y");
    setCombiner(TEXARG_TEXTURE, TEXOP_MODULATE2X, TEXARG_DIFFUSE);
    setTexGen(TEXGEN_VERTEX);
    setTTF(TTF_DISABLE);
    // The crash of the first bar: a flash that settles to the tunnel's own colours.
    addKey_diffuse(0, FULL, FULL, FULL, FULL);
    addKey_diffuse(20, 110, 110, 130, FULL);
    addKey_diffuse(390, 140, 120, 160, FULL);
    lastKey_diffuse();
    // Pass two: the ripple table over the same source, added at a third.
    addPass();
    setDraw(DRAW_ADD);
    addStage();
    loadTableOffset("ot_source", "ot_ripple_x", "ot_ripple_y");
    setCombiner(TEXARG_TEXTURE, TEXOP_MODULATE, TEXARG_DIFFUSE);
}
