// Chapter 4, the 3D scene "machine" (written by qor-gen-scenes), over the background layer.
#include "show.inc"

main()
{
    setVP(0, 0, ONE, ONE);
    setZBufferClear(CLEAR_ON);
    loadScene("scenes/machine.s3d", "chapter 4");
}
