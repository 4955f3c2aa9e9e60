#include "framework/graphics/metafile_renderer.h"

#include "slideshow/picture_limit.h"

#include <QSet>
#include <QtEndian>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include <magick/api.h>

namespace pelisto {

namespace {

std::atomic<long> warnings{0};

// The metafile player writes a line to the standard error for every bad record it skips, which
// a damaged file turns into tens of thousands. While a metafile is read, those lines go to a
// scratch file of their own and are counted as warnings instead. One metafile at a time, as the
// standard error is the process's.
class CountedStderr {
public:
    CountedStderr() : lock_(Mutex()) {
        std::fflush(stderr);
        scratch_ = ::memfd_create("metafile-warnings", MFD_CLOEXEC);
        saved_ = scratch_ >= 0 ? ::dup(STDERR_FILENO) : -1;
        if (saved_ < 0 || ::dup2(scratch_, STDERR_FILENO) < 0) {
            Close();
        }
    }
    ~CountedStderr() {
        if (saved_ < 0) {
            return;
        }
        std::fflush(stderr);
        ::dup2(saved_, STDERR_FILENO);
        long lines = 0;
        char buffer[4096];
        ::lseek(scratch_, 0, SEEK_SET);
        for (ssize_t n; (n = ::read(scratch_, buffer, sizeof(buffer))) > 0;) {
            lines += std::count(buffer, buffer + n, '\n');
        }
        warnings.fetch_add(lines, std::memory_order_relaxed);
        Close();
    }
    CountedStderr(const CountedStderr&) = delete;
    CountedStderr& operator=(const CountedStderr&) = delete;

private:
    static std::mutex& Mutex() {
        static std::mutex mutex;
        return mutex;
    }
    void Close() {
        if (scratch_ >= 0) {
            ::close(scratch_);
        }
        if (saved_ >= 0) {
            ::close(saved_);
        }
        scratch_ = saved_ = -1;
    }

    std::lock_guard<std::mutex> lock_;
    int scratch_ = -1;
    int saved_ = -1;
};

struct ExceptionGuard {
    ExceptionInfo info;
    ExceptionGuard() { GetExceptionInfo(&info); }
    ~ExceptionGuard() { DestroyExceptionInfo(&info); }
    QString Text() const {
        QString text = QString::fromLocal8Bit(info.reason ? info.reason : "");
        if (info.description != nullptr) {
            text +=
                QStringLiteral(" (") + QString::fromLocal8Bit(info.description) + QLatin1Char(')');
        }
        return text;
    }
};

struct ImageInfoDeleter {
    void operator()(ImageInfo* info) const { DestroyImageInfo(info); }
};
struct ImageDeleter {
    void operator()(Image* image) const { DestroyImageList(image); }
};

quint16 Word(const QByteArray& b, qsizetype at) {
    return qFromLittleEndian<quint16>(b.constData() + at);
}
quint32 DoubleWord(const QByteArray& b, qsizetype at) {
    return qFromLittleEndian<quint32>(b.constData() + at);
}

void AppendRecord(QByteArray& out, quint16 function, std::initializer_list<qint32> words) {
    QByteArray record(6 + 2 * static_cast<qsizetype>(words.size()), '\0');
    auto* d = reinterpret_cast<uchar*>(record.data());
    qToLittleEndian<quint32>(static_cast<quint32>(3 + words.size()), d);
    qToLittleEndian<quint16>(function, d + 4);
    int i = 0;
    for (qint32 w : words) {
        qToLittleEndian<quint16>(static_cast<quint16>(w), d + 6 + 2 * i++);
    }
    out += record;
}

// The renderer maps the extent of what is drawn onto the picture, not the placeable bounding
// box. An invisible polygon over the box (null pen and brush, objects deleted again, device
// context restored) makes the two the same. It goes after the leading mapping set-up so that
// it is measured in the same coordinates as the drawing.
QByteArray AnchorToBounds(const QByteArray& wmf) {
    constexpr int Placeable = 22;
    constexpr int Header = 18;
    if (wmf.size() < Placeable + Header) {
        return wmf;
    }
    const auto left = static_cast<qint16>(Word(wmf, 6));
    const auto top = static_cast<qint16>(Word(wmf, 8));
    const auto right = static_cast<qint16>(Word(wmf, 10));
    const auto bottom = static_cast<qint16>(Word(wmf, 12));
    static const QSet<quint16> setup = {0x0103, 0x020B, 0x020C, 0x020D, 0x020E, 0x0102,
                                        0x0201, 0x0209, 0x012E, 0x0106, 0x0104, 0x0107,
                                        0x0105, 0x0410, 0x0412, 0x020F, 0x0211, 0x012D};
    static const QSet<quint16> creation = {0x02FA, 0x02FC, 0x02FB, 0x00F7, 0x01F9, 0x0142, 0x06FF};
    // Object slots as the metafile fills them: the lowest free one first. The free ones are kept
    // in order, so the pass stays linear in the number of records however many objects a
    // (hostile) file makes.
    std::vector<bool> used;
    std::set<std::size_t> freeSlots;
    qsizetype at = Placeable + Header;
    while (at + 6 <= wmf.size()) {
        const quint32 words = DoubleWord(wmf, at);
        const quint16 function = Word(wmf, at + 4);
        if (words < 3 || at + 2 * static_cast<qsizetype>(words) > wmf.size()) {
            return wmf; // damaged: leave it to the renderer to refuse
        }
        if (creation.contains(function)) {
            if (!freeSlots.empty()) {
                used[*freeSlots.begin()] = true;
                freeSlots.erase(freeSlots.begin());
            } else {
                used.push_back(true);
            }
        } else if (function == 0x01F0 && words >= 4) {
            const quint16 index = Word(wmf, at + 6);
            if (index < used.size() && used[index]) {
                used[index] = false;
                freeSlots.insert(index);
            }
        } else if (!setup.contains(function)) {
            break;
        }
        at += 2 * static_cast<qsizetype>(words);
    }
    std::vector<int> spare;
    for (std::size_t i = 0; i < used.size() && spare.size() < 2; ++i) {
        if (!used[i]) {
            spare.push_back(static_cast<int>(i));
        }
    }
    for (int i = static_cast<int>(used.size()); spare.size() < 2; ++i) {
        spare.push_back(i);
    }
    QByteArray anchor;
    AppendRecord(anchor, 0x001E, {});              // SaveDC
    AppendRecord(anchor, 0x02FC, {1, 0, 0, 0});    // null brush
    AppendRecord(anchor, 0x02FA, {5, 0, 0, 0, 0}); // null pen
    AppendRecord(anchor, 0x012D, {spare[0]});
    AppendRecord(anchor, 0x012D, {spare[1]});
    AppendRecord(anchor, 0x0324, {4, left, top, right, top, right, bottom, left, bottom});
    AppendRecord(anchor, 0x0127, {-1}); // RestoreDC
    AppendRecord(anchor, 0x01F0, {spare[0]});
    AppendRecord(anchor, 0x01F0, {spare[1]});

    QByteArray out = wmf.left(at) + anchor + wmf.mid(at);
    auto* header = reinterpret_cast<uchar*>(out.data()) + Placeable;
    qToLittleEndian<quint32>(
        DoubleWord(wmf, Placeable + 6) + static_cast<quint32>(anchor.size() / 2), header + 6);
    qToLittleEndian<quint16>(
        static_cast<quint16>(std::max<int>(Word(wmf, Placeable + 10), spare[1] + 1)), header + 10);
    qToLittleEndian<quint32>(std::max<quint32>(DoubleWord(wmf, Placeable + 12), 12), header + 12);
    return out;
}

} // namespace

QImage RenderWindowsMetafile(const QByteArray& data, double dpiX, double dpiY, QString& error) {
    ExceptionGuard exception;
    std::unique_ptr<ImageInfo, ImageInfoDeleter> info(CloneImageInfo(nullptr));
    std::strncpy(info->filename, "WMF:metafile", MaxTextExtent - 1);
    std::strncpy(info->magick, "WMF", MaxTextExtent - 1);
    const QByteArray density =
        QByteArray::number(dpiX, 'f', 4) + 'x' + QByteArray::number(dpiY, 'f', 4);
    CloneString(&info->density, density.constData());
    info->background_color.red = 0;
    info->background_color.green = 0;
    info->background_color.blue = 0;
    info->background_color.opacity = TransparentOpacity;

    const bool placeable = data.size() >= 4 && DoubleWord(data, 0) == 0x9AC6CDD7;
    const QByteArray bytes = placeable ? AnchorToBounds(data) : data;
    std::unique_ptr<Image, ImageDeleter> image;
    {
        const CountedStderr counted;
        image.reset(BlobToImage(info.get(), bytes.constData(), static_cast<size_t>(bytes.size()),
                                &exception.info));
    }
    if (!image || exception.info.severity >= ErrorException) {
        error = exception.Text();
        return {};
    }
    if (PictureTooLarge(image->columns, image->rows)) {
        error = QString::fromStdString("Picture too large: " +
                                       PictureTooLargeText(image->columns, image->rows));
        return {};
    }
    const auto width = static_cast<int>(image->columns);
    const auto height = static_cast<int>(image->rows);
    QImage result(width, height, QImage::Format_ARGB32);
    if (result.isNull()) {
        error = QStringLiteral("image trop grande");
        return {};
    }
    // One row at a time: QImage rows may be padded.
    for (int y = 0; y < height; ++y) {
        if (DispatchImage(image.get(), 0, y, image->columns, 1, "BGRA", CharPixel,
                          result.scanLine(y), &exception.info) != MagickPass) {
            error = exception.Text();
            return {};
        }
    }
    // Converted in place, once the library's own copy is gone.
    image.reset();
    result.convertTo(QImage::Format_ARGB32_Premultiplied);
    return result;
}

long MetafileWarningCount() {
    return warnings.load(std::memory_order_relaxed);
}

} // namespace pelisto
