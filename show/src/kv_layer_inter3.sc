// Interlude three: tiles, and a panel whose material is rebuilt by a material script (relief
// from the height map, in two passes), before chapter six.
#include "inter.inc"

main()
{
    interBackground("tiles", 110, 120, 140);
    interPanel();
    addMaterial("panel");
    replaceMaterial("panel", "kv_mat_relief.o");
    interTitle("chapter six", "a blob, a fountain, a bumpy floor");
}
