// pelisto-build: makes a slideshow from the command line with the same conversion and builder
// as the window. It never waits for a person: every report goes to stderr.
#include "app/build_names.h"
#include "app/build_options.h"
#include "app/build_reporting.h"
#include "app/code_signing.h"
#include "app/jpeg_converter.h"
#include "app/picture_sizes.h"
#include "app/signal_cleanup.h"
#include "app/slideshow_builder.h"
#include "framework/application.h"
#include "framework/exceptions.h"
#include "framework/graphics/magick_startup.h"
#include "framework/memory_reuse.h"
#include "language/main_window_words.h"
#include "picture/jpeg_image.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <memory>
#include <optional>
#include <sys/stat.h>

namespace {

using namespace pelisto::build;

// The private folder of the scratch JPEGs and of GraphicsMagick's type map (several builds may
// run at once). An interrupt removes it too.
class ScratchFolder {
public:
    ScratchFolder() {
        pelisto::TerminationHeld held;
        if (dir_.isValid()) {
            pelisto::RemoveOnSignal(dir_.path());
        }
    }
    ~ScratchFolder() {
        if (dir_.isValid()) {
            dir_.remove();
            pelisto::ForgetOnSignal(dir_.path());
        }
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const QTemporaryDir& Dir() const { return dir_; }

private:
    QTemporaryDir dir_;
};

// Tells the number of library warnings however the build ends.
struct WarningSummaryAtEnd {
    ~WarningSummaryAtEnd() { PrintWarningSummary(); }
};

// A worker that names its picture in a fault's message.
class NamingWorker final : public pelisto::PictureWorker {
public:
    explicit NamingWorker(std::unique_ptr<pelisto::PictureWorker> inner)
        : inner_(std::move(inner)) {}
    QString Convert(const QString& picture, const QString& folder) override {
        SetCurrentPicture(picture);
        const QString jpeg = inner_->Convert(picture, folder);
        SetCurrentPicture({});
        return jpeg;
    }

private:
    std::unique_ptr<pelisto::PictureWorker> inner_;
};

pelisto::PictureWorkerFactory NamingWorkers(pelisto::PictureWorkerFactory make) {
    return [make] { return std::make_unique<NamingWorker>(make()); };
}

int Fail(const QString& message) {
    PrintError(message);
    return 1;
}

int Fail(const QString& before, const QByteArray& name, const QString& after = {}) {
    PrintNamedError(before, name, after);
    return 1;
}

// Why the name cannot be read as a picture, or empty.
QString NotAFile(const QByteArray& name) {
    struct stat st {};
    if (::stat(name.constData(), &st) != 0) {
        return QStringLiteral(": no such file");
    }
    if (S_ISDIR(st.st_mode)) {
        return QStringLiteral(": is a folder, not a picture");
    }
    return S_ISREG(st.st_mode) ? QString() : QStringLiteral(": not a file");
}

// The signing asked for, or the message that refuses it; checked before anything is built.
std::optional<pelisto::CodeSigning> Signing(const BuildOptions& o, pelisto::SlideshowTarget kind,
                                            QString& refusal) {
    if (o.signCertificate.isEmpty()) {
        return std::nullopt;
    }
    if (kind != pelisto::SlideshowTarget::Windows) {
        refusal = QStringLiteral("--sign signs Windows programs only");
        return std::nullopt;
    }
    pelisto::CodeSigning signing{
        QFile::decodeName(AbsoluteBytes(o.signCertificate)), {}, QFile::decodeName(o.timestampUrl)};
    if (!o.signPasswordFile.isEmpty()) {
        QFile file(QFile::decodeName(AbsoluteBytes(o.signPasswordFile)));
        if (!file.open(QIODevice::ReadOnly)) {
            refusal = QStringLiteral("cannot read the password file %1: %2")
                          .arg(file.fileName(), file.errorString());
            return std::nullopt;
        }
        signing.password = pelisto::PasswordFromFile(file.readAll());
    }
    refusal = pelisto::SigningUnavailable(signing);
    return signing;
}

// Each picture's own caption from the caption file, one line each (a line end on the last one
// is allowed); the message that refuses it in `refusal`.
QStringList OwnCaptions(const BuildOptions& o, QString& refusal) {
    if (o.captionFile.isEmpty()) {
        return {};
    }
    QFile file(QFile::decodeName(AbsoluteBytes(o.captionFile)));
    if (!file.open(QIODevice::ReadOnly)) {
        refusal = QStringLiteral("cannot read the caption file %1: %2")
                      .arg(file.fileName(), file.errorString());
        return {};
    }
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.back().isEmpty()) {
        lines.removeLast();
    }
    if (lines.size() > static_cast<qsizetype>(o.pictures.size())) {
        refusal = QStringLiteral("the caption file %1 has %2 lines for %3 pictures")
                      .arg(file.fileName())
                      .arg(lines.size())
                      .arg(o.pictures.size());
    }
    return lines;
}

int Build(const BuildOptions& o, const ScratchFolder& scratch) {
    WarningSummaryAtEnd summary;
    std::vector<QByteArray> pictures;
    for (const QByteArray& given : o.pictures) {
        pictures.push_back(AbsoluteBytes(given));
        if (const QString why = NotAFile(pictures.back()); !why.isEmpty()) {
            return Fail({}, pictures.back(), why);
        }
    }
    const QByteArray output = AbsoluteBytes(o.output);
    const pelisto::SlideshowTarget kind =
        o.target.value_or(pelisto::TargetForOutputName(QFile::decodeName(output)));
    const bool page = kind == pelisto::SlideshowTarget::Web;
    const bool video = kind == pelisto::SlideshowTarget::Video;
    const QString stub = pelisto::ExecutableFolder() + pelisto::StubFileName(kind);
    if (!page && !video && !QFileInfo(stub).isFile()) {
        return Fail(QStringLiteral("the viewer stub %1 is missing").arg(stub));
    }
    QString refusal;
    const auto signing = Signing(o, kind, refusal);
    if (!refusal.isEmpty()) {
        return Fail(refusal);
    }
    const QStringList ownCaptions = OwnCaptions(o, refusal);
    if (!refusal.isEmpty()) {
        return Fail(refusal);
    }
    if (!scratch.Dir().isValid()) {
        return Fail(
            QStringLiteral("cannot make a scratch folder: %1").arg(scratch.Dir().errorString()));
    }

    // Names Qt cannot hold are reached through links in the scratch folder.
    NameLinks links(scratch.Dir().path());
    QStringList working;
    for (const QByteArray& p : pictures) {
        working << links.WorkingName(p);
        if (working.back().isEmpty()) {
            return Fail({}, p, QStringLiteral(": cannot be reached by its name"));
        }
    }
    if (o.sort) {
        QStringList shown;
        for (const QByteArray& p : pictures) {
            shown << QFile::decodeName(p);
        }
        QStringList sorted;
        for (const int i : pelisto::OrderOfPictures(shown, working, *o.sort)) {
            sorted << working[i];
        }
        working = sorted;
    }
    // The output is made by its bytes; messages name it as given.
    ShowNameAs(QFile::decodeName(output), output);

    pelisto::SlideshowSettings settings;
    settings.automatic = o.automatic;
    settings.delaySeconds = static_cast<double>(o.delay);
    settings.play = o.play;
    if (o.caption != pelisto::CaptionKind::None) {
        for (qsizetype i = 0; i < working.size(); ++i) {
            settings.captions.push_back(pelisto::CaptionText(
                o.caption, working[i], QFile::decodeName(pictures[static_cast<std::size_t>(i)]),
                ownCaptions.value(i).remove(QLatin1Char('\r'))));
        }
    }
    const int jobs = o.jobs > 0 ? static_cast<int>(o.jobs) : pelisto::DefaultWorkerCount();
    const pelisto::PictureConversion made =
        pelisto::PictureConversionFor(kind, static_cast<int>(o.quality), o.fitWidth, o.fitHeight);
    try {
        // What the libraries print themselves is caught for the whole conversion: descriptors 1
        // and 2 belong to the process, not to one picture's thread.
        const LibraryMessagesCaught caught(
            scratch.Dir().filePath(QStringLiteral("library-messages.txt")));
        const QString jpegs = scratch.Dir().filePath(QStringLiteral("jpegs"));
        const pelisto::PictureWorkerFactory workers =
            NamingWorkers(pelisto::JpegWorkerFactory(made.quality, made.width, made.height));
        const pelisto::BuildProgress progress = [](int index, int count, const QString& picture) {
            PrintLine(QStringLiteral("[%1/%2] %3").arg(index + 1).arg(count).arg(picture));
        };
        if (video) {
            pelisto::BuildVideoFileAt(output, working, settings, {made.width, made.height},
                                      static_cast<int>(o.quality), jobs, jpegs, workers, progress);
        } else if (page) {
            // The tool's language is English; the title is the name as given.
            const pelisto::WebPageWords words{QStringLiteral("en"),
                                              {pelisto::MainWindowWord(QStringLiteral("@113"), 1),
                                               pelisto::MainWindowWord(QStringLiteral("@114"), 1)},
                                              QFileInfo(QFile::decodeName(output)).fileName()};
            pelisto::BuildSlideshowFileAt(output, words, working, settings, jobs, jpegs, workers,
                                          progress);
        } else {
            pelisto::ProgramSigner sign;
            if (signing) {
                sign = [&](const QString& in, const QString& out) {
                    PrintLine(QStringLiteral("signing with %1").arg(signing->certificate));
                    pelisto::SignProgram(*signing, in, out);
                };
            }
            pelisto::BuildSlideshowFileAt(output, stub, working, settings, jobs, jpegs, workers,
                                          progress, sign);
        }
    } catch (const pelisto::Exception& e) {
        return Fail(e.message());
    } catch (const std::exception& e) {
        return Fail(QString::fromLocal8Bit(e.what()));
    }
    PrintLine(QStringLiteral("wrote %1").arg(QFile::decodeName(output)));
    struct stat written {};
    const QString tooLarge =
        ::stat(output.constData(), &written) == 0
            ? pelisto::MailSizeWarning(written.st_size, made.width, made.height)
            : QString();
    if (!tooLarge.isEmpty()) {
        PrintError(tooLarge);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    pelisto::KeepFreedPictureMemory();
    // Only this thread takes the terminating signals; Qt's threads start with them blocked.
    pelisto::BlockTerminationSignals();
    // A reader of the progress lines that goes away (| head) must not end the build half way.
    std::signal(SIGPIPE, SIG_IGN);
    // The arguments are taken as bytes, before Qt reads any of them as options or as text.
    const std::vector<QByteArray> args(argv + 1, argv + argc);
    // Nothing is ever shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The environment is set and the picture library started while this is the only thread.
    const ScratchFolder scratch;
    // Qt warns on every run without a runtime folder of this user's own (cron, su); the private
    // scratch folder serves, as nothing here outlives the run.
    if (scratch.Dir().isValid()) {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(scratch.Dir().path()));
    }
    pelisto::StartMagick(scratch.Dir().isValid() ? scratch.Dir().path() : QString());
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    pelisto::Application app(qtArgc, qtArgv);
    ReportToTerminal();
    if (!pelisto::InstallSignalCleanup()) {
        PrintError(QStringLiteral("cannot start the thread that cleans up after an interrupt"));
        return 1;
    }
    pelisto::RegisterJPEGGraphic();

    const ParsedCommandLine parsed = ParseCommandLine(args);
    if (!parsed.options) {
        return parsed.exitStatus;
    }
    return Build(*parsed.options, scratch);
}
