// Screen "chapter6": its layers, bottom first.
#include <qor>

main()
{
    addLayer("kv_layer_ch6_back.o");
    addLayer("kv_layer_ch6_scene.o");
    addLayer("kv_layer_ch6_front.o");
}
