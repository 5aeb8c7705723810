// Screen "endscroll": its layers, bottom first.
#include <qor>

main()
{
    addLayer("kv_layer_end_back.o");
    addLayer("kv_layer_end_text.o");
    addLayer("kv_layer_vignette.o");
}
