// Screen "inter2": its layers, bottom first.
#include <qor>

main()
{
    addLayer("kv_layer_inter2.o");
    addLayer("kv_layer_vignette.o");
}
