#pragma once
// Paints one sidebar row over the sidebar model: the prompt and draft rows with their symbols,
// "All Selections", a group with its colour dot, a source with its application icon and two lines
// of text; the count badge (none for 0), the drag handle of group and source rows, and the
// highlight of a row under a drag that carries selections.

#include "Zubra/LibraryWindow/LibraryEnvironment.h"

#include <QPersistentModelIndex>
#include <QStyledItemDelegate>

class SidebarRowDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    static constexpr int rowHeight = 28;
    static constexpr int sourceRowHeight = 36;

    SidebarRowDelegate(const LibraryEnvironment& environment, QObject* parent = nullptr);

    // The row under a drag; painted with the accent highlight.
    void setDropTarget(const QPersistentModelIndex& index) { m_dropTarget = index; }
    const QPersistentModelIndex& dropTarget() const { return m_dropTarget; }

    // Where the drag handle of a group or source row is drawn; empty for other rows.
    static QRect handleRect(const QRect& rowRect, const QModelIndex& index);
    static bool hasHandle(const QModelIndex& index);
    // The help of the drag handle.
    static QString handleHelp();
    // The help shown at a point of a row: the handle's over the handle, a source's subtitle over
    // the subtitle; empty elsewhere.
    static QString helpAt(const QRect& rowRect, const QModelIndex& index, const QPoint& point);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
        const QModelIndex& index) override;

private:
    const LibraryEnvironment& m_environment;
    QPersistentModelIndex m_dropTarget;
};
