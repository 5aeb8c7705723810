// Screen "chapter7": its layers, bottom first.
#include <qor>

main()
{
    addLayer("kv_layer_ch7_back.o");
    addLayer("kv_layer_ch7_spider.o");
    addLayer("kv_layer_ch7_wuson.o");
    addLayer("kv_layer_ch7_front.o");
}
