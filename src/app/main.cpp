#include "app/main_window.h"
#include "app/signal_cleanup.h"
#include "framework/application.h"
#include "framework/graphics/magick_startup.h"
#include "framework/memory_reuse.h"
#include "picture/codec_library.h"
#include "picture/jpeg_image.h"
#include "test_show/test_window.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <optional>
#include <string_view>

namespace {

// --help and --version are answered before anything needs a display.
std::optional<int> AnsweredWithoutWindow(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        if (arg == "--") {
            break;
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs("Usage: pelisto-maker [PICTURE...]\n"
                       "Opens the Pelisto maker window; the pictures (or folders of pictures)\n"
                       "named join its list in the order given.\n"
                       "  --help     print this help and exit\n"
                       "  --version  print the version and exit\n",
                       stdout);
            return 0;
        }
        if (arg == "--version") {
            std::fputs("pelisto-maker " PELISTO_MAKER_VERSION "\n", stdout);
            return 0;
        }
    }
    return std::nullopt;
}

// The arguments Qt left: every one is a picture or a folder, "--" aside.
QStringList NamedPictures(const QStringList& arguments) {
    QStringList named;
    bool options = true;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (options && arguments[i] == QLatin1String("--")) {
            options = false;
            continue;
        }
        named << QFileInfo(arguments[i]).absoluteFilePath();
    }
    return named;
}

} // namespace

int main(int argc, char** argv) {
    if (const auto answered = AnsweredWithoutWindow(argc, argv)) {
        return *answered;
    }
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
    // As "Open with" from a file manager: the named pictures join the list.
    if (const QStringList named = NamedPictures(app.arguments()); !named.isEmpty()) {
        pelisto::Guarded([&] { form1.AddNamedPictures(named); });
    }
    return app.exec();
}
