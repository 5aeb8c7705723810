// Chapter six, front.
#include "chapter.inc"

main()
{
    setVP(0, 0, ONE, ONE);
    chapterFlares(6, 980, 48, 140, FULL, 200);
    chapterTitle("chapter six", "morph and fountain");
    chapterEnd(980, 30);
}
