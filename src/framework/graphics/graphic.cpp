#include "framework/graphics/graphic.h"

#include "framework/file_stream.h"

#include <QBuffer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QThread>
#include <atomic>
#include <limits>

namespace pelisto {

namespace {

std::function<int()>& PixelsPerInchSource() {
    static std::function<int()> source;
    return source;
}

std::function<int()>& ColorDepthSource() {
    static std::function<int()> source;
    return source;
}

// The offscreen and minimal platforms have no real screen; they answer as a plain desktop.
QScreen* RealScreen() {
    const QString platform = QGuiApplication::platformName();
    if (platform.isEmpty() || platform == QLatin1String("offscreen") ||
        platform == QLatin1String("minimal")) {
        return nullptr;
    }
    return QGuiApplication::primaryScreen();
}

// The screen belongs to the user-interface thread; other threads get what it read last.
std::atomic<int> notedPixelsPerInch{96};
std::atomic<int> notedColorDepth{24};

bool OnUserInterfaceThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

int RealPixelsPerInch() {
    if (QScreen* screen = RealScreen()) {
        const int dpi = qRound(screen->logicalDotsPerInch());
        if (dpi > 0) {
            return dpi;
        }
    }
    return 96;
}

int RealColorDepth() {
    if (QScreen* screen = RealScreen()) {
        if (screen->depth() > 0) {
            return screen->depth();
        }
    }
    return 24;
}

} // namespace

void RaiseAssignError(const QString& sourceClass, const QString& targetClass) {
    throw EConvertError(
        QStringLiteral("Impossible d'affecter %1 à %2").arg(sourceClass, targetClass));
}

void TGraphic::LoadFromFile(const QString& fileName) {
    // A folder opens like a file here but cannot be read: report it as unopenable.
    if (QFileInfo(fileName).isDir()) {
        throw EFOpenError(fileName);
    }
    QByteArray bytes;
    {
        FileStream in(fileName, FileStream::Mode::OpenRead);
        const auto size = in.Size();
        if (size < 0 || size > std::numeric_limits<int>::max()) {
            throw EReadError();
        }
        bytes.resize(static_cast<qsizetype>(size));
        in.ReadBuffer(bytes.data(), static_cast<std::size_t>(bytes.size()));
    }
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    ReadFrom(buffer);
}

void TGraphic::SaveToFile(const QString& fileName) {
    FileStream out(fileName, FileStream::Mode::Create);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    WriteTo(buffer);
    out.WriteBuffer(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    out.Close();
}

void TGraphic::AssignFrom(const TGraphic& source) {
    source.CopyTo(*this);
}

void TGraphic::CopyTo(TGraphic& target) const {
    RaiseAssignError(ClassName(), target.ClassName());
}

void TGraphic::NotifyChanged() {
    if (OnChange) {
        OnChange(*this);
    }
}

void TGraphic::Progress(TProgressStage stage, int percentDone, bool redrawNow, const QRect& rect,
                        const QString& msg) {
    if (OnProgress) {
        OnProgress(*this, stage, percentDone, redrawNow, rect, msg);
    }
}

int ScreenPixelsPerInch() {
    if (PixelsPerInchSource()) {
        return PixelsPerInchSource()();
    }
    return OnUserInterfaceThread() ? RealPixelsPerInch() : notedPixelsPerInch.load();
}

int ScreenColorDepth() {
    if (ColorDepthSource()) {
        return ColorDepthSource()();
    }
    return OnUserInterfaceThread() ? RealColorDepth() : notedColorDepth.load();
}

void NoteScreenForWorkers() {
    if (OnUserInterfaceThread()) {
        notedPixelsPerInch = RealPixelsPerInch();
        notedColorDepth = RealColorDepth();
    }
}

void SetScreenPixelsPerInchSource(std::function<int()> source) {
    PixelsPerInchSource() = std::move(source);
}

void SetScreenColorDepthSource(std::function<int()> source) {
    ColorDepthSource() = std::move(source);
}

} // namespace pelisto
