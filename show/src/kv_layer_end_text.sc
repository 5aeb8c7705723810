// End scroll: the credits, one quad per character, rising through the screen.
#include "show.inc"

#pragma dynamic 8192

line(i, const s[], px = 22, r = 230, g = 235, b = FULL)
{
    scrollText(s, px, 40 + i * 48, 330, r, g, b);
}

main()
{
    setVP(0, 0, ONE, ONE);
    line(0, "dask 243", 34, FULL, 200, 120);
    line(1, "a show of the qor engine", 20);
    line(3, "everything you saw was made", 20);
    line(4, "by the project's own programs", 20);
    line(5, "textures  -  noise, marble, metal, plasma", 18, 180, 220, FULL);
    line(6, "font  -  DejaVu Sans Bold through FreeType", 18, 180, 220, FULL);
    line(7, "music  -  synthesised, encoded with LAME", 18, 180, 220, FULL);
    line(8, "scenes  -  written by qor-gen-scenes", 18, 180, 220, FULL);
    line(9, "models  -  imported with qor-import", 18, 180, 220, FULL);
    line(11, "scripts compiled by qor-sc", 20);
    line(12, "packed by qor-pack", 20);
    line(13, "played by qor-player", 20);
    line(15, "thanks for watching", 28, FULL, 200, 120);
}
