// Screen "inter1": its layers, bottom first.
#include <qor>

main()
{
    addLayer("kv_layer_inter1.o");
    addLayer("kv_layer_vignette.o");
}
