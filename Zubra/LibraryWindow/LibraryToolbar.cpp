#include "Zubra/LibraryWindow/LibraryToolbar.h"

#include "Zubra/LibraryWindow/LibraryAccessible.h"
#include "Zubra/LibraryWindow/LibraryStyle.h"
#include "Zubra/LibraryWindow/LibrarySymbols.h"
#include "Zubra/LibraryWindow/NamingSheetPresenter.h"
#include "Zubra/LibraryWindow/SourceMarkdown.h"
#include "Zubra/Widgets/ShellActions.h"
#include "ZubraCore/Capture/Clipboard.h"
#include "ZubraCore/Library/SelectionsMarkdown.h"
#include "ZubraCore/Library/Store.h"
#include "ZubraCore/Support/Logging.h"

#include <QAccessible>
#include <QActionGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QApplication>
#include <QToolButton>

namespace {

QSet<QUuid> idsOf(const QList<Selection>& selections)
{
    QSet<QUuid> ids;
    for (const Selection& selection : selections)
        ids.insert(selection.id);
    return ids;
}

QString sortSymbol(SortMode mode)
{
    switch (mode) {
    case SortMode::newestFirst:
        return u"arrow.down.to.line"_qs;
    case SortMode::oldestFirst:
        return u"arrow.up.to.line"_qs;
    case SortMode::byApp:
        return u"app"_qs;
    case SortMode::bySource:
        return u"link"_qs;
    }
    return {};
}

// Library text in a menu item: "&" stands for itself.
QString menuText(QString text)
{
    if (text.size() > 200)
        text = text.left(100) + u"\u2026"_qs + text.right(99);
    return text.replace(u'&', u"&&"_qs);
}

} // namespace

AddToPromptBanner::AddToPromptBanner(QWidget* over)
    : QWidget(over && over->parentWidget() ? over->parentWidget() : over)
    , m_over(over)
{
    LibraryAccessible::install();
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 7, 12, 7);
    row->setSpacing(6);
    auto* symbol = new QLabel(this);
    symbol->setPixmap(LibrarySymbols::pixmap(u"text.badge.plus"_qs, palette().color(QPalette::WindowText), 14,
        devicePixelRatioF()));
    m_label = new QLabel(this);
    m_label->setFont(LibraryStyle::caption(font()));
    row->addWidget(symbol);
    row->addWidget(m_label);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
}

QString AddToPromptBanner::textFor(int added, int total)
{
    if (added == 0)
        return u"Already in the prompt"_qs;
    return u"Added "_qs + QString::number(added) + u" of "_qs + QString::number(total) + u" selection"_qs
        + (total == 1 ? QString() : u"s"_qs) + u" to the prompt"_qs;
}

QString AddToPromptBanner::text() const
{
    return textFor(m_added, m_total);
}

void AddToPromptBanner::flash(int added, int total)
{
    m_added = added;
    m_total = total;
    m_label->setText(text());
    setAccessibleName(text());
    QAccessibleEvent named(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&named);
    adjustSize();
    setShown(true);
    // Each flash has its own timer; the timer looks only at the flag.
    QTimer::singleShot(showFor, this, [this] { setShown(false); });
}

void AddToPromptBanner::setShown(bool shown)
{
    m_shown = shown;
    if (shown && parentWidget()) {
        // Centred at the top of the area it lies over, 8 points down.
        const QRect area = m_over && m_over != parentWidget() ? m_over->geometry() : parentWidget()->rect();
        move(area.x() + (area.width() - width()) / 2, area.y() + 8);
        raise();
    }
    setVisible(shown);
}

void AddToPromptBanner::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath capsule;
    const QRectF shape = QRectF(rect()).adjusted(1, 1, -1, -3);
    capsule.addRoundedRect(shape, shape.height() / 2, shape.height() / 2);
    QPainterPath shadow;
    shadow.addRoundedRect(shape.translated(0, 2), shape.height() / 2, shape.height() / 2);
    painter.fillPath(shadow, QColor(0, 0, 0, 30));
    painter.fillPath(capsule, palette().color(QPalette::Base));
    painter.setPen(QPen(palette().color(QPalette::Mid), 0.6));
    painter.drawPath(capsule);
}

LibraryToolbar::LibraryToolbar(Store& store, const LibraryEnvironment& environment, GroupSheetPresenter& sheets,
    Window window, AddToPromptBanner* banner, QWidget* parent)
    : QToolBar(parent)
    , m_store(store)
    , m_environment(environment)
    , m_sheets(sheets)
    , m_window(std::move(window))
    , m_banner(banner)
{
    setMovable(false);
    setFloatable(false);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    setIconSize(QSize(18, 18));
    connect(&m_store, &Store::persistenceStatusChanged, this, &LibraryToolbar::refresh);
    connect(&m_store, &Store::groupsChanged, this, &LibraryToolbar::refresh);
    refresh();
}

void LibraryToolbar::addButton(
    const QString& title, const QString& symbol, const QString& help, std::function<void()> action, bool enabled)
{
    QAction* item = addAction(LibrarySymbols::icon(symbol, palette().color(QPalette::ButtonText)), title);
    item->setToolTip(help);
    item->setEnabled(enabled);
    connect(item, &QAction::triggered, this, [action = std::move(action)] { action(); });
}

void LibraryToolbar::addMenuButton(const QString& title, const QString& symbol, const QString& help, QMenu* menu)
{
    auto* button = new QToolButton(this);
    button->setIcon(LibrarySymbols::icon(symbol, palette().color(QPalette::ButtonText)));
    button->setText(title);
    button->setToolTip(help);
    button->setAccessibleName(title);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setMenu(menu);
    menu->setParent(button, menu->windowFlags());
    QAction* item = addWidget(button);
    item->setText(title);
}

void LibraryToolbar::refresh()
{
    // The items are rebuilt for each state; the old ones (and their buttons and menus) go. A
    // keyboard user on one of them stays on the item of that name, or on the first.
    const QWidget* focus = QApplication::focusWidget();
    std::optional<QString> focusedTitle;
    for (QAction* item : actions()) {
        if (focus && widgetForAction(item) == focus)
            focusedTitle = item->text();
    }
    const QList<QAction*> old = actions();
    for (QAction* item : old) {
        removeAction(item);
        if (item->parent() == this)
            item->deleteLater();
    }
    const QString hotkey = m_environment.shellActions().hotkeyDisplay();
    addButton(u"Capture Selection"_qs, u"viewfinder"_qs,
        u"Capture the current selection (hotkey: "_qs + hotkey + u")"_qs, [this] { capture(); },
        m_store.canModifyLibrary());

    const std::optional<SidebarItem> choice = m_window.sidebarSelection ? m_window.sidebarSelection() : std::nullopt;
    if (choice && choice->isCompose()) {
        makeReachable(focusedTitle);
        return;
    }

    if (choice && choice->kind() == SidebarItem::Kind::group) {
        if (const std::optional<SelectionGroup> group = m_store.findGroup(choice->uuid())) {
            const QUuid id = group->id;
            const QString name = group->name;
            addButton(u"Select All"_qs, u"checkmark.circle"_qs, u"Select every "_qs + name + u" row"_qs,
                [this, id] { selectAllInCollection(id); });
            auto* add = new QMenu(u"Add Collection to Prompt"_qs);
            add->addAction(u"Add to Active Prompt"_qs, this, [this, id] { addCollectionToPrompt(id); });
            add->addAction(u"New Prompt from Collection"_qs, this, [this, id] { newPromptFromCollection(id); });
            addMenuButton(u"Add Collection to Prompt"_qs, u"text.badge.plus"_qs,
                u"Add the whole "_qs + name + u" collection to a prompt"_qs, add);
            auto* copy = new QMenu(u"Copy Collection"_qs);
            copy->addAction(u"Copy as Markdown"_qs, this, [this, id] { copyCollectionMarkdown(id); });
            copy->addAction(u"Copy Plain Text"_qs, this, [this, id] { copyCollectionPlain(id); });
            addMenuButton(u"Copy Collection"_qs, u"doc.on.doc"_qs,
                u"Copy the whole "_qs + name + u" collection to the clipboard"_qs, copy);
        }
    }

    const QSet<QUuid> selected = m_window.selectedIDs ? m_window.selectedIDs() : QSet<QUuid>();
    if (!selected.isEmpty()) {
        const QString n = QString::number(selected.size());
        auto* prompt = new QMenu(u"Add to Prompt"_qs);
        prompt->addAction(u"Add to Active Prompt"_qs, this, &LibraryToolbar::addSelectedToPrompt);
        prompt->addAction(u"New Prompt from Selection"_qs, this, &LibraryToolbar::newPromptWithSelection);
        addMenuButton(u"Add to Prompt"_qs, u"text.badge.plus"_qs,
            u"Add the "_qs + n + u" selected selection(s) to a prompt"_qs, prompt);

        auto* groups = new QMenu(u"Add to Group"_qs);
        if (m_store.groups().isEmpty())
            groups->addAction(u"No groups yet"_qs)->setEnabled(false);
        for (const SelectionGroup& group : m_store.groups())
            groups->addAction(menuText(group.name), this, [this, id = group.id] { addSelectedToGroup(id); });
        groups->addSeparator();
        groups->addAction(u"New Group\u2026"_qs, this, &LibraryToolbar::newGroupWithSelected);
        addMenuButton(u"Add to Group"_qs, u"folder.badge.plus"_qs,
            u"Add the "_qs + n + u" selected selection(s) to a collection"_qs, groups);

        auto* copy = new QMenu(u"Copy"_qs);
        copy->addAction(u"Copy as Markdown"_qs, this, &LibraryToolbar::copySelectedMarkdown);
        copy->addAction(u"Copy Plain Text"_qs, this, &LibraryToolbar::copySelectedPlain);
        addMenuButton(u"Copy"_qs, u"doc.on.doc"_qs, u"Copy "_qs + n + u" selection(s)"_qs, copy);

        addButton(u"Delete"_qs, u"trash"_qs, u"Delete "_qs + n + u" selection(s)"_qs, [this] { deleteSelected(); });
    }

    auto* sort = new QMenu(u"Sort"_qs);
    auto* modes = new QActionGroup(sort);
    const SortMode current = m_window.sortMode ? m_window.sortMode() : SortMode::newestFirst;
    for (SortMode mode : SortModes::allCases()) {
        QAction* item = sort->addAction(LibrarySymbols::icon(sortSymbol(mode), palette().color(QPalette::Text)),
            SortModes::rawValue(mode));
        item->setCheckable(true);
        item->setChecked(mode == current);
        modes->addAction(item);
        connect(item, &QAction::triggered, this, [this, mode] {
            if (m_window.setSortMode)
                m_window.setSortMode(mode);
        });
    }
    addMenuButton(u"Sort"_qs, u"arrow.up.arrow.down"_qs, u"Sort selections"_qs, sort);
    makeReachable(focusedTitle);
}

void LibraryToolbar::makeReachable(const std::optional<QString>& focusedTitle)
{
    // A toolbar's buttons take no focus by default: here Tab reaches each of them, and each is
    // named for screen readers (they show an icon only).
    QWidget* keep = nullptr;
    for (QAction* item : actions()) {
        QWidget* button = widgetForAction(item);
        if (!button)
            continue;
        button->setFocusPolicy(Qt::TabFocus);
        button->setAccessibleName(item->text());
        if (focusedTitle && (!keep || item->text() == *focusedTitle) && item->isEnabled())
            keep = button;
    }
    if (keep)
        keep->setFocus(Qt::TabFocusReason);
}

QStringList LibraryToolbar::itemTitles() const
{
    QStringList titles;
    for (QAction* item : actions())
        titles.append(item->text());
    return titles;
}

void LibraryToolbar::capture()
{
    m_environment.shellActions().captureNow();
}

QList<Selection> LibraryToolbar::chosen() const
{
    const QSet<QUuid> selected = m_window.selectedIDs ? m_window.selectedIDs() : QSet<QUuid>();
    QList<Selection> out;
    if (selected.isEmpty() || !m_window.visibleSelections)
        return out;
    for (const Selection& selection : m_window.visibleSelections()) {
        if (selected.contains(selection.id))
            out.append(selection);
    }
    return out;
}

void LibraryToolbar::selectAllInCollection(const QUuid& groupID)
{
    const QSet<QUuid> ids = idsOf(m_store.selectionsIn(groupID));
    if (ids.isEmpty())
        return;
    if (m_window.setSelectedIDs)
        m_window.setSelectedIDs(ids);
    std::optional<QUuid> inspected;
    if (m_window.visibleSelections) {
        for (const Selection& selection : m_window.visibleSelections()) {
            if (ids.contains(selection.id)) {
                inspected = selection.id;
                break;
            }
        }
    }
    if (m_window.setDetailSelectionID)
        m_window.setDetailSelectionID(inspected);
}

void LibraryToolbar::addCollectionToPrompt(const QUuid& groupID)
{
    const QSet<QUuid> ids = idsOf(m_store.selectionsIn(groupID));
    const int added = m_store.addSelectionsToActiveDraft(ids);
    logMP(u"Collection add "_qs + QString::number(added) + u"/"_qs + QString::number(ids.size()) + u" to prompt"_qs);
    if (m_banner)
        m_banner->flash(added, int(ids.size()));
}

void LibraryToolbar::newPromptFromCollection(const QUuid& groupID)
{
    if (!m_store.canModifyLibrary())
        return;
    const QSet<QUuid> ids = idsOf(m_store.selectionsIn(groupID));
    const std::optional<ContextDraft> draft = m_store.newDraft();
    if (!draft)
        return;
    m_store.addSelectionsToActiveDraft(ids);
    if (m_window.setSidebarSelection)
        m_window.setSidebarSelection(SidebarItem::draft(draft->id));
}

void LibraryToolbar::copyCollectionMarkdown(const QUuid& groupID)
{
    if (m_environment.pasteboard)
        Clipboard::writeMarkdown(SelectionsMarkdown::document(m_store.selectionsIn(groupID)), *m_environment.pasteboard);
}

void LibraryToolbar::copyCollectionPlain(const QUuid& groupID)
{
    if (m_environment.pasteboard)
        Clipboard::writePlain(SourceMarkdown::joinedPlainText(m_store.selectionsIn(groupID)), *m_environment.pasteboard);
}

void LibraryToolbar::addSelectedToPrompt()
{
    const QSet<QUuid> selected = m_window.selectedIDs ? m_window.selectedIDs() : QSet<QUuid>();
    if (selected.isEmpty())
        return;
    const int added = m_store.addSelectionsToActiveDraft(selected);
    logMP(u"Bulk add "_qs + QString::number(added) + u"/"_qs + QString::number(selected.size())
        + u" selection(s) to prompt"_qs);
    if (m_banner)
        m_banner->flash(added, int(selected.size()));
}

void LibraryToolbar::newPromptWithSelection()
{
    if (!m_store.canModifyLibrary())
        return;
    const QSet<QUuid> selected = m_window.selectedIDs ? m_window.selectedIDs() : QSet<QUuid>();
    const std::optional<ContextDraft> draft = m_store.newDraft();
    if (!draft)
        return;
    m_store.addSelectionsToActiveDraft(selected);
    if (m_window.setSelectedIDs)
        m_window.setSelectedIDs({});
    if (m_window.setSidebarSelection)
        m_window.setSidebarSelection(SidebarItem::draft(draft->id));
}

void LibraryToolbar::copySelectedMarkdown()
{
    const QList<Selection> selections = chosen();
    if (selections.isEmpty())
        return;
    logMP(u"Copy Markdown for "_qs + QString::number(selections.size()) + u" selection(s)"_qs);
    if (m_environment.pasteboard)
        Clipboard::writeMarkdown(SelectionsMarkdown::document(selections), *m_environment.pasteboard);
}

void LibraryToolbar::copySelectedPlain()
{
    const QList<Selection> selections = chosen();
    if (selections.isEmpty())
        return;
    if (m_environment.pasteboard)
        Clipboard::writePlain(SourceMarkdown::joinedPlainText(selections), *m_environment.pasteboard);
}

void LibraryToolbar::deleteSelected()
{
    const QSet<QUuid> selected = m_window.selectedIDs ? m_window.selectedIDs() : QSet<QUuid>();
    if (selected.isEmpty())
        return;
    logMP(u"Batch delete "_qs + QString::number(selected.size()) + u" selection(s)"_qs);
    m_store.deleteSelections(selected);
    if (m_window.setSelectedIDs)
        m_window.setSelectedIDs({});
    std::optional<QUuid> first;
    if (m_window.visibleSelections) {
        const QList<Selection> visible = m_window.visibleSelections();
        if (!visible.isEmpty())
            first = visible.first().id;
    }
    if (m_window.setDetailSelectionID)
        m_window.setDetailSelectionID(first);
}

void LibraryToolbar::addSelectedToGroup(const QUuid& groupID)
{
    const QSet<QUuid> selected = m_window.selectedIDs ? m_window.selectedIDs() : QSet<QUuid>();
    m_store.addToGroup(groupID, selected);
}

void LibraryToolbar::newGroupWithSelected()
{
    m_sheets.requestNewGroupWith(m_window.selectedIDs ? m_window.selectedIDs() : QSet<QUuid>());
}
