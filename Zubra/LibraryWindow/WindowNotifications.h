#pragma once
// The in-process notifications by which the menu bar and the library rows drive the main window:
// one object per window, in its environment, whose signals the window's root alone receives.

#include "ZubraCore/Library/Selection.h"

#include <QObject>
#include <QString>
#include <optional>

class WindowNotifications : public QObject
{
    Q_OBJECT

public:
    // The names under which the notifications are known (logs, the shell's menu wiring).
    static inline const QString requestNewGroupName = QStringLiteral("TessellonRequestNewGroup");
    static inline const QString openPromptName = QStringLiteral("TessellonOpenPrompt");
    static inline const QString newPromptName = QStringLiteral("TessellonNewPrompt");
    static inline const QString focusSearchName = QStringLiteral("TessellonFocusSearch");

    // Posting: the signal is emitted at once, on the calling (main) thread.
    void postRequestNewGroup(const std::optional<Selection>& selection) { emit requestNewGroup(selection); }
    void postOpenPrompt() { emit openPrompt(); }
    void postNewPrompt() { emit newPrompt(); }
    void postFocusSearch() { emit focusSearch(); }

signals:
    // A row's "New Group…": the selection to put into the group about to be created.
    void requestNewGroup(const std::optional<Selection>& selection);
    void openPrompt();
    void newPrompt();
    void focusSearch();
};
