#include "framework/system.h"

#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QMetaMethod>
#include <QObject>
#include <QUrl>

namespace pelisto {

namespace {
std::function<bool(const QString&)>& ShellHandler() {
    static std::function<bool(const QString&)> handler;
    return handler;
}
std::function<void()>& BeepHandler() {
    static std::function<void()> handler;
    return handler;
}
std::function<std::uint32_t()>& TickHandler() {
    static std::function<std::uint32_t()> source;
    return source;
}

void CallLoadedOn(QObject* object) {
    const QMetaObject* meta = object->metaObject();
    const int index = meta->indexOfMethod("Loaded()");
    if (index >= 0) {
        meta->method(index).invoke(object, Qt::DirectConnection);
    }
}
} // namespace

bool ShellOpen(const QString& target) {
    if (ShellHandler()) {
        return ShellHandler()(target);
    }
    return QDesktopServices::openUrl(QUrl::fromUserInput(target));
}

void Beep() {
    if (BeepHandler()) {
        BeepHandler()();
        return;
    }
    QApplication::beep();
}

std::uint32_t TickCount() {
    if (TickHandler()) {
        return TickHandler()();
    }
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return static_cast<std::uint32_t>(clock.elapsed());
}

void SetShellOpenHandler(std::function<bool(const QString&)> handler) {
    ShellHandler() = std::move(handler);
}
void SetBeepHandler(std::function<void()> handler) {
    BeepHandler() = std::move(handler);
}
void SetTickSource(std::function<std::uint32_t()> source) {
    TickHandler() = std::move(source);
}

void CallLoaded(QObject* owner) {
    const auto children = owner->findChildren<QObject*>();
    for (QObject* child : children) {
        CallLoadedOn(child);
    }
}

bool SameFilePath(const QString& a, const QString& b) {
    return a == b;
}

} // namespace pelisto
