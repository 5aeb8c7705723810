// Short names used throughout the engine's signatures.
#pragma once

#include <cstdint>

typedef const char cchar;
typedef unsigned int uint;
typedef const unsigned int cuint;
typedef const float cfloat;
typedef unsigned char uchar;
