// Material script: a lit, untextured blue paint. The lights give the colour: each channel is
// the diffuse colour times the light falling on the face, nothing is emitted or ambient.
#include <qor>

main()
{
    addPass();
    setBlend(BLEND_ONE, BLEND_ZERO);
    setZCmp(CMP_LESSEQUAL);
    setZWrite(1);
    addStage();
    setCombiner(TEXARG_DIFFUSE, TEXOP_SELECTARG1, TEXARG_DIFFUSE);
    setAlphaCombiner(TEXARG_DIFFUSE, TEXOP_SELECTARG1, TEXARG_DIFFUSE);
    setMatDiff(40, 90, 255, FULL);
    setMatAmbi(0, 0, 0, FULL);
    setMatSpec(0, 0, 0, FULL);
    setMatEmis(0, 0, 0, FULL);
    setMatPropSrc(MATSRC_MATERIAL, MATSRC_MATERIAL, MATSRC_MATERIAL, MATSRC_MATERIAL);
}
