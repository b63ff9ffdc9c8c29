#pragma once
// Paints the rows of the library list with the one row painter; every row has the same height.

#include "Zubra/LibraryWindow/SelectionRowPainter.h"

#include <QStyledItemDelegate>

class CopiedFlash;
class Store;
class VisibleSelectionsModel;
struct LibraryEnvironment;

class SelectionListDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    SelectionListDelegate(Store& store, const LibraryEnvironment& environment, const CopiedFlash& flash,
        QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // What the row of a library list's index shows.
    SelectionRowPainter::Content content(const QModelIndex& index) const;

private:
    Store& m_store;
    const LibraryEnvironment& m_environment;
    const CopiedFlash& m_flash;
};
