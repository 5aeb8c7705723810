// A material script: one opaque pass showing an animation of ten images,
// maps/example_flame_001.jpg to maps/example_flame_010.jpg, once through in one second.
#include <qor>

main()
{
    addPass();
    setBlend(BLEND_ONE, BLEND_ZERO);
    addStage();
    loadAnim("example_flame", 10);
    addKey_texture(0, 0);
    addKey_texture(FRAMES_PER_SECOND, 9);      // frame floor(9 t / 30) at frame time t
    lastKey_texture();
    endMode_texture(END_HOLD);
    setCombiner(TEXARG_TEXTURE, TEXOP_SELECTARG1, TEXARG_DIFFUSE);
}
