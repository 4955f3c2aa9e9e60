#include "framework/application.h"

#include <gtest/gtest.h>

// Widget tests need an application object; they run on the offscreen platform. It is the
// tool's own application class, so exceptions leaving handlers behave as in the tool.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    pelisto::Application app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
