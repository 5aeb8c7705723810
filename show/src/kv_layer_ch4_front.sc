// Chapter four, front.
#include "chapter.inc"

main()
{
    setVP(0, 0, ONE, ONE);
    chapterFlares(6, 1190, 55, FULL, 220, 160);
    chapterTitle("chapter four", "a machine of parts, a free camera");
    chapterEnd(1190, 30);
}
