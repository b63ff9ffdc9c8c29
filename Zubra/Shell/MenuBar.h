#pragma once
// The commands of the menus: one action per command, shared by the main window's menu bar and
// the status menu. Ctrl stands where the other desktop has Command. The editing commands go to
// the widget that has the keyboard focus.

#include <QObject>
#include <QString>

class AppDelegate;
class QAction;
class QMenu;
class QMenuBar;
class QWidget;
struct HotKeyCombo;

class MenuBar final : public QObject
{
    Q_OBJECT

public:
    // Builds every action; the enabled flags of the library commands are taken now, once.
    explicit MenuBar(AppDelegate& delegate);

    // The menu bar of a window: the application menu, "Edit", "File", "View".
    QMenuBar* buildMenuBar(QWidget* window) const;
    // The status item's menu.
    QMenu* buildStatusMenu(QWidget* parent = nullptr) const;
    // "Capture Selection  (" + the shortcut + ")".
    static QString captureTitle(const HotKeyCombo& combo);
    // Renames the status menu's capture item after a newly registered shortcut.
    void retitleCapture(const HotKeyCombo& combo);
    // Sends an editing command ("copy", "undo", …) to the focus widget when it has that slot.
    static bool sendToFocusWidget(const char* slot);

    // Application menu.
    QAction* about = nullptr;
    QAction* settings = nullptr;
    QAction* checkForUpdates = nullptr;
    QAction* hide = nullptr;
    QAction* quit = nullptr;
    // Edit.
    QAction* undo = nullptr;
    QAction* redo = nullptr;
    QAction* cut = nullptr;
    QAction* copy = nullptr;
    QAction* paste = nullptr;
    QAction* selectAll = nullptr;
    // File.
    QAction* newPrompt = nullptr;
    QAction* goToPrompt = nullptr;
    QAction* closeWindow = nullptr;
    // View.
    QAction* focusSearch = nullptr;
    // Status menu.
    QAction* openTessellon = nullptr;
    QAction* captureSelection = nullptr;
    QAction* openPrompt = nullptr;
    QAction* collectIntoPrompt = nullptr;

private:
    QAction* make(const QString& title, const QString& shortcut);
};
