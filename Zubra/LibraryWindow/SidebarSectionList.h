#pragma once
// One section of the sidebar as a flat list over the sidebar model: as tall as its rows (the
// sidebar scrolls as a whole), drags starting on a row's handle, and drops on the rows the
// sidebar names as targets. A drop's text is read and parsed at once, on the event; the store
// call it leads to is queued, so it runs after the drop has returned.

#include "ZubraCore/Models/SidebarModel.h"

#include <QListView>
#include <QSet>
#include <QUuid>
#include <functional>
#include <optional>

class QMimeData;
class SidebarRowDelegate;

namespace SidebarDrop {

// The data offers plain text (a file list or an image alone does not).
bool hasPlainText(const QMimeData* data);

// What dropped data carries: nothing when it has no plain text (the drop is refused), else the
// identifiers its text names, which may be none (accepted and then ignored).
std::optional<std::optional<QSet<QUuid>>> read(const QMimeData* data);

} // namespace SidebarDrop

class SidebarSectionList : public QListView
{
    Q_OBJECT

public:
    SidebarSectionList(SidebarModel* model, SidebarModel::Section section, SidebarRowDelegate* delegate,
        QWidget* parent = nullptr);

    SidebarModel::Section section() const { return m_section; }

    // The drag text of a row with a handle.
    void setDragPayload(std::function<QString(const QModelIndex&)> payload) { m_payload = std::move(payload); }
    // Which rows accept dropped selections, and what a drop does with their identifiers.
    void setDropTargets(std::function<bool(const QModelIndex&)> isTarget,
        std::function<void(const QModelIndex&, const QSet<QUuid>&)> add);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    // Rows are marked by the sidebar alone, from the window's choice: a press, a drag across rows
    // or a removed row never marks one by itself.
    QItemSelectionModel::SelectionFlags selectionCommand(
        const QModelIndex& index, const QEvent* event = nullptr) const override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void fitHeight();
    QModelIndex targetAt(const QPoint& position) const;
    void setHover(const QModelIndex& index);

    SidebarModel* m_model;
    SidebarModel::Section m_section;
    SidebarRowDelegate* m_delegate;
    std::function<QString(const QModelIndex&)> m_payload;
    std::function<bool(const QModelIndex&)> m_isTarget;
    std::function<void(const QModelIndex&, const QSet<QUuid>&)> m_add;
    QPersistentModelIndex m_handlePressed;
    QPoint m_pressPosition;
};
