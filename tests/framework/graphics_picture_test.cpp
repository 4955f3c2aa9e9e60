#include "framework/graphics/bitmap.h"
#include "framework/graphics/icon.h"
#include "framework/graphics/metafile.h"
#include "framework/graphics/picture.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace pelisto;

namespace {

QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return file.fileName();
}

// One ICO image: a 32-bit DIB of twice the height (colour rows, then the AND mask).
QByteArray IconDib(int size, QRgb color) {
    const int maskRow = ((size + 31) / 32) * 4;
    QByteArray dib(40 + size * size * 4 + maskRow * size, '\0');
    auto* d = reinterpret_cast<uchar*>(dib.data());
    qToLittleEndian<quint32>(40, d);
    qToLittleEndian<qint32>(size, d + 4);
    qToLittleEndian<qint32>(size * 2, d + 8);
    qToLittleEndian<quint16>(1, d + 12);
    qToLittleEndian<quint16>(32, d + 14);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            uchar* p = d + 40 + (y * size + x) * 4;
            const bool clear = x < size / 2; // left half transparent
            p[0] = static_cast<uchar>(qBlue(color));
            p[1] = static_cast<uchar>(qGreen(color));
            p[2] = static_cast<uchar>(qRed(color));
            p[3] = clear ? 0 : 255;
        }
    }
    return dib;
}

QByteArray Icon(const QList<std::pair<int, QRgb>>& images) {
    QByteArray head(6 + 16 * images.size(), '\0');
    QByteArray body;
    auto* d = reinterpret_cast<uchar*>(head.data());
    qToLittleEndian<quint16>(1, d + 2);
    qToLittleEndian<quint16>(static_cast<quint16>(images.size()), d + 4);
    for (int i = 0; i < images.size(); ++i) {
        const QByteArray dib = IconDib(images[i].first, images[i].second);
        uchar* entry = d + 6 + 16 * i;
        entry[0] = static_cast<uchar>(images[i].first);
        entry[1] = static_cast<uchar>(images[i].first);
        qToLittleEndian<quint16>(1, entry + 4);
        qToLittleEndian<quint16>(32, entry + 6);
        qToLittleEndian<quint32>(static_cast<quint32>(dib.size()), entry + 8);
        qToLittleEndian<quint32>(static_cast<quint32>(head.size() + body.size()), entry + 12);
        body += dib;
    }
    return head + body;
}

// A graphic class that reads anything, to check which class the holder picks.
class TFakeGraphic : public TBitmap {
public:
    QString ClassName() const override { return QStringLiteral("TFakeGraphic"); }
    void ReadFrom(QIODevice&) override { SetSize(1, 1); }
};

TEST(Picture, PicksTheGraphicClassByExtensionIgnoringCase) {
    QTemporaryDir dir;
    TPicture picture;
    picture.LoadFromFile(PELISTO_FIXTURES "/wmf/shapes.wmf");
    EXPECT_NE(dynamic_cast<TMetafile*>(picture.Graphic()), nullptr);

    QFile::copy(PELISTO_FIXTURES "/wmf/shapes.wmf", dir.filePath("UPPER.WMF"));
    picture.LoadFromFile(dir.filePath("UPPER.WMF"));
    EXPECT_NE(dynamic_cast<TMetafile*>(picture.Graphic()), nullptr);
    EXPECT_EQ(picture.Width(), 300);

    picture.LoadFromFile(WriteFile(dir, "i.IcO", Icon({{16, qRgb(0, 0, 255)}})));
    EXPECT_NE(dynamic_cast<TIcon*>(picture.Graphic()), nullptr);

    TBitmap bitmap(3, 2, pf24bit);
    bitmap.SaveToFile(dir.filePath("b.Bmp"));
    picture.LoadFromFile(dir.filePath("b.Bmp"));
    ASSERT_NE(dynamic_cast<TBitmap*>(picture.Graphic()), nullptr);
    EXPECT_EQ(picture.Width(), 3);
    EXPECT_EQ(picture.Height(), 2);
}

TEST(Picture, UnknownExtensionMessageKeepsTheExtensionAsGiven) {
    TPicture picture;
    const auto message = [&](const QString& name) {
        try {
            picture.LoadFromFile(name);
        } catch (const EInvalidGraphic& e) {
            return e.message();
        }
        return QStringLiteral("no error");
    };
    // The extension is judged before the file is opened: these files need not exist.
    EXPECT_EQ(message("/nowhere/photo.XyZ"),
              QStringLiteral("Extension de fichier graphique inconnue (.XyZ)"));
    EXPECT_EQ(message("/nowhere/noextension"),
              QStringLiteral("Extension de fichier graphique inconnue (.)"));
    EXPECT_EQ(message("/some.dir/name"),
              QStringLiteral("Extension de fichier graphique inconnue (.)"));
    EXPECT_EQ(picture.Graphic(), nullptr);
}

TEST(Picture, MissingOrBadFilesRaiseAndKeepTheHeldPicture) {
    QTemporaryDir dir;
    TPicture picture;
    picture.LoadFromFile(PELISTO_FIXTURES "/wmf/offset_origin.wmf");
    TGraphic* held = picture.Graphic();

    const QString missing = dir.filePath("missing.ico");
    try {
        picture.LoadFromFile(missing);
        FAIL() << "no error";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Impossible d'ouvrir le fichier ") + missing);
    }
    EXPECT_THROW(picture.LoadFromFile(WriteFile(dir, "bad.ico", "not an icon")), EInvalidGraphic);
    EXPECT_THROW(picture.LoadFromFile(WriteFile(dir, "empty.bmp", {})), EInvalidGraphic);
    EXPECT_EQ(picture.Graphic(), held);
    EXPECT_EQ(picture.Width(), 160);
}

TEST(Picture, LatestRegistrationWinsUntilItsClassIsUnregistered) {
    QTemporaryDir dir;
    const QString file = WriteFile(dir, "x.wMf", "anything");
    TPicture::RegisterFileFormat(
        "WMF", "fake", [] { return std::make_unique<TFakeGraphic>(); }, "TFakeGraphic");
    TPicture picture;
    picture.LoadFromFile(file);
    EXPECT_EQ(picture.Graphic()->ClassName(), QStringLiteral("TFakeGraphic"));
    EXPECT_EQ(TPicture::FileFormatDescription("wmf"), QStringLiteral("fake"));

    TPicture::UnregisterGraphicClass("TFakeGraphic");
    EXPECT_THROW(picture.LoadFromFile(file), EInvalidGraphic); // the real metafile reader
    EXPECT_EQ(picture.Graphic()->ClassName(), QStringLiteral("TFakeGraphic"));
}

TEST(Picture, ChangeNotificationsAndBitmapAccess) {
    TPicture picture;
    int changes = 0;
    picture.OnChange = [&](TPicture&) { ++changes; };
    TBitmap& bitmap = picture.Bitmap();
    EXPECT_EQ(changes, 1);
    bitmap.SetSize(5, 5);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(&picture.Bitmap(), &bitmap);
    EXPECT_EQ(picture.Width(), 5);

    TPicture other;
    other.Assign(&bitmap);
    ASSERT_NE(other.Graphic(), nullptr);
    EXPECT_NE(other.Graphic(), &bitmap);
    EXPECT_EQ(other.Width(), 5);
}

TEST(Icon, ShowsTheLargestImageWithItsTransparency) {
    QTemporaryDir dir;
    const QString path =
        WriteFile(dir, "three.ico",
                  Icon({{16, qRgb(255, 0, 0)}, {48, qRgb(0, 128, 0)}, {32, qRgb(0, 0, 255)}}));
    TIcon icon;
    icon.LoadFromFile(path);
    EXPECT_EQ(icon.ImageCount(), 3);
    EXPECT_EQ(icon.Width(), 48);
    EXPECT_EQ(icon.Height(), 48);
    EXPECT_EQ(qAlpha(icon.Image().pixel(5, 5)), 0);
    EXPECT_EQ(icon.Image().pixel(40, 5), qRgb(0, 128, 0));

    // Drawn on a new bitmap the transparent half comes out white.
    TBitmap bitmap(icon.Width(), icon.Height(), pfDevice);
    {
        TCanvas canvas(bitmap);
        canvas.Draw(0, 0, icon);
    }
    EXPECT_EQ(bitmap.Image().pixel(5, 5), qRgb(255, 255, 255));
    EXPECT_EQ(bitmap.Image().pixel(40, 40), qRgb(0, 128, 0));

    try {
        icon.SetWidth(10);
        FAIL() << "no error";
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Impossible de modifier la taille d'une icône"));
    }
    EXPECT_THROW(icon.LoadFromFile(WriteFile(dir, "cut.ico", QByteArray("\0\0\1\0\5\0", 6))),
                 EInvalidGraphic);
    EXPECT_EQ(icon.Width(), 48);
}

} // namespace
