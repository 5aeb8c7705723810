// Test entry: dialogs never block a test run.
#include <gtest/gtest.h>

#include "qor_cErrorHandler.h"

int main(int argc, char ** argv)
{
    qoru_setDialogsEnabled(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
