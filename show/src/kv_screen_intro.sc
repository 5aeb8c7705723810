// Screen "intro": its layers, bottom first.
#include <qor>

main()
{
    addLayer("kv_layer_intro_sky.o");
    addLayer("kv_layer_intro_plasma.o");
    addLayer("kv_layer_intro_glows.o");
    addLayer("kv_layer_intro_title.o");
}
