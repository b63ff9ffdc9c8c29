#include "Zubra/Composer/ComposeEntryRow.h"

#include "Zubra/Composer/ComposerStyle.h"
#include "Zubra/Composer/ComposerSymbols.h"
#include "ZubraCore/Composition/ContextComposer.h"
#include "ZubraCore/Composition/TokenEstimator.h"
#include "ZubraCore/Drag/OwnDrags.h"
#include "ZubraCore/Text/TextMetrics.h"
#include "ZubraCore/Models/DraftEntriesModel.h"

#include <QApplication>
#include <QLineEdit>
#include <QPainter>
#include <QSortFilterProxyModel>

using namespace Qt::StringLiterals;

namespace {

constexpr int padding = 5;
constexpr int spacing = 8;
constexpr int lineSpacing = 3;
constexpr int checkboxSize = 16;
constexpr QSize handleSize {18, 22};
constexpr QSize menuSize {18, 18};
constexpr int noteHeight = 24;
constexpr int badgeSymbolGap = 3;
constexpr double excludedOpacity = 0.62;

QFont scaled(QFont font, double scale, QFont::Weight weight = QFont::Normal)
{
    font.setPointSizeF(font.pointSizeF() * scale);
    font.setWeight(weight);
    return font;
}

QFont headlineFont(const QFont& base)
{
    return scaled(base, 1.0, QFont::DemiBold);
}
QFont captionFont(const QFont& base)
{
    return scaled(base, 0.85);
}
QFont badgeFont(const QFont& base)
{
    return scaled(base, 0.8);
}

// The entry and its selection behind a row of the filtered list.
struct RowData
{
    ContextDraftEntry entry;
    std::optional<Selection> selection;
    int position = 0; // in the draft's whole entry list
    int count = 0;
};

RowData rowData(const QModelIndex& index)
{
    const auto* proxy = qobject_cast<const QSortFilterProxyModel*>(index.model());
    const QModelIndex source = proxy ? proxy->mapToSource(index) : index;
    const auto* model = qobject_cast<const DraftEntriesModel*>(source.model());
    if (!model || !source.isValid())
        return {};
    return {model->entryAt(source.row()), model->selectionAt(source.row()), source.row(), model->rowCount()};
}

} // namespace

QString ComposeEntryRow::headline(const Selection& selection)
{
    const QString text = TextMetrics::oneLine(selection.headline());
    return text.isEmpty() ? u"\u2026"_s : text;
}

QString ComposeEntryRow::sourceLine(const Selection& selection)
{
    return TextMetrics::oneLine(ContextComposer::sourceLine(selection));
}

QString ComposeEntryRow::includeLabel(const Selection& selection)
{
    return u"Include "_s + TextMetrics::oneLine(selection.headline());
}

QString ComposeEntryRow::includeHelp(bool included)
{
    return included ? u"Exclude from prompt"_s : u"Include in prompt"_s;
}

QString ComposeEntryRow::includeValue(bool included)
{
    return included ? u"Included in prompt"_s : u"Excluded from prompt"_s;
}

QString ComposeEntryRow::handleHelp()
{
    return u"Drag to reorder"_s;
}

QString ComposeEntryRow::handleLabel()
{
    return u"Drag to reorder source"_s;
}

QString ComposeEntryRow::menuHelp()
{
    return u"Source options"_s;
}

QString ComposeEntryRow::menuLabel(const Selection& selection)
{
    return u"Options for "_s + TextMetrics::oneLine(selection.headline());
}

ComposeEntryRow::ComposeEntryRow(const QSet<QUuid>* notesShown, std::function<ModelProfile()> profile, QObject* parent)
    : QStyledItemDelegate(parent)
    , m_notesShown(notesShown)
    , m_profile(std::move(profile))
{
}

ComposerSymbols::Symbol ComposeEntryRow::badgeSymbol(const QString& badge)
{
    using ComposerSymbols::Symbol;
    return badge == u"Pinned"_s  ? Symbol::pinFill
        : badge == u"Verbatim"_s ? Symbol::lockDoc
        : badge == u"Trimmed"_s  ? Symbol::scissors
                                 : Symbol::noteText;
}

QStringList ComposeEntryRow::badges(const ContextDraftEntry& entry)
{
    QStringList list;
    if (entry.pin)
        list.append(u"Pinned"_s);
    if (entry.verbatim)
        list.append(u"Verbatim"_s);
    if (entry.customText)
        list.append(u"Trimmed"_s);
    if (entry.note)
        list.append(u"Noted"_s);
    return list;
}

QList<ComposeEntryRow::BadgePlace> ComposeEntryRow::badgePlaces(
    const QRect& rect, const ContextDraftEntry& entry, const QFont& font) const
{
    const QStringList all = badges(entry);
    QList<BadgePlace> places;
    if (all.isEmpty())
        return places;
    const Geometry g = geometry(rect, true, false);
    const QFont badge = badgeFont(font);
    const QFontMetrics metrics(badge);
    const int top = g.content.top() + g.headlineHeight + lineSpacing + g.captionHeight + lineSpacing;
    const int side = metrics.height() - 2;
    const int end = g.content.right() + 1;
    int x = g.content.left();
    for (const QString& word : all) {
        const int textLeft = x + side + badgeSymbolGap;
        QString text = word;
        if (textLeft + metrics.horizontalAdvance(text) > end) {
            text = metrics.elidedText(word, Qt::ElideRight, std::max(0, end - textLeft));
            if (text.isEmpty() || text == u"\u2026"_s)
                break;
        }
        const int width = metrics.horizontalAdvance(text);
        places.append({word, text, QRect(x, top + (g.badgeHeight - side) / 2, side, side),
            QRect(textLeft, top, width, g.badgeHeight), badge});
        if (text != word)
            break;
        x = textLeft + width + spacing;
    }
    return places;
}

bool ComposeEntryRow::showsNote(const QModelIndex& index) const
{
    return m_notesShown->contains(index.data(DraftEntriesModel::EntryIdRole).toUuid());
}

ComposeEntryRow::Geometry ComposeEntryRow::geometry(const QRect& rect, bool hasBadges, bool shows) const
{
    const QFont base = QApplication::font();
    Geometry g;
    g.headlineHeight = QFontMetrics(headlineFont(base)).height();
    g.captionHeight = QFontMetrics(captionFont(base)).height();
    g.badgeHeight = hasBadges ? QFontMetrics(badgeFont(base)).height() : 0;
    const QRect inner = rect.adjusted(spacing, padding, -spacing, -padding);
    g.checkbox = QRect(inner.left(), inner.top() + (g.headlineHeight - checkboxSize) / 2, checkboxSize, checkboxSize);
    g.menu = QRect(QPoint(inner.right() - menuSize.width() + 1, inner.top()), menuSize);
    g.handle = QRect(QPoint(g.menu.left() - spacing - handleSize.width(), inner.top() - 2), handleSize);
    g.content = QRect(
        QPoint(g.checkbox.right() + 1 + spacing, inner.top()), QPoint(g.handle.left() - spacing - 1, inner.bottom()));
    if (shows) {
        int top = inner.top() + g.headlineHeight + lineSpacing + g.captionHeight + lineSpacing;
        if (hasBadges)
            top += g.badgeHeight + lineSpacing;
        g.note = QRect(g.content.left(), top, g.content.width(), noteHeight);
    }
    return g;
}

QSize ComposeEntryRow::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const RowData data = rowData(index);
    const Geometry g = geometry(option.rect, !badges(data.entry).isEmpty(), showsNote(index));
    int height = padding + g.headlineHeight + lineSpacing + g.captionHeight + padding;
    if (g.badgeHeight)
        height += lineSpacing + g.badgeHeight;
    if (!g.note.isNull())
        height += lineSpacing + noteHeight;
    return {option.rect.width() > 0 ? option.rect.width() : 300, height};
}

void ComposeEntryRow::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const RowData data = rowData(index);
    if (!data.selection)
        return;
    const QStringList badgeTexts = badges(data.entry);
    const Geometry g = geometry(option.rect, !badgeTexts.isEmpty(), showsNote(index));
    const QPalette& palette = option.palette;
    const QColor secondary = palette.color(QPalette::PlaceholderText);

    painter->save();
    painter->setOpacity(data.entry.include ? 1.0 : excludedOpacity);

    QStyleOptionButton box;
    box.rect = g.checkbox;
    box.state = QStyle::State_Enabled | (data.entry.include ? QStyle::State_On : QStyle::State_Off);
    if (!(option.state & QStyle::State_Enabled))
        box.state &= ~QStyle::State_Enabled;
    QApplication::style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, option.widget);

    // Headline with the entry's token estimate at the right.
    const QFont base = option.font;
    const QString tokens = TokenEstimator::format(TokenEstimator::estimate(
                               ContextComposer::entryBody(data.entry, *data.selection), m_profile()))
        + u" tokens"_s;
    painter->setFont(captionFont(base));
    const int tokensWidth = painter->fontMetrics().horizontalAdvance(tokens);
    QRect line(g.content.left(), g.content.top(), g.content.width(), g.headlineHeight);
    painter->setPen(secondary);
    painter->drawText(line, Qt::AlignRight | Qt::AlignVCenter, tokens);
    painter->setFont(headlineFont(base));
    painter->setPen(palette.color(QPalette::Text));
    const QRect headlineRect = line.adjusted(0, 0, -(tokensWidth + 6), 0);
    painter->drawText(headlineRect, Qt::AlignLeft | Qt::AlignVCenter,
        painter->fontMetrics().elidedText(headline(*data.selection), Qt::ElideRight, headlineRect.width()));

    // Source line, cut in the middle.
    line.translate(0, g.headlineHeight + lineSpacing);
    line.setHeight(g.captionHeight);
    painter->setFont(captionFont(base));
    painter->setPen(secondary);
    painter->drawText(line, Qt::AlignLeft | Qt::AlignVCenter,
        painter->fontMetrics().elidedText(sourceLine(*data.selection), Qt::ElideMiddle, line.width()));

    if (!badgeTexts.isEmpty()) {
        for (const BadgePlace& place : badgePlaces(option.rect, data.entry, base)) {
            painter->setFont(place.font);
            ComposerSymbols::paint(*painter, badgeSymbol(place.badge), place.symbol, secondary);
            painter->drawText(place.label, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip, place.text);
        }
    }

    // Handle and options.
    QColor tertiary = secondary;
    tertiary.setAlphaF(0.6f);
    ComposerSymbols::paint(
        *painter, ComposerSymbols::Symbol::threeLines, QRectF(g.handle).adjusted(1, 3, -1, -3), tertiary);
    ComposerSymbols::paint(
        *painter, ComposerSymbols::Symbol::ellipsis, QRectF(g.menu).adjusted(1, 1, -1, -1), secondary);
    painter->restore();

    // The keyboard's place: a ring around the current row's focused control.
    if ((option.state & QStyle::State_HasFocus) && m_focusedPart != Part::none) {
        const QRect focused = m_focusedPart == Part::checkbox ? g.checkbox.adjusted(-2, -2, 2, 2)
            : m_focusedPart == Part::handle                   ? g.handle
                                                              : g.menu.adjusted(-1, -1, 1, 1);
        ComposerStyle::paintFocusRing(*painter, focused, palette);
    }

    // The separator under every row.
    painter->setPen(palette.color(QPalette::Midlight));
    painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
}

QRect ComposeEntryRow::partRect(const QRect& rect, Part part) const
{
    const Geometry g = geometry(rect, false, false);
    switch (part) {
    case Part::checkbox:
        return g.checkbox;
    case Part::handle:
        return g.handle;
    case Part::menu:
        return g.menu;
    case Part::none:
        break;
    }
    return {};
}

ComposeEntryRow::Part ComposeEntryRow::partAt(const QRect& rect, const QPoint& point) const
{
    const Geometry g = geometry(rect, false, false);
    if (g.checkbox.adjusted(-3, -3, 3, 3).contains(point))
        return Part::checkbox;
    if (g.handle.contains(point))
        return Part::handle;
    if (g.menu.adjusted(-3, -3, 3, 3).contains(point))
        return Part::menu;
    return Part::none;
}

QWidget* ComposeEntryRow::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const
{
    auto* field = new QLineEdit(parent);
    field->setPlaceholderText(u"Note included in the prompt"_s);
    field->setAccessibleName(u"Note included in the prompt"_s);
    field->setFont(captionFont(QApplication::font()));
    // Reached from its row's controls, never on its own in the window's focus chain.
    field->setFocusPolicy(Qt::ClickFocus);
    // A row dragged over the field reorders the list; its identifier is no note.
    OwnDrags::refuseIn(field);
    const QUuid entryID = index.data(DraftEntriesModel::EntryIdRole).toUuid();
    connect(
        field, &QLineEdit::textEdited, this, [this, entryID](const QString& text) { emit noteEdited(entryID, text); });
    return field;
}

void ComposeEntryRow::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    auto* field = static_cast<QLineEdit*>(editor);
    const QString note = index.data(DraftEntriesModel::NoteRole).toString();
    if (field->text() != note) // never under the caret of an unchanged note
        field->setText(note);
}

void ComposeEntryRow::updateEditorGeometry(
    QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const RowData data = rowData(index);
    editor->setGeometry(geometry(option.rect, !badges(data.entry).isEmpty(), true).note);
}
