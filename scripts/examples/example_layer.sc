// A layer script: a picture fading in, a panel sliding in that shows another layer drawn into
// a texture, and a small animated quad whose material comes from a material script.
#include <qor>

main()
{
    setVP(0, 0, ONE, ONE);                     // the whole screen (thousandths)
    setZBufferClear(CLEAR_ON);

    // The picture: the whole layer, from black to its own colours in one second.
    addQuad();
    addMaterial("picture");
    addPass();
    addStage();
    loadTexture("example_picture");            // maps/example_picture.jpg
    setCombiner(TEXARG_TEXTURE, TEXOP_MODULATE, TEXARG_DIFFUSE);
    addKey_diffuse(0, 0, 0, 0, FULL);
    addKey_diffuse(FRAMES_PER_SECOND, FULL, FULL, FULL, FULL);
    lastKey_diffuse();

    // The panel: half the layer's size, sliding from off-screen right to the right half.
    addQuad();
    setScale(500, 500);
    addKey_pos(0, ONE, 0);
    addKey_pos(FRAMES_PER_SECOND, 250, 0);
    lastKey_pos();
    addMaterial("panel");
    addPass();
    addStage();
    loadTextureScript("example_texture_layer.o");   // a 256 x 256 texture drawn every frame
    setCombiner(TEXARG_TEXTURE, TEXOP_SELECTARG1, TEXARG_DIFFUSE);

    // A quarter-size quad on the left; its material is rebuilt by a material script.
    addQuad();
    setPos(-250, 0);
    setScale(250, 250);
    addMaterial("flame");
    replaceMaterial("flame", "example_material.o");
}
