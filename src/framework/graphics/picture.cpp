#include "framework/graphics/picture.h"

#include "framework/graphics/bitmap.h"
#include "framework/graphics/icon.h"
#include "framework/graphics/metafile.h"

#include <QFileInfo>
#include <vector>

namespace pelisto {

namespace {

struct FileFormat {
    QString extension;
    QString description;
    TGraphicFactory factory;
    QString className;
};

std::vector<FileFormat>& Formats() {
    // Built once on first use, so the framework's own classes are there whatever the link order.
    static std::vector<FileFormat> formats = [] {
        std::vector<FileFormat> list;
        list.push_back({QStringLiteral("wmf"), QStringLiteral("Métafichier"),
                        [] { return std::make_unique<TMetafile>(); }, QStringLiteral("TMetafile")});
        list.push_back({QStringLiteral("emf"), QStringLiteral("Métafichier amélioré"),
                        [] { return std::make_unique<TMetafile>(); }, QStringLiteral("TMetafile")});
        list.push_back({QStringLiteral("ico"), QStringLiteral("Icône"),
                        [] { return std::make_unique<TIcon>(); }, QStringLiteral("TIcon")});
        list.push_back({QStringLiteral("bmp"), QStringLiteral("Bitmap"),
                        [] { return std::make_unique<TBitmap>(); }, QStringLiteral("TBitmap")});
        return list;
    }();
    return formats;
}

const FileFormat* Find(const QString& extension) {
    const auto& formats = Formats();
    for (auto it = formats.rbegin(); it != formats.rend(); ++it) {
        if (it->extension.compare(extension, Qt::CaseInsensitive) == 0) {
            return &*it;
        }
    }
    return nullptr;
}

} // namespace

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::RegisterFileFormat(const QString& extension, const QString& description,
                                  TGraphicFactory factory, const QString& className) {
    Formats().push_back({extension, description, std::move(factory), className});
}

void TPicture::UnregisterGraphicClass(const QString& className) {
    auto& formats = Formats();
    std::erase_if(formats, [&](const FileFormat& f) { return f.className == className; });
}

QString TPicture::FileFormatDescription(const QString& extension) {
    const FileFormat* format = Find(extension);
    return format != nullptr ? format->description : QString();
}

void TPicture::LoadFromFile(const QString& fileName) {
    const QString name = QFileInfo(fileName).fileName();
    const auto dot = name.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot < 0 ? QString() : name.mid(dot + 1);
    const FileFormat* format = Find(extension);
    if (format == nullptr || !format->factory) {
        throw EInvalidGraphic(
            QStringLiteral("Extension de fichier graphique inconnue (.%1)").arg(extension));
    }
    std::unique_ptr<TGraphic> graphic = format->factory();
    if (!graphic) {
        throw EInvalidGraphic(
            QStringLiteral("Extension de fichier graphique inconnue (.%1)").arg(extension));
    }
    graphic->OnProgress = [this](TGraphic& sender, TProgressStage stage, int percent, bool redraw,
                                 const QRect& rect, const QString& msg) {
        if (OnProgress) {
            OnProgress(sender, stage, percent, redraw, rect, msg);
        }
    };
    // The held picture stays when the new one cannot be read.
    graphic->LoadFromFile(fileName);
    SetGraphic(std::move(graphic));
}

void TPicture::SaveToFile(const QString& fileName) {
    if (graphic_) {
        graphic_->SaveToFile(fileName);
    }
}

void TPicture::SetGraphic(std::unique_ptr<TGraphic> graphic) {
    graphic_ = std::move(graphic);
    Attach();
    Changed();
}

void TPicture::Assign(const TGraphic* source) {
    if (source == nullptr) {
        SetGraphic(nullptr);
        return;
    }
    std::unique_ptr<TGraphic> copy = source->NewInstance();
    copy->AssignFrom(*source);
    SetGraphic(std::move(copy));
}

TBitmap& TPicture::Bitmap() {
    if (auto* bitmap = dynamic_cast<TBitmap*>(graphic_.get())) {
        return *bitmap;
    }
    auto bitmap = std::make_unique<TBitmap>();
    TBitmap& result = *bitmap;
    SetGraphic(std::move(bitmap));
    return result;
}

int TPicture::Width() const {
    return graphic_ ? graphic_->Width() : 0;
}

int TPicture::Height() const {
    return graphic_ ? graphic_->Height() : 0;
}

void TPicture::Attach() {
    if (!graphic_) {
        return;
    }
    graphic_->OnChange = [this](TGraphic&) { Changed(); };
    graphic_->OnProgress = [this](TGraphic& sender, TProgressStage stage, int percent, bool redraw,
                                  const QRect& rect, const QString& msg) {
        if (OnProgress) {
            OnProgress(sender, stage, percent, redraw, rect, msg);
        }
    };
}

void TPicture::Changed() {
    if (OnChange) {
        OnChange(*this);
    }
}

} // namespace pelisto
