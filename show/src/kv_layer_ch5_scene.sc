// Chapter 5, the 3D scene "tentacle" (written by qor-gen-scenes), over the background layer.
#include "show.inc"

main()
{
    setVP(0, 0, ONE, ONE);
    setZBufferClear(CLEAR_ON);
    loadScene("scenes/tentacle.s3d", "chapter 5");
}
