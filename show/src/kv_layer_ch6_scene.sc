// Chapter 6, the 3D scene "blob" (written by qor-gen-scenes), over the background layer.
#include "show.inc"

main()
{
    setVP(0, 0, ONE, ONE);
    setZBufferClear(CLEAR_ON);
    loadScene("scenes/blob.s3d", "chapter 6");
}
