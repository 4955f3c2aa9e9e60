#pragma once

#include "framework/graphics/graphic.h"

#include <QByteArray>
#include <QImage>
#include <memory>

namespace pelisto {

// A Windows icon file (ICO) read with Qt's reader. A file holding several images shows its
// largest one (by area, then colour depth; the first of equals). Transparent pixels stay
// transparent when drawn.
class TIcon : public TGraphic {
public:
    TIcon() = default;
    QString ClassName() const override { return QStringLiteral("TIcon"); }
    std::unique_ptr<TGraphic> NewInstance() const override { return std::make_unique<TIcon>(); }

    int Width() const override { return image_.width(); }
    int Height() const override { return image_.height(); }
    // An icon's size is that of its image (the framework's rule).
    void SetWidth(int width) override;
    void SetHeight(int height) override;
    bool IsEmpty() const override { return image_.isNull(); }

    void ReadFrom(QIODevice& stream) override;
    void WriteTo(QIODevice& stream) override;
    void DrawInto(QPainter& painter, const QRect& rect) override;
    void AssignFrom(const TGraphic& source) override;

    const QImage& Image() const { return image_; }
    int ImageCount() const { return imageCount_; }

private:
    QByteArray data_;
    QImage image_;
    int imageCount_ = 0;
};

} // namespace pelisto
