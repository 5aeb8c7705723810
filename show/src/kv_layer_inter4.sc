// Interlude four: brushed metal, and a panel of three stages: metal, the sunset gradient
// multiplied in four times, the rock subtracted, before chapter four.
#include "inter.inc"

main()
{
    interBackground("metal", 180, 180, 190);
    interPanel();
    addMaterial("panel");
    addPass();
    setDraw(DRAW_OPAQUE);
    addStage();
    loadTexture("metal");
    setCombiner(TEXARG_TEXTURE, TEXOP_MODULATE, TEXARG_DIFFUSE);
    addStage();
    loadTexture("gradient_sunset");
    setCombiner(TEXARG_CURRENT, TEXOP_MODULATE4X, TEXARG_TEXTURE);
    addStage();
    loadTexture("rock");
    setCombiner(TEXARG_CURRENT, TEXOP_SUBTRACT, TEXARG_TEXTURE);
    addStage();
    setCombiner(TEXARG_CURRENT, TEXOP_DISABLE, TEXARG_DIFFUSE);
    fadeKeys(0, 30, 420, 30, 200, 200, 200);
    interTitle("chapter four", "a machine that builds itself, and a camera that roams");
}
