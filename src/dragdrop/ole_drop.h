#pragma once

#include "dragdrop/ole.h"

#include <QStringList>
#include <Qt>

class QMimeData;
class QWidget;

namespace pelisto {

// Makes a widget a drop target: Qt's drag events on it (on its viewport when it is a scroll
// area) become DragEnter / DragOver / DragLeave / Drop calls on the target, which the
// registration holds by a counted reference until it is revoked or the widget goes away.
// Fails with DRAGDROP_E_INVALIDHWND for no widget and DRAGDROP_E_ALREADYREGISTERED when the
// widget already has a target.
HRESULT RegisterDragDrop(QWidget* widget, IDropTarget* target);
// Fails with DRAGDROP_E_NOTREGISTERED when the widget has no target.
HRESULT RevokeDragDrop(QWidget* widget);
bool IsDragDropRegistered(const QWidget* widget);

// The key state bits for Qt's mouse buttons and keyboard modifiers.
std::uint32_t KeyStateFromQt(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);
std::uint32_t EffectFromQt(Qt::DropActions actions);
// The one action an effect stands for (copy first); IgnoreAction for none.
Qt::DropAction DropActionFromEffect(std::uint32_t effect);

// The local file paths a drag carries, in its order; folders without a trailing delimiter.
QStringList LocalFilesOf(const QMimeData* mime);

// A data object for a drag: it offers the file list (CF_HDROP, a wide DROPFILES block in
// memory) when the drag carries local files, and nothing else.
ComPtr<IDataObject> CreateFileDataObject(const QStringList& files);
ComPtr<IDataObject> CreateDataObjectFromMime(const QMimeData* mime);

} // namespace pelisto
