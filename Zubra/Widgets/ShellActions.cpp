#include "Zubra/Widgets/ShellActions.h"

#include "Platform/KeyLayout.h"
#include "Zubra/Widgets/HotKeyCombo.h"

QString NoShellActions::hotkeyDisplay()
{
    UsKeyLayout us;
    return HotKeyCombo::defaultCombo().display(us);
}

