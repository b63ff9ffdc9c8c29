#include "Zubra/Composer/ComposeView.h"

#include "Zubra/Composer/ComposeDraftPane.h"
#include "Zubra/Composer/ComposeEntryList.h"
#include "Zubra/Composer/ComposePreviewPane.h"
#include "Zubra/Composer/ComposerStyle.h"
#include "ZubraCore/Library/Store.h"

#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {
constexpr int draftPaneMinimum = 300;
constexpr int draftPaneIdeal = 380;
constexpr int previewPaneMinimum = 360;
constexpr int previewPaneIdeal = 520;
} // namespace

ComposeView::ComposeView(Store& store, ComposerServices services, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
{
    m_state = new ComposerState(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_stack = new QStackedWidget;
    layout->addWidget(m_stack);
    auto* missing = ComposerStyle::secondaryLabel(u"Prompt not found"_s);
    missing->setAlignment(Qt::AlignCenter);
    m_stack->addWidget(missing);

    m_splitter = new QSplitter(Qt::Horizontal);
    m_splitter->setChildrenCollapsible(false);
    m_draftPane = new ComposeDraftPane(store, *m_state, services);
    m_draftPane->setMinimumWidth(draftPaneMinimum);
    m_previewPane = new ComposePreviewPane(store, *m_state, services);
    m_previewPane->setMinimumWidth(previewPaneMinimum);
    m_splitter->addWidget(m_draftPane);
    m_splitter->addWidget(m_previewPane);
    m_splitter->setSizes({draftPaneIdeal, previewPaneIdeal});
    m_splitter->setStretchFactor(0, draftPaneIdeal);
    m_splitter->setStretchFactor(1, previewPaneIdeal);
    m_stack->addWidget(m_splitter);
    // Wherever the keyboard is in the composer, a ring shows it; the entry list marks its own.
    ComposerStyle::showFocusRings(this, {m_draftPane->entryList()});

    // The copy shortcut belongs to the whole composer, wherever the focus is inside it, and to no
    // other view of the window.
    auto* copyShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), this);
    copyShortcut->setContext(Qt::WidgetWithChildrenShortcut);
    connect(copyShortcut, &QShortcut::activated, this, [this] {
        if (!showsNotFound() && m_previewPane->copyButton()->isEnabled())
            m_previewPane->copyPrompt();
    });

    const auto draftTouched = [this](const QUuid& id) {
        if (id == m_draftID)
            refresh();
    };
    connect(&store, &Store::draftInserted, this, draftTouched);
    connect(&store, &Store::draftRemoved, this, draftTouched);
    connect(&store, &Store::persistenceStatusChanged, this, &ComposeView::refresh);
    refresh();
}

void ComposeView::setDraftID(const QUuid& id)
{
    m_draftID = id;
    m_draftPane->setDraftID(id);
    m_previewPane->setDraftID(id);
    refresh();
}

bool ComposeView::showsNotFound() const
{
    return m_stack->currentIndex() == 0;
}

void ComposeView::refresh()
{
    const bool exists = m_store.findDraft(m_draftID).has_value();
    m_stack->setCurrentIndex(exists ? 1 : 0);
    m_draftPane->setEnabled(m_store.canModifyLibrary());
}
