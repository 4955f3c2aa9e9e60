#include "dragdrop/ole_drop.h"

#include "dragdrop/drop_files.h"

#include <QAbstractScrollArea>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHash>
#include <QMimeData>
#include <QPointer>
#include <QUrl>
#include <QWidget>

namespace pelisto {

namespace {

class FileDataObject final : public IDataObject {
public:
    explicit FileDataObject(QStringList files) : files_(std::move(files)) {}

    HRESULT QueryInterface(InterfaceId iid, void** object) override {
        if (!object) {
            return E_POINTER;
        }
        if (iid == InterfaceId::IUnknown || iid == InterfaceId::IDataObject) {
            *object = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    std::int32_t AddRef() override { return refs_.Increment(); }
    std::int32_t Release() override {
        const std::int32_t n = refs_.Decrement();
        if (n == 0) {
            delete this;
        }
        return n;
    }

    HRESULT QueryGetData(const FORMATETC& format) override {
        if (format.cfFormat != CF_HDROP || files_.isEmpty()) {
            return DV_E_FORMATETC;
        }
        if (format.dwAspect != DVASPECT_CONTENT || format.lindex != -1) {
            return DV_E_FORMATETC;
        }
        if ((format.tymed & TYMED_HGLOBAL) == 0) {
            return DV_E_TYMED;
        }
        return S_OK;
    }
    HRESULT GetData(const FORMATETC& format, STGMEDIUM& medium) override {
        const HRESULT hr = QueryGetData(format);
        if (hr != S_OK) {
            return hr;
        }
        medium.tymed = TYMED_HGLOBAL;
        medium.hGlobal = BuildDropFiles(files_, true);
        return S_OK;
    }

private:
    ~FileDataObject() = default;
    QStringList files_;
    RefCount refs_;
};

// One registered widget: filters its drag events (and its viewport's) into the target.
class DropRegistration final : public QObject {
public:
    DropRegistration(QWidget* widget, IDropTarget* target) : QObject(widget), target_(target) {
        // A scroll area's drags arrive at its viewport; filtering the area as well would see
        // every refused event twice, as Qt passes it up to the parent.
        auto* area = qobject_cast<QAbstractScrollArea*>(widget);
        watched_ << (area ? area->viewport() : widget);
        for (QWidget* w : watched_) {
            hadAcceptDrops_ << w->acceptDrops();
            w->installEventFilter(this);
            w->setAcceptDrops(true);
        }
    }

    // Puts the widgets back as they were before registration.
    void Restore() {
        for (int i = 0; i < watched_.size(); ++i) {
            if (QWidget* w = watched_[i]) {
                w->removeEventFilter(this);
                w->setAcceptDrops(hadAcceptDrops_[i]);
            }
        }
    }

    ~DropRegistration() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::DragEnter: {
            auto* e = static_cast<QDragEnterEvent*>(event);
            held_ = CreateDataObjectFromMime(e->mimeData());
            std::uint32_t effect = EffectFromQt(e->possibleActions());
            const ComPtr<IDropTarget> keep(target_.Get());
            const HRESULT hr =
                target_->DragEnter(held_.Get(), KeyState(e), Point(watched, e), &effect);
            if (hr == S_OK) {
                // Stay in the drag so the target keeps being asked, as it is on the desktop.
                e->setDropAction(DropActionFromEffect(effect));
                e->accept();
            } else {
                held_.Reset();
                e->ignore();
            }
            return true;
        }
        case QEvent::DragMove: {
            auto* e = static_cast<QDragMoveEvent*>(event);
            std::uint32_t effect = EffectFromQt(e->possibleActions());
            const ComPtr<IDropTarget> keep(target_.Get());
            target_->DragOver(KeyState(e), Point(watched, e), &effect);
            Answer(e, effect);
            return true;
        }
        case QEvent::DragLeave: {
            const ComPtr<IDropTarget> keep(target_.Get());
            const ComPtr<IDataObject> data = std::move(held_);
            target_->DragLeave();
            return true;
        }
        case QEvent::Drop: {
            auto* e = static_cast<QDropEvent*>(event);
            ComPtr<IDataObject> data = std::move(held_);
            if (!data) {
                data = CreateDataObjectFromMime(e->mimeData());
            }
            std::uint32_t effect = EffectFromQt(e->possibleActions());
            const ComPtr<IDropTarget> keep(target_.Get());
            e->ignore(); // stays refused if the target's handler throws
            target_->Drop(data.Get(), KeyState(e), Point(watched, e), &effect);
            Answer(e, effect);
            return true;
        }
        default:
            return false;
        }
    }

private:
    static std::uint32_t KeyState(const QDropEvent* e) {
        return KeyStateFromQt(e->buttons(), e->modifiers());
    }
    static POINTL Point(QObject* watched, const QDropEvent* e) {
        const QPoint local = e->position().toPoint();
        const QPoint global = static_cast<QWidget*>(watched)->mapToGlobal(local);
        return POINTL{global.x(), global.y()};
    }
    static void Answer(QDropEvent* e, std::uint32_t effect) {
        if (effect == DROPEFFECT_NONE) {
            e->setDropAction(Qt::IgnoreAction);
            e->ignore();
        } else {
            e->setDropAction(DropActionFromEffect(effect));
            e->accept();
        }
    }

    ComPtr<IDropTarget> target_;
    ComPtr<IDataObject> held_;
    QList<QPointer<QWidget>> watched_;
    QList<bool> hadAcceptDrops_;
};

QHash<const QWidget*, DropRegistration*>& Registrations() {
    static QHash<const QWidget*, DropRegistration*> registrations;
    return registrations;
}

DropRegistration::~DropRegistration() {
    // Also reached when the widget is destroyed with its registration still in place.
    auto& all = Registrations();
    for (auto it = all.begin(); it != all.end(); ++it) {
        if (it.value() == this) {
            all.erase(it);
            break;
        }
    }
}

} // namespace

HRESULT RegisterDragDrop(QWidget* widget, IDropTarget* target) {
    if (!widget) {
        return DRAGDROP_E_INVALIDHWND;
    }
    if (!target) {
        return E_INVALIDARG;
    }
    if (Registrations().contains(widget)) {
        return DRAGDROP_E_ALREADYREGISTERED;
    }
    Registrations().insert(widget, new DropRegistration(widget, target));
    return S_OK;
}

HRESULT RevokeDragDrop(QWidget* widget) {
    if (!widget) {
        return DRAGDROP_E_INVALIDHWND;
    }
    DropRegistration* registration = Registrations().take(widget);
    if (!registration) {
        return DRAGDROP_E_NOTREGISTERED;
    }
    registration->Restore();
    delete registration;
    return S_OK;
}

bool IsDragDropRegistered(const QWidget* widget) {
    return Registrations().contains(widget);
}

std::uint32_t KeyStateFromQt(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
    std::uint32_t state = 0;
    if (buttons & Qt::LeftButton) {
        state |= MK_LBUTTON;
    }
    if (buttons & Qt::RightButton) {
        state |= MK_RBUTTON;
    }
    if (buttons & Qt::MiddleButton) {
        state |= MK_MBUTTON;
    }
    if (modifiers & Qt::ShiftModifier) {
        state |= MK_SHIFT;
    }
    if (modifiers & Qt::ControlModifier) {
        state |= MK_CONTROL;
    }
    if (modifiers & Qt::AltModifier) {
        state |= MK_ALT;
    }
    return state;
}

std::uint32_t EffectFromQt(Qt::DropActions actions) {
    std::uint32_t effect = DROPEFFECT_NONE;
    if (actions & Qt::CopyAction) {
        effect |= DROPEFFECT_COPY;
    }
    if (actions & Qt::MoveAction) {
        effect |= DROPEFFECT_MOVE;
    }
    if (actions & Qt::LinkAction) {
        effect |= DROPEFFECT_LINK;
    }
    return effect;
}

Qt::DropAction DropActionFromEffect(std::uint32_t effect) {
    if (effect & DROPEFFECT_COPY) {
        return Qt::CopyAction;
    }
    if (effect & DROPEFFECT_MOVE) {
        return Qt::MoveAction;
    }
    if (effect & DROPEFFECT_LINK) {
        return Qt::LinkAction;
    }
    return Qt::IgnoreAction;
}

QStringList LocalFilesOf(const QMimeData* mime) {
    QStringList files;
    if (!mime || !mime->hasUrls()) {
        return files;
    }
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile()) {
            continue;
        }
        QString path = url.toLocalFile();
        while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) {
            path.chop(1);
        }
        if (!path.isEmpty()) {
            files << path;
        }
    }
    return files;
}

ComPtr<IDataObject> CreateFileDataObject(const QStringList& files) {
    return ComPtr<IDataObject>(new FileDataObject(files));
}

ComPtr<IDataObject> CreateDataObjectFromMime(const QMimeData* mime) {
    return CreateFileDataObject(LocalFilesOf(mime));
}

} // namespace pelisto
