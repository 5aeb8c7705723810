// A layer drawn into a texture ("loadTextureScript"): it lays out in its 256 x 256 texture as
// a screen layer does on the screen. Left half red, right half green.
#include <qor>

half(x, r, g, b, const name[])
{
    addQuad();
    setPos(x, 0);
    setScale(500, ONE);
    addMaterial(name);
    addPass();
    addStage();
    setCombiner(TEXARG_DIFFUSE, TEXOP_SELECTARG1, TEXARG_DIFFUSE);
    setMatDiff(r, g, b, FULL);
}

main()
{
    half(-250, FULL, 0, 0, "left");
    half(250, 0, FULL, 0, "right");
}
