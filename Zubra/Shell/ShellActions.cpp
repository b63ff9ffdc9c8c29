#include "Zubra/Shell/ShellActions.h"

#include "Zubra/Shell/HotKeyCombo.h"

QString NoShellActions::hotkeyDisplay()
{
    return HotKeyCombo::defaultCombo().display();
}
