// Screen "inter4": its layers, bottom first.
#include <qor>

main()
{
    addLayer("kv_layer_inter4.o");
    addLayer("kv_layer_vignette.o");
}
