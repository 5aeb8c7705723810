// Screen "theend": its layers, bottom first.
#include <qor>

main()
{
    addLayer("kv_layer_theend.o");
}
