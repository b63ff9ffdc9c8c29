#pragma once
// The commands of the menus. The main window's menu bar is laid out as Linux programs lay theirs
// out: File, Edit, View, Help, each with a mnemonic; Ctrl stands where the other desktop has
// Command. The status menu has actions of its own, wired to the same commands; their keys (Ctrl+1,
// Ctrl+2, Ctrl+N, Ctrl+3, Ctrl+, and Ctrl+Q) are shown in it and answered only while it is open,
// by the status item, so they never compete with a window's. The editing commands go to the
// widget that has the keyboard focus.

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

    // The menu bar of a window: "File", "Edit", "View", "Help". "Collect into Prompt" is in File
    // as well as in the status menu (one action: one check mark).
    QMenuBar* buildMenuBar(QWidget* window) const;
    // The status item's menu.
    QMenu* buildStatusMenu(QWidget* parent = nullptr) const;
    // The window commands whose shortcuts every window of the program answers.
    QList<QAction*> windowShortcuts() const;
    // "Capture Selection  (" + the shortcut + ")".
    static QString captureTitle(const QString& shortcut);
    // Renames the status menu's capture item after a newly registered shortcut.
    void retitleCapture(const QString& shortcut);
    // Sends an editing command ("copy", "undo", …) to the focus widget when it has that slot.
    static bool sendToFocusWidget(const char* slot);

    // File.
    QAction* newPrompt = nullptr;
    QAction* goToPrompt = nullptr;
    QAction* closeWindow = nullptr;
    QAction* hide = nullptr;
    QAction* quit = nullptr;
    // Edit.
    QAction* undo = nullptr;
    QAction* redo = nullptr;
    QAction* cut = nullptr;
    QAction* copy = nullptr;
    QAction* paste = nullptr;
    QAction* selectAll = nullptr;
    QAction* settings = nullptr;
    // View.
    QAction* focusSearch = nullptr;
    // Help.
    QAction* checkForUpdates = nullptr;
    QAction* about = nullptr;
    // Status menu.
    QAction* openTessellon = nullptr;
    QAction* captureSelection = nullptr;
    QAction* statusNewPrompt = nullptr;
    QAction* openPrompt = nullptr;
    QAction* collectIntoPrompt = nullptr;
    QAction* statusCheckForUpdates = nullptr;
    QAction* statusSettings = nullptr;
    QAction* statusQuit = nullptr;

private:
    QAction* make(const QString& title, const QString& shortcut);
};
