#include "app/main_window.h"
#include "app/signal_cleanup.h"
#include "framework/application.h"
#include "framework/memory_reuse.h"
#include "picture/codec_library.h"
#include "picture/jpeg_image.h"
#include "test_show/test_window.h"

int main(int argc, char** argv) {
    pelisto::KeepFreedPictureMemory();
    // An interrupted save leaves neither its partial file nor a scratch folder.
    pelisto::InstallSignalCleanupHandlers();
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
