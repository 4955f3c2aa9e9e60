#pragma once

#include "framework/graphics/graphic.h"

#include <QByteArray>
#include <QImage>
#include <memory>

namespace pelisto {

// A Windows metafile (WMF, with or without the placeable header) rendered through
// GraphicsMagick. Its pixel size comes from the placeable header (bounding box and units per
// inch) at the screen's resolution; without that header, from the metafile's own extent at
// 1440 units per inch. Parts the metafile does not paint stay transparent when drawn.
class TMetafile : public TGraphic {
public:
    TMetafile() = default;
    QString ClassName() const override { return QStringLiteral("TMetafile"); }
    std::unique_ptr<TGraphic> NewInstance() const override { return std::make_unique<TMetafile>(); }

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    // Sets the size it is drawn at by default (the metafile itself is unchanged).
    void SetWidth(int width) override;
    void SetHeight(int height) override;
    bool IsEmpty() const override { return data_.isEmpty(); }

    // Raises EInvalidGraphic for data that is not a readable WMF (enhanced metafiles included).
    void ReadFrom(QIODevice& stream) override;
    // Writes the metafile bytes as read.
    void WriteTo(QIODevice& stream) override;
    void DrawInto(QPainter& painter, const QRect& rect) override;
    void AssignFrom(const TGraphic& source) override;

    // The metafile rendered at width x height, premultiplied ARGB, transparent where nothing is
    // painted. Raises EInvalidGraphic when the renderer fails.
    QImage Render(int width, int height) const;
    const QByteArray& Data() const { return data_; }
    // From the placeable header: bounding box in metafile units and units per inch.
    QRect Bounds() const { return bounds_; }
    int UnitsPerInch() const { return unitsPerInch_; }

private:
    QByteArray data_;
    QRect bounds_;
    int unitsPerInch_ = 0;
    int width_ = 0;
    int height_ = 0;
    mutable QImage cache_;
};

} // namespace pelisto
