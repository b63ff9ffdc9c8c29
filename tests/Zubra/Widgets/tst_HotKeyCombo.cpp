// The capture shortcut as a value: its display on a layout, its stored form, and the tables
// that turn key positions and modifiers into the desktop's terms and back.

#include "Platform/KeyLayout.h"
#include "Platform/VirtualKeys.h"
#include "Zubra/Widgets/HotKeyCombo.h"
#include "support/TestMain.h"

#include <QHash>
#include <QSet>

namespace {
// A layout whose keys type whatever the test says.
class TableLayout final : public KeyLayout
{
public:
    QString keyText(quint32 code) override { return texts.value(code); }
    std::optional<quint32> virtualKeyCode(quint32) override { return std::nullopt; }
    QHash<quint32, QString> texts;
};
} // namespace

class TestHotKeyCombo : public QObject
{
    Q_OBJECT

private slots:
    void display_data()
    {
        QTest::addColumn<quint32>("keyCode");
        QTest::addColumn<quint32>("mods");
        QTest::addColumn<QString>("keyText"); // what the layout gives for the key
        QTest::addColumn<QString>("display");
        QTest::newRow("the default") << 8u << 0x1900u << "c"
                                     << "Ctrl+Alt+Super+C";
        QTest::newRow("order is fixed whatever the bits") << 8u << (0x100u | 0x200u | 0x800u) << "c"
                                                          << "Alt+Shift+Super+C";
        QTest::newRow("all four") << 0u << 0x1b00u << "a"
                                  << "Ctrl+Alt+Shift+Super+A";
        QTest::newRow("no modifiers") << 18u << 0u << "1"
                                      << "1";
        QTest::newRow("unknown bits ignored") << 8u << (0x1000u | 0x1u | 0x40000u) << "c"
                                              << "Ctrl+C";
        QTest::newRow("another layout's letter") << 16u << 0x1000u << "z"
                                                 << "Ctrl+Z";
        QTest::newRow("accented letter upper-cased")
            << 41u << 0x800u << QStringLiteral("\u00f6") << QStringLiteral("Alt+\u00d6");
        QTest::newRow("first character only") << 8u << 0x1000u << "ch"
                                              << "Ctrl+C";
        QTest::newRow("beyond the BMP kept whole")
            << 8u << 0x1000u << QStringLiteral("\U0001D49Cx") << QStringLiteral("Ctrl+\U0001D49C");
        QTest::newRow("types nothing") << 122u << 0x1000u << ""
                                       << "Ctrl+?";
        QTest::newRow("control character") << 36u << 0x1000u << "\r"
                                           << "Ctrl+?";
        QTest::newRow("key code beyond 16 bits") << 0x12345u << 0x1000u << ""
                                                 << "Ctrl+?";
    }
    void display()
    {
        QFETCH(quint32, keyCode);
        QFETCH(quint32, mods);
        QFETCH(QString, keyText);
        QFETCH(QString, display);
        TableLayout layout;
        layout.texts.insert(keyCode, keyText);
        QCOMPARE((HotKeyCombo {keyCode, mods}.display(layout)), display);
    }

    void unusableCombinations_data()
    {
        QTest::addColumn<quint32>("keyCode");
        QTest::addColumn<quint32>("mods");
        QTest::addColumn<QString>("keyText");
        QTest::addColumn<QString>("why"); // empty: usable
        const QString copy
            = QStringLiteral(" is the copy keystroke Tessellon sends to capture. Choose another shortcut.");
        const QString bare
            = QStringLiteral(" has no Ctrl, Alt, Shift or Super: it would take that key from every app.");
        const auto quoted = [](const char* text) {
            return QString::fromUtf16(u"\u201c") + QString::fromLatin1(text) + QString::fromUtf16(u"\u201d");
        };
        QTest::newRow("the default") << 8u << 0x1900u << "c"
                                     << "";
        QTest::newRow("a bare key") << 8u << 0u << "c" << quoted("C") + bare;
        QTest::newRow("only bits that are no modifier") << 9u << 0x40001u << "v" << quoted("V") + bare;
        QTest::newRow("Ctrl+C") << 8u << 0x1000u << "c" << quoted("Ctrl+C") + copy;
        QTest::newRow("Ctrl+Shift+C") << 8u << 0x1200u << "c" << quoted("Ctrl+Shift+C") + copy;
        QTest::newRow("Ctrl+C with a stray bit") << 8u << 0x1001u << "c" << quoted("Ctrl+C") + copy;
        // The copy keystroke is the key that types c, wherever the layout puts it.
        QTest::newRow("c elsewhere on the layout") << 34u << 0x1000u << "c" << quoted("Ctrl+C") + copy;
        QTest::newRow("where c is on US, another letter") << 8u << 0x1000u << "j"
                                                          << "";
        QTest::newRow("Ctrl+Alt+C") << 8u << 0x1800u << "c"
                                    << "";
        QTest::newRow("Shift+C") << 8u << 0x200u << "c"
                                 << "";
        QTest::newRow("Super+C") << 8u << 0x100u << "c"
                                 << "";
        QTest::newRow("Ctrl+V") << 9u << 0x1000u << "v"
                                << "";
    }
    void unusableCombinations()
    {
        QFETCH(quint32, keyCode);
        QFETCH(quint32, mods);
        QFETCH(QString, keyText);
        QFETCH(QString, why);
        TableLayout layout;
        layout.texts.insert(keyCode, keyText);
        QCOMPARE((HotKeyCombo {keyCode, mods}.whyUnusable(layout)).value_or(QString()), why);
    }

    void storedForm_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<quint32>("keyCode");
        QTest::addColumn<quint32>("mods");
        QTest::newRow("the default as stored")
            << QByteArray(R"({"keyCode":8,"modsCarbon":6400})") << true << 8u << 6400u;
        QTest::newRow("members in any order, extra ignored")
            << QByteArray(R"({"modsCarbon":4096,"x":1,"keyCode":49})") << true << 49u << 4096u;
        QTest::newRow("largest values") << QByteArray(R"({"keyCode":4294967295,"modsCarbon":0})") << true << 4294967295u
                                        << 0u;
        QTest::newRow("a member missing") << QByteArray(R"({"keyCode":8})") << false << 0u << 0u;
        QTest::newRow("a string number") << QByteArray(R"({"keyCode":"8","modsCarbon":6400})") << false << 0u << 0u;
        QTest::newRow("negative") << QByteArray(R"({"keyCode":-1,"modsCarbon":6400})") << false << 0u << 0u;
        QTest::newRow("fraction") << QByteArray(R"({"keyCode":8.5,"modsCarbon":6400})") << false << 0u << 0u;
        QTest::newRow("beyond 32 bits") << QByteArray(R"({"keyCode":4294967296,"modsCarbon":0})") << false << 0u << 0u;
        QTest::newRow("an array") << QByteArray("[8,6400]") << false << 0u << 0u;
        QTest::newRow("not JSON") << QByteArray("Ctrl+Alt+Super+C") << false << 0u << 0u;
        QTest::newRow("empty") << QByteArray() << false << 0u << 0u;
    }
    void storedForm()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, valid);
        QFETCH(quint32, keyCode);
        QFETCH(quint32, mods);
        const auto combo = HotKeyCombo::fromJson(json);
        QCOMPARE(combo.has_value(), valid);
        if (!combo)
            return;
        QCOMPARE(*combo, (HotKeyCombo {keyCode, mods}));
        // Written back, it reads as the same combination.
        QCOMPARE(HotKeyCombo::fromJson(combo->toJson()), combo);
    }

    void defaultIsWrittenWithBothNumbers()
    {
        QCOMPARE(HotKeyCombo::defaultCombo().toJson(), QByteArray(R"({"keyCode":8,"modsCarbon":6400})"));
    }

    void modifierFlagsBothWays_data()
    {
        QTest::addColumn<int>("qt");
        QTest::addColumn<quint32>("bits");
        QTest::newRow("none") << 0 << 0u;
        QTest::newRow("control") << int(Qt::ControlModifier) << 0x1000u;
        QTest::newRow("alt is option") << int(Qt::AltModifier) << 0x800u;
        QTest::newRow("shift") << int(Qt::ShiftModifier) << 0x200u;
        QTest::newRow("meta is command") << int(Qt::MetaModifier) << 0x100u;
        QTest::newRow("all") << int(Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier | Qt::MetaModifier)
                             << 0x1b00u;
    }
    void modifierFlagsBothWays()
    {
        QFETCH(int, qt);
        QFETCH(quint32, bits);
        QCOMPARE(HotKeyCombo::carbonMods(Qt::KeyboardModifiers(qt)), bits);
        QCOMPARE(int(HotKeyCombo::qtModifiers(bits)), qt);
        // Flags without a bit are ignored on the way in.
        QCOMPARE(
            HotKeyCombo::carbonMods(Qt::KeyboardModifiers(qt) | Qt::KeypadModifier | Qt::GroupSwitchModifier), bits);
    }

    void keyPositionsBothWays()
    {
        QSet<QByteArray> names;
        int known = 0;
        for (quint32 code = 0; code < 256; ++code) {
            const auto name = VirtualKeys::xkbKeyName(code);
            if (!name)
                continue;
            ++known;
            QVERIFY2(!names.contains(*name), name->constData());
            names.insert(*name);
            QCOMPARE(VirtualKeys::virtualKeyCode(*name), code);
        }
        // Every letter, digit and the punctuation of the main block has a position.
        QVERIFY(known >= 100);
        QVERIFY(!VirtualKeys::virtualKeyCode("LFSH")); // modifiers are not hotkey keys
        QVERIFY(!VirtualKeys::xkbKeyName(52));
    }

    void keyPositions_data()
    {
        QTest::addColumn<quint32>("code");
        QTest::addColumn<QByteArray>("xkb");
        QTest::addColumn<QString>("us");
        QTest::newRow("c") << 8u << QByteArray("AB03") << "c";
        QTest::newRow("a, home row start") << 0u << QByteArray("AC01") << "a";
        QTest::newRow("h and g are not in order") << 4u << QByteArray("AC06") << "h";
        QTest::newRow("y and t are not in order") << 16u << QByteArray("AD06") << "y";
        QTest::newRow("6 before 5") << 22u << QByteArray("AE06") << "6";
        QTest::newRow("grave at top left") << 50u << QByteArray("TLDE") << "`";
        QTest::newRow("space") << 49u << QByteArray("SPCE") << " ";
        QTest::newRow("F1 types nothing") << 122u << QByteArray("FK01") << "";
        QTest::newRow("keypad 8 skips 90") << 91u << QByteArray("KP8") << "8";
    }
    void keyPositions()
    {
        QFETCH(quint32, code);
        QFETCH(QByteArray, xkb);
        QFETCH(QString, us);
        QCOMPARE(VirtualKeys::xkbKeyName(code), xkb);
        QCOMPARE(VirtualKeys::usText(code), us);
    }
};

TESSELLON_TEST_MAIN(TestHotKeyCombo)
#include "tst_HotKeyCombo.moc"
