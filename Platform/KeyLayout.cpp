#include "Platform/KeyLayout.h"

#include "Platform/VirtualKeys.h"

QString UsKeyLayout::keyText(quint32 virtualKeyCode)
{
    return VirtualKeys::usText(virtualKeyCode);
}
