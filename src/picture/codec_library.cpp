#include "picture/codec_library.h"

#include "codeclib/codec_api.h"
#include "framework/application.h"
#include "framework/dialogs.h"
#include "framework/graphics/magick_startup.h"
#include "framework/graphics/metafile_renderer.h"
#include "framework/profile.h"
#include "picture/call_guard.h"

#include <QDir>
#include <QFileInfo>
#include <dlfcn.h>

namespace pelisto {

thread_local std::int16_t PictureLibraryState::lastErrorCode = 0;
thread_local QString PictureLibraryState::lastErrorText;
thread_local QString PictureLibraryState::progressText;

CodecLibrary& CodecLibrary::Get(Which which) {
    static CodecLibrary main(Main);
    static CodecLibrary processing(Processing);
    return which == Main ? main : processing;
}

CodecLibrary::CodecLibrary(Which which)
    : which_(which), defaultName_(which == Main ? QStringLiteral("libcrde2000.so")
                                                : QStringLiteral("libisp2000.so")),
      fileName_(defaultName_) {}

void CodecLibrary::SetFileName(const QString& fileName) {
    std::lock_guard lock(mutex_);
    Unload();
    fileName_ = fileName.isEmpty() ? defaultName_ : fileName;
}

QString CodecLibrary::LoadErrorText() const {
    return QStringLiteral("Can't load ") + fileName_ +
           QStringLiteral(". Make sure its located in the application's searchpath.");
}

bool CodecLibrary::Load() {
    std::lock_guard lock(mutex_);
    if (handle_ != nullptr) {
        return true;
    }
    // RTLD_NODELETE: an unload only forgets the handle; the code and the image library it uses
    // stay mapped and initialised.
    const int flags = RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE;
    QStringList candidates;
    if (QFileInfo(fileName_).isAbsolute()) {
        candidates << fileName_;
    } else {
        candidates << ExecutableFolder() + fileName_ << fileName_
                   << QDir::currentPath() + QLatin1Char('/') + fileName_;
    }
    for (const QString& candidate : candidates) {
        // A bare name goes through the system's search; a path only when the file is there.
        if (candidate.contains(QLatin1Char('/')) && !QFileInfo::exists(candidate)) {
            continue;
        }
        handle_ = dlopen(QFile::encodeName(candidate).constData(), flags);
        if (handle_ != nullptr) {
            return true;
        }
    }
    return false;
}

void CodecLibrary::Unload() {
    std::lock_guard lock(mutex_);
    if (handle_ != nullptr) {
        dlclose(handle_);
        handle_ = nullptr;
    }
}

void* CodecLibrary::Entry(const char* name) {
    std::unique_lock lock(mutex_);
    if (!Load()) {
        lock.unlock();
        if (which_ == Main) {
            throw ErrorInvalid(LoadErrorText());
        }
        MessageBox(LoadErrorText(), ApplicationTitle(), MsgBoxIcon::Error, mbOK);
        return nullptr;
    }
    return dlsym(handle_, name);
}

void* CodecLibrary::RequiredEntry(const char* name) {
    void* entry = Entry(name);
    if (entry == nullptr) {
        throw ErrorInvalid(
            QStringLiteral("Entry %1 not found in %2").arg(QString::fromLatin1(name), fileName_));
    }
    return entry;
}

namespace {

// The cause of the main library's latest failure on this thread, or nothing.
QString LibraryErrorDetail() {
    CodecLibrary& main = CodecLibrary::Get(CodecLibrary::Main);
    if (!main.IsLoaded()) {
        return {};
    }
    auto detail = reinterpret_cast<plerrordetail_t>(main.Entry("plerrordetail"));
    if (detail == nullptr) {
        return {};
    }
    char buffer[512] = {};
    int length = 0;
    CallGuarded([&] { length = detail(buffer, sizeof(buffer)); });
    return QString::fromLocal8Bit(buffer, std::clamp(length, 0, 511));
}

} // namespace

void NoteLibraryStatus(std::int16_t status) {
    if (status > 0) {
        return;
    }
    NoteLibraryStatus(status, LibraryErrorDetail());
}

long LibraryWarningCount() {
    return MagickWarningCount() + MetafileWarningCount();
}

void NoteLibraryStatus(std::int16_t status, const QString& cause) {
    if (status > 0) {
        return;
    }
    PictureLibraryState::lastErrorCode = status;
    PictureLibraryState::lastErrorText.clear();
    CodecLibrary& main = CodecLibrary::Get(CodecLibrary::Main);
    if (!main.IsLoaded()) {
        return;
    }
    auto text = reinterpret_cast<plerrortext_t>(main.Entry("plerrortext"));
    if (text == nullptr) {
        return;
    }
    char buffer[256] = {};
    int length = 0;
    CallGuarded([&] { length = text(status, buffer, sizeof(buffer)); });
    PictureLibraryState::lastErrorText = QString::fromLocal8Bit(buffer, std::clamp(length, 0, 255));
    if (!cause.isEmpty()) {
        PictureLibraryState::lastErrorText += QStringLiteral(": ") + cause;
    }
}

bool RecordTwainAppName() {
    const QString name = QFileInfo(ExecutableFileName()).completeBaseName().toLower();
    return WritePrivateProfileString(QStringLiteral("PictureLib Twain"), QStringLiteral("App Name"),
                                     name, UserConfigFolder() + QStringLiteral("pltwain.ini"));
}

} // namespace pelisto
