#include "Zubra/LibraryWindow/SelectionListDelegate.h"

#include "Zubra/LibraryWindow/CopiedFlash.h"
#include "Zubra/LibraryWindow/LibraryEnvironment.h"
#include "ZubraCore/Library/Store.h"
#include "ZubraCore/Models/VisibleSelectionsModel.h"

#include <QPainter>

namespace {

// The selection's groups in its own order; identifiers of deleted groups are skipped.
QList<SelectionGroup> resolvedGroups(const Selection& selection, const Store& store)
{
    QList<SelectionGroup> groups;
    for (const QUuid& id : selection.groupIDs) {
        for (const SelectionGroup& group : store.groups()) {
            if (group.id == id) {
                groups.append(group);
                break;
            }
        }
    }
    return groups;
}

} // namespace

SelectionListDelegate::SelectionListDelegate(
    Store& store, const LibraryEnvironment& environment, const CopiedFlash& flash, QObject* parent)
    : QStyledItemDelegate(parent)
    , m_store(store)
    , m_environment(environment)
    , m_flash(flash)
{
}

void SelectionListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (!qobject_cast<const VisibleSelectionsModel*>(index.model()))
        return;
    const SelectionRowPainter::Content content = this->content(index);
    SelectionRowPainter::Style style = SelectionRowPainter::style(option.font, option.palette);
    style.selected = option.state.testFlag(QStyle::State_Selected);
    style.active = option.state.testFlag(QStyle::State_Active);
    SelectionRowPainter::paint(*painter, option.rect, content, style);

    // Separators on both edges of every row: each row draws its bottom one, the first its top.
    painter->save();
    QColor line = option.palette.color(QPalette::Text);
    line.setAlphaF(0.12);
    painter->setPen(line);
    const int left = option.rect.left() + 10;
    const int right = option.rect.right() - 10;
    if (index.row() == 0)
        painter->drawLine(left, option.rect.top(), right, option.rect.top());
    painter->drawLine(left, option.rect.bottom(), right, option.rect.bottom());
    if (option.state.testFlag(QStyle::State_HasFocus)) {
        // The keyboard's place: a ring inside the current row, light on a selected one.
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(option.palette.color(style.selected ? QPalette::HighlightedText : QPalette::Highlight), 2));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(QRectF(option.rect).adjusted(4, 3, -4, -3), 5, 5);
    }
    painter->restore();
}

SelectionRowPainter::Content SelectionListDelegate::content(const QModelIndex& index) const
{
    const auto* model = qobject_cast<const VisibleSelectionsModel*>(index.model());
    if (!model || !index.isValid())
        return {};
    const Selection& selection = model->selectionAt(index.row());
    return SelectionRowPainter::content(selection, resolvedGroups(selection, m_store), m_environment.iconFor(selection),
        m_environment.relativeDate(selection.createdAt), m_flash.opacity(selection.id));
}

QSize SelectionListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    const SelectionRowPainter::Style style = SelectionRowPainter::style(option.font, option.palette);
    return QSize(option.rect.width() > 0 ? option.rect.width() : 300, SelectionRowPainter::rowHeight(style));
}
