#include "app/slideshow_builder.h"

#include "app/signal_cleanup.h"
#include "framework/exceptions.h"
#include "framework/file_stream.h"
#include "framework/nearest.h"
#include "framework/replace_file.h"
#include "slideshow/slideshow_error.h"
#include "slideshow/slideshow_format.h"

#include <optional>

namespace pelisto {

namespace {

// A file beside the target that disappears unless it is committed over the target; an
// interrupted build removes it too.
class PendingOutput {
public:
    explicit PendingOutput(const QString& target) : target_(target) {
        // Made and registered as one step: an interrupted build removes it.
        TerminationHeld held;
        replace_.emplace(target, ReplaceFile::Kind::Program);
        if (!replace_->ok()) {
            replace_->Raise();
        }
        if (!replace_->direct()) {
            RemoveOnSignal(replace_->writePath());
        }
    }
    ~PendingOutput() {
        TerminationHeld held;
        if (replace_ && replace_->ok() && !replace_->direct()) {
            ForgetOnSignal(replace_->writePath());
        }
        replace_.reset();
    }
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    const QString& Path() const { return replace_->writePath(); }

    void Commit() {
        TerminationHeld held;
        if (!replace_->Commit()) {
            throw EFCreateError(target_);
        }
        if (!replace_->direct()) {
            ForgetOnSignal(replace_->writePath());
        }
    }

private:
    QString target_;
    std::optional<ReplaceFile> replace_;
};

std::uint16_t DelayField(double seconds) {
    return static_cast<std::uint16_t>(Nearest(static_cast<long double>(seconds)) & 0xFFFF);
}

} // namespace

QString StubFileName(SlideshowTarget target) {
    return target == SlideshowTarget::Windows ? QStringLiteral("TheExe.exe")
                                              : QStringLiteral("TheExe.run");
}

SlideshowTarget TargetForOutputName(const QString& outputPath) {
    return outputPath.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive)
               ? SlideshowTarget::Windows
               : SlideshowTarget::Linux;
}

namespace {

// Picture index's JPEG, asked for in list order.
using JpegSource = std::function<QString(int index)>;
// Starts the conversions once the output is open, and gives their JPEGs.
using JpegSourceStart = std::function<JpegSource()>;

void Build(const QString& outputPath, const QString& stubPath, const QStringList& pictures,
           const SlideshowSettings& settings, const JpegSourceStart& start,
           const BuildProgress& progress, const std::atomic<bool>* cancel) {
    const auto checkCancel = [cancel] {
        if (cancel != nullptr && cancel->load()) {
            throw EAbort();
        }
    };
    FileStream stub(stubPath, FileStream::Mode::OpenRead);
    const std::int64_t stubSize = stub.Size();

    PendingOutput pending(outputPath);
    FileStream out(pending.Path(), FileStream::Mode::Create);
    try {
        out.CopyFrom(stub, 0);
        SlideshowWriter writer(static_cast<std::uint64_t>(stubSize));
        const JpegSource jpegOf = start();
        const int count = static_cast<int>(pictures.size());
        for (int i = 0; i < count; ++i) {
            checkCancel();
            if (progress) {
                progress(i, count, pictures[i]);
            }
            const QString jpeg = jpegOf(i);
            FileStream picture(jpeg, FileStream::Mode::OpenRead);
            const std::int64_t length = picture.Size();
            out.CopyFrom(picture, 0);
            writer.AddPicture(static_cast<std::uint64_t>(length));
        }
        const auto trailer = writer.Trailer(settings.automatic, DelayField(settings.delaySeconds));
        out.WriteBuffer(trailer.data(), trailer.size());
        out.Close();
    } catch (const SlideshowError& e) {
        throw Exception(QString::fromStdString(e.what()));
    }
    checkCancel();
    pending.Commit();
}

} // namespace

void BuildSlideshowFile(const QString& outputPath, const QString& stubPath,
                        const QStringList& pictures, const SlideshowSettings& settings,
                        const PictureConverter& convert, const BuildProgress& progress) {
    Build(
        outputPath, stubPath, pictures, settings,
        [&]() -> JpegSource { return [&](int index) { return convert(pictures[index]); }; },
        progress, nullptr);
}

void BuildSlideshowFile(const QString& outputPath, const QString& stubPath,
                        const QStringList& pictures, const SlideshowSettings& settings, int workers,
                        const QString& scratchFolder, const PictureWorkerFactory& factory,
                        const BuildProgress& progress, const std::atomic<bool>* cancel) {
    std::unique_ptr<ParallelConversion> conversion;
    Build(
        outputPath, stubPath, pictures, settings,
        [&]() -> JpegSource {
            conversion = std::make_unique<ParallelConversion>(pictures, workers, scratchFolder,
                                                              factory, cancel);
            return [&](int index) { return conversion->Take(index); };
        },
        progress, cancel);
}

} // namespace pelisto
