// Chapter 4, the 3D scene "machine" (written by qor-gen-scenes), over the background layer; its
// deck gets the projected plasma of a material script.
#include "show.inc"

main()
{
    setVP(0, 0, ONE, ONE);
    setZBufferClear(CLEAR_ON);
    loadScene("scenes/machine.s3d", "chapter 4");
    replaceMaterial("Deck", "kv_mat_deck.o");
}
