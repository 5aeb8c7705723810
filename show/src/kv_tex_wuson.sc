// A layer drawn into a texture: the second imported model (Wuson) on its turning stage, its
// plain material rebuilt as chrome by a material script.
#include "show.inc"

main()
{
    setVP(0, 0, ONE, ONE);
    setFrameBufferClear(CLEAR_ON);
    setZBufferClear(CLEAR_ON);
    loadScene("scenes/wuson.s3d", "WusonOBJ.obj from assimp-testmodels");
    replaceMaterial("wuson_DefaultMaterial", "kv_mat_chrome.o");
}
