#include "Zubra/LibraryWindow/StatusViews.h"

#include "Zubra/LibraryWindow/LibraryStyle.h"
#include "Zubra/LibraryWindow/LibrarySymbols.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QResizeEvent>
#include <QTextLayout>
#include <QVBoxLayout>

namespace {

// Empty-state subtitles show at most this many lines at this width.
constexpr int subtitleWidth = 360;
constexpr int subtitleLines = 3;
constexpr int bigSymbolSize = 42;

QLabel* plainLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// The rounded panel behind the two banners.
void paintBannerBackground(QWidget* widget)
{
    QPainter painter(widget);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(widget->rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    const QPalette palette = widget->palette();
    painter.fillPath(path, palette.color(QPalette::AlternateBase));
    painter.setPen(QPen(palette.color(QPalette::Mid), 0.6));
    painter.drawPath(path);
}

// The text as it wraps at the width, cut after `lines` lines with an ellipsis closing the last.
QString clampToLines(const QString& text, const QFont& font, int width, int lines)
{
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QStringList out;
    qsizetype consumed = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (out.size() == lines) {
            const QFontMetrics metrics(font);
            out.last() = metrics.elidedText(out.last().trimmed() + u"\u2026"_qs, Qt::ElideRight, width);
            if (!out.last().endsWith(u"\u2026"_qs))
                out.last() += u"\u2026"_qs;
            consumed = -1;
            break;
        }
        out.append(text.mid(line.textStart(), line.textLength()).trimmed());
        consumed = line.textStart() + line.textLength();
    }
    layout.endLayout();
    if (consumed >= 0)
        return text;
    return out.join(u'\n');
}

} // namespace

QString turnOnAccessibilityTitle()
{
    return u"Turn On Accessibility"_qs;
}

EmptyStateContent emptyStateContent(bool isFiltering, bool needsAccessibility, const QString& searchText,
    EmptyStateScope scope, const QString& hotkeyDisplay)
{
    const QString query = searchText.trimmed();
    if (isFiltering && !query.isEmpty()) {
        return {u"magnifyingglass"_qs, u"No Search Results"_qs,
            u"No captures match \u201C"_qs + query + u"\u201D."_qs, needsAccessibility};
    }
    if (scope == EmptyStateScope::group)
        return {u"folder"_qs, u"No Captures Here"_qs, u"This group does not contain any captures."_qs, needsAccessibility};
    if (scope == EmptyStateScope::source)
        return {u"link"_qs, u"No Captures Here"_qs, u"This source does not contain any captures."_qs, needsAccessibility};
    if (needsAccessibility) {
        return {u"text.quote"_qs, u"Welcome to Tessellon"_qs,
            u"Turn on your desktop's accessibility support, then select text anywhere and press "_qs + hotkeyDisplay
                + u" to save it."_qs,
            true};
    }
    return {u"text.quote"_qs, u"Nothing Here Yet"_qs,
        u"Select text anywhere on your computer and press "_qs + hotkeyDisplay
            + u" to save it here (or click the viewfinder button)."_qs,
        false};
}

PersistenceStatusContent persistenceStatusContent(StorePersistenceStatus status)
{
    const QString warning = u"exclamationmark.triangle.fill"_qs;
    switch (StorePersistenceStatus::Value(status)) {
    case StorePersistenceStatus::ready:
        return {u"checkmark.circle.fill"_qs, LibraryStyle::green(), u"Local library ready"_qs,
            u"Tessellon stores this library and its backup on this computer."_qs, false};
    case StorePersistenceStatus::recoveredFromBackup:
        return {u"arrow.counterclockwise.circle.fill"_qs, LibraryStyle::green(), u"Library recovered"_qs,
            u"Tessellon restored a known-good local backup and preserved the unreadable data."_qs, false};
    case StorePersistenceStatus::unreadablePrimary:
    case StorePersistenceStatus::incompatibleVersion:
    case StorePersistenceStatus::openElsewhere: {
        const LibraryRecoveryPresentation presentation = *status.unavailableLibraryPresentation();
        return {warning, LibraryStyle::orange(), presentation.title(), presentation.message(),
            presentation.canRevealLibraryFolder()};
    }
    case StorePersistenceStatus::backupUnavailable:
        return {warning, LibraryStyle::orange(), u"Backup unavailable"_qs,
            u"The library is open, but Tessellon could not refresh its local backup."_qs, false};
    case StorePersistenceStatus::saveFailed:
        return {warning, LibraryStyle::orange(), u"Changes not saved"_qs,
            u"Tessellon could not save the latest changes. The current library remains open."_qs, false};
    }
    return {};
}

EmptyStateView::EmptyStateView(QWidget* parent)
    : QWidget(parent)
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(24, 24, 24, 24);
    outer->addStretch(1);
    auto* column = new QVBoxLayout;
    column->setSpacing(12);
    m_symbol = new QLabel(this);
    m_symbol->setAlignment(Qt::AlignCenter);
    m_title = plainLabel({}, this);
    m_title->setFont(LibraryStyle::title3(font()));
    m_title->setAlignment(Qt::AlignCenter);
    m_subtitle = plainLabel({}, this);
    m_subtitle->setFont(LibraryStyle::callout(font()));
    m_subtitle->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_subtitle->setWordWrap(true);
    LibraryStyle::setTextColor(m_subtitle, LibraryStyle::secondaryText(palette()));
    m_accessibility = new QPushButton(
        LibrarySymbols::icon(u"hand.raised"_qs, palette().color(QPalette::ButtonText)), turnOnAccessibilityTitle(), this);
    m_accessibility->setDefault(true);
    connect(m_accessibility, &QPushButton::clicked, this, [this] {
        if (m_turnOnAccessibility)
            m_turnOnAccessibility();
    });
    column->addWidget(m_symbol, 0, Qt::AlignHCenter);
    column->addWidget(m_title, 0, Qt::AlignHCenter);
    column->addWidget(m_subtitle, 0, Qt::AlignHCenter);
    column->addWidget(m_accessibility, 0, Qt::AlignHCenter);
    outer->addLayout(column);
    outer->addStretch(1);
    setState(false, false, {}, EmptyStateScope::library, {});
}

void EmptyStateView::setState(bool isFiltering, bool needsAccessibility, const QString& searchText,
    EmptyStateScope scope, const QString& hotkeyDisplay)
{
    m_content = emptyStateContent(isFiltering, needsAccessibility, searchText, scope, hotkeyDisplay);
    m_symbol->setPixmap(LibrarySymbols::pixmap(
        m_content.symbol, LibraryStyle::tertiaryText(palette()), bigSymbolSize, devicePixelRatioF()));
    m_title->setText(m_content.title);
    m_subtitle->setToolTip(m_content.subtitle);
    layOutSubtitle();
    m_accessibility->setVisible(m_content.offersAccessibility);
}

void EmptyStateView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layOutSubtitle();
}

void EmptyStateView::layOutSubtitle()
{
    // At most 360 wide, narrower in a narrow column; three lines at most.
    const int width = qMax(120, qMin(subtitleWidth, this->width() - 48));
    m_subtitle->setFixedWidth(width);
    m_subtitle->setText(clampToLines(m_content.subtitle, m_subtitle->font(), width, subtitleLines));
}

UnavailableLibraryView::UnavailableLibraryView(
    LibraryRecoveryPresentation recovery, std::function<void()> revealLibraryFolder, QWidget* parent)
    : QWidget(parent)
    , m_revealLibraryFolder(std::move(revealLibraryFolder))
{
    // A panel at most 360 wide, centred; its labels wrap at the panel's width.
    auto* panel = new QWidget(this);
    panel->setMaximumWidth(subtitleWidth);
    panel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);
    auto* symbol = new QLabel(panel);
    symbol->setPixmap(LibrarySymbols::pixmap(u"exclamationmark.triangle"_qs, LibraryStyle::secondaryText(palette()),
        bigSymbolSize, devicePixelRatioF()));
    m_title = plainLabel({}, panel);
    m_title->setFont(LibraryStyle::title3(font()));
    m_message = plainLabel({}, panel);
    m_message->setFont(LibraryStyle::callout(font()));
    LibraryStyle::setTextColor(m_message, LibraryStyle::secondaryText(palette()));
    for (QLabel* label : {m_title, m_message}) {
        label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        label->setWordWrap(true);
    }
    m_reveal = new QPushButton(u"Reveal Library Folder"_qs, panel);
    connect(m_reveal, &QPushButton::clicked, this, [this] {
        if (m_revealLibraryFolder)
            m_revealLibraryFolder();
    });
    column->addWidget(symbol, 0, Qt::AlignHCenter);
    column->addWidget(m_title);
    column->addWidget(m_message);
    column->addWidget(m_reveal, 0, Qt::AlignHCenter);

    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(panel, 100);
    row->addStretch(1);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(24, 24, 24, 24);
    outer->addStretch(1);
    outer->addLayout(row);
    outer->addStretch(1);
    setAccessibleName(LibraryRecoveryPresentation(recovery).title());
    setRecovery(recovery);
}

void UnavailableLibraryView::setRecovery(LibraryRecoveryPresentation recovery)
{
    m_title->setText(recovery.title());
    m_message->setText(recovery.message());
    m_reveal->setVisible(recovery.canRevealLibraryFolder());
    m_reveal->setEnabled(recovery.canRevealLibraryFolder());
    setAccessibleName(recovery.title());
    setAccessibleDescription(recovery.message());
}

QPushButton* UnavailableLibraryView::revealButton() const
{
    return m_reveal->isEnabled() ? m_reveal : nullptr;
}

PermissionBanner::PermissionBanner(std::function<void()> turnOnAccessibility, QWidget* parent)
    : QWidget(parent)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(10, 10, 10, 10);
    row->setSpacing(8);
    auto* symbol = new QLabel(this);
    symbol->setPixmap(LibrarySymbols::pixmap(
        u"exclamationmark.triangle.fill"_qs, LibraryStyle::orange(), 16, devicePixelRatioF()));
    auto* text = plainLabel(
        u"Tessellon can\u2019t read selections yet. Turn on your desktop's accessibility support to enable capture."_qs,
        this);
    text->setFont(LibraryStyle::callout(font()));
    text->setWordWrap(true);
    auto* button = new QPushButton(turnOnAccessibilityTitle(), this);
    button->setFont(LibraryStyle::callout(font()));
    // A click leaves the focus where it is; Tab still reaches the button.
    button->setFocusPolicy(Qt::TabFocus);
    connect(button, &QPushButton::clicked, this, [action = std::move(turnOnAccessibility)] {
        if (action)
            action();
    });
    row->addWidget(symbol, 0, Qt::AlignVCenter);
    row->addWidget(text, 1);
    row->addWidget(button, 0, Qt::AlignVCenter);
}

void PermissionBanner::paintEvent(QPaintEvent*)
{
    paintBannerBackground(this);
}

PersistenceStatusBanner::PersistenceStatusBanner(
    StorePersistenceStatus status, std::function<void()> revealLibraryFolder, QWidget* parent)
    : QWidget(parent)
    , m_revealLibraryFolder(std::move(revealLibraryFolder))
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(10, 10, 10, 10);
    row->setSpacing(8);
    m_symbol = new QLabel(this);
    auto* column = new QVBoxLayout;
    column->setSpacing(2);
    m_title = plainLabel({}, this);
    QFont titleFont = LibraryStyle::callout(font());
    titleFont.setWeight(QFont::DemiBold);
    m_title->setFont(titleFont);
    m_message = plainLabel({}, this);
    m_message->setFont(LibraryStyle::caption(font()));
    m_message->setWordWrap(true);
    LibraryStyle::setTextColor(m_message, LibraryStyle::secondaryText(palette()));
    // The button sits 4 points below the message, in a holder that hides with it.
    m_revealHolder = new QWidget(this);
    auto* holder = new QHBoxLayout(m_revealHolder);
    holder->setContentsMargins(0, 4, 0, 0);
    m_reveal = new QPushButton(u"Reveal Library Folder"_qs, m_revealHolder);
    m_reveal->setFont(LibraryStyle::caption(font()));
    holder->addWidget(m_reveal);
    holder->addStretch(1);
    connect(m_reveal, &QPushButton::clicked, this, [this] {
        if (m_revealLibraryFolder)
            m_revealLibraryFolder();
    });
    column->addWidget(m_title);
    column->addWidget(m_message);
    column->addWidget(m_revealHolder);
    row->addWidget(m_symbol, 0, Qt::AlignTop);
    row->addLayout(column, 1);
    setStatus(status);
}

void PersistenceStatusBanner::setStatus(StorePersistenceStatus status)
{
    m_status = status;
    const PersistenceStatusContent content = persistenceStatusContent(status);
    m_symbol->setPixmap(LibrarySymbols::pixmap(content.symbol, content.color, 16, devicePixelRatioF()));
    m_title->setText(content.title);
    m_message->setText(content.message);
    m_revealHolder->setVisible(content.offersReveal);
    m_reveal->setEnabled(content.offersReveal);
    setAccessibleName(content.title);
    setAccessibleDescription(content.message);
}

QPushButton* PersistenceStatusBanner::revealButton() const
{
    return m_reveal->isEnabled() ? m_reveal : nullptr;
}

void PersistenceStatusBanner::paintEvent(QPaintEvent*)
{
    paintBannerBackground(this);
}
