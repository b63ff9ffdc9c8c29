#include "Zubra/Composer/ComposeDraftPane.h"

#include "Zubra/Composer/ClampedLabel.h"
#include "Zubra/Composer/ComposeEntryList.h"
#include "Zubra/Composer/ComposerSheets.h"
#include "Zubra/Composer/ComposerStyle.h"
#include "Zubra/Composer/ComposerSymbols.h"
#include "Zubra/Composer/DraftOperations.h"
#include "ZubraCore/Capture/Clipboard.h"
#include "ZubraCore/Composition/ContextComposer.h"
#include "ZubraCore/Composition/PromptTemplates.h"
#include "ZubraCore/Drag/OwnDrags.h"
#include "ZubraCore/Library/SourceIdentity.h"
#include "ZubraCore/Library/Store.h"
#include "ZubraCore/Models/DraftEntriesModel.h"

#include <QBoxLayout>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSet>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QTextBlock>
#include <QTimer>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace {
constexpr int taskLines = 5; // the most the task field grows to
} // namespace

ComposeDraftPane::ComposeDraftPane(Store& store, ComposerState& state, ComposerServices services, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_state(state)
    , m_services(std::move(services))
{
    m_refreshTimer = ComposerStyle::coalescingTimer(this, [this] { refreshNow(); });
    m_stack = ComposerStyle::paneStack(this, u"Prompt not found"_s);
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(buildHeader());
    column->addWidget(ComposerStyle::divider());
    column->addWidget(buildEntries(), 1);
    column->addWidget(ComposerStyle::divider());
    column->addWidget(buildFooter());
    m_stack->addWidget(content);
    connectEditors();
    followStore();
    clearEachNoticeInTime();
    refreshNow();
}

QWidget* ComposeDraftPane::buildHeader()
{
    auto* header = new QWidget;
    auto* headerColumn = new QVBoxLayout(header);
    headerColumn->setContentsMargins(14, 12, 14, 10);
    headerColumn->setSpacing(10);
    m_name = new QLineEdit;
    m_name->setPlaceholderText(u"Prompt name"_s);
    m_name->setAccessibleName(u"Prompt name"_s);
    QFont nameFont = m_name->font();
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.25);
    nameFont.setWeight(QFont::DemiBold);
    m_name->setFont(nameFont);
    m_name->setFrame(false);
    headerColumn->addWidget(m_name);
    m_task = new QPlainTextEdit;
    m_task->setPlaceholderText(u"Task or instructions for the model"_s);
    m_task->setAccessibleName(u"Task or instructions for the model"_s);
    m_task->setTabChangesFocus(true);
    m_task->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    headerColumn->addWidget(m_task);
    // A row dragged from a list is no text for these fields.
    OwnDrags::refuseIn(m_name);
    OwnDrags::refuseIn(m_task->viewport());

    m_headerActions = new QWidget;
    auto* actions = new QHBoxLayout(m_headerActions);
    actions->setContentsMargins(0, 0, 0, 0);
    actions->setSpacing(8);
    m_templateButton = ComposerStyle::menuButton(u"Template"_s);
    m_templateButton->setToolTip(u"Apply a ready-made task template"_s);
    m_templateMenu = new QMenu(m_templateButton);
    m_templateButton->setMenu(m_templateMenu);
    connect(m_templateMenu, &QMenu::aboutToShow, this, &ComposeDraftPane::rebuildTemplateMenu);
    m_importButton = ComposerStyle::menuButton(u"Import text\u2026"_s);
    m_importButton->setPopupMode(QToolButton::DelayedPopup);
    connect(m_importButton, &QToolButton::clicked, this, &ComposeDraftPane::openImportSheet);
    actions->addWidget(m_templateButton);
    actions->addWidget(m_importButton);
    m_caption = ComposerStyle::captionLabel();
    m_headerRow = new QBoxLayout(QBoxLayout::LeftToRight);
    m_headerRow->setSpacing(8);
    m_headerRow->addWidget(m_headerActions);
    m_headerRow->addStretch(1);
    m_headerRow->addWidget(m_caption);
    headerColumn->addLayout(m_headerRow);
    return header;
}

ComposeEntryActions ComposeDraftPane::rowActions()
{
    ComposeEntryActions row;
    row.toggleInclude = [this](const QUuid& id) { DraftOperations::toggleInclude(m_store, m_draftID, id); };
    row.togglePin = [this](const QUuid& id) { DraftOperations::togglePin(m_store, m_draftID, id); };
    row.toggleVerbatim = [this](const QUuid& id) { DraftOperations::toggleVerbatim(m_store, m_draftID, id); };
    row.move = [this](const QUuid& id, int by) { DraftOperations::move(m_store, m_draftID, id, by); };
    row.edit = [this](const QUuid& id) { openTrimSheet(id); };
    row.remove = [this](const QUuid& id) { DraftOperations::removeEntry(m_store, m_draftID, id); };
    row.moveEntry = [this](const std::optional<QUuid>& dragged, const QUuid& target) {
        DraftOperations::moveEntry(m_store, m_draftID, dragged, target);
    };
    row.setNote
        = [this](const QUuid& id, const QString& note) { DraftOperations::setNote(m_store, m_draftID, id, note); };
    row.copyMarkdown = [this](const Selection& s) {
        if (m_services.pasteboard)
            Clipboard::writeMarkdown(s.markdown(), *m_services.pasteboard);
    };
    row.copyPlain = [this](const Selection& s) {
        if (m_services.pasteboard)
            Clipboard::writePlain(s.text, *m_services.pasteboard);
    };
    row.profile = [this] { return profile(); };
    return row;
}

QWidget* ComposeDraftPane::buildEntries()
{
    m_entries = new DraftEntriesModel(&m_store, this);
    m_list = new ComposeEntryList(m_entries, rowActions());
    m_list->setFrameShape(QFrame::NoFrame);
    // The hint while there are no entries: a symbol over the text, centred.
    m_emptyState = new QWidget;
    auto* emptyColumn = new QVBoxLayout(m_emptyState);
    emptyColumn->setContentsMargins(24, 24, 24, 24);
    emptyColumn->setSpacing(10);
    emptyColumn->addStretch(1);
    m_emptySymbol = new QLabel;
    m_emptySymbol->setAlignment(Qt::AlignCenter);
    emptyColumn->addWidget(m_emptySymbol);
    m_emptyHint = ComposerStyle::secondaryLabel(QString());
    m_emptyHint->setAlignment(Qt::AlignCenter);
    m_emptyHint->setWordWrap(true);
    emptyColumn->addWidget(m_emptyHint);
    emptyColumn->addStretch(1);
    m_entriesStack = new QStackedWidget;
    m_entriesStack->addWidget(m_list);
    m_entriesStack->addWidget(m_emptyState);
    return m_entriesStack;
}

QWidget* ComposeDraftPane::buildFooter()
{
    auto* footer = new QWidget;
    auto* row = new QHBoxLayout(footer);
    row->setContentsMargins(10, 10, 10, 10);
    row->setSpacing(8);
    // The notice is centred in the footer's height; its symbol stands at its first line.
    auto* notice = new QWidget;
    auto* noticeRow = new QHBoxLayout(notice);
    noticeRow->setContentsMargins(0, 0, 0, 0);
    noticeRow->setSpacing(4);
    m_noticeSymbol = new QLabel;
    m_notice = new ClampedLabel(2);
    m_notice->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ComposerStyle::useCaptionFont(m_notice);
    noticeRow->addWidget(m_noticeSymbol, 0, Qt::AlignTop);
    noticeRow->addWidget(m_notice, 1);
    row->addWidget(notice, 1, Qt::AlignVCenter);
    row->addSpacing(4);
    m_cleanupButton = ComposerStyle::menuButton(u"Cleanup"_s);
    m_cleanupButton->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_cleanupMenu = new QMenu(m_cleanupButton);
    m_removeDuplicates
        = m_cleanupMenu->addAction(ComposerSymbols::icon(ComposerSymbols::Symbol::scissorsBadgeEllipsis, QColor()),
            u"Remove Duplicates"_s, this, [this] { setNotice(DraftOperations::removeDuplicates(m_store, m_draftID)); });
    m_removeExcluded = m_cleanupMenu->addAction(ComposerSymbols::icon(ComposerSymbols::Symbol::trash, QColor()),
        u"Remove Excluded Sources"_s, this, [this] { setNotice(DraftOperations::removeExcluded(m_store, m_draftID)); });
    m_cleanupButton->setMenu(m_cleanupMenu);
    row->addWidget(m_cleanupButton, 0, Qt::AlignVCenter);
    return footer;
}

void ComposeDraftPane::connectEditors()
{
    // Editors write on the user's edits only.
    connect(m_name, &QLineEdit::textEdited, this,
        [this](const QString& text) { DraftOperations::setName(m_store, m_draftID, text); });
    connect(m_task, &QPlainTextEdit::textChanged, this, [this] {
        updateTaskHeight();
        if (!m_writingTask)
            DraftOperations::setTask(m_store, m_draftID, m_task->toPlainText());
    });
}

void ComposeDraftPane::followStore()
{
    const auto draftTouched = [this](const QUuid& id) {
        if (id == m_draftID)
            scheduleRefresh();
    };
    connect(&m_store, &Store::draftChanged, this, draftTouched);
    connect(&m_store, &Store::draftInserted, this, draftTouched);
    connect(&m_store, &Store::draftRemoved, this, draftTouched);
    // The source count follows the library: a removed or edited selection may change it.
    connect(&m_store, &Store::selectionsRemoved, this, &ComposeDraftPane::scheduleRefresh);
    connect(&m_store, &Store::selectionsEdited, this, &ComposeDraftPane::scheduleRefresh);
    connect(&m_store, &Store::selectionsInserted, this, &ComposeDraftPane::scheduleRefresh);
}

void ComposeDraftPane::clearEachNoticeInTime()
{
    // A notice goes 4 s after it was set, unless another has taken its place.
    connect(&m_state, &ComposerState::noticeChanged, this, [this] {
        updateFooter();
        if (const auto text = m_state.notice()) {
            QTimer::singleShot(m_state.noticeLifetime, &m_state, [state = &m_state, shown = *text] {
                if (state->notice() == shown)
                    state->setNotice(std::nullopt);
            });
        }
    });
}

std::optional<ContextDraft> ComposeDraftPane::draft() const
{
    return m_store.findDraft(m_draftID);
}

ModelProfile ComposeDraftPane::profile() const
{
    const auto d = draft();
    return d ? d->modelProfile() : ModelProfile::gpt4o();
}

void ComposeDraftPane::setDraftID(const QUuid& id)
{
    if (id == m_draftID)
        return;
    m_draftID = id;
    m_entries->setDraftID(id);
    refreshNow();
}

void ComposeDraftPane::scheduleRefresh()
{
    m_refreshTimer->start();
}

QString ComposeDraftPane::captionText(qsizetype included, qsizetype sources)
{
    return QString::number(included) + u" included \u00B7 "_s + QString::number(sources) + u" source"_s
        + (sources == 1 ? QString() : u"s"_s);
}

QString ComposeDraftPane::emptyHint() const
{
    return u"No sources yet. Select text anywhere and press "_s
        + (m_services.hotkeyDisplay ? m_services.hotkeyDisplay() : QString())
        + u" with \u201CCollect into Prompt\u201D on ("_s
        + (QSystemTrayIcon::isSystemTrayAvailable() ? u"File menu or tray menu"_s : u"File menu"_s)
        + u") to add it here \u2014 or import pasted text below."_s;
}

bool ComposeDraftPane::showsEmptyState() const
{
    return m_entriesStack->currentWidget() == m_emptyState;
}

void ComposeDraftPane::refreshNow()
{
    m_refreshTimer->stop();
    const auto d = draft();
    if (!d) {
        m_stack->setCurrentIndex(0);
        return;
    }
    m_stack->setCurrentIndex(1);
    if (m_name->text() != d->name)
        m_name->setText(d->name);
    if (m_task->toPlainText() != d->task) {
        m_writingTask = true;
        m_task->setPlainText(d->task);
        m_writingTask = false;
    }
    QSet<QString> sources;
    for (const ContextDraftEntry& e : d->entries)
        if (const auto s = m_store.findByID(e.selectionID))
            sources.insert(SourceIdentity::from(*s).identifier);
    m_caption->setText(captionText(d->includedCount(), sources.size()));
    m_emptyHint->setText(emptyHint());
    updateSymbols();
    m_entriesStack->setCurrentWidget(d->entries.isEmpty() ? m_emptyState : static_cast<QWidget*>(m_list));
    m_removeDuplicates->setEnabled(d->entries.size() >= 2);
    m_removeExcluded->setEnabled(std::any_of(
        d->entries.cbegin(), d->entries.cend(), [](const ContextDraftEntry& e) { return !e.include; }));
    updateFooter();
    updateArrangement();
}

void ComposeDraftPane::updateFooter()
{
    const auto& notice = m_state.notice();
    const bool shown = notice && !notice->isEmpty();
    const QColor color = shown ? ComposerStyle::secondary(palette()) : ComposerStyle::tertiary(palette());
    m_notice->setFullText(shown ? *notice : u"Trimmed text changes only this prompt."_s);
    ComposerStyle::setTextColor(m_notice, shown ? std::nullopt : std::optional<QColor>(color));
    // The symbol stands at the first line, as tall as its text.
    const int side = m_notice->fontMetrics().height();
    m_noticeSymbol->setPixmap(
        ComposerSymbols::pixmap(shown ? ComposerSymbols::Symbol::infoCircle : ComposerSymbols::Symbol::scissors, color,
            side, devicePixelRatioF()));
}

void ComposeDraftPane::updateSymbols()
{
    using ComposerSymbols::Symbol;
    const QColor text = palette().color(QPalette::ButtonText);
    m_templateButton->setIcon(ComposerSymbols::icon(Symbol::wandAndStars, text));
    m_importButton->setIcon(ComposerSymbols::icon(Symbol::docBadgePlus, text));
    m_cleanupButton->setIcon(ComposerSymbols::icon(Symbol::ellipsisCircle, text));
    m_emptySymbol->setPixmap(
        ComposerSymbols::pixmap(Symbol::textBadgePlus, ComposerStyle::tertiary(palette()), 26, devicePixelRatioF()));
}

void ComposeDraftPane::setNotice(const std::optional<QString>& notice)
{
    if (notice)
        m_state.setNotice(notice);
}

void ComposeDraftPane::updateTaskHeight()
{
    // Grows between two and five lines with its text; the scroll bar shows only beyond five.
    const int line = m_task->fontMetrics().lineSpacing();
    int lines = 0;
    for (QTextBlock b = m_task->document()->begin(); b.isValid(); b = b.next())
        lines += std::max(1, b.layout() ? b.layout()->lineCount() : 1);
    const int frame = 2 * m_task->frameWidth() + int(2 * m_task->document()->documentMargin());
    m_task->setFixedHeight(std::clamp(lines, 2, taskLines) * line + frame);
    m_task->setVerticalScrollBarPolicy(lines > taskLines ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
}

void ComposeDraftPane::updateArrangement()
{
    // The caption beside the actions while both fit, else under them.
    const int needed = m_headerActions->sizeHint().width() + 8 + m_caption->sizeHint().width() + 28;
    const auto direction = width() >= needed ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom;
    if (m_headerRow->direction() != direction) {
        // Stacked, both keep their own width at the leading edge.
        const bool stacked = direction == QBoxLayout::TopToBottom;
        m_headerRow->setDirection(direction);
        m_headerRow->setSpacing(stacked ? 6 : 8);
        m_headerRow->setAlignment(m_headerActions, stacked ? Qt::AlignLeft : Qt::Alignment());
        m_headerRow->setAlignment(m_caption, stacked ? Qt::AlignLeft : Qt::Alignment());
    }
}

void ComposeDraftPane::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // The drawn symbols follow the palette's colours.
    if (event->type() == QEvent::PaletteChange && draft())
        refreshNow();
}

void ComposeDraftPane::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    updateArrangement();
    updateTaskHeight();
}

void ComposeDraftPane::rebuildTemplateMenu()
{
    m_templateMenu->clear();
    const auto addTemplate = [this](const PromptTemplate& t) {
        // A name is shown as written: an ampersand is no shortcut marker.
        QString title = t.name;
        m_templateMenu->addAction(title.replace(u'&', u"&&"_s), this, [this, t] {
            m_state.setNotice(DraftOperations::applyTemplate(m_store, m_draftID, t));
        });
    };
    for (const PromptTemplate& t : PromptTemplates::builtins())
        addTemplate(t);
    const QList<PromptTemplate> custom
        = m_services.templateDefaults ? PromptTemplates::loadCustom(*m_services.templateDefaults) : QList<PromptTemplate>();
    if (!custom.isEmpty()) {
        m_templateMenu->addSeparator();
        for (const PromptTemplate& t : custom)
            addTemplate(t);
    }
    m_templateMenu->addSeparator();
    m_templateMenu->addAction(u"Save this task as a template\u2026"_s, this, &ComposeDraftPane::openSaveTemplateSheet);
}

void ComposeDraftPane::openTrimSheet(const QUuid& entryID)
{
    const auto d = draft();
    if (!d)
        return;
    const auto entry = std::find_if(
        d->entries.cbegin(), d->entries.cend(), [&](const ContextDraftEntry& e) { return e.id == entryID; });
    if (entry == d->entries.cend())
        return;
    const auto selection = m_store.findByID(entry->selectionID);
    if (!selection)
        return;
    m_editingText = ContextComposer::entryBody(*entry, *selection);
    m_editingEntryID = entryID;
    if (m_trimSheet)
        m_trimSheet->close();
    m_trimSheet = new EntryTrimSheet(
        d->modelProfile(), m_editingText, [this](const QString& text) { m_editingText = text; },
        [this] {
            if (!m_editingEntryID)
                return;
            m_state.setNotice(DraftOperations::applyTrim(m_store, m_draftID, *m_editingEntryID, m_editingText));
            m_editingEntryID.reset();
            m_trimSheet->accept();
        },
        this);
    m_trimSheet->setAttribute(Qt::WA_DeleteOnClose);
    // Closed any other way: the entry is left as it was.
    connect(m_trimSheet, &QDialog::rejected, this, [this] { m_editingEntryID.reset(); });
    m_trimSheet->open();
}

void ComposeDraftPane::openImportSheet()
{
    if (m_importSheet)
        return;
    m_importSheet = new ImportSheet(
        m_importText, [this](const QString& text) { m_importText = text; },
        [this] {
            const DraftOperations::ImportOutcome outcome = DraftOperations::addImported(m_store, m_draftID, m_importText);
            if (outcome.imported == 0)
                return; // nothing imported: the sheet stays open with the text
            if (outcome.notice)
                m_state.setNotice(outcome.notice);
            m_importText.clear();
            m_importSheet->accept();
        },
        this);
    m_importSheet->setAttribute(Qt::WA_DeleteOnClose);
    m_importSheet->open();
}

void ComposeDraftPane::openSaveTemplateSheet()
{
    if (m_saveTemplateSheet || !m_services.templateDefaults)
        return;
    m_saveTemplateSheet = new SaveTemplateSheet(
        m_newTemplateName, [this](const QString& name) { m_newTemplateName = name; },
        [this] {
            const auto notice
                = DraftOperations::saveTemplate(m_store, m_draftID, m_newTemplateName, *m_services.templateDefaults);
            if (!notice)
                return; // the draft is gone: nothing saved, the sheet stays
            m_state.setNotice(notice);
            m_saveTemplateSheet->accept();
        },
        this);
    m_saveTemplateSheet->setAttribute(Qt::WA_DeleteOnClose);
    m_saveTemplateSheet->open();
}
