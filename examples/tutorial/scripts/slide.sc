// A textured quad that slides from the left half of the screen to the right half.
#include <qor>

main()
{
    setVP(0, 0, ONE, ONE);
    setFrameBufferClear(CLEAR_ON);
    addQuad();
    // Positions and sizes in thousandths of the screen, (0, 0) its centre, y downwards: a quad
    // of 300 x 400 thousandths is 192 x 192 pixels of the 640 x 480 picture.
    setScale(300, 400);
    addKey_pos(0, -250, 0);
    addKey_pos(15, -250, 0);
    addKey_pos(45, 250, 0);
    addKey_pos(90, 250, 0);
    lastKey_pos();
    addMaterial("tile");
    addPass();
    setBlend(BLEND_ONE, BLEND_ZERO);
    setZCmp(CMP_ALWAYS);
    setZWrite(0);
    addStage();
    loadTexture("tile"); // maps/tile.png
    setCombiner(TEXARG_TEXTURE, TEXOP_MODULATE, TEXARG_DIFFUSE);
    setAlphaCombiner(TEXARG_TEXTURE, TEXOP_MODULATE, TEXARG_DIFFUSE);
    setMatDiff(FULL, FULL, FULL, FULL);
}
