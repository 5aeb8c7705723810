// Screen "loading": its layers, bottom first.
#include <qor>

main()
{
    addLayer("kv_layer_loading.o");
}
