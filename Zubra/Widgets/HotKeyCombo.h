#pragma once
// The capture shortcut as a value: a virtual key code and the modifier keys as bits (command
// 0x100, shift 0x200, option 0x800, control 0x1000), with its stored and displayed forms.

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <memory>
#include <optional>

class KeyLayout;

struct HotKeyCombo
{
    quint32 keyCode = 0;
    quint32 modsCarbon = 0;

    static constexpr quint32 command = 0x100;
    static constexpr quint32 shift = 0x200;
    static constexpr quint32 option = 0x800;
    static constexpr quint32 control = 0x1000;

    // Control-Option-Command and the key that types c on a US layout.
    static HotKeyCombo defaultCombo() { return {8, control | option | command}; }

    // "Ctrl+", "Alt+", "Shift+", "Super+" for the modifiers present, always in that order, then
    // the key's text on the layout.
    QString display(KeyLayout& layout) const;
    // The key's first character on the layout, upper-cased; "?" when it types nothing printable.
    static QString glyph(quint32 keyCode, KeyLayout& layout);

    // Why the combination cannot be the capture shortcut, as a sentence for the user; nothing
    // when it can. Without Ctrl, Alt, Shift or Super it would take a plain key from every
    // application; Ctrl+C and Ctrl+Shift+C are the copy keystrokes a capture sends itself.
    std::optional<QString> whyUnusable(KeyLayout& layout) const;

    // The modifier bits of Qt's modifier flags: Ctrl → control, Alt → option, Shift → shift,
    // Meta (Super) → command; every other flag is ignored.
    static quint32 carbonMods(Qt::KeyboardModifiers modifiers);
    // The Qt modifier flags of modifier bits; the other bits are ignored.
    static Qt::KeyboardModifiers qtModifiers(quint32 modsCarbon);

    // The stored form: a JSON object with the numbers "keyCode" and "modsCarbon".
    QByteArray toJson() const;
    // Nothing unless both members are there as whole numbers from 0 to 2^32 - 1.
    static std::optional<HotKeyCombo> fromJson(const QByteArray& json);

    friend bool operator==(const HotKeyCombo&, const HotKeyCombo&) = default;
};
