#include "dragdrop/drop_files.h"
#include "dragdrop/drop_target.h"
#include "dragdrop/ole_drop.h"
#include "framework/exceptions.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QListWidget>
#include <QMimeData>
#include <QUrl>
#include <QWidget>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

using namespace pelisto;

namespace {

std::unique_ptr<QMimeData> Files(const QStringList& paths) {
    auto mime = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& p : paths) {
        urls << QUrl::fromLocalFile(p);
    }
    mime->setUrls(urls);
    return mime;
}

std::unique_ptr<QMimeData> Text() {
    auto mime = std::make_unique<QMimeData>();
    mime->setText("/home/me/a.jpg");
    return mime;
}

constexpr Qt::DropActions AnyAction = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;

// The main window's picture list with its drop target, as the window sets them up.
struct DropWindow {
    QWidget window;
    QListWidget* list = new QListWidget(&window);
    TDropFileTarget* target = new TDropFileTarget(&window);
    QStringList dropped;    // DroppedFiles as OnDrop saw them
    QList<TDragType> types; // each OnDrop's type

    DropWindow() {
        list->setObjectName("ListBox1");
        list->setGeometry(8, 80, 433, 265);
        target->setObjectName("DropFileTarget1");
        target->SetDragtypes(dtCopy);
        target->OnDrop = [this](QObject* sender, TDragType type, QPoint) {
            EXPECT_EQ(sender, target);
            dropped = target->DroppedFiles();
            types << type;
        };
        target->Attach(list);
    }

    // One drag over the list's viewport, where Qt delivers it; answers what the drop returned.
    struct Result {
        bool enterAccepted = false;
        bool moveAccepted = false;
        bool dropAccepted = false;
        Qt::DropAction action = Qt::IgnoreAction;
    };
    Result Drag(const QMimeData* mime, Qt::KeyboardModifiers keys = Qt::NoModifier,
                Qt::DropActions allowed = AnyAction) {
        Result r;
        QWidget* to = list->viewport();
        const QPoint at(20, 20);
        QDragEnterEvent enter(at, allowed, mime, Qt::LeftButton, keys);
        QApplication::sendEvent(to, &enter);
        r.enterAccepted = enter.isAccepted();
        QDragMoveEvent move(at, allowed, mime, Qt::LeftButton, keys);
        QApplication::sendEvent(to, &move);
        r.moveAccepted = move.isAccepted();
        QDropEvent drop(QPointF(at), allowed, mime, Qt::LeftButton, keys);
        QApplication::sendEvent(to, &drop);
        r.dropAccepted = drop.isAccepted();
        r.action = drop.dropAction();
        return r;
    }
};

TEST(DropFileTarget, DroppedFilesArriveInOrderWithTheCopyEffectWhateverKeysAreHeld) {
    DropWindow w;
    const QStringList names{"/photos/b.jpg", QString::fromUtf8("/photos/Ünïcødé 写真.jpg"),
                            "/photos/a.png", "/photos/Trip.jpg"};
    const auto mime = Files(names);
    for (const Qt::KeyboardModifiers keys :
         {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::ShiftModifier),
          Qt::KeyboardModifiers(Qt::ControlModifier), Qt::ShiftModifier | Qt::ControlModifier}) {
        w.dropped.clear();
        const auto r = w.Drag(mime.get(), keys);
        EXPECT_TRUE(r.enterAccepted);
        EXPECT_TRUE(r.moveAccepted);
        EXPECT_TRUE(r.dropAccepted);
        EXPECT_EQ(r.action, Qt::CopyAction);
        EXPECT_EQ(w.dropped, names);
        // Valid during the event only.
        EXPECT_TRUE(w.target->DroppedFiles().isEmpty());
    }
    EXPECT_EQ(w.types, QList<TDragType>(4, dtCopy));
}

TEST(DropFileTarget, NonFileDataIsRefusedWithNoEffect) {
    DropWindow w;
    const auto text = Text();
    auto web = std::make_unique<QMimeData>();
    web->setUrls({QUrl("https://example.org/a.jpg")});
    for (QMimeData* mime : {text.get(), web.get()}) {
        const auto r = w.Drag(mime);
        EXPECT_FALSE(r.enterAccepted);
        EXPECT_FALSE(r.dropAccepted); // refused: Qt shows and returns no effect
    }
    EXPECT_TRUE(w.types.isEmpty());
    // The target's own answer to the enter call.
    const ComPtr<IDataObject> noFiles = CreateFileDataObject({});
    std::uint32_t effect = DROPEFFECT_COPY;
    EXPECT_EQ(w.target->DragEnter(noFiles.Get(), 0, {}, &effect), E_FAIL);
    EXPECT_EQ(effect, DROPEFFECT_NONE);
    effect = DROPEFFECT_COPY;
    EXPECT_EQ(w.target->Drop(noFiles.Get(), MK_SHIFT, {}, &effect), S_OK);
    EXPECT_EQ(effect, DROPEFFECT_NONE);
    EXPECT_TRUE(w.types.isEmpty());
}

TEST(DropFileTarget, LeavingForgetsTheDragAndRaisesOnLeave) {
    DropWindow w;
    int leaves = 0;
    w.target->SetGetDataOnEnter(true);
    QStringList atEnter;
    w.target->OnEnter = [&](QObject*, QPoint) { atEnter = w.target->DroppedFiles(); };
    w.target->OnLeave = [&](QObject*) { ++leaves; };
    const auto mime = Files({"/p/a.gif"});
    QDragEnterEvent enter(QPoint(5, 5), AnyAction, mime.get(), Qt::LeftButton, {});
    QApplication::sendEvent(w.list->viewport(), &enter);
    EXPECT_EQ(atEnter, QStringList{"/p/a.gif"});
    QDragLeaveEvent leave;
    QApplication::sendEvent(w.list->viewport(), &leave);
    EXPECT_EQ(leaves, 1);
    EXPECT_TRUE(w.target->DroppedFiles().isEmpty());
    // Only the target's own references are left once the drag is over.
    EXPECT_EQ(w.target->RefCount(), 3);
}

TEST(DropTarget, ChooseEffectFollowsKeysAndOfferedTypes) {
    TDropTarget target;
    EXPECT_EQ(target.ChooseEffect(0), DROPEFFECT_COPY);
    EXPECT_EQ(target.ChooseEffect(MK_CONTROL), DROPEFFECT_COPY);
    EXPECT_EQ(target.ChooseEffect(MK_SHIFT | MK_LBUTTON), DROPEFFECT_MOVE);
    EXPECT_EQ(target.ChooseEffect(MK_SHIFT | MK_CONTROL), DROPEFFECT_LINK);
    target.SetDragtypes(dtMove | dtLink);
    EXPECT_EQ(target.ChooseEffect(0), DROPEFFECT_MOVE);
    target.SetDragtypes(dtLink);
    EXPECT_EQ(target.ChooseEffect(MK_SHIFT), DROPEFFECT_LINK);
    target.SetDragtypes({});
    EXPECT_EQ(target.ChooseEffect(MK_SHIFT | MK_CONTROL), DROPEFFECT_NONE);
    target.OnGetDropEffect = [](QObject*, std::uint32_t keys, std::uint32_t& effect) {
        effect = keys & MK_ALT ? DROPEFFECT_LINK : effect;
    };
    EXPECT_EQ(target.ChooseEffect(MK_ALT), DROPEFFECT_LINK);

    EXPECT_EQ(KeyStateFromQt(Qt::LeftButton | Qt::RightButton,
                             Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier),
              MK_LBUTTON | MK_RBUTTON | MK_SHIFT | MK_CONTROL | MK_ALT);
}

TEST(DropTarget, AttachAndDetachRegisterAndRestoreTheWidget) {
    QWidget window;
    auto* list = new QListWidget(&window);
    list->setObjectName("ListBox1");
    auto* other = new QListWidget(&window);
    other->setObjectName("ListBox2");
    auto* target = new TDropFileTarget(&window);
    EXPECT_EQ(target->RefCount(), 1);
    EXPECT_FALSE(list->viewport()->acceptDrops());

    target->Attach(list);
    EXPECT_TRUE(target->Registered());
    EXPECT_TRUE(IsDragDropRegistered(list));
    EXPECT_TRUE(list->viewport()->acceptDrops());
    target->Attach(list); // same control: nothing
    EXPECT_EQ(target->RefCount(), 3);

    target->Attach(other); // moves over
    EXPECT_FALSE(IsDragDropRegistered(list));
    EXPECT_FALSE(list->viewport()->acceptDrops());
    EXPECT_TRUE(IsDragDropRegistered(other));
    EXPECT_EQ(target->TargetControl(), other);

    target->Detach();
    EXPECT_FALSE(target->Registered());
    EXPECT_FALSE(IsDragDropRegistered(other));
    EXPECT_EQ(target->RefCount(), 1);
    target->Detach(); // already detached: quiet
}

TEST(DropTarget, RegistrationFailuresNameTheControl) {
    QWidget window;
    auto* list = new QListWidget(&window);
    list->setObjectName("ListBox1");
    auto* first = new TDropFileTarget(&window);
    auto* second = new TDropFileTarget(&window);
    first->Attach(list);

    try {
        second->Attach(list);
        FAIL() << "a second registration on one widget must fail";
    } catch (const Exception& e) {
        EXPECT_EQ(e.message(), "Failed to Register ListBox1");
    }
    EXPECT_FALSE(second->Registered());
    EXPECT_EQ(second->RefCount(), 1);
    EXPECT_NO_THROW(second->Detach()); // nothing half attached is left behind

    ASSERT_EQ(RevokeDragDrop(list), S_OK); // taken away behind the target's back
    try {
        first->Detach();
        FAIL() << "revoking a lost registration must fail";
    } catch (const Exception& e) {
        EXPECT_EQ(e.message(), "Failed to Unregister ListBox1");
    }
}

TEST(DropTarget, OwnerAndWidgetMayGoInEitherOrder) {
    {
        QWidget window;
        auto* list = new QListWidget(&window);
        auto* owner = new QObject(&window);
        auto* target = new TDropFileTarget(owner);
        target->Attach(list);
        delete owner; // the owner destroys its target: the registration goes too
        EXPECT_FALSE(IsDragDropRegistered(list));
    }
    {
        QWidget window;
        auto* list = new QListWidget(&window);
        auto* target = new TDropFileTarget(&window);
        target->Attach(list);
        delete list;
        EXPECT_NO_THROW(target->Detach());
        EXPECT_EQ(target->RefCount(), 1);
    }
}

// A data object whose file list block is whatever the test says.
class BlockDataObject final : public IDataObject {
public:
    explicit BlockDataObject(HGLOBAL block, std::uint32_t tymed = TYMED_HGLOBAL)
        : block_(std::move(block)), tymed_(tymed) {}
    HRESULT QueryInterface(InterfaceId, void**) override { return E_NOINTERFACE; }
    std::int32_t AddRef() override { return ++refs; }
    std::int32_t Release() override { return --refs; }
    HRESULT QueryGetData(const FORMATETC& f) override {
        return f.cfFormat == CF_HDROP ? S_OK : DV_E_FORMATETC;
    }
    HRESULT GetData(const FORMATETC&, STGMEDIUM& medium) override {
        ++gets;
        medium.tymed = tymed_;
        medium.hGlobal = block_;
        return S_OK;
    }
    int refs = 0;
    int gets = 0;

private:
    HGLOBAL block_;
    std::uint32_t tymed_;
};

TEST(DropFileTarget, UnreadableFileListsGiveNoEffectAndNoEvent) {
    TDropFileTarget target;
    target.SetDragtypes(dtCopy);
    int drops = 0;
    target.OnDrop = [&](QObject*, TDragType, QPoint) { ++drops; };

    // Offset past the end of the block.
    auto pastEnd = std::make_shared<GlobalMemory>(24);
    pastEnd->Lock()[0] = std::byte{0xFF};
    // A medium that is not a memory block.
    const HGLOBAL good = BuildDropFiles({"/p/a.jpg"});
    for (auto* data : {new BlockDataObject(pastEnd), new BlockDataObject(good, TYMED_ISTREAM),
                       new BlockDataObject(BuildDropFiles({}))}) {
        std::uint32_t effect = DROPEFFECT_COPY;
        EXPECT_EQ(target.DragEnter(data, 0, {}, &effect), S_OK);
        EXPECT_EQ(target.Drop(data, 0, {}, &effect), S_OK);
        EXPECT_EQ(effect, DROPEFFECT_NONE);
        EXPECT_EQ(data->gets, 1);
        EXPECT_EQ(data->refs, 0); // let go after the drop
        delete data;
    }
    EXPECT_EQ(drops, 0);

    // The same target reads a sound block.
    BlockDataObject data(good);
    std::uint32_t effect = 0;
    target.DragEnter(&data, 0, {}, &effect);
    target.Drop(&data, 0, {}, &effect);
    EXPECT_EQ(effect, DROPEFFECT_COPY);
    EXPECT_EQ(drops, 1);
}

TEST(DropFileTarget, AThrowingHandlerStillEndsTheDrop) {
    TDropFileTarget target;
    target.OnDrop = [](QObject*, TDragType, QPoint) { throw Exception("handler failed"); };
    BlockDataObject data(BuildDropFiles({"/p/a.jpg"}));
    std::uint32_t effect = 0;
    target.DragEnter(&data, 0, {}, &effect);
    EXPECT_THROW(target.Drop(&data, 0, {}, &effect), Exception);
    EXPECT_TRUE(target.DroppedFiles().isEmpty());
    EXPECT_EQ(data.refs, 0);
}

} // namespace
