// Screen one: a single layer.
#include <qor>

main()
{
    addLayer("slide.o");
}
