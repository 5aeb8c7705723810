#include "qor_dispTestEnv.h"
