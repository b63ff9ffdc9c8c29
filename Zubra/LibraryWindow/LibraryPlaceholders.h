#pragma once
// The main window's stand-ins: the detail pane with nothing inspected, the compose column without
// a prompt, and the sidebar column before the program places the sidebar.

class QPushButton;
class QWidget;

namespace LibraryPlaceholders {

// A magnifier over a page and "Select a selection to inspect it".
QWidget* detail(QWidget* parent);
// "No prompt yet" and the "New Prompt" button, handed back through newPromptButton.
QWidget* missingDraft(QWidget* parent, QPushButton** newPromptButton);
// An empty sidebar panel.
QWidget* sidebar(QWidget* parent);

} // namespace LibraryPlaceholders
