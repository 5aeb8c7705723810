// Chapter five, front: title, flares, vignette, fade out.
#include "chapter.inc"

main()
{
    setVP(0, 0, ONE, ONE);
    chapterFlares(6, 1570, 58, 120, 200, FULL);
    chapterTitle("chapter five", "the tentacle");
    chapterEnd(1570, 30);
}
