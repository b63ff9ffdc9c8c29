#include "Zubra/LibraryWindow/SelectionRowCommands.h"

#include "Zubra/LibraryWindow/CopiedFlash.h"
#include "Zubra/LibraryWindow/SelectionRowPainter.h"
#include "Zubra/LibraryWindow/SourceMarkdown.h"
#include "Zubra/LibraryWindow/WindowNotifications.h"
#include "ZubraCore/Capture/Clipboard.h"
#include "ZubraCore/Library/Store.h"
#include "Platform/Workspace.h"

#include <QMenu>

namespace {

// User text in a menu item: "&" stands for itself, and a huge address or path keeps its ends.
QString menuText(const QString& text)
{
    QString bounded = SelectionRowPainter::boundedSourceText(text, 100);
    return bounded.replace(u'&', QStringLiteral("&&"));
}

} // namespace

SelectionRowCommands::SelectionRowCommands(Store& store, const LibraryEnvironment& environment, CopiedFlash& flash)
    : m_store(store)
    , m_environment(environment)
    , m_flash(flash)
{
}

void SelectionRowCommands::copyMarkdown(const Selection& selection)
{
    if (m_environment.pasteboard)
        Clipboard::writeMarkdown(selection.markdown(), *m_environment.pasteboard);
    flashCopied(selection);
}

void SelectionRowCommands::copyPlainText(const Selection& selection)
{
    if (m_environment.pasteboard)
        Clipboard::writePlain(selection.text, *m_environment.pasteboard);
    flashCopied(selection);
}

void SelectionRowCommands::copyPlainText(const QList<Selection>& selections)
{
    if (selections.size() == 1) {
        copyPlainText(selections.first());
        return;
    }
    if (selections.isEmpty())
        return;
    if (m_environment.pasteboard)
        Clipboard::writePlain(SourceMarkdown::joinedPlainText(selections), *m_environment.pasteboard);
    for (const Selection& selection : selections)
        flashCopied(selection);
}

void SelectionRowCommands::addToPrompt(const Selection& selection) { m_store.addSelectionToActiveDraft(selection.id); }

void SelectionRowCommands::openInBrowser(const Selection& selection)
{
    if (selection.sourceURL && m_environment.workspace)
        m_environment.workspace->openAddress(*selection.sourceURL);
}

void SelectionRowCommands::copyURL(const Selection& selection)
{
    if (selection.sourceURL && m_environment.pasteboard)
        Clipboard::writePlain(*selection.sourceURL, *m_environment.pasteboard);
}

void SelectionRowCommands::revealInFileManager(const Selection& selection)
{
    if (selection.filePath && m_environment.workspace)
        m_environment.workspace->revealFile(*selection.filePath);
}

void SelectionRowCommands::copyAllFromSource(const Selection& selection)
{
    SourceMarkdown::copy(m_store, m_environment.pasteboard, SourceIdentity::from(selection));
    flashCopied(selection);
}

void SelectionRowCommands::addToGroup(const QUuid& groupID, const Selection& selection)
{
    m_store.addToGroup(groupID, {selection.id});
}

void SelectionRowCommands::removeFromAllGroups(const Selection& selection)
{
    const QSet<QUuid> groups(selection.groupIDs.cbegin(), selection.groupIDs.cend());
    m_store.removeFromGroups(groups, {selection.id});
}

void SelectionRowCommands::deleteSelection(const Selection& selection) { m_store.deleteSelection(selection.id); }

void SelectionRowCommands::requestNewGroup(const Selection& selection)
{
    m_environment.notifications->postRequestNewGroup(selection);
}

QString SelectionRowCommands::copyAllTitle(const Selection& selection)
{
    if (const std::optional<QString> detail = selection.sourceDetail())
        return QStringLiteral("Copy All from \"") + *detail + u'"';
    return QStringLiteral("Copy All from ") + selection.appName;
}

void SelectionRowCommands::fillMenu(QMenu& menu, const Selection& selection)
{
    // Each action works on the selection as it was when the menu opened.
    menu.addAction(QStringLiteral("Copy as Markdown"), [this, selection] { copyMarkdown(selection); });
    menu.addAction(QStringLiteral("Copy Plain Text"), [this, selection] { copyPlainText(selection); });
    menu.addAction(QStringLiteral("Add to Prompt"), [this, selection] { addToPrompt(selection); });
    if (selection.sourceURL) {
        menu.addSeparator();
        menu.addAction(QStringLiteral("Open in Browser"), [this, selection] { openInBrowser(selection); });
        menu.addAction(QStringLiteral("Copy URL"), [this, selection] { copyURL(selection); });
    }
    if (selection.filePath) {
        menu.addSeparator();
        menu.addAction(QStringLiteral("Show in File Manager"), [this, selection] { revealInFileManager(selection); });
    }
    menu.addSeparator();
    menu.addAction(menuText(copyAllTitle(selection)), [this, selection] { copyAllFromSource(selection); });
    menu.addSeparator();

    QMenu* groups = menu.addMenu(QStringLiteral("Add to Group\u2026"));
    if (m_store.groups().isEmpty())
        groups->addAction(QStringLiteral("No groups yet"))->setEnabled(false);
    for (const SelectionGroup& group : m_store.groups()) {
        QAction* item = groups->addAction(menuText(group.name), [this, id = group.id, selection] {
            addToGroup(id, selection);
        });
        if (selection.groupIDs.contains(group.id)) {
            item->setCheckable(true);
            item->setChecked(true);
        }
    }
    groups->addSeparator();
    groups->addAction(QStringLiteral("New Group\u2026"), [this, selection] { requestNewGroup(selection); });
    if (!selection.groupIDs.isEmpty())
        menu.addAction(QStringLiteral("Remove from All Groups"), [this, selection] { removeFromAllGroups(selection); });
    menu.addSeparator();
    menu.addAction(QStringLiteral("Delete"), [this, selection] { deleteSelection(selection); });
}

void SelectionRowCommands::flashCopied(const Selection& selection)
{
    // No haptic confirmation on this desktop.
    m_flash.flash(selection.id);
}
