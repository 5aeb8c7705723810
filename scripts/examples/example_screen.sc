// A screen script: the layers of one screen, bottom first, by their compiled names.
#include <qor>

main()
{
    addLayer("example_layer.o");
}
