#include "Zubra/LibraryWindow/SidebarRowDelegate.h"

#include "Zubra/LibraryWindow/LibraryStyle.h"
#include "Zubra/LibraryWindow/LibrarySymbols.h"
#include "Zubra/Widgets/IconCache.h"
#include "ZubraCore/Models/SidebarModel.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

namespace {

constexpr int handleSide = 14;
constexpr int iconSide = 14;
constexpr int padding = 8;

SidebarModel::ItemKind kindOf(const QModelIndex& index)
{
    return index.data(SidebarModel::KindRole).value<SidebarModel::ItemKind>();
}

// The badge's width for a count, 0 when no badge is shown.
int badgeWidth(const QFontMetrics& metrics, qsizetype count)
{
    if (count <= 0)
        return 0;
    return metrics.horizontalAdvance(QString::number(count)) + 12;
}

// A huge address or name keeps its ends and costs no more than a short one to elide.
QString bounded(const QString& text)
{
    constexpr qsizetype half = 500;
    if (text.size() <= 2 * half)
        return text;
    return text.left(half) + u"\u2026"_qs + text.right(half);
}

QFont badgeFont(const QFont& base)
{
    QFont font = LibraryStyle::caption(base);
    font.setWeight(QFont::DemiBold);
    return font;
}

} // namespace

SidebarRowDelegate::SidebarRowDelegate(const LibraryEnvironment& environment, QObject* parent)
    : QStyledItemDelegate(parent)
    , m_environment(environment)
{
}

bool SidebarRowDelegate::hasHandle(const QModelIndex& index)
{
    const SidebarModel::ItemKind kind = kindOf(index);
    return kind == SidebarModel::ItemKind::group || kind == SidebarModel::ItemKind::source;
}

QRect SidebarRowDelegate::handleRect(const QRect& rowRect, const QModelIndex& index)
{
    if (!hasHandle(index))
        return {};
    const QFontMetrics metrics(badgeFont(QFont()));
    const int badge = badgeWidth(metrics, index.data(SidebarModel::CountRole).toLongLong());
    const int right = rowRect.right() - padding - (badge > 0 ? badge + 6 : 0);
    return QRect(right - handleSide, rowRect.center().y() - handleSide / 2, handleSide, handleSide);
}

QString SidebarRowDelegate::handleHelp()
{
    return u"Drag to add to a prompt or group"_qs;
}

QString SidebarRowDelegate::helpAt(const QRect& rowRect, const QModelIndex& index, const QPoint& point)
{
    const QRect handle = handleRect(rowRect, index);
    if (handle.contains(point))
        return handleHelp();
    // A source's subtitle is the lower line of its text, left of the handle.
    if (kindOf(index) == SidebarModel::ItemKind::source && point.y() > rowRect.center().y()
        && (handle.isNull() || point.x() < handle.left()))
        return bounded(index.data(SidebarModel::SubtitleRole).toString());
    return {};
}

bool SidebarRowDelegate::helpEvent(
    QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (!event || !view || event->type() != QEvent::ToolTip)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString help = helpAt(option.rect, index, event->pos());
    if (help.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPos(), help, view->viewport(), option.rect);
    return true;
}

QSize SidebarRowDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const
{
    return QSize(200, kindOf(index) == SidebarModel::ItemKind::source ? sourceRowHeight : rowHeight);
}

void SidebarRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QPalette& palette = option.palette;
    const QRect row = option.rect.adjusted(4, 1, -4, -1);
    const bool selected = option.state & QStyle::State_Selected;
    const bool hovered = option.state & QStyle::State_MouseOver;

    // Background: the choice, a hovered row, or the row under a drag of selections.
    QPainterPath shape;
    shape.addRoundedRect(QRectF(row), 6, 6);
    if (selected) {
        painter->fillPath(shape, palette.color(QPalette::Highlight));
    } else if (m_dropTarget.isValid() && m_dropTarget == index) {
        QColor accent = palette.color(QPalette::Highlight);
        accent.setAlphaF(0.2);
        painter->fillPath(shape, accent);
    } else if (hovered) {
        QColor hover = palette.color(QPalette::Highlight);
        hover.setAlphaF(0.08);
        painter->fillPath(shape, hover);
    }
    if (option.state & QStyle::State_HasFocus) {
        // The keyboard's place: a ring inside the row, light on the chosen row.
        painter->setPen(QPen(selected ? palette.color(QPalette::HighlightedText) : palette.color(QPalette::Highlight), 2));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(QRectF(row).adjusted(1.5, 1.5, -1.5, -1.5), 5, 5);
    }
    const QColor text = selected ? palette.color(QPalette::HighlightedText) : palette.color(QPalette::Text);
    const QColor secondary = selected ? text : LibraryStyle::secondaryText(palette);
    const QColor tertiary = selected ? text : LibraryStyle::tertiaryText(palette);

    // Trailing: the badge, then to its left the drag handle.
    const qsizetype count = index.data(SidebarModel::CountRole).toLongLong();
    const QFont countFont = badgeFont(option.font);
    const int badge = badgeWidth(QFontMetrics(countFont), count);
    int right = row.right() - padding + 4;
    if (badge > 0) {
        const QRect badgeRect(right - badge, row.center().y() - 9, badge, 18);
        QPainterPath capsule;
        capsule.addRoundedRect(QRectF(badgeRect), 9, 9);
        QColor fill = selected ? palette.color(QPalette::HighlightedText) : palette.color(QPalette::Mid);
        fill.setAlphaF(selected ? 0.25 : 0.35);
        painter->fillPath(capsule, fill);
        painter->setFont(countFont);
        painter->setPen(secondary);
        painter->drawText(badgeRect, Qt::AlignCenter, QString::number(count));
        right = badgeRect.left() - 6;
    }
    if (hasHandle(index)) {
        const QRect handle(right - handleSide, row.center().y() - handleSide / 2, handleSide, handleSide);
        LibrarySymbols::icon(u"line.3.horizontal"_qs, tertiary).paint(painter, handle);
        right = handle.left() - 6;
    }

    // Leading: the symbol or icon, then the text.
    int left = row.left() + padding;
    const SidebarModel::ItemKind kind = kindOf(index);
    const QRect iconRect(left, row.center().y() - iconSide / 2, iconSide, iconSide);
    const QString title = bounded(index.data(SidebarModel::TitleRole).toString());
    painter->setPen(text);
    switch (kind) {
    case SidebarModel::ItemKind::activePrompt:
        LibrarySymbols::icon(u"text.bubble"_qs, text).paint(painter, iconRect);
        break;
    case SidebarModel::ItemKind::draft:
        LibrarySymbols::icon(u"doc.plaintext"_qs, text).paint(painter, iconRect);
        break;
    case SidebarModel::ItemKind::allSelections:
        LibrarySymbols::icon(u"tray.full"_qs, text).paint(painter, iconRect);
        break;
    case SidebarModel::ItemKind::group: {
        // On the chosen row the dot gets a light rim: a group may have the accent colour.
        painter->setPen(selected ? QPen(palette.color(QPalette::HighlightedText), 1.5) : QPen(Qt::NoPen));
        painter->setBrush(index.data(SidebarModel::ColorRole).value<QColor>());
        painter->drawEllipse(QRectF(left, row.center().y() - 4.5, 9, 9));
        left += 9 + 6;
        LibrarySymbols::icon(u"folder"_qs, text).paint(painter, QRect(left, iconRect.top(), iconSide, iconSide));
        break;
    }
    case SidebarModel::ItemKind::source: {
        Selection probe;
        probe.appName = index.data(SidebarModel::AppNameRole).toString();
        const QString bundle = index.data(SidebarModel::BundleIDRole).toString();
        if (!bundle.isEmpty())
            probe.bundleID = bundle;
        QPainterPath clip;
        clip.addRoundedRect(QRectF(iconRect), 3, 3);
        painter->save();
        painter->setClipPath(clip);
        const QIcon icon = m_environment.iconFor(probe);
        (icon.isNull() ? IconCache::fallbackIcon() : icon).paint(painter, iconRect);
        painter->restore();
        break;
    }
    case SidebarModel::ItemKind::section:
        break;
    }
    left = (kind == SidebarModel::ItemKind::group ? left : iconRect.left()) + iconSide + 6;
    painter->setBrush(Qt::NoBrush);
    const int textWidth = qMax(0, right - left);

    if (kind == SidebarModel::ItemKind::source) {
        const QFont nameFont = LibraryStyle::callout(option.font);
        const QFont subtitleFont = LibraryStyle::caption2(option.font);
        const QFontMetrics nameMetrics(nameFont);
        const QFontMetrics subtitleMetrics(subtitleFont);
        const int total = nameMetrics.height() + 1 + subtitleMetrics.height();
        const int top = row.center().y() - total / 2;
        painter->setPen(text);
        painter->setFont(nameFont);
        painter->drawText(QRect(left, top, textWidth, nameMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
            nameMetrics.elidedText(title, Qt::ElideRight, textWidth));
        painter->setPen(secondary);
        painter->setFont(subtitleFont);
        painter->drawText(QRect(left, top + nameMetrics.height() + 1, textWidth, subtitleMetrics.height()),
            Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
            subtitleMetrics.elidedText(
                bounded(index.data(SidebarModel::SubtitleRole).toString()), Qt::ElideMiddle, textWidth));
    } else {
        const QFontMetrics metrics(option.font);
        painter->setPen(text);
        painter->setFont(option.font);
        painter->drawText(QRect(left, row.top(), textWidth, row.height()), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
            metrics.elidedText(title, Qt::ElideRight, textWidth));
    }
    painter->restore();
}
