#include "framework/cursor_state.h"
#include "framework/dialogs.h"
#include "framework/image_box.h"
#include "started_tool.h"

using namespace pelisto;

namespace {

class PreviewTest : public pelisto::testing::StartedTool {
protected:
    QRect ImageRect() { return ui().Image->geometry(); }
    QRect Image1Rect() { return ui().Image1->geometry(); }
    bool Blank() {
        return ui().Image->ImageName().isEmpty() && ui().Image->HeldBitmap() == nullptr &&
               ui().Image1->Picture().Graphic() == nullptr;
    }
};

struct Expected {
    const char* name;
    const char* format;
    int w;
    int h;
    QRect shown;
    bool scaled;
};

// The panel is 265 x 265, its preview box 212 x 212.
const Expected kSizes[] = {
    {"small.png", "PNG", 100, 50, QRect(82, 107, 100, 50), false},
    {"exact.jpg", "JPG", 212, 212, QRect(26, 26, 212, 212), false},
    {"landscape.bmp", "BMP", 400, 300, QRect(26, 53, 212, 159), true},
    {"portrait.png", "PNG", 300, 400, QRect(53, 26, 159, 212), true},
    {"half.jpg", "JPG", 400, 250, QRect(26, 66, 212, 132), true}, // 132.5 goes to 132
    {"square.bmp", "BMP", 500, 500, QRect(26, 26, 212, 212), true},
    {"wide.png", "PNG", 213, 100, QRect(26, 82, 212, 100), true},
};

TEST_F(PreviewTest, EachPictureIsFittedIntoTheBoxAndCentredInThePanel) {
    ASSERT_EQ(ui().Panel->size(), QSize(265, 265));
    QStringList paths;
    for (const Expected& e : kSizes) {
        paths << Write(e.name, pelisto::testing::QuadrantPattern(e.w, e.h), e.format);
    }
    Choose(paths);
    for (const Expected& e : kSizes) {
        SCOPED_TRACE(e.name);
        Select(Path(e.name));
        EXPECT_TRUE(ui().Image->isVisible());
        EXPECT_FALSE(ui().Image1->isVisible());
        EXPECT_EQ(ui().Image->ImageName(), Path(e.name));
        EXPECT_EQ(ui().Image->ImageWidth(), e.w);
        EXPECT_EQ(ui().Image->ImageHeight(), e.h);
        EXPECT_EQ(ImageRect(), e.shown);
        EXPECT_EQ(ui().Image->Stretch(), e.scaled);
    }
    EXPECT_TRUE(dialogs->boxes.empty());
    EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Default);
}

TEST_F(PreviewTest, MetafilesAndIconsUseThePictureBoxAndTheOtherControlHides) {
    const QString png = Write("first.png", pelisto::testing::QuadrantPattern(400, 300), "PNG");
    const QString wmf = CopyFixture("wmf/shapes.wmf", "shapes.WMF");
    const QString ico = CopyFixture("pictures/multi.ico", "multi.ico");
    const QString jpg = Write("last.jpg", pelisto::testing::QuadrantPattern(100, 50), "JPG");
    Choose({png, wmf, ico, jpg});

    Select(png);
    EXPECT_TRUE(ui().Image->isVisible());
    EXPECT_FALSE(ui().Image1->isVisible());

    for (const QString& path : {wmf, ico}) {
        SCOPED_TRACE(path.toStdString());
        Select(path);
        EXPECT_TRUE(ui().Image1->isVisible());
        EXPECT_FALSE(ui().Image->isVisible());
        const int w = ui().Image1->Picture().Width();
        const int h = ui().Image1->Picture().Height();
        ASSERT_GT(w, 0);
        ASSERT_GT(h, 0);
        const QRect r = Image1Rect();
        if (w <= 212 && h <= 212) {
            EXPECT_EQ(r.size(), QSize(w, h));
            EXPECT_FALSE(ui().Image1->Stretch());
        } else {
            EXPECT_EQ(std::max(r.width(), r.height()), 212);
            EXPECT_TRUE(ui().Image1->Stretch());
        }
        EXPECT_EQ(r.left(), (265 - r.width()) / 2);
        EXPECT_EQ(r.top(), (265 - r.height()) / 2);
        // The other control keeps the last picture it showed.
        EXPECT_EQ(ui().Image->ImageName(), png);
    }
    // The icon comes at its natural size: a few dozen pixels, centred.
    EXPECT_LE(Image1Rect().width(), 48);

    Select(jpg);
    EXPECT_TRUE(ui().Image->isVisible());
    EXPECT_FALSE(ui().Image1->isVisible());
    EXPECT_EQ(ImageRect(), QRect(82, 107, 100, 50));
    EXPECT_TRUE(dialogs->boxes.empty());
}

TEST_F(PreviewTest, AFileDeletedSinceItWasListedBlanksThePreviewQuietly) {
    const QString shown = Write("shown.png", pelisto::testing::QuadrantPattern(300, 400), "PNG");
    const QString gone = Write("gone.jpg", pelisto::testing::QuadrantPattern(50, 50), "JPG");
    const QString goneWmf = CopyFixture("wmf/shapes.wmf", "gone.wmf");
    Choose({shown, gone, goneWmf});
    Select(shown);
    ASSERT_FALSE(Blank());
    ASSERT_TRUE(QFile::remove(gone));
    ASSERT_TRUE(QFile::remove(goneWmf));

    Select(gone);
    EXPECT_TRUE(Blank());
    Select(shown);
    EXPECT_EQ(ImageRect(), QRect(53, 26, 159, 212));
    Select(goneWmf);
    EXPECT_TRUE(Blank());
    EXPECT_TRUE(dialogs->boxes.empty());
    EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Default);
}

TEST_F(PreviewTest, RemovingAndClearingRefreshThePreview) {
    const QString a = Write("a.png", pelisto::testing::QuadrantPattern(100, 50), "PNG");
    const QString b = Write("b.bmp", pelisto::testing::QuadrantPattern(400, 300), "BMP");
    const QString c = Write("c.png", pelisto::testing::QuadrantPattern(300, 400), "PNG");
    Choose({c, b, a}); // listed a, b, c

    Select(c);
    form->Effacer1Click(); // the previous entry, b, is selected and shown
    EXPECT_EQ(List().currentRow(), 1);
    EXPECT_EQ(ui().Image->ImageName(), b);
    EXPECT_EQ(ImageRect(), QRect(26, 53, 212, 159));

    Select(a);
    QTest::keyClick(&List(), Qt::Key_Delete); // the first entry: nothing selected, blank
    EXPECT_TRUE(List().selectedItems().isEmpty());
    EXPECT_TRUE(Blank());

    Select(b);
    ASSERT_FALSE(Blank());
    dialogs->boxAnswers.push_back(mrNo);
    form->Effacertout1Click();
    EXPECT_FALSE(Blank());
    dialogs->boxAnswers.push_back(mrYes);
    form->Effacertout1Click();
    EXPECT_TRUE(Blank());
    EXPECT_EQ(List().count(), 0);
}

TEST_F(PreviewTest, PicturesThatCannotBeReadAreSwallowedWithTheCursorRestored) {
    const QString good = Write("good.png", pelisto::testing::QuadrantPattern(100, 50), "PNG");
    QStringList broken;
    const auto spoil = [&] {
        broken.clear();
        for (const char* name : {"noise.png", "noise.jpg", "noise.wmf", "noise.ico", "noise.tga"}) {
            QFile f(Path(name));
            EXPECT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(QByteArray("this is not a picture at all, just some text").repeated(20));
            broken << Path(name);
        }
        // A JPEG cut in half.
        const QString cut = Write("cut.jpg", pelisto::testing::DetailPattern(300, 200), "JPG");
        QFile::resize(cut, QFileInfo(cut).size() / 2);
        broken << cut;
    };
    // Offered to the list, none joins it, and one message names every one of them.
    spoil();
    Choose(broken + QStringList{good});
    EXPECT_EQ(form->Pictures(), QStringList{good});
    ASSERT_EQ(dialogs->boxes.size(), 1u);
    const QStringList said = dialogs->boxes[0].text.split('\n');
    ASSERT_EQ(said.size(), broken.size() + 1) << dialogs->boxes[0].text.toStdString();
    EXPECT_EQ(said[0], "These files are not pictures that can be read; they were not added:");
    for (const QString& path : broken) {
        EXPECT_TRUE(said.filter(path + " : ").size() == 1) << path.toStdString();
    }
    EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Default);
    dialogs->boxes.clear();

    // Listed while they were pictures, then spoiled.
    for (const char* name : {"noise.png", "noise.jpg", "cut.jpg"}) {
        Write(name, pelisto::testing::QuadrantPattern(30, 20),
              QString(name).endsWith("png") ? "PNG" : "JPG");
    }
    CopyFixture("pictures/rgb24.tga", "noise.tga");
    CopyFixture("wmf/shapes.wmf", "noise.wmf");
    CopyFixture("pictures/multi.ico", "noise.ico");
    Choose(broken);
    ASSERT_TRUE(dialogs->boxes.empty()) << dialogs->boxes[0].text.toStdString();
    spoil();

    for (const QString& path : broken) {
        SCOPED_TRACE(path.toStdString());
        Select(good);
        Select(path);
        EXPECT_TRUE(dialogs->boxes.empty());
        EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Default);
        // The good picture before it is not shown in its place.
        if (path.endsWith(".wmf") || path.endsWith(".ico")) {
            EXPECT_EQ(ui().Image1->Picture().Graphic(), nullptr);
        } else {
            EXPECT_EQ(ui().Image->HeldBitmap(), nullptr);
            EXPECT_TRUE(ui().Image->ImageName().isEmpty());
        }
    }
    Select(good);
    EXPECT_EQ(ImageRect(), QRect(82, 107, 100, 50));
}

// A shrunk preview is filtered: one-pixel black and white lines become grey, not a random
// choice of whole black or white lines.
TEST_F(PreviewTest, AShrunkPictureIsSmoothedNotStrippedOfLines) {
    QImage lines(424, 424, QImage::Format_RGB32);
    for (int y = 0; y < lines.height(); ++y) {
        for (int x = 0; x < lines.width(); ++x) {
            lines.setPixel(x, y, (y % 2 == 0) ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
        }
    }
    const QString path = Write("lines.png", lines, "PNG");
    Choose({path});
    Select(path);
    ASSERT_EQ(ImageRect(), QRect(26, 26, 212, 212));
    const QImage shown = ui().Image->grab().toImage();
    for (int y = 20; y < 190; y += 17) {
        const int grey = qGray(shown.pixel(106, y));
        EXPECT_GT(grey, 90) << y;
        EXPECT_LT(grey, 165) << y;
    }
}

} // namespace
