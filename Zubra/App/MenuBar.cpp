#include "Zubra/App/MenuBar.h"

#include "Zubra/App/AppDelegate.h"
#include "Zubra/Shell/EditAvailability.h"
#include "Zubra/Shell/HotKeyManager.h"
#include "Zubra/Widgets/HotKeyCombo.h"
#include "ZubraCore/Library/Store.h"

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMetaMethod>

MenuBar::MenuBar(AppDelegate& delegate)
    : QObject(&delegate)
{
    AppDelegate* d = &delegate;
    const bool canModify = delegate.store().canModifyLibrary();

    newPrompt = make(QStringLiteral("&New Prompt\u2026"), QStringLiteral("Ctrl+N"));
    newPrompt->setEnabled(canModify);
    connect(newPrompt, &QAction::triggered, d, &AppDelegate::menuNewPrompt);
    goToPrompt = make(QStringLiteral("&Go to Prompt"), QStringLiteral("Ctrl+Shift+P"));
    goToPrompt->setEnabled(canModify);
    connect(goToPrompt, &QAction::triggered, d, &AppDelegate::openPromptAction);
    closeWindow = make(QStringLiteral("&Close Window"), QStringLiteral("Ctrl+W"));
    connect(closeWindow, &QAction::triggered, d, &AppDelegate::closeActiveWindow);
    hide = make(QStringLiteral("&Hide Tessellon"), QStringLiteral("Ctrl+H"));
    connect(hide, &QAction::triggered, d, &AppDelegate::hideApplication);
    quit = make(QStringLiteral("&Quit Tessellon"), QStringLiteral("Ctrl+Q"));
    connect(quit, &QAction::triggered, d, &AppDelegate::terminate);

    const auto edit = [this](const QString& title, const QString& keys, const char* slot) {
        QAction* action = make(title, keys);
        connect(action, &QAction::triggered, this, [slot] { sendToFocusWidget(slot); });
        return action;
    };
    undo = edit(QStringLiteral("&Undo"), QStringLiteral("Ctrl+Z"), "undo");
    redo = edit(QStringLiteral("&Redo"), QStringLiteral("Ctrl+Shift+Z"), "redo");
    EditAvailability::follow(undo, redo);
    cut = edit(QStringLiteral("Cu&t"), QStringLiteral("Ctrl+X"), "cut");
    copy = edit(QStringLiteral("&Copy"), QStringLiteral("Ctrl+C"), "copy");
    paste = edit(QStringLiteral("&Paste"), QStringLiteral("Ctrl+V"), "paste");
    selectAll = edit(QStringLiteral("Select &All"), QStringLiteral("Ctrl+A"), "selectAll");
    settings = make(QStringLiteral("&Settings\u2026"), QStringLiteral("Ctrl+,"));
    connect(settings, &QAction::triggered, d, &AppDelegate::showSettings);

    focusSearch = make(QStringLiteral("Focus &Search"), QStringLiteral("Ctrl+F"));
    connect(focusSearch, &QAction::triggered, d, &AppDelegate::menuFocusSearch);

    checkForUpdates = make(QStringLiteral("Check for &Updates\u2026"), {});
    connect(checkForUpdates, &QAction::triggered, d, &AppDelegate::checkForUpdates);
    about = make(QStringLiteral("&About Tessellon"), {});
    connect(about, &QAction::triggered, d, &AppDelegate::showAbout);

    openTessellon = make(QStringLiteral("Open Tessellon"), QStringLiteral("Ctrl+1"));
    connect(openTessellon, &QAction::triggered, d, &AppDelegate::showMainWindow);
    // The title names the global shortcut; Ctrl+2 is the item's own key while the menu is open.
    captureSelection
        = make(captureTitle(delegate.hotKeys().display(delegate.hotKeys().currentCombo())), QStringLiteral("Ctrl+2"));
    captureSelection->setEnabled(canModify);
    connect(captureSelection, &QAction::triggered, d, &AppDelegate::captureNowAction);
    statusNewPrompt = make(QStringLiteral("New Prompt\u2026"), QStringLiteral("Ctrl+N"));
    statusNewPrompt->setEnabled(canModify);
    connect(statusNewPrompt, &QAction::triggered, d, &AppDelegate::menuNewPrompt);
    openPrompt = make(QStringLiteral("Open Prompt\u2026"), QStringLiteral("Ctrl+3"));
    openPrompt->setEnabled(canModify);
    connect(openPrompt, &QAction::triggered, d, &AppDelegate::openPromptAction);
    collectIntoPrompt = make(QStringLiteral("Collect into Prompt"), {});
    collectIntoPrompt->setCheckable(true);
    collectIntoPrompt->setChecked(delegate.store().collectIntoActiveDraft());
    collectIntoPrompt->setEnabled(canModify);
    // The command decides the check mark from the store, not from the click.
    connect(collectIntoPrompt, &QAction::triggered, d, &AppDelegate::toggleCollectingAction);
    statusCheckForUpdates = make(QStringLiteral("Check for Updates\u2026"), {});
    connect(statusCheckForUpdates, &QAction::triggered, d, &AppDelegate::checkForUpdates);
    statusSettings = make(QStringLiteral("Settings\u2026"), QStringLiteral("Ctrl+,"));
    connect(statusSettings, &QAction::triggered, d, &AppDelegate::showSettings);
    statusQuit = make(QStringLiteral("Quit Tessellon"), QStringLiteral("Ctrl+Q"));
    connect(statusQuit, &QAction::triggered, d, &AppDelegate::terminate);
}

QAction* MenuBar::make(const QString& title, const QString& shortcut)
{
    auto* action = new QAction(title, this);
    if (!shortcut.isEmpty())
        action->setShortcut(QKeySequence(shortcut));
    action->setMenuRole(QAction::NoRole);
    return action;
}

QString MenuBar::captureTitle(const QString& shortcut)
{
    return QStringLiteral("Capture Selection  (") + shortcut + QLatin1Char(')');
}

void MenuBar::retitleCapture(const QString& shortcut)
{
    captureSelection->setText(captureTitle(shortcut));
}

bool MenuBar::sendToFocusWidget(const char* slot)
{
    QWidget* focus = QApplication::focusWidget();
    if (!focus)
        return false;
    const QByteArray signature = QByteArray(slot) + "()";
    if (focus->metaObject()->indexOfMethod(signature.constData()) < 0)
        return false;
    return QMetaObject::invokeMethod(focus, slot);
}

QList<QAction*> MenuBar::windowShortcuts() const
{
    return {newPrompt, goToPrompt, closeWindow, hide, quit, settings, focusSearch};
}

QMenuBar* MenuBar::buildMenuBar(QWidget* window) const
{
    auto* bar = new QMenuBar(window);
    QMenu* fileMenu = bar->addMenu(QStringLiteral("&File"));
    fileMenu->addAction(newPrompt);
    fileMenu->addAction(goToPrompt);
    // The status menu's own item: a desktop without a tray reaches it here.
    fileMenu->addAction(collectIntoPrompt);
    fileMenu->addSeparator();
    fileMenu->addAction(closeWindow);
    fileMenu->addAction(hide);
    fileMenu->addSeparator();
    fileMenu->addAction(quit);

    QMenu* editMenu = bar->addMenu(QStringLiteral("&Edit"));
    editMenu->addAction(undo);
    editMenu->addAction(redo);
    editMenu->addSeparator();
    editMenu->addActions({cut, copy, paste, selectAll});
    editMenu->addSeparator();
    editMenu->addAction(settings);

    QMenu* viewMenu = bar->addMenu(QStringLiteral("&View"));
    viewMenu->addAction(focusSearch);

    QMenu* helpMenu = bar->addMenu(QStringLiteral("&Help"));
    helpMenu->addAction(checkForUpdates);
    helpMenu->addSeparator();
    helpMenu->addAction(about);
    return bar;
}

QMenu* MenuBar::buildStatusMenu(QWidget* parent) const
{
    auto* menu = new QMenu(parent);
    menu->setAccessibleName(QStringLiteral("Tessellon menu"));
    menu->addAction(openTessellon);
    menu->addAction(captureSelection);
    menu->addAction(statusNewPrompt);
    menu->addAction(openPrompt);
    menu->addAction(collectIntoPrompt);
    menu->addSeparator();
    menu->addAction(statusCheckForUpdates);
    menu->addAction(statusSettings);
    menu->addSeparator();
    menu->addAction(statusQuit);
    return menu;
}
