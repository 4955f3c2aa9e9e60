#include "dragdrop/drop_target.h"

#include "dragdrop/drop_files.h"
#include "dragdrop/ole_drop.h"
#include "framework/exceptions.h"

#include <QWidget>

namespace pelisto {

TInterfacedComponent::TInterfacedComponent(QObject* owner) : QObject(owner) {}

TInterfacedComponent::~TInterfacedComponent() = default;

HRESULT TInterfacedComponent::QueryInterface(InterfaceId iid, void** object) {
    if (!object) {
        return E_POINTER;
    }
    IUnknown* found = InterfaceFor(iid);
    if (!found) {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    found->AddRef();
    *object = found;
    return S_OK;
}

std::int32_t TInterfacedComponent::AddRef() {
    return refs_.Increment();
}

std::int32_t TInterfacedComponent::Release() {
    const std::int32_t n = refs_.Decrement();
    if (n == 0 && !destroying_) {
        destroying_ = true;
        delete this;
    }
    return n;
}

IUnknown* TInterfacedComponent::InterfaceFor(InterfaceId iid) {
    return iid == InterfaceId::IUnknown ? static_cast<IUnknown*>(this) : nullptr;
}

// --- TDropTarget

TDropTarget::TDropTarget(QObject* owner) : TInterfacedComponent(owner) {
    AddRef();
}

TDropTarget::~TDropTarget() {
    BeginDestruction();
    try {
        Detach();
    } catch (...) {
        // A destructor cannot report; the registration goes with its widget anyway.
    }
}

IUnknown* TDropTarget::InterfaceFor(InterfaceId iid) {
    if (iid == InterfaceId::IDropTarget) {
        return static_cast<IDropTarget*>(this);
    }
    return TInterfacedComponent::InterfaceFor(iid);
}

void TDropTarget::Attach(QWidget* control) {
    if (!control) {
        Detach();
        return;
    }
    if (hasTarget_ && control == target_) {
        return;
    }
    if (hasTarget_) {
        Detach();
    }
    target_ = control;
    targetName_ = control->objectName();
    hasTarget_ = true;
    CoLockObjectExternal(this, true, false);
    if (RegisterDragDrop(control, this) != S_OK) {
        // Leave nothing half attached, so the owner's later Detach has nothing to undo.
        CoLockObjectExternal(this, false, false);
        target_ = nullptr;
        hasTarget_ = false;
        throw Exception(QStringLiteral("Failed to Register ") + targetName_);
    }
    registered_ = true;
}

void TDropTarget::Detach() {
    registered_ = false;
    if (!hasTarget_) {
        return;
    }
    // A destroyed widget took its registration with it: only the lock is left to release.
    if (QWidget* control = target_) {
        if (RevokeDragDrop(control) != S_OK) {
            throw Exception(QStringLiteral("Failed to Unregister ") + control->objectName());
        }
    }
    CoLockObjectExternal(this, false, false);
    target_ = nullptr;
    hasTarget_ = false;
}

std::uint32_t TDropTarget::ChooseEffect(std::uint32_t keyState) {
    const bool shift = keyState & MK_SHIFT;
    const bool control = keyState & MK_CONTROL;
    std::uint32_t effect = DROPEFFECT_NONE;
    if (shift && control && dragtypes_.testFlag(dtLink)) {
        effect = DROPEFFECT_LINK;
    } else if (shift && !control && dragtypes_.testFlag(dtMove)) {
        effect = DROPEFFECT_MOVE;
    } else if (dragtypes_.testFlag(dtCopy)) {
        effect = DROPEFFECT_COPY;
    } else if (dragtypes_.testFlag(dtMove)) {
        effect = DROPEFFECT_MOVE;
    } else if (dragtypes_.testFlag(dtLink)) {
        effect = DROPEFFECT_LINK;
    }
    if (OnGetDropEffect) {
        OnGetDropEffect(this, keyState, effect);
    }
    return effect;
}

HRESULT TDropTarget::DragEnter(IDataObject* dataObject, std::uint32_t keyState, POINTL pt,
                               std::uint32_t* effect) {
    std::uint32_t chosen = DROPEFFECT_NONE;
    ResetData();
    dataObject_ = dataObject;
    chosen = ChooseEffect(keyState);
    if (!dataObject_ || !HasAcceptableFormat()) {
        dataObject_.Reset();
        if (effect) {
            *effect = DROPEFFECT_NONE;
        }
        return E_FAIL;
    }
    if (getDataOnEnter_ && !FetchData()) {
        chosen = DROPEFFECT_NONE;
    }
    if (effect) {
        *effect = chosen;
    }
    if (OnEnter) {
        OnEnter(this, QPoint(pt.x, pt.y));
    }
    return S_OK;
}

HRESULT TDropTarget::DragOver(std::uint32_t keyState, POINTL pt, std::uint32_t* effect) {
    const std::uint32_t chosen = ChooseEffect(keyState);
    if (effect) {
        *effect = chosen;
    }
    if (OnDragOver) {
        OnDragOver(this, QPoint(pt.x, pt.y));
    }
    return S_OK;
}

HRESULT TDropTarget::DragLeave() {
    ResetData();
    dataObject_.Reset();
    if (OnLeave) {
        OnLeave(this);
    }
    return S_OK;
}

HRESULT TDropTarget::Drop(IDataObject* dataObject, std::uint32_t keyState, POINTL pt,
                          std::uint32_t* effect) {
    // What was read and the held object go when the drop ends, also when OnDrop throws.
    struct EndOfDrop {
        TDropTarget* target;
        ~EndOfDrop() {
            target->ResetData();
            target->dataObject_.Reset();
        }
    } endOfDrop{this};

    if (!dataObject_) {
        dataObject_ = dataObject; // a drop without an enter still reads what it carries
    }
    std::uint32_t chosen = ChooseEffect(keyState);
    if (!getDataOnEnter_ && !FetchData()) {
        chosen = DROPEFFECT_NONE;
    }
    if (effect) {
        *effect = chosen;
    }
    if (OnDrop) {
        const QPoint point(pt.x, pt.y);
        switch (chosen) {
        case DROPEFFECT_COPY:
            OnDrop(this, dtCopy, point);
            break;
        case DROPEFFECT_MOVE:
            OnDrop(this, dtMove, point);
            break;
        case DROPEFFECT_LINK:
            OnDrop(this, dtLink, point);
            break;
        default:
            break;
        }
    }
    return S_OK;
}

// --- TDropFileTarget

TDropFileTarget::TDropFileTarget(QObject* owner) : TDropTarget(owner) {}

TDropFileTarget::~TDropFileTarget() {
    droppedFiles_.clear();
}

FORMATETC TDropFileTarget::FileListFormat() {
    FORMATETC format;
    format.cfFormat = CF_HDROP;
    format.ptd = nullptr;
    format.dwAspect = DVASPECT_CONTENT;
    format.lindex = -1;
    format.tymed = TYMED_HGLOBAL;
    return format;
}

bool TDropFileTarget::HasAcceptableFormat() {
    return DataObject() && DataObject()->QueryGetData(FileListFormat()) == S_OK;
}

bool TDropFileTarget::FetchData() {
    droppedFiles_.clear();
    if (!DataObject()) {
        return false;
    }
    STGMEDIUM medium;
    if (DataObject()->GetData(FileListFormat(), medium) != S_OK) {
        return false;
    }
    if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal) {
        droppedFiles_ = ReadDropFiles(*medium.hGlobal);
    }
    ReleaseStgMedium(medium);
    return !droppedFiles_.isEmpty();
}

void TDropFileTarget::ResetData() {
    droppedFiles_.clear();
}

} // namespace pelisto
