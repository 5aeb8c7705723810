// Screen "dask": its layers, bottom first.
#include <qor>

main()
{
    addLayer("kv_layer_dask_tunnel.o");
    addLayer("kv_layer_dask_logo.o");
    addLayer("kv_layer_vignette.o");
}
