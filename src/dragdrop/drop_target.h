#pragma once

#include "dragdrop/ole.h"

#include <QFlags>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QStringList>
#include <functional>

class QWidget;

namespace pelisto {

// A component that the drag-and-drop layer can hold through counted references. It takes one
// reference on itself when created and never gives it back, so the layer's releases never end
// it: its owner (the QObject parent) destroys it.
class TInterfacedComponent : public QObject, public virtual IUnknown {
    Q_OBJECT

public:
    explicit TInterfacedComponent(QObject* owner = nullptr);
    ~TInterfacedComponent() override;

    HRESULT QueryInterface(InterfaceId iid, void** object) override;
    std::int32_t AddRef() override;
    // A release that brings the count to 0 destroys the component.
    std::int32_t Release() override;
    std::int32_t RefCount() const { return refs_.Value(); }

protected:
    // The interface pointer for iid, or nullptr when the class does not implement it.
    virtual IUnknown* InterfaceFor(InterfaceId iid);
    // Called first by a destructor that still lets go of references while it runs.
    void BeginDestruction() { destroying_ = true; }

private:
    pelisto::RefCount refs_;
    bool destroying_ = false;
};

enum TDragType : unsigned {
    dtCopy = DROPEFFECT_COPY,
    dtMove = DROPEFFECT_MOVE,
    dtLink = DROPEFFECT_LINK
};
Q_DECLARE_FLAGS(TDragTypes, TDragType)

using TTargetOnEnterEvent = std::function<void(QObject* Sender, QPoint pt)>;
using TNotifyEvent = std::function<void(QObject* Sender)>;
using TTargetOnDropEvent = std::function<void(QObject* Sender, TDragType DragType, QPoint Point)>;
using TGetDropEffectEvent =
    std::function<void(QObject* Sender, std::uint32_t grfKeyState, std::uint32_t& dwEffect)>;

// Makes one widget a drop target and turns the drag calls into component events. Points are
// screen coordinates. Kinds of target say which data they take (HasAcceptableFormat) and read
// it (FetchData).
class TDropTarget : public TInterfacedComponent, public IDropTarget {
    Q_OBJECT

public:
    explicit TDropTarget(QObject* owner = nullptr);
    ~TDropTarget() override;

    // Registers the control as a drop target (detaching from any previous one). Raises
    // "Failed to Register <name>" when the control cannot be registered; the target then stays
    // detached. Attach(nullptr) detaches.
    void Attach(QWidget* control);
    // Revokes the registration. Raises "Failed to Unregister <name>" when that fails.
    void Detach();

    TDragTypes Dragtypes() const { return dragtypes_; }
    void SetDragtypes(TDragTypes types) { dragtypes_ = types; }
    bool GetDataOnEnter() const { return getDataOnEnter_; }
    void SetGetDataOnEnter(bool on) { getDataOnEnter_ = on; }
    bool Registered() const { return registered_; }
    QWidget* TargetControl() const { return target_; }

    // Events: unassigned ones are not called.
    TTargetOnEnterEvent OnEnter;
    TTargetOnEnterEvent OnDragOver;
    TNotifyEvent OnLeave;
    TTargetOnDropEvent OnDrop;
    TGetDropEffectEvent OnGetDropEffect;

    HRESULT DragEnter(IDataObject* dataObject, std::uint32_t keyState, POINTL pt,
                      std::uint32_t* effect) override;
    HRESULT DragOver(std::uint32_t keyState, POINTL pt, std::uint32_t* effect) override;
    HRESULT DragLeave() override;
    HRESULT Drop(IDataObject* dataObject, std::uint32_t keyState, POINTL pt,
                 std::uint32_t* effect) override;

    // Reads the held data object; true when something usable was read.
    virtual bool FetchData() { return false; }
    // Forgets what was read.
    virtual void ResetData() {}
    // True when the held data object offers this kind's format.
    virtual bool HasAcceptableFormat() { return false; }
    // Shift and Control: link; Shift alone: move; else the first offered of copy, move, link;
    // the owner's OnGetDropEffect has the last word. What the source allows is not consulted.
    virtual std::uint32_t ChooseEffect(std::uint32_t keyState);

protected:
    IUnknown* InterfaceFor(InterfaceId iid) override;
    IDataObject* DataObject() const { return dataObject_.Get(); }

private:
    TDragTypes dragtypes_ = TDragTypes(dtCopy) | dtMove | dtLink;
    bool registered_ = false;
    bool hasTarget_ = false;
    QPointer<QWidget> target_;
    QString targetName_;
    bool getDataOnEnter_ = false;
    ComPtr<IDataObject> dataObject_;
};

// The drop target for the shell's file lists.
class TDropFileTarget : public TDropTarget {
    Q_OBJECT

public:
    explicit TDropFileTarget(QObject* owner = nullptr);
    ~TDropFileTarget() override;

    // The full path names of the drop, in the order the drag lists them. Valid during OnDrop
    // only: emptied right after it returns.
    const QStringList& DroppedFiles() const { return droppedFiles_; }

    bool FetchData() override;
    void ResetData() override;
    bool HasAcceptableFormat() override;

    // The format asked for: the file list in a memory block.
    static FORMATETC FileListFormat();

private:
    QStringList droppedFiles_;
};

} // namespace pelisto

Q_DECLARE_OPERATORS_FOR_FLAGS(pelisto::TDragTypes)
