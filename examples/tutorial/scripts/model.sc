// Screen two: the imported model.
#include <qor>

main()
{
    addLayer("cube_layer.o");
}
