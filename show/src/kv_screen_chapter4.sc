// Screen "chapter4": its layers, bottom first.
#include <qor>

main()
{
    addLayer("kv_layer_ch4_back.o");
    addLayer("kv_layer_ch4_scene.o");
    addLayer("kv_layer_ch4_front.o");
}
