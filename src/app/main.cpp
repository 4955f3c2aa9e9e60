#include "app/main_window.h"
#include "app/signal_cleanup.h"
#include "framework/application.h"
#include "framework/graphics/magick_startup.h"
#include "framework/memory_reuse.h"
#include "picture/codec_library.h"
#include "picture/jpeg_image.h"
#include "test_show/test_window.h"

#include <QDir>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    pelisto::KeepFreedPictureMemory();
    // An interrupted save leaves neither its partial file nor a scratch folder.
    pelisto::InstallSignalCleanupHandlers();
    // The picture library is started, and its environment set, while this is the only thread;
    // its type map lives in a private folder of this run.
    const QTemporaryDir libraryFolder(QDir::tempPath() + QStringLiteral("/pelisto-maker-XXXXXX"));
    if (libraryFolder.isValid()) {
        pelisto::RemoveOnSignal(libraryFolder.path());
    }
    pelisto::StartMagick(libraryFolder.isValid() ? libraryFolder.path() : QString());
    pelisto::Application app(argc, argv);
    pelisto::SetApplicationTitle(QStringLiteral("Pelisto maker"));
    pelisto::RegisterJPEGGraphic();
    pelisto::RecordTwainAppName();

    pelisto::TForm1 form1;
    pelisto::TForm2 form2(&form1);
    form1.SetTestWindow(&form2);
    form1.show();
    return app.exec();
}
