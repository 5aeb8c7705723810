// Screen "chapter5": its layers, bottom first.
#include <qor>

main()
{
    addLayer("kv_layer_ch5_back.o");
    addLayer("kv_layer_ch5_scene.o");
    addLayer("kv_layer_ch5_front.o");
}
