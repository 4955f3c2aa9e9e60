#include "framework/application.h"
#include "framework/graphics/magick_startup.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// What the tool remembers between runs goes to a folder of the run's own, never the user's, and
// each test starts as on a first run, whatever the tests before it left there.
class FreshSettings : public ::testing::EmptyTestEventListener {
public:
    FreshSettings() {
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config_.path());
    }
    void OnTestStart(const ::testing::TestInfo&) override {
        QDir(config_.path()).removeRecursively();
        QDir().mkpath(config_.path());
    }

private:
    QTemporaryDir config_;
};

} // namespace

// Widget tests need an application object; they run on the offscreen platform. It is the
// tool's own application class, so exceptions leaving handlers behave as in the tool.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // As the programs do, before any thread starts.
    const QTemporaryDir libraryFolder;
    pelisto::StartMagick(libraryFolder.path());
    pelisto::Application app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshSettings);
    return RUN_ALL_TESTS();
}
