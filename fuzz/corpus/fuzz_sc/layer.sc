#include <qor>

main()
{
    setVP(0, 0, ONE, ONE);
    setZBufferClear(CLEAR_ON);
    setFrameBufferClear(true);
    addQuad();
    setPos(500, -250);
    setScale(ONE, ONE);
    for (new t = 0; t <= 60; t += 30)
        addKey_uvrot(t, HALF_PI * t / 30);
    lastKey_uvrot();
    addMaterial("flare");
    addPass();
    setBlend(BLEND_ONE, BLEND_ONE);
    setZWrite(0);
    addStage();
    loadTexture("textures/flare.jpg");
    setCombiner(TEXARG_TEXTURE, TEXOP_MODULATE, TEXARG_DIFFUSE);
    setMatDiff(255, 128, 0, FULL);
    addKey_diffuse(0, 255, 255, 255, 255);
    addKey_diffuse(FRAMES_PER_SECOND, qor_rand(0, 256), 0, 0, 255);
    lastKey_diffuse();
}
