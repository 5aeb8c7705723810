// The cube of models/cube.obj, seen by the camera and lit by the lights the import gave it;
// its material "paint" is rebuilt by the material script paint.sc.
#include <qor>

main()
{
    setVP(0, 0, ONE, ONE);
    setFrameBufferClear(CLEAR_ON);
    setZBufferClear(CLEAR_ON);
    loadScene("scenes/cube.s3d", "the tutorial's cube");
    replaceMaterial("paint", "paint.o");
}
