// Intro, third layer: twelve lights circling the centre on their own orbits, brighter with the
// hi-hats' entry.
#include "show.inc"

new const kCos[12] = {1000, 866, 500, 0, -500, -866, -1000, -866, -500, 0, 500, 866};
new const kSin[12] = {0, 500, 866, 1000, 866, 500, 0, -500, -866, -1000, -866, -500};

main()
{
    setVP(0, 0, ONE, ONE);
    for (new i = 0; i < 12; i++)
    {
        if (i == 0)
            alphaQuad("light", "glow", "glow_alpha", 0, 0, 120, 160, DRAW_ADDALPHA);
        else
            texQuad("light", "glow", 0, 0, 120, 160, DRAW_ADDALPHA);
        // Orbits of radius 350 x 300, each light a twelfth of a turn ahead, one turn in 3.2 s
        // (a key every twelfth of a turn).
        for (new k = 0; k <= 120; k++)
        {
            new j = (i + k) % 12;
            new radius = 150 + 200 * k / 120;
            addKey_pos(k * 8, kCos[j] * radius / 1000, kSin[j] * radius * 4 / 3 / 1000);
        }
        lastKey_pos();
        addKey_scale(0, 60, 80);
        addKey_scale(600, 150, 200);
        addKey_scale(890, 60, 80);
        lastKey_scale();
        fadeKeys(120 + i * 15, 90, 820, 60, FULL, 200 - i * 8, 120 + i * 10);
    }
}
