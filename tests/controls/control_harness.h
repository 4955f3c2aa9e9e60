#pragma once

#include "framework/system.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>
#include <memory>

namespace pelisto::testing {

// Counts beeps and records shell openings for the life of a test.
class SystemRecorder {
public:
    SystemRecorder() {
        SetBeepHandler([this] { ++beeps; });
        SetShellOpenHandler([this](const QString& target) {
            opened.append(target);
            return true;
        });
    }
    ~SystemRecorder() {
        SetBeepHandler({});
        SetShellOpenHandler({});
    }
    SystemRecorder(const SystemRecorder&) = delete;
    SystemRecorder& operator=(const SystemRecorder&) = delete;

    int beeps = 0;
    QStringList opened;
};

// A shown, active window with a plain edit before the control under test, so focus can move
// in and out by Tab.
class FocusWindow {
public:
    FocusWindow() : window(std::make_unique<QWidget>()) {
        auto* layout = new QVBoxLayout(window.get());
        other = new QLineEdit(window.get());
        layout->addWidget(other);
    }
    template <typename T> T* Add(T* widget) {
        window->layout()->addWidget(widget);
        return widget;
    }
    bool Show() {
        window->show();
        window->activateWindow();
        return QTest::qWaitForWindowActive(window.get());
    }

    std::unique_ptr<QWidget> window;
    QLineEdit* other = nullptr;
};

} // namespace pelisto::testing
