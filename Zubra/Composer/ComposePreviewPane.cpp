#include "Zubra/Composer/ComposePreviewPane.h"

#include "Platform/FileSystem.h"
#include "Zubra/Composer/ComposerAccessible.h"
#include "Zubra/Composer/ComposerStyle.h"
#include "Zubra/Composer/ComposerSymbols.h"
#include "Zubra/Composer/DraftOperations.h"
#include "Zubra/Widgets/Symbols.h"
#include "ZubraCore/Capture/Clipboard.h"
#include "ZubraCore/Composition/ContextComposer.h"
#include "ZubraCore/Composition/TokenEstimator.h"
#include "ZubraCore/Library/ComposerTemplate.h"
#include "ZubraCore/Library/ModelProfile.h"
#include "ZubraCore/Library/Store.h"
#include "ZubraCore/Support/Logging.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>
#include <limits>

using namespace Qt::StringLiterals;

namespace {
// The part of a long prompt shown before the rest: a few screens of text.
constexpr qsizetype firstPartLength = 64 * 1024;
const QString copyLabel = QStringLiteral("Copy Prompt");
const QString copiedLabel = QStringLiteral("Copied");
} // namespace

ComposePreviewPane::ComposePreviewPane(Store& store, ComposerState& state, ComposerServices services, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_state(state)
    , m_services(std::move(services))
{
    m_refreshTimer = ComposerStyle::coalescingTimer(this, [this] { refreshNow(); });
    m_stack = ComposerStyle::paneStack(this, u"Nothing to preview"_s);

    auto* form = new QWidget;
    auto* column = new QVBoxLayout(form);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);

    auto* header = ComposerStyle::headlineLabel(u"Preview"_s);
    header->setContentsMargins(14, 14, 14, 0);
    column->addWidget(header);
    column->addWidget(buildControls());

    // The budget meter.
    auto* meter = new QWidget;
    auto* meterColumn = new QVBoxLayout(meter);
    meterColumn->setContentsMargins(14, 0, 14, 0);
    meterColumn->setSpacing(4);
    auto* countRow = new QHBoxLayout;
    countRow->setSpacing(8);
    m_countLabel = ComposerStyle::captionLabel();
    countRow->addWidget(m_countLabel);
    m_overBudget = ComposerStyle::symbolLabel(
        Symbols::icon(Symbols::Symbol::warningTriangle, ComposerStyle::red()), u"over budget"_s, ComposerStyle::red());
    countRow->addWidget(m_overBudget);
    countRow->addStretch(1);
    auto* estimate = ComposerStyle::captionLabel(u"estimate"_s, 0.85);
    countRow->addWidget(estimate);
    meterColumn->addLayout(countRow);
    // Its value and maximum are tokens: the estimate (at most the budget) and the budget.
    m_bar = new ComposerBudgetBar;
    m_bar->setRange(0, 1);
    m_bar->setTextVisible(false);
    m_bar->setAccessibleName(u"Token budget"_s);
    m_bar->setMaximumHeight(6);
    meterColumn->addWidget(m_bar);
    m_remedies = new QWidget;
    auto* remedies = new QHBoxLayout(m_remedies);
    remedies->setContentsMargins(0, 2, 0, 0);
    remedies->setSpacing(8);
    m_reduceButton = ComposerStyle::smallButton(u"Reduce to Fit"_s);
    m_reduceButton->setToolTip(
        u"Remove included, available, unpinned sources from the bottom; keep all other entries"_s);
    m_splitButton = ComposerStyle::smallButton(u"Copy Split"_s);
    m_splitButton->setToolTip(u"Copy whole sources as separate messages if each fits the estimated budget"_s);
    remedies->addWidget(m_reduceButton);
    remedies->addWidget(m_splitButton);
    remedies->addStretch(1);
    meterColumn->addWidget(m_remedies);
    column->addWidget(meter);
    column->addWidget(ComposerStyle::divider());

    // The prompt text.
    m_preview = new QPlainTextEdit;
    m_preview->setReadOnly(true);
    m_preview->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_preview->setFont(ComposerStyle::monospaced());
    m_preview->setPlaceholderText(u"Nothing to copy yet \u2014 add sources to the left."_s);
    m_preview->setBackgroundRole(QPalette::Base);
    m_preview->setUndoRedoEnabled(false);
    m_preview->setAccessibleName(u"Preview"_s);
    auto* previewHolder = new QWidget;
    auto* previewMargins = new QVBoxLayout(previewHolder);
    previewMargins->setContentsMargins(14, 0, 14, 0);
    previewMargins->addWidget(m_preview);
    column->addWidget(previewHolder, 1);
    column->addWidget(ComposerStyle::divider());

    // The actions.
    auto* actions = new QHBoxLayout;
    actions->setContentsMargins(14, 14, 14, 14);
    actions->setSpacing(10);
    m_copyButton = new QPushButton;
    m_copyButton->setDefault(true);
    m_exportButton = new QPushButton(style()->standardIcon(QStyle::SP_DialogSaveButton), u"Export"_s);
    m_exportErrorLabel = ComposerStyle::captionLabel();
    ComposerStyle::setTextColor(m_exportErrorLabel, ComposerStyle::orange());
    actions->addWidget(m_copyButton);
    actions->addWidget(m_exportButton);
    actions->addWidget(m_exportErrorLabel);
    actions->addStretch(1);
    column->addLayout(actions);
    m_stack->addWidget(form);

    fitCopyButton();
    connect(m_copyButton, &QPushButton::clicked, this, &ComposePreviewPane::copyPrompt);
    connect(m_exportButton, &QPushButton::clicked, this, &ComposePreviewPane::exportPrompt);
    connect(m_reduceButton, &QPushButton::clicked, this, &ComposePreviewPane::reduceToFit);
    connect(m_splitButton, &QPushButton::clicked, this, &ComposePreviewPane::copySplit);

    connect(&m_store, &Store::draftsChanged, this, &ComposePreviewPane::scheduleRefresh);
    connect(&m_store, &Store::selectionsChanged, this, &ComposePreviewPane::scheduleRefresh);
    connect(&m_store, &Store::persistenceStatusChanged, this, &ComposePreviewPane::scheduleRefresh);
    connect(&m_state, &ComposerState::usePreambleChanged, this, [this] {
        m_preambleBox->setChecked(m_state.usePreamble());
        scheduleRefresh();
    });
    connect(&m_state, &ComposerState::showCopiedChanged, this, &ComposePreviewPane::updateActions);
    connect(&m_state, &ComposerState::exportErrorChanged, this, &ComposePreviewPane::updateActions);
    refreshNow();
}

QWidget* ComposePreviewPane::buildControls()
{
    m_controls = new QWidget;
    m_controlsGrid = new QGridLayout(m_controls);
    m_controlsGrid->setContentsMargins(14, 2, 14, 0);

    // Owned by the controls from the start: the wide arrangement leaves the preamble title out of
    // the grid.
    m_templateTitle = new QLabel(u"Template"_s, m_controls);
    m_modelTitle = new QLabel(u"Model"_s, m_controls);
    m_preambleTitle = new QLabel(u"Preamble"_s, m_controls);
    for (QLabel* title : {m_templateTitle, m_modelTitle, m_preambleTitle})
        title->setForegroundRole(QPalette::PlaceholderText);
    // Screen readers name a combo box by its choice and the label it is labelled by.

    m_templatePicker = new QComboBox(m_controls);
    m_templatePicker->setAccessibleName(u"Template"_s);
    for (ComposerTemplate kind : ComposerTemplates::allCases())
        m_templatePicker->addItem(ComposerTemplates::rawValue(kind), ComposerTemplates::rawValue(kind));
    m_modelPicker = new QComboBox(m_controls);
    m_modelPicker->setAccessibleName(u"Model"_s);
    for (const ModelProfile& profile : ModelProfile::all())
        m_modelPicker->addItem(profile.name, profile.id);
    m_templateTitle->setBuddy(m_templatePicker);
    m_modelTitle->setBuddy(m_modelPicker);
    m_preambleBox = new QCheckBox(m_controls);
    m_preambleBox->setChecked(m_state.usePreamble());
    m_preambleBox->setToolTip(u"Prepend the grounding instruction"_s);

    // Pickers write on the user's choice only, never when the view sets them.
    connect(m_templatePicker, &QComboBox::activated, this, [this](int index) {
        const QString raw = m_templatePicker->itemData(index).toString();
        if (auto d = draft()) {
            d->templateName = raw;
            m_store.updateDraft(*d);
        }
    });
    connect(m_modelPicker, &QComboBox::activated, this, [this](int index) {
        const QString id = m_modelPicker->itemData(index).toString();
        if (auto d = draft()) {
            d->modelProfileID = id;
            m_store.updateDraft(*d);
        }
    });
    // Toggled, not clicked: assistive technology toggles the box without a click.
    connect(m_preambleBox, &QCheckBox::toggled, this, [this](bool on) { m_state.setUsePreamble(on); });
    arrangeControls(false);
    m_labelledPreambleWidth = m_preambleBox->sizeHint().width();
    return m_controls;
}

void ComposePreviewPane::arrangeControls(bool narrow)
{
    m_narrow = narrow;
    for (QWidget* w : {static_cast<QWidget*>(m_templateTitle), static_cast<QWidget*>(m_modelTitle),
             static_cast<QWidget*>(m_preambleTitle), static_cast<QWidget*>(m_templatePicker),
             static_cast<QWidget*>(m_modelPicker), static_cast<QWidget*>(m_preambleBox)})
        m_controlsGrid->removeWidget(w);
    for (int c = 0; c < 4; ++c)
        m_controlsGrid->setColumnStretch(c, 0);
    if (narrow) {
        // Titles beside their controls, one per row.
        m_controlsGrid->setHorizontalSpacing(10);
        m_controlsGrid->setVerticalSpacing(8);
        m_templatePicker->setFixedWidth(QWIDGETSIZE_MAX);
        m_templatePicker->setMinimumWidth(0);
        m_modelPicker->setMinimumWidth(0);
        m_modelPicker->setMaximumWidth(QWIDGETSIZE_MAX);
        // The row's title names the switch; its own label is for screen readers only.
        m_preambleBox->setText(QString());
        m_preambleBox->setAccessibleName(u"Include grounding instruction"_s);
        m_preambleTitle->show();
        m_controlsGrid->addWidget(m_templateTitle, 0, 0);
        m_controlsGrid->addWidget(m_templatePicker, 0, 1);
        m_controlsGrid->addWidget(m_modelTitle, 1, 0);
        m_controlsGrid->addWidget(m_modelPicker, 1, 1);
        m_controlsGrid->addWidget(m_preambleTitle, 2, 0);
        m_controlsGrid->addWidget(m_preambleBox, 2, 1);
        m_controlsGrid->setColumnStretch(1, 1);
    } else {
        // Titles above fixed-width controls, side by side.
        m_controlsGrid->setHorizontalSpacing(12);
        m_controlsGrid->setVerticalSpacing(3);
        m_templatePicker->setFixedWidth(130);
        m_modelPicker->setFixedWidth(170);
        m_preambleBox->setText(u"Preamble"_s);
        m_preambleBox->setAccessibleName(QString());
        m_preambleTitle->hide();
        m_controlsGrid->addWidget(m_templateTitle, 0, 0);
        m_controlsGrid->addWidget(m_templatePicker, 1, 0);
        m_controlsGrid->addWidget(m_modelTitle, 0, 1);
        m_controlsGrid->addWidget(m_modelPicker, 1, 1);
        m_controlsGrid->addWidget(m_preambleBox, 1, 2, Qt::AlignBottom);
        m_controlsGrid->setColumnStretch(3, 1);
    }
}

void ComposePreviewPane::updateArrangement()
{
    // The side-by-side row needs its two fixed fields, the labelled switch and the margins.
    const int wideWidth = 130 + 170 + m_labelledPreambleWidth + 2 * 12 + 2 * 14;
    const bool narrow = width() < wideWidth;
    if (narrow != m_narrow)
        arrangeControls(narrow);
    m_remedies->layout()->setSpacing(8);
}

void ComposePreviewPane::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    updateArrangement();
}

void ComposePreviewPane::setDraftID(const QUuid& id)
{
    if (id == m_draftID)
        return;
    m_draftID = id;
    m_session.clear();
    refreshNow();
}

std::optional<ContextDraft> ComposePreviewPane::draft() const
{
    return m_store.findDraft(m_draftID);
}

std::optional<QString> ComposePreviewPane::preamble() const
{
    return m_state.usePreamble() ? std::optional<QString>(ContextComposer::defaultPreamble()) : std::nullopt;
}

void ComposePreviewPane::scheduleRefresh()
{
    m_refreshTimer->start();
}

void ComposePreviewPane::refreshNow()
{
    m_refreshTimer->stop();
    const auto d = draft();
    if (!d) {
        m_composed.reset();
        m_stack->setCurrentIndex(0);
        return;
    }
    const ModelProfile& profile = d->modelProfile();
    m_budget = profile.contextTokens;
    m_composed = m_session.compose(*d, m_store.selections(), preamble(), profile);
    showText(m_composed->text);
    updatePickers(*d);
    m_controls->setEnabled(m_store.canModifyLibrary());
    updateMeter();
    updateActions();
    m_stack->setCurrentIndex(1);
}

void ComposePreviewPane::showText(const QString& text)
{
    // A keystroke or a switch changes a small part of a prompt that may hold millions of
    // characters: replace only the changed middle instead of laying out the whole text again.
    const QString& old = m_shownText;
    if (old.size() == text.size() && old == text)
        return;
    const qsizetype shorter = std::min(old.size(), text.size());
    qsizetype prefix = 0;
    while (prefix < shorter && old[prefix] == text[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix && old[old.size() - 1 - suffix] == text[text.size() - 1 - suffix])
        ++suffix;
    QTextDocument* document = m_preview->document();
    const bool consistent = document->characterCount() - 1 == old.size();
    const qsizetype changed = (text.size() - prefix - suffix) + (old.size() - prefix - suffix);
    if (!old.isEmpty() && consistent && (changed < text.size() / 2 || prefix == old.size())) {
        QTextCursor cursor(document);
        cursor.setPosition(int(prefix));
        cursor.setPosition(int(old.size() - suffix), QTextCursor::KeepAnchor);
        cursor.insertText(text.mid(prefix, text.size() - prefix - suffix));
    } else if (text.size() > firstPartLength) {
        // A long text appears with its first part at once and the rest on the next turn of the
        // event loop, so opening a large prompt does not wait for the whole layout.
        qsizetype cut = text.lastIndexOf(u'\n', firstPartLength);
        cut = cut > 0 ? cut : firstPartLength;
        m_preview->setPlainText(text.left(cut));
        m_shownText = text.left(cut);
        QTimer::singleShot(0, this, [this] {
            if (m_composed)
                showText(m_composed->text);
        });
        return;
    } else {
        m_preview->setPlainText(text);
    }
    // Anything the document counts differently (a separator it folds) is shown whole.
    if (document->characterCount() - 1 != text.size())
        m_preview->setPlainText(text);
    m_shownText = text;
}

void ComposePreviewPane::updatePickers(const ContextDraft& d)
{
    // An unknown stored value shows no choice and is left as it is.
    const int layout = m_templatePicker->findData(d.templateName);
    if (m_templatePicker->currentIndex() != layout)
        m_templatePicker->setCurrentIndex(layout);
    const int model = m_modelPicker->findData(d.modelProfileID);
    if (m_modelPicker->currentIndex() != model)
        m_modelPicker->setCurrentIndex(model);
}

bool ComposePreviewPane::isOverBudget() const
{
    return m_composed && m_composed->tokens > m_budget;
}

QString ComposePreviewPane::meterText() const
{
    if (!m_composed)
        return QString();
    return TokenEstimator::format(m_composed->tokens) + u" / "_s + TokenEstimator::format(m_budget) + u" tokens"_s;
}

void ComposePreviewPane::updateMeter()
{
    const bool over = isOverBudget();
    m_countLabel->setText(meterText());
    ComposerStyle::setTextColor(m_countLabel, over ? std::optional<QColor>(ComposerStyle::red()) : std::nullopt);
    m_overBudget->setVisible(over);
    // QProgressBar counts in int; budgets and estimates far beyond its range are scaled down alike.
    const qint64 budget = std::max<qint64>(m_budget, 0);
    const qint64 shown = std::clamp<qint64>(m_composed->tokens, 0, budget);
    const qint64 divisor = budget / std::numeric_limits<int>::max() + 1;
    m_bar->setRange(0, std::max(1, int(budget / divisor)));
    m_bar->setValue(int(shown / divisor));
    m_bar->setAccessibleDescription(meterText());
    QPalette barPalette = m_bar->palette();
    barPalette.setColor(QPalette::Highlight, over ? ComposerStyle::red() : palette().color(QPalette::PlaceholderText));
    m_bar->setPalette(barPalette);
    m_remedies->setVisible(over);
    m_reduceButton->setEnabled(m_store.canModifyLibrary());
}

void ComposePreviewPane::updateActions()
{
    const bool empty = !m_composed || m_composed->text.isEmpty();
    if (m_state.showCopied()) {
        m_copyButton->setText(copiedLabel);
        m_copyButton->setIcon(copyIcon(true));
    } else {
        m_copyButton->setText(copyLabel);
        m_copyButton->setIcon(copyIcon(false));
    }
    m_copyButton->setEnabled(!empty);
    m_exportButton->setEnabled(!empty);
    const auto& error = m_state.exportError();
    m_exportErrorLabel->setVisible(error.has_value());
    m_exportErrorLabel->setText(error ? u"\u26A0 "_s + *error : QString());
}

QIcon ComposePreviewPane::copyIcon(bool copied) const
{
    if (copied)
        return style()->standardIcon(QStyle::SP_DialogApplyButton);
    return ComposerSymbols::icon(ComposerSymbols::Symbol::docOnClipboard, palette().color(QPalette::ButtonText));
}

void ComposePreviewPane::fitCopyButton()
{
    // As wide as its wider label, so the buttons after it stay where they are while "Copied" shows.
    int widest = 0;
    for (const bool copied : {false, true}) {
        QPushButton probe(copyIcon(copied), copied ? copiedLabel : copyLabel);
        probe.setFont(m_copyButton->font());
        probe.setStyle(m_copyButton->style());
        widest = std::max(widest, probe.sizeHint().width());
    }
    m_copyButton->setMinimumWidth(widest);
}

void ComposePreviewPane::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        fitCopyButton();
    if (event->type() == QEvent::PaletteChange && m_copyButton)
        updateActions();
}

void ComposePreviewPane::copyPrompt()
{
    if (!m_composed || m_composed->text.isEmpty() || !m_services.pasteboard)
        return;
    Clipboard::writePlain(m_composed->text, *m_services.pasteboard);
    flashCopied();
}

void ComposePreviewPane::flashCopied()
{
    m_state.setShowCopied(true);
    // Each flash resets the state when its own time is over; a later one does not cancel it.
    QTimer::singleShot(m_state.copiedLifetime, &m_state, [state = &m_state] { state->setShowCopied(false); });
}

void ComposePreviewPane::showBudgetFeedback(const QString& text)
{
    m_budgetFeedback = text;
    if (m_alert)
        m_alert->close();
    m_alert = new QMessageBox(QMessageBox::Information, u"Token budget"_s, text, QMessageBox::Ok, this);
    m_alert->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_alert, &QMessageBox::finished, this, [this] { m_budgetFeedback.reset(); });
    m_alert->open();
}

void ComposePreviewPane::reduceToFit()
{
    const auto d = draft();
    if (!d)
        return;
    const ModelProfile& profile = d->modelProfile();
    const ContextComposer::Reduction reduction
        = ContextComposer::reduceToFit(*d, m_store.selections(), profile, profile.contextTokens, preamble());
    if (reduction.entries != d->entries) {
        if (auto current = draft()) {
            current->entries = reduction.entries;
            m_store.updateDraft(*current);
        }
    }
    showBudgetFeedback(reduction.feedback.join(u' '));
}

void ComposePreviewPane::copySplit()
{
    const auto d = draft();
    if (!d)
        return;
    const ModelProfile& profile = d->modelProfile();
    const SplitCopyPlan plan
        = ContextComposer::planSplitCopy(*d, m_store.selections(), preamble(), profile, profile.contextTokens);
    if (plan.clipboardText && m_services.pasteboard) {
        Clipboard::writePlain(*plan.clipboardText, *m_services.pasteboard);
        showBudgetFeedback(u"Copied "_s + QString::number(plan.messages.size()) + u" messages to the clipboard. "_s
            + plan.notice);
        flashCopied();
    } else {
        m_state.setShowCopied(false);
        showBudgetFeedback(plan.notice);
    }
}

void ComposePreviewPane::exportPrompt()
{
    const auto d = draft();
    if (!d || !m_composed || !m_services.chooser || !m_services.files)
        return;
    const auto path = m_services.chooser->chooseFile(
        this, u"Export Prompt"_s, DraftOperations::safeFileName(d->name) + u".md"_s);
    if (!path)
        return;
    if (const FileOutcome failure
        = m_services.files->writeAtomically(*path, m_composed->text.toUtf8(), FileAccess::umask)) {
        logMP(u"Prompt export failed: "_s + failure->description);
        m_state.setExportError(u"Prompt could not be exported."_s);
        return;
    }
    m_services.chooser->exported(*path);
    m_state.setExportError(std::nullopt);
}
