// Chapter four, background: the nebula's six faces laid out as a turning strip.
#include "show.inc"

main()
{
    setVP(0, 0, ONE, ONE);
    setFrameBufferClear(CLEAR_ON);
    setZBufferClear(CLEAR_ON);
    new const faces[6][8] = {"sky_px", "sky_nz", "sky_nx", "sky_pz", "sky_py", "sky_ny"};
    for (new i = 0; i < 6; i++)
    {
        texQuad("face", faces[i], 0, 0, 760, ONE + 20);
        // Half a texel in from each edge (255 / 256 of the face about its centre): filtering at
        // the very edge would blend in the opposite edge of the face and draw a seam.
        setUVScale(996, 996);
        // Four faces side by side, sliding left: one face width every 8 seconds.
        addKey_pos(0, (i - 1) * 750, 0);
        addKey_pos(1190, (i - 1) * 750 - 1250, 0);
        lastKey_pos();
        fadeKeys(0, 40, 0, 0, 200, 200, 220);
    }
}
