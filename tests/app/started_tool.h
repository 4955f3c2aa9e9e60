#pragma once

// The tool as its start-up builds it (both windows, the JPEG graphic registered), with the tool
// folder pointed at a temporary folder, and the picture files the window tests need.

#include "app/main_window.h"
#include "framework/application.h"
#include "picture/jpeg_image.h"
#include "picture/multi_picture.h"
#include "support/fake_dialogs.h"
#include "test_show/test_window.h"
#include "ui_main_window.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QListWidget>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <memory>

namespace pelisto::testing {

inline QString Fixture(const QString& relative) {
    return QStringLiteral(PELISTO_FIXTURES "/") + relative;
}

// Four quadrants of clearly different colours, so a turn can be told from its mirror or from
// a turn the other way even after lossy compression.
inline const std::array<QRgb, 4> kQuadrants{qRgb(220, 20, 20), qRgb(20, 200, 20), qRgb(20, 20, 220),
                                            qRgb(240, 240, 240)};

inline QImage QuadrantPattern(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    QPainter p(&image);
    p.fillRect(0, 0, w / 2, h / 2, QColor(kQuadrants[0]));         // top left
    p.fillRect(w / 2, 0, w - w / 2, h / 2, QColor(kQuadrants[1])); // top right
    p.fillRect(0, h / 2, w / 2, h - h / 2, QColor(kQuadrants[2])); // bottom left
    p.fillRect(w / 2, h / 2, w - w / 2, h - h / 2, QColor(kQuadrants[3]));
    return image;
}

// Every pixel different from its neighbours, for exact round trips of lossless formats.
inline QImage DetailPattern(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            image.setPixel(
                x, y, qRgb((x * 37 + y * 11) & 255, (x * 5 + y * 29) & 255, (x * y + 3 * x) & 255));
        }
    }
    return image;
}

// Which quadrant colour lies at the centre of each quadrant of an image: the indices into
// kQuadrants for top left, top right, bottom left, bottom right; -1 for none close enough.
inline std::array<int, 4> QuadrantColours(const QImage& image) {
    const int w = image.width();
    const int h = image.height();
    const std::array<QPoint, 4> at{QPoint(w / 4, h / 4), QPoint(3 * w / 4, h / 4),
                                   QPoint(w / 4, 3 * h / 4), QPoint(3 * w / 4, 3 * h / 4)};
    std::array<int, 4> out{-1, -1, -1, -1};
    for (int q = 0; q < 4; ++q) {
        const QRgb c = image.pixel(at[q]);
        for (int k = 0; k < 4; ++k) {
            const QRgb r = kQuadrants[k];
            if (std::abs(qRed(c) - qRed(r)) < 40 && std::abs(qGreen(c) - qGreen(r)) < 40 &&
                std::abs(qBlue(c) - qBlue(r)) < 40) {
                out[q] = k;
            }
        }
    }
    return out;
}

inline QByteArray FileBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    return f.readAll();
}

class StartedTool : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static const bool registered = [] {
            RegisterJPEGGraphic();
            return true;
        }();
        (void)registered;
    }

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        SetApplicationTitle(QStringLiteral("Pelisto maker"));
        form = std::make_unique<TForm1>();
        form2 = std::make_unique<TForm2>(form.get(), form.get());
        form->SetTestWindow(form2.get());
        form->SetToolFolder(tool.path());
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }

    void TearDown() override {
        form2.reset();
        form.reset();
    }

    Ui::TForm1& ui() { return form->ui(); }
    QListWidget& List() { return *form->ui().ListBox1; }

    QString Path(const QString& name) const { return dir.filePath(name); }

    QString Write(const QString& name, const QImage& image, const char* format = nullptr,
                  int quality = -1) {
        const QString path = Path(name);
        EXPECT_TRUE(image.save(path, format, quality)) << path.toStdString();
        return path;
    }

    QString CopyFixture(const QString& relative, const QString& name) {
        const QString path = Path(name);
        QFile::remove(path);
        EXPECT_TRUE(QFile::copy(Fixture(relative), path)) << relative.toStdString();
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        return path;
    }

    // Adds files through the open dialog: they join in the order it lists them.
    void Choose(const QStringList& files) {
        dialogs->openAnswers.push_back(files);
        form->Button1Click();
    }
    int RowOf(const QString& path) {
        for (int i = 0; i < List().count(); ++i) {
            if (List().item(i)->text() == path) {
                return i;
            }
        }
        return -1;
    }
    // Selects the entry as a mouse click does.
    void Click(int row) {
        QListWidgetItem* item = List().item(row);
        List().scrollToItem(item);
        QTest::mouseClick(List().viewport(), Qt::LeftButton, {},
                          List().visualItemRect(item).center());
    }
    void Select(const QString& path) {
        const int row = RowOf(path);
        ASSERT_GE(row, 0) << path.toStdString();
        Click(row);
        ASSERT_EQ(List().currentRow(), row);
    }

    ScopedFakeDialogs dialogs;
    QTemporaryDir dir;  // the pictures
    QTemporaryDir tool; // the tool folder: scratch JPEG and stub
    std::unique_ptr<TForm1> form;
    std::unique_ptr<TForm2> form2;
};

} // namespace pelisto::testing
