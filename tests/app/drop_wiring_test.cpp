#include "framework/cursor_state.h"
#include "slideshow/slideshow_format.h"
#include "started_tool.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <utime.h>

using namespace pelisto;

namespace {

class DropWiringTest : public pelisto::testing::StartedTool {
protected:
    // One drag from outside over the list's viewport, ending in a drop; answers the action the
    // drop returned.
    Qt::DropAction Drop(const QStringList& paths,
                        Qt::KeyboardModifiers keys = Qt::KeyboardModifiers()) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const QString& p : paths) {
            urls << QUrl::fromLocalFile(p);
        }
        mime.setUrls(urls);
        QWidget* to = List().viewport();
        const QPoint at(30, 10);
        const Qt::DropActions allowed = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
        QDragEnterEvent enter(at, allowed, &mime, Qt::LeftButton, keys);
        QApplication::sendEvent(to, &enter);
        QDragMoveEvent move(at + QPoint(5, 5), allowed, &mime, Qt::LeftButton, keys);
        QApplication::sendEvent(to, &move);
        QDropEvent drop(QPointF(at + QPoint(5, 5)), allowed, &mime, Qt::LeftButton, keys);
        QApplication::sendEvent(to, &drop);
        return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
    }

    // Drags one entry of the list onto another with the mouse.
    void DragEntry(int from, int to) {
        QWidget* viewport = List().viewport();
        const QPoint start = List().visualItemRect(List().item(from)).center();
        const QPoint end = List().visualItemRect(List().item(to)).center();
        QTest::mousePress(viewport, Qt::LeftButton, {}, start);
        QMouseEvent move(QEvent::MouseMove, QPointF(end), QPointF(viewport->mapToGlobal(end)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, end);
    }
};

TEST_F(DropWiringTest, TheFilterTakesExtensionsThatOccurInTheOpenDialogsPatterns) {
    // A dropped folder brings its own pictures (its subfolders' only when asked), in the
    // dialog's order; an empty one nothing.
    form->IncludeSubfolders1->setChecked(false);
    QDir(dir.path()).mkdir("Trip.jpg");
    QDir(dir.path()).mkpath("Holiday/inner");
    const QString second =
        Write("Holiday/IMG_2.png", pelisto::testing::QuadrantPattern(20, 10), "PNG");
    const QString tenth =
        Write("Holiday/IMG_10.JPG", pelisto::testing::QuadrantPattern(20, 10), "JPG");
    Write("Holiday/inner/deeper.png", pelisto::testing::QuadrantPattern(20, 10), "PNG");
    QFile notes(Path("Holiday/notes.txt"));
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    const QStringList dropped{Path("a.jpeg"), Path("b.tiff"), Path("c.j"),       Path("d.t"),
                              Path("e.pc"),   Path("noext"),  Path("Holiday"),   Path("Trip.jpg"),
                              Path("f.JPG"),  Path("g.Tga"),  Path("h.png.txt"), Path("i.wmf"),
                              Path("j.HEIC"), Path("k.Avif"), Path("l.webp"),    Path("m.JXL"),
                              Path("n.heif"), Path("o.jx")};
    EXPECT_EQ(Drop(dropped), Qt::CopyAction);
    EXPECT_EQ(
        form->Pictures(),
        (QStringList{Path("a.jpeg"), Path("b.tiff"), Path("c.j"), Path("d.t"), Path("e.pc"), second,
                     tenth, Path("f.JPG"), Path("g.Tga"), Path("i.wmf"), Path("j.HEIC"),
                     Path("k.Avif"), Path("l.webp"), Path("m.JXL"), Path("n.heif"), Path("o.jx")}));
    EXPECT_TRUE(ui().Button2->isEnabled());
    EXPECT_TRUE(ui().Button4->isEnabled());
    // The files of a type the tool does not read are named in one message, after the line that
    // counts what the folder skipped.
    ASSERT_EQ(dialogs->boxes.size(), 1u);
    EXPECT_EQ(dialogs->boxes[0].text,
              "Pictures added: 16. Files skipped (not pictures or hidden): 1\n"
              "These files are not pictures that can be read; they were not added:\n" +
                  Path("noext") + " : file type not supported\n" + Path("h.png.txt") +
                  " : file type not supported");
    EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Default);
}

TEST_F(DropWiringTest, OnlyRejectedNamesLeaveTheButtonsDisabled) {
    for (const Qt::KeyboardModifiers keys :
         {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::ShiftModifier),
          Qt::ShiftModifier | Qt::ControlModifier}) {
        EXPECT_EQ(Drop({Path("a.psd"), Path("b.xcf"), Path("c.txt")}, keys), Qt::CopyAction);
    }
    EXPECT_EQ(List().count(), 0);
    EXPECT_FALSE(ui().Button2->isEnabled());
    EXPECT_FALSE(ui().Button4->isEnabled());
    EXPECT_EQ(Drop({Path("one.gif")}, Qt::ShiftModifier), Qt::CopyAction);
    EXPECT_EQ(form->Pictures(), QStringList{Path("one.gif")});
    EXPECT_TRUE(ui().Button2->isEnabled());
    EXPECT_TRUE(ui().Button4->isEnabled());
}

TEST_F(DropWiringTest, ListedNamesAreSkippedAndDropOrderIsKept) {
    Choose({"/Photos/A.JPG"});
    Drop({"/photos/z.png", "/Photos/A.JPG", "/photos/m.bmp", "/photos/z.png", "/photos/b.gif"});
    EXPECT_EQ(form->Pictures(),
              (QStringList{"/Photos/A.JPG", "/photos/z.png", "/photos/m.bmp", "/photos/b.gif"}));
    // Names that differ only in letter case are different files here.
    Drop({"/photos/M.bmp", "/photos/m.bmp", "/photos/a.jpg"});
    EXPECT_EQ(form->Pictures().mid(4), (QStringList{"/photos/M.bmp", "/photos/a.jpg"}));
    EXPECT_EQ(List().count(), 6);
}

TEST_F(DropWiringTest, ADropChangesNeitherTheSelectionNorThePreview) {
    const QString shown = Write("shown.png", pelisto::testing::QuadrantPattern(300, 400), "PNG");
    const QString other = Write("other.bmp", pelisto::testing::QuadrantPattern(100, 50), "BMP");
    Choose({shown});
    Select(shown);
    const QRect place = ui().Image->geometry();

    Drop({other, Path("more.jpg")});
    EXPECT_EQ(form->Pictures(), (QStringList{shown, other, Path("more.jpg")}));
    EXPECT_EQ(List().currentRow(), 0);
    EXPECT_EQ(List().selectedItems().size(), 1);
    EXPECT_EQ(ui().Image->ImageName(), shown);
    EXPECT_EQ(ui().Image->geometry(), place);
}

TEST_F(DropWiringTest, DraggingAnEntryReordersTheSlideshow) {
    // Pictures of four widths, so the slideshow's pictures can be told apart.
    const QStringList names{"A.png", "B.png", "C.png", "D.png"};
    QStringList paths;
    for (int i = 0; i < 4; ++i) {
        paths << Write(names[i], pelisto::testing::QuadrantPattern(40 + 10 * i, 30), "PNG");
    }
    Choose({paths[3], paths[2], paths[1], paths[0]});
    ASSERT_EQ(form->Pictures(), paths);

    Click(1);
    DragEntry(1, 3); // B onto D: B lands just after D
    EXPECT_EQ(form->Pictures(), (QStringList{paths[0], paths[2], paths[3], paths[1]}));
    EXPECT_EQ(List().currentRow(), 3);
    EXPECT_EQ(ui().Image->ImageName(), paths[1]);

    DragEntry(2, 0); // D onto A: D lands just before A
    EXPECT_EQ(form->Pictures(), (QStringList{paths[3], paths[0], paths[2], paths[1]}));
    EXPECT_EQ(List().currentRow(), 0);

    QFile stub(form->StubPath());
    ASSERT_TRUE(stub.open(QIODevice::WriteOnly));
    stub.write(QByteArray(1000, 's'));
    stub.close();
    const QString out = tool.filePath("show.exe");
    form->BuildSlideshow(out);
    const SlideshowLayout layout = ReadSlideshowFile(out.toStdString());
    const QByteArray bytes = pelisto::testing::FileBytes(out);
    QList<int> widths;
    for (const PictureSlice& slice : layout.pictures) {
        widths << QImage::fromData(bytes.mid(static_cast<qsizetype>(slice.offset), slice.length),
                                   "JPG")
                      .width();
    }
    EXPECT_EQ(widths, (QList<int>{70, 40, 60, 50}));
}

// Photos with and without an EXIF date, whose file times disagree with it: each order comes
// out, two photos taken at the same second go by their names, the selected entry stays selected,
// and dragging still moves entries afterwards.
TEST_F(DropWiringTest, SortingPutsTheListInEachOrderAndDraggingStillWorks) {
    struct Photo {
        const char* fixture;
        const char* name;
        int modifiedYear;
    };
    const Photo photos[] = {{"pictures/exif_date.jpg", "IMG_10.jpg", 2021}, // taken 2024-05-17
                            {"pictures/baseline.jpg", "IMG_2.jpg", 2024},
                            {"pictures/rgb24.png", "img_9.png", 2023},
                            {"pictures/camera.jpg", "IMG_3.jpg", 2022}}; // taken as IMG_10
    QStringList added;
    for (const Photo& p : photos) {
        added << CopyFixture(p.fixture, p.name);
        const QDateTime when(QDate(p.modifiedYear, 1, 1), QTime(12, 0));
        const utimbuf times{when.toSecsSinceEpoch(), when.toSecsSinceEpoch()};
        ASSERT_EQ(::utime(QFile::encodeName(added.back()).constData(), &times), 0);
    }
    dialogs->openAnswers.push_back(added);
    form->Button1Click();
    // The dialog's order is the name order: start from another one.
    DragEntry(0, 3);
    Select(Path("IMG_10.jpg"));
    const struct {
        QAction* command;
        QStringList order;
    } rows[] = {
        {form->SortByName1, {"IMG_2.jpg", "IMG_3.jpg", "img_9.png", "IMG_10.jpg"}},
        {form->SortByTaken1, {"img_9.png", "IMG_2.jpg", "IMG_3.jpg", "IMG_10.jpg"}},
        {form->SortByModified1, {"IMG_10.jpg", "IMG_3.jpg", "img_9.png", "IMG_2.jpg"}},
        {form->SortByName1, {"IMG_2.jpg", "IMG_3.jpg", "img_9.png", "IMG_10.jpg"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.command->text().toStdString());
        form->PopupMenu1Popup();
        ASSERT_TRUE(row.command->isEnabled());
        row.command->trigger();
        QStringList names;
        for (const QString& p : form->Pictures()) {
            names << QFileInfo(p).fileName();
        }
        EXPECT_EQ(names, row.order);
        EXPECT_EQ(List().currentItem()->text(), Path("IMG_10.jpg"));
        EXPECT_EQ(List().selectedItems().size(), 1);
    }
    EXPECT_TRUE(dialogs->boxes.empty());
    DragEntry(3, 0); // IMG_10 onto IMG_2: just before it
    EXPECT_EQ(form->Pictures(), (QStringList{Path("IMG_10.jpg"), Path("IMG_2.jpg"),
                                             Path("IMG_3.jpg"), Path("img_9.png")}));
    EXPECT_EQ(List().currentRow(), 0);
    EXPECT_EQ(ui().Image->ImageName(), Path("IMG_10.jpg"));
}

} // namespace
