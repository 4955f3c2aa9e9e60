#include "framework/graphics/magick_startup.h"

#include "slideshow/picture_limit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <atomic>

#include <magick/api.h>

namespace pelisto {
namespace {

const char* const UrwFolder = "/usr/share/fonts/type1/urw-base35/";

struct FontEntry {
    const char* name;
    const char* family;
    int weight;
    const char* style;
    const char* file;
};

// The 35 standard PostScript faces that metafile text asks for, on the URW clones.
constexpr FontEntry Fonts[] = {
    {"AvantGarde-Book", "AvantGarde", 400, "normal", "URWGothic-Book"},
    {"AvantGarde-BookOblique", "AvantGarde", 400, "oblique", "URWGothic-BookOblique"},
    {"AvantGarde-Demi", "AvantGarde", 600, "normal", "URWGothic-Demi"},
    {"AvantGarde-DemiOblique", "AvantGarde", 600, "oblique", "URWGothic-DemiOblique"},
    {"Bookman-Demi", "Bookman", 600, "normal", "URWBookman-Demi"},
    {"Bookman-DemiItalic", "Bookman", 600, "italic", "URWBookman-DemiItalic"},
    {"Bookman-Light", "Bookman", 300, "normal", "URWBookman-Light"},
    {"Bookman-LightItalic", "Bookman", 300, "italic", "URWBookman-LightItalic"},
    {"Courier", "Courier", 400, "normal", "NimbusMonoPS-Regular"},
    {"Courier-Oblique", "Courier", 400, "oblique", "NimbusMonoPS-Italic"},
    {"Courier-Bold", "Courier", 700, "normal", "NimbusMonoPS-Bold"},
    {"Courier-BoldOblique", "Courier", 700, "oblique", "NimbusMonoPS-BoldItalic"},
    {"Helvetica", "Helvetica", 400, "normal", "NimbusSans-Regular"},
    {"Helvetica-Oblique", "Helvetica", 400, "oblique", "NimbusSans-Italic"},
    {"Helvetica-Bold", "Helvetica", 700, "normal", "NimbusSans-Bold"},
    {"Helvetica-BoldOblique", "Helvetica", 700, "oblique", "NimbusSans-BoldItalic"},
    {"Helvetica-Narrow", "Helvetica Narrow", 400, "normal", "NimbusSansNarrow-Regular"},
    {"Helvetica-Narrow-Oblique", "Helvetica Narrow", 400, "oblique", "NimbusSansNarrow-Oblique"},
    {"Helvetica-Narrow-Bold", "Helvetica Narrow", 700, "normal", "NimbusSansNarrow-Bold"},
    {"Helvetica-Narrow-BoldOblique", "Helvetica Narrow", 700, "oblique",
     "NimbusSansNarrow-BoldOblique"},
    {"NewCenturySchlbk-Roman", "NewCenturySchlbk", 400, "normal", "C059-Roman"},
    {"NewCenturySchlbk-Italic", "NewCenturySchlbk", 400, "italic", "C059-Italic"},
    {"NewCenturySchlbk-Bold", "NewCenturySchlbk", 700, "normal", "C059-Bold"},
    {"NewCenturySchlbk-BoldItalic", "NewCenturySchlbk", 700, "italic", "C059-BdIta"},
    {"Palatino-Roman", "Palatino", 400, "normal", "P052-Roman"},
    {"Palatino-Italic", "Palatino", 400, "italic", "P052-Italic"},
    {"Palatino-Bold", "Palatino", 700, "normal", "P052-Bold"},
    {"Palatino-BoldItalic", "Palatino", 700, "italic", "P052-BoldItalic"},
    {"Symbol", "Symbol", 400, "normal", "StandardSymbolsPS"},
    {"Times-Roman", "Times", 400, "normal", "NimbusRoman-Regular"},
    {"Times-Italic", "Times", 400, "italic", "NimbusRoman-Italic"},
    {"Times-Bold", "Times", 700, "normal", "NimbusRoman-Bold"},
    {"Times-BoldItalic", "Times", 700, "italic", "NimbusRoman-BoldItalic"},
    {"ZapfChancery-MediumItalic", "ZapfChancery", 500, "italic", "Z003-MediumItalic"},
    {"ZapfDingbats", "ZapfDingbats", 400, "normal", "D050000L"},
};

// GraphicsMagick's packaged type map names font files that Debian no longer ships; ours,
// found first through MAGICK_CONFIGURE_PATH, names the URW fonts that are installed.
bool WriteTypeMap(const QString& folder) {
    QFile file(QDir(folder).filePath(QStringLiteral("type.mgk")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    QByteArray xml = "<?xml version=\"1.0\"?>\n<typemap>\n";
    for (const FontEntry& font : Fonts) {
        const QString glyphs = QString::fromLatin1(UrwFolder) + font.file + QStringLiteral(".t1");
        if (!QFileInfo::exists(glyphs)) {
            continue;
        }
        xml += QStringLiteral("  <type name=\"%1\" fullname=\"%1\" family=\"%2\" foundry=\"URW\" "
                              "weight=\"%3\" style=\"%4\" stretch=\"normal\" format=\"type1\" "
                              "metrics=\"%5%6.afm\" glyphs=\"%7\" />\n")
                   .arg(QLatin1String(font.name), QLatin1String(font.family))
                   .arg(font.weight)
                   .arg(QLatin1String(font.style), QLatin1String(UrwFolder),
                        QLatin1String(font.file), glyphs)
                   .toUtf8();
    }
    xml += "</typemap>\n";
    return file.write(xml) == xml.size() && file.flush();
}

std::atomic<long> warnings{0};

// A damaged file can warn once per record, tens of thousands of times: only the count is kept.
void CountWarning(const ExceptionType, const char*, const char*) {
    warnings.fetch_add(1, std::memory_order_relaxed);
}

bool started = false;

} // namespace

void StartMagick(const QString& privateFolder) {
    if (started) {
        return;
    }
    started = true;
    if (!privateFolder.isEmpty()) {
        const QByteArray folder = QFile::encodeName(privateFolder);
        // The library's own scratch files go where an interrupt removes them too.
        qputenv("MAGICK_TMPDIR", folder);
        if (WriteTypeMap(privateFolder)) {
            QByteArray path = folder;
            const QByteArray previous = qgetenv("MAGICK_CONFIGURE_PATH");
            if (!previous.isEmpty()) {
                path += ':' + previous;
            }
            qputenv("MAGICK_CONFIGURE_PATH", path);
        }
    }
    ExceptionInfo errors;
    GetExceptionInfo(&errors);
    // No signal handlers: the tool guards library calls with its own, and the terminating
    // signals are the program's.
    InitializeMagickEx(nullptr, MAGICK_OPT_NO_SIGNAL_HANDER, &errors);
    DestroyExceptionInfo(&errors);
    SetWarningHandler(CountWarning);
    // A second line behind the header checks: no pixels are allocated for a picture over the
    // limit, whatever a reader found in the file.
    SetMagickResourceLimit(WidthResource, MaxPictureSide);
    SetMagickResourceLimit(HeightResource, MaxPictureSide);
    SetMagickResourceLimit(PixelsResource, MaxPicturePixels);
    // Pictures are converted one per core already; the library's own threads (its Lanczos
    // resize) would only compete with them.
    SetMagickResourceLimit(ThreadsResource, 1);
}

long MagickWarningCount() {
    return warnings.load(std::memory_order_relaxed);
}

} // namespace pelisto
