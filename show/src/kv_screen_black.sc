// Screen "black": its layers, bottom first.
#include <qor>

main()
{
    addLayer("kv_layer_black.o");
}
