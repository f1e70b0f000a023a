// The main of a test that needs the runtime's GUI application around it.
#include <gtest/gtest.h>

#include "platform/rbframework/gui/application.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    rb::RuntimeInit(argc, argv);
    int result = RUN_ALL_TESTS();
    rb::RuntimeExit();
    return result;
}
