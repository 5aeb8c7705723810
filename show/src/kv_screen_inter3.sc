// Screen "inter3": its layers, bottom first.
#include <qor>

main()
{
    addLayer("kv_layer_inter3.o");
    addLayer("kv_layer_vignette.o");
}
