#pragma once

#include "app/parallel_conversion.h"
#include "slideshow/play_options.h"
#include "video/video_settings.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace pelisto {

// Where a slideshow plays, which decides the viewer stub it starts with.
enum class SlideshowTarget {
    Windows, // TheExe.exe, the save dialog's first type "Program (*.exe)"
    Linux,   // TheExe.run, for Linux desktops with X11
    Web,     // a single web page, for every browser: phones, tablets, Macs; needs no stub
    Video,   // an MP4 video (H.264), for every phone, TV, chat and browser; needs no stub
};

// The stub's file name in the tool folder: "TheExe.exe" or "TheExe.run"; empty for the page
// and the video.
QString StubFileName(SlideshowTarget target);

// The target an output name asks for when none is chosen: a name ending in ".exe", in any
// letter case, plays on Windows; ".html" or ".htm" in a browser; ".mp4" is a video; any other
// name plays on Linux.
SlideshowTarget TargetForOutputName(const QString& outputPath);

// The name a slideshow is saved under when `typed` is given with the type `selected`: a name
// whose extension is one of the types' (".exe", ".run", ".html", ".htm", ".mp4", any case) keeps
// it, and TargetForOutputName reads the type from it; any other gets the selected type's.
QString OutputNameFor(const QString& typed, SlideshowTarget selected);

// What the pictures are converted at for a target: the slideshow's quality and picture size
// box, or for a video its frame (VideoFrameFor the box) at kVideoPictureQuality, as the video's
// own quality is the encoder's. The box is also the size the output-size warning speaks of.
struct PictureConversion {
    int quality = 75;
    int width = 0; // 0 x 0: the pictures' own size
    int height = 0;
};
PictureConversion PictureConversionFor(SlideshowTarget target, int quality, int boxWidth,
                                       int boxHeight);

struct SlideshowSettings {
    SlideshowSettings(bool advance = false, double delay = 10, const PlayOptions& options = {},
                      std::vector<std::string> texts = {})
        : automatic(advance), delaySeconds(delay), play(options), captions(std::move(texts)) {}
    bool automatic = false;
    double delaySeconds = 10; // a whole number 1..65535; stored rounded, in 16 bits
    // Shuffle, stop at the end, crossfade, and each picture's caption as text (UTF-8, in list
    // order; missing or empty: none). With none of them set the file has no segment for them.
    PlayOptions play;
    std::vector<std::string> captions;
    PictureOptions OptionsOf(int index) const {
        const auto i = static_cast<std::size_t>(index);
        return {play, i < captions.size() ? captions[i] : std::string()};
    }
};

// What a web page slideshow shows besides its pictures, in the tool's language.
struct WebPageWords {
    QString language; // "en" or "fr"
    QStringList hint; // the hint's lines
    QString title;    // the page's title; empty: the output's file name
};

// Signs the finished program `in` into the new file `out`; throws when it cannot.
using ProgramSigner = std::function<void(const QString& in, const QString& out)>;

// Converts one picture and returns the path of the JPEG it wrote.
using PictureConverter = std::function<QString(const QString& picture)>;
// Told before each picture is converted: its index, the count and its path.
using BuildProgress = std::function<void(int index, int count, const QString& picture)>;

// Writes the slideshow executable at outputPath: the stub, each picture converted to JPEG in
// list order, then the trailer. The file is written beside the target and moved over it only
// when complete, so a failed build leaves any existing file untouched and no partial output;
// the result is executable. Errors leave as exceptions (the framework's file and stream errors
// name the files).
void BuildSlideshowFile(const QString& outputPath, const QString& stubPath,
                        const QStringList& pictures, const SlideshowSettings& settings,
                        const PictureConverter& convert, const BuildProgress& progress = {});

// As above, with the pictures converted on `workers` threads at once, each converting with a
// worker that factory makes on its thread; their JPEGs wait in scratchFolder for their turn.
// The file is the same, byte for byte, as when the pictures are converted one by one. A cancel
// flag that is set stops the build with EAbort (the conversions in progress at their next row)
// before the file replaces the target, leaving no partial file. A signer signs the finished file
// before it replaces the target; a failed signature leaves no file and the target untouched.
void BuildSlideshowFile(const QString& outputPath, const QString& stubPath,
                        const QStringList& pictures, const SlideshowSettings& settings, int workers,
                        const QString& scratchFolder, const PictureWorkerFactory& factory,
                        const BuildProgress& progress = {},
                        const std::atomic<bool>* cancel = nullptr, const ProgramSigner& sign = {});

// As above, a web page instead of a program: each picture the same JPEG, byte for byte, as in
// the program, with the settings and the words.
void BuildSlideshowFile(const QString& outputPath, const WebPageWords& page,
                        const QStringList& pictures, const SlideshowSettings& settings, int workers,
                        const QString& scratchFolder, const PictureWorkerFactory& factory,
                        const BuildProgress& progress = {},
                        const std::atomic<bool>* cancel = nullptr);

// As above, a video: the pictures (JPEGs made by the factory's workers, which should fit them
// into the frame: JpegWorkerFactory(kVideoPictureQuality, frame.width, frame.height)) fitted and
// centred on black in the frame, each held for the delay, with the crossfade and captions of the
// settings; shuffled once when the settings ask for shuffle. `quality` (1..100) sets the
// encoder's rate factor. Written beside the target and moved over it when complete, as above.
void BuildVideoFile(const QString& outputPath, const QStringList& pictures,
                    const SlideshowSettings& settings, VideoFrameSize frame, int quality,
                    int workers, const QString& scratchFolder, const PictureWorkerFactory& factory,
                    const BuildProgress& progress = {}, const std::atomic<bool>* cancel = nullptr);

// The same three for an absolute output name in bytes, which a QString may not hold (pelisto-build
// takes names as bytes); errors name it as QFile::decodeName gives it.
void BuildSlideshowFileAt(const QByteArray& absoluteOutput, const QString& stubPath,
                          const QStringList& pictures, const SlideshowSettings& settings,
                          int workers, const QString& scratchFolder,
                          const PictureWorkerFactory& factory, const BuildProgress& progress = {},
                          const ProgramSigner& sign = {});
void BuildSlideshowFileAt(const QByteArray& absoluteOutput, const WebPageWords& page,
                          const QStringList& pictures, const SlideshowSettings& settings,
                          int workers, const QString& scratchFolder,
                          const PictureWorkerFactory& factory, const BuildProgress& progress = {});
void BuildVideoFileAt(const QByteArray& absoluteOutput, const QStringList& pictures,
                      const SlideshowSettings& settings, VideoFrameSize frame, int quality,
                      int workers, const QString& scratchFolder,
                      const PictureWorkerFactory& factory, const BuildProgress& progress = {});

} // namespace pelisto
