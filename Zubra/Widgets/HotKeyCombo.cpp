#include "Zubra/Widgets/HotKeyCombo.h"

#include "Platform/KeyLayout.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace {
std::optional<quint32> wholeNumber(const QJsonValue& value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (!(number >= 0 && number <= 4294967295.0) || std::floor(number) != number)
        return std::nullopt;
    return quint32(number);
}
} // namespace

QString HotKeyCombo::display(KeyLayout& layout) const
{
    QString text;
    if (modsCarbon & control)
        text += QStringLiteral("Ctrl+");
    if (modsCarbon & option)
        text += QStringLiteral("Alt+");
    if (modsCarbon & shift)
        text += QStringLiteral("Shift+");
    if (modsCarbon & command)
        text += QStringLiteral("Super+");
    return text + glyph(keyCode, layout);
}

std::optional<QString> HotKeyCombo::whyUnusable(KeyLayout& layout) const
{
    const quint32 mods = modsCarbon & (control | option | shift | command);
    const QString quoted = QString::fromUtf16(u"\u201c") + display(layout) + QString::fromUtf16(u"\u201d");
    if (mods == 0)
        return quoted + QStringLiteral(" has no Ctrl, Alt, Shift or Super: it would take that key from every app.");
    // The capture presses the key that types c with Ctrl (Ctrl+Shift in terminals): as the
    // shortcut, copying would capture, and a capture would set off another one.
    if ((mods == control || mods == (control | shift))
        && layout.keyText(keyCode).compare(QStringLiteral("c"), Qt::CaseInsensitive) == 0)
        return quoted + QStringLiteral(" is the copy keystroke Tessellon sends to capture. Choose another shortcut.");
    return std::nullopt;
}

QString HotKeyCombo::glyph(quint32 keyCode, KeyLayout& layout)
{
    const QString text = layout.keyText(keyCode);
    if (text.isEmpty())
        return QStringLiteral("?");
    // The first character, a surrogate pair kept whole.
    const qsizetype length = text.size() > 1 && text[0].isHighSurrogate() && text[1].isLowSurrogate() ? 2 : 1;
    const QString first = text.first(length);
    const char32_t codePoint = length == 2 ? QChar::surrogateToUcs4(text[0], text[1]) : text[0].unicode();
    if (!QChar::isPrint(codePoint))
        return QStringLiteral("?");
    return first.toUpper();
}

quint32 HotKeyCombo::carbonMods(Qt::KeyboardModifiers modifiers)
{
    quint32 bits = 0;
    if (modifiers & Qt::MetaModifier)
        bits |= command;
    if (modifiers & Qt::AltModifier)
        bits |= option;
    if (modifiers & Qt::ControlModifier)
        bits |= control;
    if (modifiers & Qt::ShiftModifier)
        bits |= shift;
    return bits;
}

Qt::KeyboardModifiers HotKeyCombo::qtModifiers(quint32 modsCarbon)
{
    Qt::KeyboardModifiers modifiers;
    if (modsCarbon & command)
        modifiers |= Qt::MetaModifier;
    if (modsCarbon & option)
        modifiers |= Qt::AltModifier;
    if (modsCarbon & control)
        modifiers |= Qt::ControlModifier;
    if (modsCarbon & shift)
        modifiers |= Qt::ShiftModifier;
    return modifiers;
}

QByteArray HotKeyCombo::toJson() const
{
    QJsonObject object;
    object.insert(QStringLiteral("keyCode"), qint64(keyCode));
    object.insert(QStringLiteral("modsCarbon"), qint64(modsCarbon));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<HotKeyCombo> HotKeyCombo::fromJson(const QByteArray& json)
{
    if (json.size() > 4096)
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const auto keyCode = wholeNumber(object.value(QStringLiteral("keyCode")));
    const auto mods = wholeNumber(object.value(QStringLiteral("modsCarbon")));
    if (!keyCode || !mods)
        return std::nullopt;
    return HotKeyCombo {*keyCode, *mods};
}

