#include "app/slideshow_builder.h"

#include "app/signal_cleanup.h"
#include "framework/exceptions.h"
#include "framework/file_stream.h"
#include "framework/nearest.h"
#include "framework/replace_file.h"
#include "slideshow/slideshow_error.h"
#include "slideshow/slideshow_format.h"
#include "video/video_encoder.h"
#include "video/video_frames.h"
#include "web/web_page.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <random>
#include <unistd.h>

namespace pelisto {

namespace {

// A file beside the target that disappears unless it is committed over the target; an
// interrupted build removes it too. The target is a name the user gave or, when `absolute` is
// not empty, an absolute name in bytes.
class PendingOutput {
public:
    PendingOutput(const QString& target, const QByteArray& absolute, ReplaceFile::Kind kind)
        : target_(target) {
        // Made and registered as one step: an interrupted build removes it.
        TerminationHeld held;
        if (absolute.isEmpty()) {
            replace_.emplace(target, kind);
        } else {
            replace_.emplace(absolute, kind);
        }
        if (!replace_->ok()) {
            replace_->Raise();
        }
        if (!replace_->direct()) {
            RemoveOnSignal(replace_->writtenName());
        }
    }
    ~PendingOutput() {
        TerminationHeld held;
        if (replace_ && replace_->ok() && !replace_->direct()) {
            ForgetOnSignal(replace_->writtenName());
        }
        replace_.reset();
    }
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    int Descriptor() const { return replace_->descriptor(); }
    bool Direct() const { return replace_->direct(); }

    // The signer reads a copy of the finished file and writes the signed one, both in a private
    // folder; the signed bytes then go back through the open descriptor, so the file that
    // replaces the target is still the one made here.
    void Sign(const ProgramSigner& sign) {
        std::unique_ptr<QTemporaryDir> folder;
        std::optional<RemovedOnSignal> folderGoes;
        {
            TerminationHeld held;
            folder = std::make_unique<QTemporaryDir>();
            if (folder->isValid()) {
                folderGoes.emplace(folder->path());
            }
        }
        if (!folder->isValid()) {
            throw EFCreateError(QDir::tempPath(), folder->errorString());
        }
        const QString unsignedPath = folder->filePath(QStringLiteral("unsigned.exe"));
        const QString signedPath = folder->filePath(QStringLiteral("signed.exe"));
        {
            FileStream written(target_, replace_->descriptor());
            written.Seek(0);
            FileStream copy(unsignedPath, FileStream::Mode::Create);
            copy.CopyFrom(written, 0);
            copy.Close();
        }
        sign(unsignedPath, signedPath);
        FileStream in(signedPath, FileStream::Mode::OpenRead);
        if (::ftruncate(replace_->descriptor(), 0) != 0) {
            throw EWriteError();
        }
        FileStream out(target_, replace_->descriptor());
        out.Seek(0);
        out.CopyFrom(in, 0);
        out.Close();
    }

    void Commit() {
        TerminationHeld held;
        if (!replace_->Commit()) {
            throw EFCreateError(target_, replace_->error());
        }
        if (!replace_->direct()) {
            ForgetOnSignal(replace_->writtenName());
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
    switch (target) {
    case SlideshowTarget::Windows:
        return QStringLiteral("TheExe.exe");
    case SlideshowTarget::Linux:
        return QStringLiteral("TheExe.run");
    case SlideshowTarget::Web:
    case SlideshowTarget::Video:
        break;
    }
    return {};
}

SlideshowTarget TargetForOutputName(const QString& outputPath) {
    const auto endsWith = [&](const char* ext) {
        return outputPath.endsWith(QLatin1String(ext), Qt::CaseInsensitive);
    };
    if (endsWith(".exe")) {
        return SlideshowTarget::Windows;
    }
    if (endsWith(".mp4")) {
        return SlideshowTarget::Video;
    }
    return endsWith(".html") || endsWith(".htm") ? SlideshowTarget::Web : SlideshowTarget::Linux;
}

QString OutputNameFor(const QString& typed, SlideshowTarget selected) {
    for (const char* ext : {".exe", ".run", ".html", ".htm", ".mp4"}) {
        if (typed.endsWith(QLatin1String(ext), Qt::CaseInsensitive)) {
            return typed;
        }
    }
    switch (selected) {
    case SlideshowTarget::Windows:
        return typed + QStringLiteral(".exe");
    case SlideshowTarget::Linux:
        return typed + QStringLiteral(".run");
    case SlideshowTarget::Video:
        return typed + QStringLiteral(".mp4");
    case SlideshowTarget::Web:
        break;
    }
    return typed + QStringLiteral(".html");
}

PictureConversion PictureConversionFor(SlideshowTarget target, int quality, int boxWidth,
                                       int boxHeight) {
    if (target != SlideshowTarget::Video) {
        return {quality, boxWidth, boxHeight};
    }
    const VideoFrameSize frame = VideoFrameFor(boxWidth, boxHeight);
    return {kVideoPictureQuality, frame.width, frame.height};
}

namespace {

// A converted picture's bytes with its playback options put in: the start of the JPEG, changed,
// then the rest of its file as it is.
class PictureBytes {
public:
    PictureBytes(FileStream& jpeg, const PictureOptions& options) : file_(jpeg) {
        const std::int64_t size = file_.Size();
        file_.Seek(0);
        length_ = size;
        fileLeft_ = size;
        if (!options.Any()) {
            return;
        }
        // The segment goes after the JFIF header, which a segment's length bounds.
        std::vector<std::uint8_t> start(
            static_cast<std::size_t>(std::min<std::int64_t>(size, 4 + 0xFFFF)));
        file_.ReadBuffer(start.data(), start.size());
        fileLeft_ -= static_cast<std::int64_t>(start.size());
        head_ = WithPlayOptions(start, options);
        if (head_.empty()) {
            throw Exception(QStringLiteral("%1 is not a JPEG file").arg(jpeg.FileName()));
        }
        length_ += static_cast<std::int64_t>(head_.size() - start.size());
    }
    std::int64_t Length() const { return length_; }
    // Fills `to` with the next bytes, Length() in all (a file that changes meanwhile cannot
    // make it more or less); the last piece may be shorter.
    std::size_t Read(std::span<std::uint8_t> to) {
        const std::size_t n = std::min(to.size(), head_.size() - headAt_);
        std::copy_n(head_.begin() + static_cast<std::ptrdiff_t>(headAt_), n, to.begin());
        headAt_ += n;
        const auto rest = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(to.size() - n), fileLeft_));
        file_.ReadBuffer(to.data() + n, rest);
        fileLeft_ -= static_cast<std::int64_t>(rest);
        return n + rest;
    }

private:
    FileStream& file_;
    std::vector<std::uint8_t> head_;
    std::size_t headAt_ = 0;
    std::int64_t length_ = 0;
    std::int64_t fileLeft_ = 0;
};

// What the converted pictures are written into: a program (the stub, the pictures, the trailer)
// or a web page.
class OutputForm {
public:
    virtual ~OutputForm() = default;
    virtual ReplaceFile::Kind Kind() const = 0;
    virtual void Begin(FileStream& out) = 0;
    virtual void AddPicture(FileStream& out, PictureBytes& jpeg) = 0;
    virtual void End(FileStream& out, const SlideshowSettings& settings) = 0;
};

class ProgramForm final : public OutputForm {
public:
    explicit ProgramForm(const QString& stubPath) : stub_(stubPath, FileStream::Mode::OpenRead) {}
    ReplaceFile::Kind Kind() const override { return ReplaceFile::Kind::Program; }
    void Begin(FileStream& out) override {
        out.CopyFrom(stub_, 0);
        writer_.emplace(static_cast<std::uint64_t>(stub_.Size()));
    }
    void AddPicture(FileStream& out, PictureBytes& jpeg) override {
        std::vector<std::uint8_t> piece(64 * 1024);
        while (const std::size_t n = jpeg.Read(piece)) {
            out.WriteBuffer(piece.data(), n);
        }
        writer_->AddPicture(static_cast<std::uint64_t>(jpeg.Length()));
    }
    void End(FileStream& out, const SlideshowSettings& settings) override {
        const auto trailer =
            writer_->Trailer(settings.automatic, DelayField(settings.delaySeconds));
        out.WriteBuffer(trailer.data(), trailer.size());
    }

private:
    FileStream stub_;
    std::optional<SlideshowWriter> writer_;
};

class PageForm final : public OutputForm {
public:
    PageForm(const QString& outputPath, const WebPageWords& words,
             const SlideshowSettings& settings)
        : page_({words.title.isEmpty() ? QFileInfo(outputPath).fileName() : words.title,
                 words.language, words.hint, settings.automatic, DelayField(settings.delaySeconds),
                 settings.play}) {}
    ReplaceFile::Kind Kind() const override { return ReplaceFile::Kind::Data; }
    void Begin(FileStream& out) override { Write(out, page_.Head()); }
    void AddPicture(FileStream& out, PictureBytes& jpeg) override {
        // Streamed in pieces of whole base64 quanta: a picture is never held whole twice.
        const std::int64_t length = jpeg.Length();
        if (length == 0) {
            throw SlideshowError(SlideshowErrorKind::EmptyPicture, "a picture is empty");
        }
        std::vector<std::uint8_t> piece(WebPageWriter::kPieceSize);
        std::int64_t done = 0;
        while (done < length) {
            const std::size_t n = jpeg.Read(piece);
            if (n == 0) {
                throw EReadError();
            }
            const std::span<const std::uint8_t> bytes(piece.data(), n);
            if (done == 0) {
                Write(out, WebPageWriter::PictureStart(bytes, static_cast<std::uint64_t>(length)));
            }
            Write(out, WebPageWriter::PictureText(bytes));
            done += static_cast<std::int64_t>(n);
        }
        Write(out, WebPageWriter::PictureEnd());
    }
    void End(FileStream& out, const SlideshowSettings&) override { Write(out, page_.Tail()); }

private:
    static void Write(FileStream& out, const QByteArray& bytes) {
        out.WriteBuffer(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }
    WebPageWriter page_;
};

// A video: each picture's frame held for the delay, opened by a crossfade from the one before.
class VideoForm final : public OutputForm {
public:
    VideoForm(const QString& outputPath, const SlideshowSettings& settings, VideoFrameSize frame,
              int quality, const std::atomic<bool>* cancel)
        : name_(outputPath), frame_(frame), rateFactor_(VideoRateFactor(quality)),
          timing_(VideoTimingFor(DelayField(settings.delaySeconds), settings.play.crossfadeMs)),
          cancel_(cancel) {}
    ReplaceFile::Kind Kind() const override { return ReplaceFile::Kind::Data; }
    void Begin(FileStream& out) override {
        encoder_.emplace(out.Descriptor(), name_, frame_, rateFactor_);
    }
    void AddPicture(FileStream&, PictureBytes& jpeg) override {
        const std::int64_t length = jpeg.Length();
        if (length == 0) {
            throw SlideshowError(SlideshowErrorKind::EmptyPicture, "a picture is empty");
        }
        QByteArray bytes(static_cast<qsizetype>(length), Qt::Uninitialized);
        const auto whole = std::span(reinterpret_cast<std::uint8_t*>(bytes.data()),
                                     static_cast<std::size_t>(length));
        if (jpeg.Read(whole) != whole.size()) {
            throw EReadError();
        }
        // The caption rides in the picture as it does for every other player.
        const auto options = ReadPlayOptions(whole);
        const QImage picture = QImage::fromData(bytes, "JPEG");
        if (picture.isNull()) {
            throw Exception(
                QStringLiteral("a converted picture cannot be read back for the video"));
        }
        YuvFrame shown = ComposeFrame(
            picture, options ? QString::fromStdString(options->caption) : QString(), frame_);
        std::int64_t held = timing_.framesPerPicture;
        if (last_ && timing_.fadeFrames > 0) {
            YuvFrame mixed;
            for (std::int64_t k = 0; k < timing_.fadeFrames; ++k) {
                MixFrames(*last_, shown, FadeWeight(k, timing_.fadeFrames), mixed);
                encoder_->Add(mixed, 1, cancel_);
            }
            held -= timing_.fadeFrames;
        }
        encoder_->Add(shown, held, cancel_);
        if (timing_.fadeFrames > 0) {
            last_ = std::move(shown);
        }
    }
    void End(FileStream&, const SlideshowSettings&) override { encoder_->Finish(); }

private:
    QString name_;
    VideoFrameSize frame_;
    int rateFactor_;
    VideoTiming timing_;
    const std::atomic<bool>* cancel_;
    std::optional<VideoEncoder> encoder_;
    std::optional<YuvFrame> last_;
};

// Picture index's JPEG, asked for in list order.
using JpegSource = std::function<QString(int index)>;
// Starts the conversions once the output is open, and gives their JPEGs.
using JpegSourceStart = std::function<JpegSource()>;

// The output is named by outputPath or, when outputBytes is not empty, by those bytes.
void Build(const QString& outputPath, const QByteArray& outputBytes, OutputForm& form,
           const QStringList& pictures, const SlideshowSettings& settings,
           const JpegSourceStart& start, const BuildProgress& progress,
           const std::atomic<bool>* cancel, const ProgramSigner& sign = {}) {
    const auto checkCancel = [cancel] {
        if (cancel != nullptr && cancel->load()) {
            throw EAbort();
        }
    };
    PendingOutput pending(outputPath, outputBytes, form.Kind());
    if (sign && pending.Direct()) {
        throw Exception(
            QStringLiteral("%1 is no regular file and cannot be signed").arg(outputPath));
    }
    FileStream out(outputPath, pending.Descriptor());
    try {
        form.Begin(out);
        const JpegSource jpegOf = start();
        const int count = static_cast<int>(pictures.size());
        for (int i = 0; i < count; ++i) {
            checkCancel();
            if (progress) {
                progress(i, count, pictures[i]);
            }
            const QString jpeg = jpegOf(i);
            FileStream picture(jpeg, FileStream::Mode::OpenRead);
            PictureBytes bytes(picture, settings.OptionsOf(i));
            form.AddPicture(out, bytes);
        }
        form.End(out, settings);
        out.Close();
    } catch (const SlideshowError& e) {
        throw Exception(QString::fromStdString(e.what()));
    }
    if (sign) {
        checkCancel();
        pending.Sign(sign);
    }
    checkCancel();
    pending.Commit();
}

} // namespace

void BuildSlideshowFile(const QString& outputPath, const QString& stubPath,
                        const QStringList& pictures, const SlideshowSettings& settings,
                        const PictureConverter& convert, const BuildProgress& progress) {
    ProgramForm form(stubPath);
    Build(
        outputPath, {}, form, pictures, settings,
        [&]() -> JpegSource { return [&](int index) { return convert(pictures[index]); }; },
        progress, nullptr);
}

namespace {

void BuildInParallel(const QString& outputPath, const QByteArray& outputBytes, OutputForm& form,
                     const QStringList& pictures, const SlideshowSettings& settings, int workers,
                     const QString& scratchFolder, const PictureWorkerFactory& factory,
                     const BuildProgress& progress, const std::atomic<bool>* cancel,
                     const ProgramSigner& sign = {}) {
    std::unique_ptr<ParallelConversion> conversion;
    Build(
        outputPath, outputBytes, form, pictures, settings,
        [&]() -> JpegSource {
            conversion = std::make_unique<ParallelConversion>(pictures, workers, scratchFolder,
                                                              factory, cancel);
            return [&](int index) { return conversion->Take(index); };
        },
        progress, cancel, sign);
}

} // namespace

void BuildSlideshowFile(const QString& outputPath, const QString& stubPath,
                        const QStringList& pictures, const SlideshowSettings& settings, int workers,
                        const QString& scratchFolder, const PictureWorkerFactory& factory,
                        const BuildProgress& progress, const std::atomic<bool>* cancel,
                        const ProgramSigner& sign) {
    ProgramForm form(stubPath);
    BuildInParallel(outputPath, {}, form, pictures, settings, workers, scratchFolder, factory,
                    progress, cancel, sign);
}

void BuildSlideshowFile(const QString& outputPath, const WebPageWords& page,
                        const QStringList& pictures, const SlideshowSettings& settings, int workers,
                        const QString& scratchFolder, const PictureWorkerFactory& factory,
                        const BuildProgress& progress, const std::atomic<bool>* cancel) {
    PageForm form(outputPath, page, settings);
    BuildInParallel(outputPath, {}, form, pictures, settings, workers, scratchFolder, factory,
                    progress, cancel);
}

void BuildSlideshowFileAt(const QByteArray& absoluteOutput, const QString& stubPath,
                          const QStringList& pictures, const SlideshowSettings& settings,
                          int workers, const QString& scratchFolder,
                          const PictureWorkerFactory& factory, const BuildProgress& progress,
                          const ProgramSigner& sign) {
    ProgramForm form(stubPath);
    BuildInParallel(QFile::decodeName(absoluteOutput), absoluteOutput, form, pictures, settings,
                    workers, scratchFolder, factory, progress, nullptr, sign);
}

void BuildSlideshowFileAt(const QByteArray& absoluteOutput, const WebPageWords& page,
                          const QStringList& pictures, const SlideshowSettings& settings,
                          int workers, const QString& scratchFolder,
                          const PictureWorkerFactory& factory, const BuildProgress& progress) {
    const QString outputPath = QFile::decodeName(absoluteOutput);
    PageForm form(outputPath, page, settings);
    BuildInParallel(outputPath, absoluteOutput, form, pictures, settings, workers, scratchFolder,
                    factory, progress, nullptr);
}

namespace {

// A video has one order: with shuffle the pictures and their captions are drawn into a new one
// once, as a player's first round would be.
void Shuffled(QStringList& pictures, SlideshowSettings& settings) {
    if (!settings.play.shuffle || pictures.size() < 2) {
        return;
    }
    PlayOrder order(static_cast<std::size_t>(pictures.size()), settings.play,
                    std::random_device{}());
    QStringList drawn;
    std::vector<std::string> captions;
    for (qsizetype i = 0; i < pictures.size(); ++i) {
        const std::size_t at = order.Current();
        drawn << pictures[static_cast<qsizetype>(at)];
        captions.push_back(at < settings.captions.size() ? settings.captions[at] : std::string());
        order.Next();
    }
    pictures = drawn;
    settings.captions = captions;
}

void BuildVideo(const QString& outputPath, const QByteArray& outputBytes, QStringList pictures,
                SlideshowSettings settings, VideoFrameSize frame, int quality, int workers,
                const QString& scratchFolder, const PictureWorkerFactory& factory,
                const BuildProgress& progress, const std::atomic<bool>* cancel) {
    Shuffled(pictures, settings);
    // Shuffle and the stop at the end mean nothing once the order is fixed in the video.
    settings.play.shuffle = false;
    settings.play.stopAtEnd = false;
    VideoForm form(outputPath, settings, frame, quality, cancel);
    BuildInParallel(outputPath, outputBytes, form, pictures, settings, workers, scratchFolder,
                    factory, progress, cancel);
}

} // namespace

void BuildVideoFile(const QString& outputPath, const QStringList& pictures,
                    const SlideshowSettings& settings, VideoFrameSize frame, int quality,
                    int workers, const QString& scratchFolder, const PictureWorkerFactory& factory,
                    const BuildProgress& progress, const std::atomic<bool>* cancel) {
    BuildVideo(outputPath, {}, pictures, settings, frame, quality, workers, scratchFolder, factory,
               progress, cancel);
}

void BuildVideoFileAt(const QByteArray& absoluteOutput, const QStringList& pictures,
                      const SlideshowSettings& settings, VideoFrameSize frame, int quality,
                      int workers, const QString& scratchFolder,
                      const PictureWorkerFactory& factory, const BuildProgress& progress) {
    BuildVideo(QFile::decodeName(absoluteOutput), absoluteOutput, pictures, settings, frame,
               quality, workers, scratchFolder, factory, progress, nullptr);
}

} // namespace pelisto
