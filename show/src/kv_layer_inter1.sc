// Interlude one: marble, and a panel showing a layer drawn into a texture (the plasma and a
// wandering light), before chapter five.
#include "inter.inc"

main()
{
    interBackground("marble", 150, 140, 130);
    interPanel();
    addMaterial("panel");
    addPass();
    setDraw(DRAW_OPAQUE);
    addStage();
    loadTextureScript("kv_tex_plasma.o");
    setCombiner(TEXARG_TEXTURE, TEXOP_MODULATE, TEXARG_DIFFUSE);
    fadeKeys(0, 30, 420, 30, FULL, FULL, FULL);
    interTitle("chapter five", "a tentacle in the fog");
}
