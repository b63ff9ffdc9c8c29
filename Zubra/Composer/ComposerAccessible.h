#pragma once
// The composer's own elements for assistive technology: the entry list's (ComposeEntryAccessible),
// the menu buttons' and the budget bar's. A menu button's ShowMenu opens its menu, as a click
// does. The budget bar reads as its name and its description ("1,234 / 16,384 tokens") and offers
// no action: it shows a value, nobody sets it.

#include <QProgressBar>
#include <QToolButton>

// A small tool button: with a menu it opens the menu on a click, without one it is pressed.
class ComposerMenuButton final : public QToolButton
{
    Q_OBJECT

public:
    explicit ComposerMenuButton(const QString& text, QWidget* parent = nullptr);
};

// The estimate against the budget, drawn as a bar.
class ComposerBudgetBar final : public QProgressBar
{
    Q_OBJECT

public:
    explicit ComposerBudgetBar(QWidget* parent = nullptr);
};

namespace ComposerAccessible {

// Makes the entry lists, the menu buttons and the budget bar publish their own elements; once per
// process, before the first of them is made.
void install();

} // namespace ComposerAccessible
