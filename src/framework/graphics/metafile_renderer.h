#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace pelisto {

// Renders WMF bytes through GraphicsMagick at the given resolution (pixels per inch across and
// down), transparent where the metafile paints nothing. Returns a null image and sets error when
// the renderer refuses the data.
QImage RenderWindowsMetafile(const QByteArray& data, double dpiX, double dpiY, QString& error);

// The warnings the image library gave in this process while the tool's graphics used it; they
// are counted, never printed (a damaged metafile can warn once per record).
long MetafileWarningCount();

} // namespace pelisto
