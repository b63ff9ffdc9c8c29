#include "Zubra/LibraryWindow/SidebarView.h"

#include "Zubra/LibraryWindow/DetailText.h"

#include "Zubra/LibraryWindow/LibraryStyle.h"
#include "Zubra/LibraryWindow/LibrarySymbols.h"
#include "Zubra/LibraryWindow/SidebarRowDelegate.h"
#include "Zubra/LibraryWindow/SidebarSectionList.h"
#include "Zubra/LibraryWindow/SourceMarkdown.h"
#include "Zubra/Widgets/IconCache.h"
#include "ZubraCore/Capture/Clipboard.h"
#include "ZubraCore/Drag/SelectionDragIDs.h"
#include "ZubraCore/Library/SelectionsMarkdown.h"
#include "ZubraCore/Library/Store.h"

#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

SidebarModel::ItemKind kindOf(const QModelIndex& index)
{
    return index.data(SidebarModel::KindRole).value<SidebarModel::ItemKind>();
}

QUuid idOf(const QModelIndex& index)
{
    return index.data(SidebarModel::IdRole).toUuid();
}

QSet<QUuid> idsOf(const QList<Selection>& selections)
{
    QSet<QUuid> ids;
    ids.reserve(selections.size());
    for (const Selection& selection : selections)
        ids.insert(selection.id);
    return ids;
}

QLabel* sectionHeader(const QString& title, QWidget* parent)
{
    auto* label = new QLabel(title, parent);
    label->setTextFormat(Qt::PlainText);
    QFont font = LibraryStyle::caption(parent->font());
    font.setWeight(QFont::DemiBold);
    label->setFont(font);
    LibraryStyle::setTextColor(label, LibraryStyle::secondaryText(parent->palette()));
    label->setContentsMargins(12, 10, 8, 2);
    return label;
}

// A hint under a section: one line, ending in an ellipsis when the column is narrower, so that
// it never widens the sidebar past its scroll area.
QLabel* footer(const QString& text, QWidget* parent)
{
    auto* label = new FittedLabel(1, Qt::ElideRight, parent);
    label->setFullText(text);
    label->setFont(LibraryStyle::caption2(parent->font()));
    LibraryStyle::setTextColor(label, LibraryStyle::tertiaryText(parent->palette()));
    label->setContentsMargins(12, 0, 8, 4);
    return label;
}

QPushButton* plainButton(const QString& text, QWidget* parent)
{
    auto* button = new QPushButton(
        LibrarySymbols::icon(u"plus"_qs, LibraryStyle::secondaryText(parent->palette())), text, parent);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(u"QPushButton { text-align: left; padding: 3px 12px; border: none; }"_qs);
    LibraryStyle::setTextColor(button, LibraryStyle::secondaryText(parent->palette()));
    QPalette palette = button->palette();
    palette.setColor(QPalette::ButtonText, LibraryStyle::secondaryText(parent->palette()));
    button->setPalette(palette);
    return button;
}

} // namespace

SidebarView::SidebarView(Store& store, const LibraryEnvironment& environment, SidebarCallbacks callbacks,
    SidebarModel* model, QWidget* parent)
    : QScrollArea(parent)
    , m_store(store)
    , m_environment(environment)
    , m_callbacks(std::move(callbacks))
    , m_model(model)
{
    if (!m_model) {
        m_model = new SidebarModel(&store, this);
        m_ownsModel = true;
    }
    m_delegate = new SidebarRowDelegate(environment, this);
    // An application icon found in the background: the source rows draw again.
    connect(&IconCache::shared(), &IconCache::iconReady, this, [this] {
        for (QAbstractItemView* list : m_lists)
            if (list)
                list->viewport()->update();
    });
    setMinimumWidth(190);
    setMaximumWidth(280);
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::NoFocus); // its lists and buttons take the focus

    auto* content = new QWidget(this);
    content->setBackgroundRole(QPalette::Window);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 8);
    column->setSpacing(0);

    const auto addList = [&](SidebarModel::Section section, const QString& name) {
        auto* list = new SidebarSectionList(m_model, section, m_delegate, content);
        list->setAccessibleName(name);
        m_lists[int(section)] = list;
        connect(list, &QAbstractItemView::clicked, this, [this, list](const QModelIndex& index) {
            rowChosen(list, index);
        });
        connect(list, &QAbstractItemView::activated, this, [this, list](const QModelIndex& index) {
            rowChosen(list, index);
        });
        connect(list, &QWidget::customContextMenuRequested, this, [this, list](const QPoint& position) {
            const QModelIndex index = list->indexAt(position);
            if (!index.isValid())
                return;
            QMenu menu;
            fillMenu(menu, index);
            if (!menu.isEmpty())
                menu.exec(list->viewport()->mapToGlobal(position));
        });
        column->addWidget(list);
        return list;
    };

    column->addWidget(sectionHeader(u"Prompt"_qs, content));
    SidebarSectionList* prompts = addList(SidebarModel::Section::prompt, u"Prompt"_qs);
    prompts->setDropTargets(
        [](const QModelIndex& index) { return kindOf(index) == SidebarModel::ItemKind::activePrompt; },
        [this](const QModelIndex&, const QSet<QUuid>& ids) {
            // Haptic confirmation when something was added: nothing on this desktop.
            m_store.addSelectionsToActiveDraft(ids);
        });
    m_newPrompt = plainButton(u"New Prompt\u2026"_qs, content);
    connect(m_newPrompt, &QPushButton::clicked, this, [this] {
        if (m_callbacks.onNewPrompt)
            m_callbacks.onNewPrompt();
    });
    column->addWidget(m_newPrompt);
    m_promptFooter = footer(u"Assemble sources into a prompt"_qs, content);
    column->addWidget(m_promptFooter);

    column->addWidget(sectionHeader(u"Library"_qs, content));
    addList(SidebarModel::Section::library, u"Library"_qs);

    column->addWidget(sectionHeader(u"Groups"_qs, content));
    SidebarSectionList* groups = addList(SidebarModel::Section::groups, u"Groups"_qs);
    groups->setDragPayload([this](const QModelIndex& index) { return dragPayload(index); });
    groups->setDropTargets([](const QModelIndex& index) { return kindOf(index) == SidebarModel::ItemKind::group; },
        [this](const QModelIndex& index, const QSet<QUuid>& ids) { m_store.addToGroup(idOf(index), ids); });
    m_newGroup = plainButton(u"New Group\u2026"_qs, content);
    connect(m_newGroup, &QPushButton::clicked, this, [this] {
        if (m_callbacks.onNewGroup)
            m_callbacks.onNewGroup();
    });
    column->addWidget(m_newGroup);
    m_groupsFooter = footer(u"Organize selections manually"_qs, content);
    column->addWidget(m_groupsFooter);

    column->addWidget(sectionHeader(u"Sources"_qs, content));
    m_noSources = new QLabel(u"Nothing captured yet"_qs, content);
    m_noSources->setFont(LibraryStyle::caption(font()));
    LibraryStyle::setTextColor(m_noSources, LibraryStyle::tertiaryText(palette()));
    m_noSources->setContentsMargins(12, 4, 8, 4);
    column->addWidget(m_noSources);
    SidebarSectionList* sources = addList(SidebarModel::Section::sources, u"Sources"_qs);
    sources->setDragPayload([this](const QModelIndex& index) { return dragPayload(index); });

    auto* statusRow = new QHBoxLayout;
    statusRow->setContentsMargins(12, 12, 8, 4);
    statusRow->setSpacing(6);
    m_statusIcon = new QLabel(content);
    m_status = new QLabel(content);
    m_status->setFont(LibraryStyle::caption(font()));
    m_status->setAccessibleDescription(u"Local persistence status"_qs);
    LibraryStyle::setTextColor(m_status, LibraryStyle::secondaryText(palette()));
    statusRow->addWidget(m_statusIcon);
    statusRow->addWidget(m_status, 1);
    column->addLayout(statusRow);
    column->addStretch(1);
    setWidget(content);

    connect(&m_store, &Store::persistenceStatusChanged, this, &SidebarView::updateStatus);
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_model, signal, this, &SidebarView::updateSectionExtras);
    connect(m_model, &QAbstractItemModel::modelReset, this, &SidebarView::updateSectionExtras);
    // Rows that come or go never leave another row marked than the window's choice.
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_model, signal, this, &SidebarView::markSelection);
    connect(m_model, &QAbstractItemModel::modelReset, this, &SidebarView::markSelection);
    updateStatus();
    updateSectionExtras();
}

SidebarView::~SidebarView() = default;

QSize SidebarView::sizeHint() const
{
    return QSize(220, QScrollArea::sizeHint().height());
}

SidebarSectionList* SidebarView::list(SidebarModel::Section section) const
{
    return m_lists[int(section)];
}

void SidebarView::updateStatus()
{
    const bool ready = m_store.persistenceStatus() == StorePersistenceStatus::ready;
    m_status->setText(statusText());
    m_statusIcon->setPixmap(LibrarySymbols::pixmap(ready ? u"checkmark.shield"_qs : u"exclamationmark.triangle"_qs,
        ready ? LibraryStyle::green() : LibraryStyle::orange(), 14, devicePixelRatioF()));
    const bool canModify = m_store.canModifyLibrary();
    m_newPrompt->setEnabled(canModify);
    m_newGroup->setEnabled(canModify);
}

QString SidebarView::statusText() const
{
    return m_store.persistenceStatus() == StorePersistenceStatus::ready ? u"Local library ready"_qs
                                                                         : u"Library status needs attention"_qs;
}

void SidebarView::updateSectionExtras()
{
    m_promptFooter->setVisible(!m_store.drafts().isEmpty());
    m_groupsFooter->setVisible(!m_store.groups().isEmpty());
    m_noSources->setVisible(m_model->rowCount(m_model->sectionIndex(SidebarModel::Section::sources)) == 0);
}

std::optional<SidebarItem> SidebarView::itemAt(const QModelIndex& index) const
{
    switch (kindOf(index)) {
    case SidebarModel::ItemKind::activePrompt:
        return SidebarItem::prompt();
    case SidebarModel::ItemKind::draft:
        return SidebarItem::draft(idOf(index));
    case SidebarModel::ItemKind::allSelections:
        return SidebarItem::allSelections();
    case SidebarModel::ItemKind::group:
        return SidebarItem::group(idOf(index));
    case SidebarModel::ItemKind::source: {
        const QString key = index.data(SidebarModel::SourceIdentifierRole).toString();
        const QList<QUuid> ids = m_store.selectionIDsFrom(key);
        if (!ids.isEmpty()) {
            if (const std::optional<Selection> first = m_store.findByID(ids.first()))
                return SidebarItem::source(SourceIdentity::from(*first));
        }
        SourceIdentity identity;
        identity.identifier = key;
        identity.appName = index.data(SidebarModel::AppNameRole).toString();
        return SidebarItem::source(identity);
    }
    case SidebarModel::ItemKind::section:
        break;
    }
    return std::nullopt;
}

void SidebarView::rowChosen(SidebarSectionList* list, const QModelIndex& index)
{
    if (m_marking)
        return;
    const std::optional<SidebarItem> item = itemAt(index);
    if (!item)
        return;
    list->setCurrentIndex(index);
    m_selection = item;
    markSelection();
    emit chosen(*item);
}

void SidebarView::choose(const SidebarItem& item)
{
    setSelection(item);
    emit chosen(item);
}

void SidebarView::setSelection(const std::optional<SidebarItem>& item)
{
    m_selection = item;
    markSelection();
}

void SidebarView::markSelection()
{
    m_marking = true;
    QModelIndex target;
    if (m_selection) {
        switch (m_selection->kind()) {
        case SidebarItem::Kind::allSelections:
            target = m_model->index(0, 0, m_model->sectionIndex(SidebarModel::Section::library));
            break;
        case SidebarItem::Kind::group:
            target = m_model->indexOfGroup(m_selection->uuid());
            break;
        case SidebarItem::Kind::source:
            target = m_model->indexOfSource(m_selection->sourceIdentity()->identifier);
            break;
        case SidebarItem::Kind::prompt: {
            const QModelIndex section = m_model->sectionIndex(SidebarModel::Section::prompt);
            const QModelIndex first = m_model->index(0, 0, section);
            if (first.isValid() && kindOf(first) == SidebarModel::ItemKind::activePrompt)
                target = first;
            break;
        }
        case SidebarItem::Kind::draft:
            target = m_model->indexOfDraft(m_selection->uuid());
            break;
        }
    }
    for (SidebarSectionList* list : m_lists) {
        if (target.isValid() && target.parent() == list->rootIndex()) {
            list->setCurrentIndex(target);
            list->selectionModel()->select(target, QItemSelectionModel::ClearAndSelect);
        } else {
            list->clearSelection();
        }
    }
    m_marking = false;
}

void SidebarView::fillMenu(QMenu& menu, const QModelIndex& index)
{
    switch (kindOf(index)) {
    case SidebarModel::ItemKind::draft: {
        const QUuid id = idOf(index);
        menu.addAction(u"Open"_qs, this, [this, id] {
            if (m_callbacks.onSelectDraft)
                m_callbacks.onSelectDraft(id);
        });
        menu.addAction(u"Delete"_qs, this, [this, id] {
            if (m_callbacks.onDeleteDraft)
                m_callbacks.onDeleteDraft(id);
        });
        break;
    }
    case SidebarModel::ItemKind::group: {
        const QUuid id = idOf(index);
        menu.addAction(u"Add to Prompt"_qs, this, [this, id] { addGroupToPrompt(id); });
        menu.addAction(u"New Prompt from Collection"_qs, this, [this, id] { newPromptFromGroup(id); });
        menu.addSeparator();
        menu.addAction(u"Copy as Markdown"_qs, this, [this, id] { copyGroupMarkdown(id); });
        menu.addAction(u"Copy Plain Text"_qs, this, [this, id] { copyGroupPlain(id); });
        menu.addSeparator();
        menu.addAction(u"Rename\u2026"_qs, this, [this, id] {
            if (const std::optional<SelectionGroup> group = m_store.findGroup(id); group && m_callbacks.onRenameGroup)
                m_callbacks.onRenameGroup(*group);
        });
        menu.addAction(u"Delete Group"_qs, this, [this, id] {
            if (const std::optional<SelectionGroup> group = m_store.findGroup(id); group && m_callbacks.onDeleteGroup)
                m_callbacks.onDeleteGroup(*group);
        });
        break;
    }
    case SidebarModel::ItemKind::source: {
        const QString key = index.data(SidebarModel::SourceIdentifierRole).toString();
        menu.addAction(u"Add to Prompt"_qs, this, [this, key] { addSourceToPrompt(key); });
        menu.addSeparator();
        menu.addAction(u"Copy as Markdown"_qs, this, [this, key] { copySourceMarkdown(key); });
        menu.addAction(u"Copy Plain Text"_qs, this, [this, key] { copySourcePlain(key); });
        break;
    }
    default:
        break;
    }
}

QString SidebarView::dragPayload(const QModelIndex& index) const
{
    switch (kindOf(index)) {
    case SidebarModel::ItemKind::group:
        return SelectionDragIDs::encode(idsOf(m_store.selectionsIn(idOf(index))));
    case SidebarModel::ItemKind::source: {
        const QList<QUuid> ids = m_store.selectionIDsFrom(index.data(SidebarModel::SourceIdentifierRole).toString());
        return SelectionDragIDs::encode(QSet<QUuid>(ids.cbegin(), ids.cend()));
    }
    default:
        return {};
    }
}

void SidebarView::addGroupToPrompt(const QUuid& groupID)
{
    // Haptic confirmation when something was added: nothing on this desktop.
    m_store.addSelectionsToActiveDraft(idsOf(m_store.selectionsIn(groupID)));
}

void SidebarView::newPromptFromGroup(const QUuid& groupID)
{
    if (!m_store.canModifyLibrary())
        return;
    const std::optional<ContextDraft> draft = m_store.newDraft();
    if (!draft)
        return;
    m_store.addSelectionsToActiveDraft(idsOf(m_store.selectionsIn(groupID)));
    choose(SidebarItem::draft(draft->id));
}

void SidebarView::copyGroupMarkdown(const QUuid& groupID)
{
    if (m_environment.pasteboard)
        Clipboard::writeMarkdown(SelectionsMarkdown::document(m_store.selectionsIn(groupID)), *m_environment.pasteboard);
}

void SidebarView::copyGroupPlain(const QUuid& groupID)
{
    if (m_environment.pasteboard)
        Clipboard::writePlain(SourceMarkdown::joinedPlainText(m_store.selectionsIn(groupID)), *m_environment.pasteboard);
}

void SidebarView::addSourceToPrompt(const QString& sourceIdentifier)
{
    const QList<QUuid> ids = m_store.selectionIDsFrom(sourceIdentifier);
    m_store.addSelectionsToActiveDraft(QSet<QUuid>(ids.cbegin(), ids.cend()));
}

void SidebarView::copySourceMarkdown(const QString& sourceIdentifier)
{
    const QList<Selection> matches = SourceMarkdown::selectionsFrom(m_store, sourceIdentifier);
    if (matches.isEmpty() || !m_environment.pasteboard)
        return;
    Clipboard::writeMarkdown(
        SelectionsMarkdown::fromSource(matches, SourceIdentity::from(matches.first())), *m_environment.pasteboard);
}

void SidebarView::copySourcePlain(const QString& sourceIdentifier)
{
    if (m_environment.pasteboard)
        Clipboard::writePlain(
            SourceMarkdown::joinedPlainText(SourceMarkdown::selectionsFrom(m_store, sourceIdentifier)), *m_environment.pasteboard);
}
