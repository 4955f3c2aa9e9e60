// Starts the tool's two windows as the tool does, fills the picture list through the open
// dialog's route and saves pictures of the main window (with several entries selected in turn)
// and of the test window, for a person to look at. Usage: pelisto-screens [output folder].

#include "app/main_window.h"
#include "framework/application.h"
#include "framework/graphics/magick_startup.h"
#include "picture/jpeg_image.h"
#include "support/fake_dialogs.h"
#include "test_show/test_window.h"
#include "ui_main_window.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

void Settle(int ms = 300) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// A picture with a sky, a sun and a frame, so that cropping, stretching or a turn shows.
QImage Scene(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0, QColor(40, 90, 200));
    sky.setColorAt(1, QColor(230, 200, 120));
    p.fillRect(image.rect(), sky);
    p.setBrush(QColor(250, 220, 40));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPoint(w / 4, h / 4), std::min(w, h) / 8, std::min(w, h) / 8);
    p.fillRect(0, h * 3 / 4, w, h - h * 3 / 4, QColor(40, 140, 60));
    p.setPen(QPen(Qt::red, std::max(2, w / 100)));
    p.setBrush(Qt::NoBrush);
    p.drawRect(image.rect().adjusted(1, 1, -2, -2));
    return image;
}

bool Save(const QPixmap& pixmap, const QString& path) {
    const bool ok = pixmap.save(path, "PNG");
    std::printf("%s %s (%dx%d)\n", ok ? "wrote" : "FAILED", qPrintable(path), pixmap.width(),
                pixmap.height());
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    pelisto::StartMagick({});
    pelisto::Application app(argc, argv);
    pelisto::SetApplicationTitle(QStringLiteral("Pelisto maker"));
    pelisto::RegisterJPEGGraphic();

    const QString out =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/pelisto-screens");
    QDir().mkpath(out);
    QTemporaryDir work;
    if (!work.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    const QString landscape = work.filePath(QStringLiteral("landscape.jpg"));
    const QString portrait = work.filePath(QStringLiteral("portrait.png"));
    Scene(1600, 1200).save(landscape, "JPG", 90);
    Scene(800, 1000).save(portrait, "PNG");
    const QString fixtures = QStringLiteral(PELISTO_FIXTURES);
    const QString small = fixtures + QStringLiteral("/pictures/rgb24.png");
    const QString metafile = fixtures + QStringLiteral("/wmf/shapes.wmf");
    const QString icon = fixtures + QStringLiteral("/pictures/multi.ico");
    const QString gif = fixtures + QStringLiteral("/pictures/still.gif");
    // The open dialog's choice joins the list in reverse: the list reads landscape first.
    const QStringList chosen{gif, icon, metafile, small, portrait, landscape};

    pelisto::TForm1 form1;
    pelisto::TForm2 form2(&form1);
    form1.SetTestWindow(&form2);
    form1.SetToolFolder(work.path()); // the scratch JPEG stays out of the build folder
    form1.show();
    Settle();

    bool ok = true;
    {
        pelisto::testing::ScopedFakeDialogs dialogs;
        dialogs->openAnswers.push_back(chosen);
        form1.Button1Click();
    }
    QListWidget* list = form1.ui().ListBox1;
    const char* names[] = {"main-landscape", "main-portrait", "main-small",
                           "main-metafile",  "main-icon",     "main-gif"};
    for (int row = 0; row < list->count() && row < 6; ++row) {
        list->setCurrentRow(row);
        Settle(150);
        ok = Save(form1.grab(),
                  out + QLatin1Char('/') + QLatin1String(names[row]) + QStringLiteral(".png")) &&
             ok;
    }
    list->setCurrentRow(0);

    // The test window, shown as the test button shows it (without its modal loop, so the
    // pictures can be taken from here).
    QScreen* screen = QGuiApplication::primaryScreen();
    form2.show();
    Settle(600);
    ok = Save(screen->grabWindow(0), out + QStringLiteral("/test-landscape.png")) && ok;
    form2.FormKeyDown(pelisto::VK_SPACE);
    Settle();
    ok = Save(screen->grabWindow(0), out + QStringLiteral("/test-portrait.png")) && ok;
    form2.FormKeyDown(pelisto::VK_SPACE);
    Settle();
    ok = Save(screen->grabWindow(0), out + QStringLiteral("/test-small.png")) && ok;
    form2.FormKeyDown(pelisto::VK_ADD);
    Settle();
    ok = Save(screen->grabWindow(0), out + QStringLiteral("/test-small-zoomed.png")) && ok;
    form2.close();
    Settle(100);

    // A save of large pictures, taken while its progress dialog is up and once it is done.
    QFile::copy(pelisto::ExecutableFolder() + QStringLiteral("TheExe.exe"),
                work.filePath(QStringLiteral("TheExe.exe")));
    QStringList large;
    for (int i = 0; i < 8; ++i) {
        large << work.filePath(QStringLiteral("large%1.png").arg(i));
        Scene(4000, 3000).save(large.back(), "PNG");
    }
    {
        pelisto::testing::ScopedFakeDialogs dialogs;
        dialogs->openAnswers.push_back(large);
        form1.Button1Click();
    }
    QTimer::singleShot(900, [&] {
        ok = Save(screen->grabWindow(0), out + QStringLiteral("/save-progress.png")) && ok;
    });
    form1.BuildSlideshow(work.filePath(QStringLiteral("Pelisto.exe")));
    Settle(150);
    ok = Save(form1.grab(), out + QStringLiteral("/main-saved.png")) && ok;

    // The real save dialog with its list of file types open, then cancelled.
    QTimer::singleShot(800, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        auto* types =
            dialog ? dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo")) : nullptr;
        if (types != nullptr) {
            types->showPopup();
        }
        QTimer::singleShot(500, [&, dialog, types] {
            ok = Save(screen->grabWindow(0), out + QStringLiteral("/save-types.png")) && ok;
            if (types != nullptr) {
                types->hidePopup();
            }
            if (dialog != nullptr) {
                dialog->reject();
            }
        });
    });
    form1.Button2Click();
    return ok ? 0 : 1;
}
