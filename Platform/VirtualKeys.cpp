#include "Platform/VirtualKeys.h"

#include <array>
#include <cstring>

namespace {
struct Key
{
    quint32 code;
    const char* xkbName;
    const char16_t* usText;
};

// ANSI letters, digits and punctuation, the editing and function keys and the keypad. Apple's
// ISO keyboards swap the two keys around the left Shift: code 10 sits where PC keyboards have
// the extra key beside Shift (LSGT), code 50 at the top left (TLDE).
constexpr std::array keys {
    Key {0, "AC01", u"a"}, Key {1, "AC02", u"s"}, Key {2, "AC03", u"d"}, Key {3, "AC04", u"f"},
    Key {4, "AC06", u"h"}, Key {5, "AC05", u"g"}, Key {6, "AB01", u"z"}, Key {7, "AB02", u"x"},
    Key {8, "AB03", u"c"}, Key {9, "AB04", u"v"}, Key {10, "LSGT", u"<"}, Key {11, "AB05", u"b"},
    Key {12, "AD01", u"q"}, Key {13, "AD02", u"w"}, Key {14, "AD03", u"e"}, Key {15, "AD04", u"r"},
    Key {16, "AD06", u"y"}, Key {17, "AD05", u"t"}, Key {18, "AE01", u"1"}, Key {19, "AE02", u"2"},
    Key {20, "AE03", u"3"}, Key {21, "AE04", u"4"}, Key {22, "AE06", u"6"}, Key {23, "AE05", u"5"},
    Key {24, "AE12", u"="}, Key {25, "AE09", u"9"}, Key {26, "AE07", u"7"}, Key {27, "AE11", u"-"},
    Key {28, "AE08", u"8"}, Key {29, "AE10", u"0"}, Key {30, "AD12", u"]"}, Key {31, "AD09", u"o"},
    Key {32, "AD07", u"u"}, Key {33, "AD11", u"["}, Key {34, "AD08", u"i"}, Key {35, "AD10", u"p"},
    Key {36, "RTRN", u""}, Key {37, "AC09", u"l"}, Key {38, "AC07", u"j"}, Key {39, "AC11", u"'"},
    Key {40, "AC08", u"k"}, Key {41, "AC10", u";"}, Key {42, "BKSL", u"\\"}, Key {43, "AB08", u","},
    Key {44, "AB10", u"/"}, Key {45, "AB06", u"n"}, Key {46, "AB07", u"m"}, Key {47, "AB09", u"."},
    Key {48, "TAB", u""}, Key {49, "SPCE", u" "}, Key {50, "TLDE", u"`"}, Key {51, "BKSP", u""},
    Key {53, "ESC", u""}, Key {64, "FK17", u""}, Key {65, "KPDL", u"."}, Key {67, "KPMU", u"*"},
    Key {69, "KPAD", u"+"}, Key {75, "KPDV", u"/"}, Key {76, "KPEN", u""}, Key {78, "KPSU", u"-"},
    Key {79, "FK18", u""}, Key {80, "FK19", u""}, Key {81, "KPEQ", u"="}, Key {82, "KP0", u"0"},
    Key {83, "KP1", u"1"}, Key {84, "KP2", u"2"}, Key {85, "KP3", u"3"}, Key {86, "KP4", u"4"},
    Key {87, "KP5", u"5"}, Key {88, "KP6", u"6"}, Key {89, "KP7", u"7"}, Key {90, "FK20", u""},
    Key {91, "KP8", u"8"}, Key {92, "KP9", u"9"}, Key {93, "AE13", u"\u00a5"}, Key {94, "AB11", u"_"},
    Key {96, "FK05", u""}, Key {97, "FK06", u""}, Key {98, "FK07", u""}, Key {99, "FK03", u""},
    Key {100, "FK08", u""}, Key {101, "FK09", u""}, Key {103, "FK11", u""}, Key {105, "FK13", u""},
    Key {106, "FK16", u""}, Key {107, "FK14", u""}, Key {109, "FK10", u""}, Key {111, "FK12", u""},
    Key {113, "FK15", u""}, Key {114, "INS", u""}, Key {115, "HOME", u""}, Key {116, "PGUP", u""},
    Key {117, "DELE", u""}, Key {118, "FK04", u""}, Key {119, "END", u""}, Key {120, "FK02", u""},
    Key {121, "PGDN", u""}, Key {122, "FK01", u""}, Key {123, "LEFT", u""}, Key {124, "RGHT", u""},
    Key {125, "DOWN", u""}, Key {126, "UP", u""},
};

const Key* find(quint32 code)
{
    for (const Key& key : keys)
        if (key.code == code)
            return &key;
    return nullptr;
}
} // namespace

namespace VirtualKeys {

std::optional<QByteArray> xkbKeyName(quint32 virtualKeyCode)
{
    if (const Key* key = find(virtualKeyCode))
        return QByteArray(key->xkbName);
    return std::nullopt;
}

std::optional<quint32> virtualKeyCode(const QByteArray& xkbKeyName)
{
    for (const Key& key : keys)
        if (xkbKeyName == key.xkbName)
            return key.code;
    return std::nullopt;
}

QString usText(quint32 virtualKeyCode)
{
    if (const Key* key = find(virtualKeyCode))
        return QString::fromUtf16(key->usText);
    return {};
}

} // namespace VirtualKeys
