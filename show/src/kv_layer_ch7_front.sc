// Chapter seven, front.
#include "chapter.inc"

main()
{
    setVP(0, 0, ONE, ONE);
    chapterFlares(5, 1055, 60, FULL, 180, 100);
    chapterTitle("chapter seven", "imported models");
    chapterEnd(1055, 30);
}
