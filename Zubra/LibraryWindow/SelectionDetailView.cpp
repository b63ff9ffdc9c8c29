#include "Zubra/LibraryWindow/SelectionDetailView.h"

#include "Platform/Workspace.h"
#include "Zubra/LibraryWindow/CopiedFlash.h"
#include "Zubra/LibraryWindow/DecorativeImage.h"
#include "Zubra/LibraryWindow/DetailDates.h"
#include "Zubra/LibraryWindow/DetailText.h"
#include "Zubra/LibraryWindow/LibraryStyle.h"
#include "Zubra/LibraryWindow/LibrarySymbols.h"
#include "Zubra/LibraryWindow/PassageRenderer.h"
#include "Zubra/LibraryWindow/SourceMarkdown.h"
#include "Zubra/Widgets/IconCache.h"
#include "ZubraCore/Capture/Clipboard.h"
#include "ZubraCore/Library/Store.h"
#include "ZubraCore/Text/TextMetrics.h"

#include <QAbstractTextDocumentLayout>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int iconSide = 38;
constexpr int sourceSymbolSide = 12;

QPixmap dot(const QColor& color, int side, qreal ratio)
{
    QPixmap out(QSize(side, side) * ratio);
    out.setDevicePixelRatio(ratio);
    out.fill(Qt::transparent);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(QRectF(0, 0, side, side));
    return out;
}

QPixmap roundedIcon(const QIcon& icon, int side, qreal ratio)
{
    QPixmap out(QSize(side, side) * ratio);
    out.setDevicePixelRatio(ratio);
    out.fill(Qt::transparent);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(0, 0, side, side), 8, 8);
    painter.setClipPath(clip);
    icon.paint(&painter, QRect(0, 0, side, side));
    return out;
}

// Text from the library in a menu: "&" stands for itself and a huge name keeps its ends.
QString menuText(const QString& text)
{
    QString out = DetailText::fitToLines(text, QFont(), 320, 1, Qt::ElideMiddle);
    return out.replace(u'&', u"&&"_qs);
}

// A button in the accent colours of whatever palette it is given.
class ProminentButton : public QToolButton
{
    Q_OBJECT

public:
    explicit ProminentButton(QWidget* parent)
        : QToolButton(parent)
    {
        adjust();
    }

signals:
    void paletteAdjusted();

protected:
    void changeEvent(QEvent* event) override
    {
        QToolButton::changeEvent(event);
        if (event->type() == QEvent::PaletteChange && !m_adjusting) {
            adjust();
            emit paletteAdjusted();
        }
    }

private:
    void adjust()
    {
        m_adjusting = true;
        QPalette prominent = palette();
        prominent.setColor(QPalette::Button, prominent.color(QPalette::Highlight));
        prominent.setColor(QPalette::ButtonText, prominent.color(QPalette::HighlightedText));
        setPalette(prominent);
        m_adjusting = false;
    }

    bool m_adjusting = false;
};

struct SourceInfo
{
    QString text;
    QString symbol;
};

SourceInfo sourceInfo(const Selection& selection)
{
    if (selection.sourceURL)
        return {*selection.sourceURL, u"safari"_qs};
    if (selection.filePath)
        return {*selection.filePath, u"doc"_qs};
    return {selection.appName, u"app"_qs};
}

} // namespace

SelectionDetailView::SelectionDetailView(Store& store, const LibraryEnvironment& environment, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_environment(environment)
{
    setMinimumWidth(320);
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    buildHeader(layout);
    auto* topRule = new QFrame(this);
    topRule->setFrameShape(QFrame::HLine);
    topRule->setFrameShadow(QFrame::Sunken);
    layout->addWidget(topRule);
    buildContent(layout);
    auto* bottomRule = new QFrame(this);
    bottomRule->setFrameShape(QFrame::HLine);
    bottomRule->setFrameShadow(QFrame::Sunken);
    layout->addWidget(bottomRule);
    buildFooter(layout);

    connect(&IconCache::shared(), &IconCache::iconReady, this, [this](const QString& key) {
        if (m_selection && IconCache::keyOf(m_selection->bundleID, m_selection->appName) == key)
            m_header->setPixmap(
                m_icon, roundedIcon(m_environment.iconFor(*m_selection), iconSide, devicePixelRatioF()));
    });
    connect(&m_store, &Store::groupsChanged, this, &SelectionDetailView::refresh);
    connect(&m_store, &Store::draftsChanged, this, &SelectionDetailView::refresh);
    connect(&m_store, &Store::activeDraftIDChanged, this, &SelectionDetailView::refresh);
    connect(&m_store, &Store::selectionsEdited, this, [this](const QList<QUuid>& ids) {
        if (m_selection && ids.contains(m_selection->id))
            refresh();
    });
}

void SelectionDetailView::buildHeader(QVBoxLayout* layout)
{
    // The icons only decorate: the header draws them, and a screen reader meets the texts alone.
    auto* header = new DecoratedWidget(this);
    m_header = header;
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(14, 14, 14, 14);
    row->setSpacing(12);
    m_icon = header->addImage(QSize(iconSide, iconSide));
    row->addItem(m_icon);

    auto* column = new QVBoxLayout;
    column->setSpacing(3);
    auto* title = new FittedLabel(2, Qt::ElideRight, header);
    title->setFont(LibraryStyle::headline(font()));
    m_title = title;
    auto* sourceRow = new QHBoxLayout;
    sourceRow->setSpacing(4);
    m_sourceIcon = header->addImage(QSize(sourceSymbolSide, sourceSymbolSide));
    auto* source = new FittedLabel(1, Qt::ElideMiddle, header);
    source->setFont(LibraryStyle::caption(font()));
    source->setSelectable(true);
    LibraryStyle::setTextColor(source, LibraryStyle::secondaryText(palette()));
    m_source = source;
    sourceRow->addItem(m_sourceIcon);
    sourceRow->addWidget(m_source, 1);
    m_date = new QLabel(header);
    m_date->setTextFormat(Qt::PlainText);
    m_date->setFont(LibraryStyle::caption(font()));
    LibraryStyle::setTextColor(m_date, LibraryStyle::tertiaryText(palette()));
    column->addWidget(m_title);
    column->addLayout(sourceRow);
    column->addWidget(m_date);
    row->addLayout(column, 1);
    layout->addWidget(header);
}

void SelectionDetailView::buildContent(QVBoxLayout* layout)
{
    // One scroll view holds the whole content: the passage at its full height, then the boxes.
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(u"detailContent"_qs);
    scroll->setAccessibleName(u"Selection detail"_qs);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_scroll = scroll;
    auto* content = new QWidget(scroll);
    content->setAutoFillBackground(false);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(14);
    m_contentColumn = column;

    auto* passageBox = new QGroupBox(u"Captured Passage"_qs, content);
    m_passageBox = passageBox;
    auto* passageLayout = new QVBoxLayout(passageBox);
    passageLayout->setContentsMargins(8, 4, 8, 8);
    m_passage = new PassageView(passageBox);
    m_passage->setFitsContent(true);
    m_passage->setLinkOpener([this](const QUrl& url) {
        if (m_environment.workspace)
            m_environment.workspace->openAddress(url.toString(QUrl::FullyEncoded));
    });
    QPalette passagePalette = m_passage->palette();
    passagePalette.setColor(QPalette::Base, Qt::transparent);
    m_passage->setPalette(passagePalette);
    m_passage->viewport()->setAutoFillBackground(false);
    passageLayout->addWidget(m_passage);
    column->addWidget(passageBox);

    m_groupsBox = new QGroupBox(u"Groups"_qs, content);
    m_groupsLayout = new QVBoxLayout(m_groupsBox);
    m_groupsLayout->setContentsMargins(8, 4, 8, 8);
    m_groupsLayout->setSpacing(6);
    column->addWidget(m_groupsBox);

    auto* provenanceBox = new QGroupBox(u"Provenance"_qs, content);
    m_provenance = new QFormLayout(provenanceBox);
    m_provenance->setContentsMargins(8, 4, 8, 8);
    m_provenance->setVerticalSpacing(8);
    m_provenance->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    m_provenance->setRowWrapPolicy(QFormLayout::DontWrapRows);
    column->addWidget(provenanceBox);
    column->addStretch(1);
    scroll->setWidget(content);
    scroll->viewport()->setAutoFillBackground(false);
    layout->addWidget(scroll, 1);
}

void SelectionDetailView::buildFooter(QVBoxLayout* layout)
{
    auto* footer = new QWidget(this);
    footer->setAutoFillBackground(true);
    footer->setBackgroundRole(QPalette::Button);
    auto* stack = new QHBoxLayout(footer);
    stack->setContentsMargins(10, 10, 10, 10);
    const QColor iconColor = palette().color(QPalette::ButtonText);

    // Labelled arrangement.
    m_labelledFooter = new QWidget(footer);
    auto* labelled = new QHBoxLayout(m_labelledFooter);
    labelled->setContentsMargins(0, 0, 0, 0);
    labelled->setSpacing(8);
    const auto labelledButton = [this]() {
        auto* button = new QToolButton(m_labelledFooter);
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        return button;
    };
    // The Markdown copy is the prominent one: drawn in the accent colour, also after a new
    // palette is set on every control (as the surface export does).
    auto* markdown = new ProminentButton(m_labelledFooter);
    markdown->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_markdownLabelled = markdown;
    connect(markdown, &ProminentButton::paletteAdjusted, this, &SelectionDetailView::refreshFooter);
    m_plainLabelled = labelledButton();
    auto* groupButton = new QToolButton(m_labelledFooter);
    groupButton->setText(u"Group"_qs);
    groupButton->setIcon(LibrarySymbols::icon(u"folder.badge.plus"_qs, iconColor));
    groupButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    groupButton->setPopupMode(QToolButton::InstantPopup);
    groupButton->setToolTip(u"Add to a group"_qs);
    auto* groupMenu = new QMenu(groupButton);
    connect(groupMenu, &QMenu::aboutToShow, this, [this, groupMenu] {
        groupMenu->clear();
        fillGroupMenu(*groupMenu);
    });
    groupButton->setMenu(groupMenu);
    m_promptLabelled = labelledButton();
    auto makeMore = [this, iconColor](QWidget* parent, bool withText) {
        auto* more = new QToolButton(parent);
        more->setIcon(LibrarySymbols::icon(u"ellipsis.circle"_qs, iconColor));
        if (withText) {
            more->setText(u"More"_qs);
            more->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        }
        more->setAccessibleName(u"More"_qs);
        more->setToolTip(u"More actions"_qs);
        more->setPopupMode(QToolButton::InstantPopup);
        auto* menu = new QMenu(more);
        connect(menu, &QMenu::aboutToShow, this, [this, menu] {
            menu->clear();
            fillMoreMenu(*menu);
        });
        more->setMenu(menu);
        return more;
    };
    labelled->addWidget(m_markdownLabelled);
    labelled->addWidget(m_plainLabelled);
    labelled->addWidget(groupButton);
    labelled->addStretch(1);
    labelled->addWidget(m_promptLabelled);
    labelled->addWidget(makeMore(m_labelledFooter, true));

    // Compact arrangement: icons only, no "Group" menu.
    m_compactFooter = new QWidget(footer);
    auto* compact = new QHBoxLayout(m_compactFooter);
    compact->setContentsMargins(0, 0, 0, 0);
    compact->setSpacing(6);
    m_markdownCompact = new QToolButton(m_compactFooter);
    m_plainCompact = new QToolButton(m_compactFooter);
    m_promptCompact = new QToolButton(m_compactFooter);
    compact->addWidget(m_markdownCompact);
    compact->addWidget(m_plainCompact);
    compact->addStretch(1);
    compact->addWidget(m_promptCompact);
    compact->addWidget(makeMore(m_compactFooter, false));

    for (QAbstractButton* button : {static_cast<QAbstractButton*>(m_markdownLabelled),
             static_cast<QAbstractButton*>(m_markdownCompact)}) {
        button->setToolTip(u"Copy as Markdown"_qs);
        button->setAccessibleName(u"Copy as Markdown"_qs);
        connect(button, &QAbstractButton::clicked, this, &SelectionDetailView::copyMarkdown);
    }
    for (QAbstractButton* button :
        {static_cast<QAbstractButton*>(m_plainLabelled), static_cast<QAbstractButton*>(m_plainCompact)}) {
        button->setToolTip(u"Copy plain text"_qs);
        button->setAccessibleName(u"Copy plain text"_qs);
        connect(button, &QAbstractButton::clicked, this, &SelectionDetailView::copyPlainText);
    }
    for (QAbstractButton* button :
        {static_cast<QAbstractButton*>(m_promptLabelled), static_cast<QAbstractButton*>(m_promptCompact)})
        connect(button, &QAbstractButton::clicked, this, &SelectionDetailView::addToPrompt);

    // The symbols beside the labels are as tall as the text's ascent, as a symbol in a line of
    // text is, not the style's larger tool-button icon: the labelled arrangement then fits
    // the detail column of the default window.
    const int symbol = qMax(12, fontMetrics().ascent());
    for (QToolButton* button : m_labelledFooter->findChildren<QToolButton*>())
        button->setIconSize(QSize(symbol, symbol));
    stack->addWidget(m_labelledFooter);
    stack->addWidget(m_compactFooter);
    layout->addWidget(footer);
    refreshFooter();
    updateFooterArrangement();
}

void SelectionDetailView::setSelection(const Selection& selection)
{
    const bool samePassage
        = m_selection && m_selection->id == selection.id && m_selection->markdown() == selection.markdown();
    m_selection = selection;

    const qreal ratio = devicePixelRatioF();
    const QIcon icon = m_environment.iconFor(selection);
    m_header->setPixmap(m_icon, roundedIcon(icon.isNull() ? IconCache::fallbackIcon() : icon, iconSide, ratio));
    static_cast<FittedLabel*>(m_title)->setFullText(recordTitle());
    const SourceInfo info = sourceInfo(selection);
    m_header->setPixmap(m_sourceIcon,
        LibrarySymbols::pixmap(info.symbol, LibraryStyle::secondaryText(palette()), sourceSymbolSide, ratio));
    static_cast<FittedLabel*>(m_source)->setFullText(info.text);
    m_date->setText(DetailDates::format(selection.createdAt, DetailDates::Style::medium,
        DetailDates::Style::shortStyle, m_environment.locale, m_environment.timeZone));

    if (!samePassage) {
        m_passage->setMarkdownPassage(selection.markdown());
        m_scroll->verticalScrollBar()->setValue(0);
    }
    refresh();
}

QString SelectionDetailView::recordTitle() const
{
    if (!m_selection)
        return {};
    if (m_selection->sourceTitle) {
        const QString title = m_selection->sourceTitle->trimmed();
        if (!title.isEmpty())
            return title;
    }
    return m_selection->appName;
}

bool SelectionDetailView::isInActivePrompt() const
{
    if (!m_selection)
        return false;
    const std::optional<ContextDraft> draft = m_store.activeDraft();
    if (!draft)
        return false;
    for (const ContextDraftEntry& entry : draft->entries) {
        if (entry.selectionID == m_selection->id)
            return true;
    }
    return false;
}

QList<SelectionGroup> SelectionDetailView::groups() const
{
    QList<SelectionGroup> out;
    if (!m_selection)
        return out;
    for (const QUuid& id : m_selection->groupIDs) {
        if (const std::optional<SelectionGroup> group = m_store.findGroup(id))
            out.append(*group);
    }
    return out;
}

QString SelectionDetailView::lengthText(const QString& text)
{
    return QString::number(TextMetrics::count(text)) + u" characters"_qs;
}

void SelectionDetailView::refresh()
{
    if (!m_selection)
        return;
    // Group membership is read from the store, which holds the newest copy of the selection.
    if (const std::optional<Selection> current = m_store.findByID(m_selection->id))
        m_selection->groupIDs = current->groupIDs;
    refreshGroups();
    refreshProvenance();
    refreshFooter();
}

void SelectionDetailView::refreshGroups()
{
    while (QLayoutItem* item = m_groupsLayout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const QList<SelectionGroup> shown = groups();
    m_groupsBox->setVisible(!shown.isEmpty());
    for (const SelectionGroup& group : shown) {
        auto* row = new QWidget(m_groupsBox);
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(0, 0, 0, 0);
        line->setSpacing(6);
        auto* mark = new QLabel(row);
        mark->setPixmap(dot(group.color(), 8, devicePixelRatioF()));
        auto* name = new FittedLabel(1, Qt::ElideRight, row);
        name->setFullText(group.name);
        line->addWidget(mark);
        line->addWidget(name, 1);
        m_groupsLayout->addWidget(row);
    }
}

void SelectionDetailView::refreshProvenance()
{
    while (m_provenance->rowCount() > 0)
        m_provenance->removeRow(0);
    if (!m_selection)
        return;
    const Selection& s = *m_selection;
    const QFont caption = LibraryStyle::caption(font());
    const auto addRow = [&](const QString& label, QWidget* value) {
        auto* name = new QLabel(label);
        name->setFont(caption);
        value->setFont(caption);
        m_provenance->addRow(name, value);
    };
    const auto textValue = [&](const QString& text, int lines) {
        auto* value = new FittedLabel(lines, Qt::ElideMiddle);
        value->setSelectable(true);
        value->setFont(caption);
        value->setFullText(text);
        return value;
    };
    addRow(u"Application"_qs, textValue(s.appName, 1));
    if (s.sourceURL)
        addRow(u"Source"_qs, textValue(*s.sourceURL, 2));
    if (s.filePath)
        addRow(u"File"_qs, textValue(*s.filePath, 2));
    // The date wraps at its words rather than losing its middle: only addresses and paths shorten.
    auto* captured = textValue(DetailDates::format(s.createdAt, DetailDates::Style::full, DetailDates::Style::medium,
                                   m_environment.locale, m_environment.timeZone),
        FittedLabel::wrapsAtWords);
    captured->setObjectName(u"capturedDate"_qs);
    addRow(u"Captured"_qs, captured);
    addRow(u"Length"_qs, textValue(lengthText(s.text), 1));

    const bool included = isInActivePrompt();
    auto* prompt = new QWidget;
    auto* line = new QHBoxLayout(prompt);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(4);
    auto* mark = new QLabel(prompt);
    const QColor secondary = LibraryStyle::secondaryText(palette());
    mark->setPixmap(LibrarySymbols::pixmap(included ? u"checkmark.circle.fill"_qs : u"circle"_qs,
        included ? LibraryStyle::green() : secondary, 12, devicePixelRatioF()));
    m_promptState = new QLabel(included ? u"Included"_qs : u"Not included"_qs, prompt);
    m_promptState->setFont(caption);
    LibraryStyle::setTextColor(m_promptState, secondary);
    line->addWidget(mark);
    line->addWidget(m_promptState, 1);
    addRow(u"Prompt"_qs, prompt);
}

void SelectionDetailView::refreshFooter()
{
    const QColor iconColor = palette().color(QPalette::ButtonText);
    const QColor prominent = palette().color(QPalette::ButtonText);
    const auto copyIcon = [&](bool copied, const QString& symbol) {
        return LibrarySymbols::icon(copied ? u"checkmark.circle"_qs : symbol, prominent);
    };
    m_markdownLabelled->setText(m_copiedMarkdown ? u"Copied"_qs : u"Copy Markdown"_qs);
    m_markdownLabelled->setIcon(LibrarySymbols::icon(m_copiedMarkdown ? u"checkmark.circle"_qs : u"doc.on.doc"_qs,
        m_markdownLabelled->palette().color(QPalette::ButtonText)));
    m_markdownCompact->setIcon(copyIcon(m_copiedMarkdown, u"doc.on.doc"_qs));
    m_plainLabelled->setText(m_copiedPlain ? u"Copied"_qs : u"Plain Text"_qs);
    m_plainLabelled->setIcon(copyIcon(m_copiedPlain, u"doc.plaintext"_qs));
    m_plainCompact->setIcon(copyIcon(m_copiedPlain, u"doc.plaintext"_qs));

    const bool included = isInActivePrompt();
    const QIcon promptIcon = LibrarySymbols::icon(u"text.badge.plus"_qs, iconColor);
    m_promptLabelled->setText(included ? u"In Prompt"_qs : u"Add to Prompt"_qs);
    for (QAbstractButton* button :
        {static_cast<QAbstractButton*>(m_promptLabelled), static_cast<QAbstractButton*>(m_promptCompact)}) {
        button->setIcon(promptIcon);
        button->setEnabled(!included);
        button->setToolTip(included ? u"Already in the active prompt"_qs : u"Add to the active prompt"_qs);
        button->setAccessibleName(included ? u"Already in prompt"_qs : u"Add to prompt"_qs);
    }
    updateFooterArrangement();
}

bool SelectionDetailView::showsCompactFooter() const
{
    return m_compactFooter->isVisibleTo(this);
}

void SelectionDetailView::updateFooterArrangement()
{
    // The labelled arrangement when it fits the width, else the compact one.
    const int room = width() - 20;
    const bool fits = m_labelledFooter->sizeHint().width() <= room;
    m_labelledFooter->setVisible(fits);
    m_compactFooter->setVisible(!fits);
}

void SelectionDetailView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    updateFooterArrangement();
}

void SelectionDetailView::flash(bool& flag)
{
    // Each copy schedules its own reset; none cancels another (no haptics on this desktop).
    flag = true;
    refreshFooter();
    bool* target = &flag;
    QTimer::singleShot(CopiedFlash::showFor, this, [this, target] {
        *target = false;
        refreshFooter();
    });
}

void SelectionDetailView::copyMarkdown()
{
    if (!m_selection)
        return;
    if (m_environment.pasteboard)
        Clipboard::writeMarkdown(m_selection->markdown(), *m_environment.pasteboard);
    flash(m_copiedMarkdown);
}

void SelectionDetailView::copyPlainText()
{
    if (!m_selection)
        return;
    if (m_environment.pasteboard)
        Clipboard::writePlain(m_selection->text, *m_environment.pasteboard);
    flash(m_copiedPlain);
}

void SelectionDetailView::copyAllFromSource()
{
    if (!m_selection)
        return;
    SourceMarkdown::copy(m_store, m_environment.pasteboard, SourceIdentity::from(*m_selection));
    flash(m_copiedMarkdown);
}

void SelectionDetailView::addToPrompt()
{
    // No haptics on this desktop.
    if (m_selection)
        m_store.addSelectionToActiveDraft(m_selection->id);
}

void SelectionDetailView::openInBrowser()
{
    if (m_selection && m_selection->sourceURL && m_environment.workspace)
        m_environment.workspace->openAddress(*m_selection->sourceURL);
}

void SelectionDetailView::copyURL()
{
    if (m_selection && m_selection->sourceURL && m_environment.pasteboard)
        Clipboard::writePlain(*m_selection->sourceURL, *m_environment.pasteboard);
}

void SelectionDetailView::revealInFileManager()
{
    if (m_selection && m_selection->filePath && m_environment.workspace)
        m_environment.workspace->revealFile(*m_selection->filePath);
}

void SelectionDetailView::addToGroup(const QUuid& groupID)
{
    if (m_selection)
        m_store.addToGroup(groupID, {m_selection->id});
}

void SelectionDetailView::fillGroupMenu(QMenu& menu)
{
    if (m_store.groups().isEmpty()) {
        menu.addAction(u"No groups yet"_qs)->setEnabled(false);
        return;
    }
    for (const SelectionGroup& group : m_store.groups()) {
        QAction* item = menu.addAction(menuText(group.name), this, [this, id = group.id] { addToGroup(id); });
        if (m_selection && m_selection->groupIDs.contains(group.id)) {
            item->setCheckable(true);
            item->setChecked(true);
        }
    }
}

void SelectionDetailView::fillMoreMenu(QMenu& menu)
{
    menu.addAction(u"Copy All from Source"_qs, this, &SelectionDetailView::copyAllFromSource);
    if (m_selection && m_selection->sourceURL) {
        menu.addAction(u"Open in Browser"_qs, this, &SelectionDetailView::openInBrowser);
        menu.addAction(u"Copy URL"_qs, this, &SelectionDetailView::copyURL);
    }
    if (m_selection && m_selection->filePath)
        menu.addAction(u"Show in File Manager"_qs, this, &SelectionDetailView::revealInFileManager);
    menu.addSeparator();
    QMenu* groups = menu.addMenu(u"Add to Group"_qs);
    fillGroupMenu(*groups);
    menu.addSeparator();
    menu.addAction(u"Delete"_qs, this, [this] {
        if (m_onDelete)
            m_onDelete();
    });
}

#include "SelectionDetailView.moc"
