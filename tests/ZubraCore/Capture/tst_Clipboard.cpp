#include "support/TestMain.h"

#include "Platform/Memory/MemoryPasteboard.h"
#include "ZubraCore/Capture/Clipboard.h"

#include <QStringEncoder>

using Items = QList<Pasteboard::ItemData>;
using OptionalString = std::optional<QString>;
using OptionalBytes = std::optional<QByteArray>;

namespace {

const QString customType = QStringLiteral("application/x-tessellon-test");

Items twoItems()
{
    return {
        {{PasteboardType::plainText, "first"}, {PasteboardType::html, "<b>first</b>"},
            {customType, QByteArray("\x00\x01\xff", 3)}},
        {{PasteboardType::plainText, "second"}},
    };
}

QByteArray utf16(const QString& text, QStringConverter::Encoding encoding, bool bom)
{
    QStringEncoder encoder(encoding, bom ? QStringEncoder::Flag::WriteBom : QStringEncoder::Flag::Default);
    return encoder.encode(text);
}

} // namespace

class TestClipboard : public QObject
{
    Q_OBJECT

private slots:
    void snapshotThenRestoreGivesBackEveryItem_data();
    void snapshotThenRestoreGivesBackEveryItem();
    void typeWithoutDataIsLeftOut();
    void restoreOfEmptySnapshot_data();
    void restoreOfEmptySnapshot();
    void refusedRestoreLeavesPasteboardAlone_data();
    void refusedRestoreLeavesPasteboardAlone();
    void silentOwnerStopsTheSnapshot();
    void failedWriteIsReported();
    void plainText_data();
    void plainText();
    void parsePageTitle_data();
    void parsePageTitle();
    void titleLimitCountsUtf8Bytes();
    void htmlTitleFromPasteboard_data();
    void htmlTitleFromPasteboard();
    void htmlAsUtf8_data();
    void htmlAsUtf8();
    void richTextFallbacks_data();
    void richTextFallbacks();
    void writeMarkdown_data();
    void writeMarkdown();
    void writePlainDropsTheHtml();
    void browserSourceURL_data();
    void browserSourceURL();
};

void TestClipboard::snapshotThenRestoreGivesBackEveryItem_data()
{
    QTest::addColumn<Items>("original");
    QTest::newRow("two items of three and one types") << twoItems();
    QTest::newRow("one item, one type") << Items {{{PasteboardType::plainText, "only"}}};
    QTest::newRow("binary data with NUL bytes") << Items {{{customType, QByteArray(70000, '\0') + "tail"}}};
    QTest::newRow("same type on several items")
        << Items {{{PasteboardType::plainText, "a"}}, {{PasteboardType::plainText, "b"}}, {{customType, "c"}}};
}

void TestClipboard::snapshotThenRestoreGivesBackEveryItem()
{
    QFETCH(Items, original);
    MemoryPasteboard pasteboard(original);
    const Clipboard::PasteboardSnapshot saved = Clipboard::snapshot(pasteboard);
    QVERIFY(saved.complete);
    QCOMPARE(saved.items, original);

    Clipboard::writePlain(QStringLiteral("what the copy left"), pasteboard);
    QVERIFY(pasteboard.items() != original);

    QVERIFY(Clipboard::restore(saved, pasteboard));
    QCOMPARE(pasteboard.items(), original);
}

void TestClipboard::typeWithoutDataIsLeftOut()
{
    MemoryPasteboard pasteboard(twoItems());
    pasteboard.offerWithoutData(0, PasteboardType::html);
    const auto saved = Clipboard::snapshot(pasteboard);
    QVERIFY(saved.complete);
    const Items expected = {
        {{PasteboardType::plainText, "first"}, {customType, QByteArray("\x00\x01\xff", 3)}},
        {{PasteboardType::plainText, "second"}},
    };
    QCOMPARE(saved.items, expected);
    QVERIFY(Clipboard::restore(saved, pasteboard));
    QCOMPARE(pasteboard.items(), expected);
}

void TestClipboard::restoreOfEmptySnapshot_data()
{
    QTest::addColumn<bool>("pasteboardGivesList");
    QTest::addColumn<bool>("expected");
    QTest::newRow("cleared pasteboard lists no items") << true << true;
    QTest::newRow("pasteboard gives no list after clearing") << false << false;
}

void TestClipboard::restoreOfEmptySnapshot()
{
    QFETCH(bool, pasteboardGivesList);
    QFETCH(bool, expected);
    MemoryPasteboard empty;
    const auto saved = Clipboard::snapshot(empty);
    QVERIFY(saved.complete);
    QVERIFY(saved.items.isEmpty());

    MemoryPasteboard pasteboard(twoItems());
    pasteboard.reportNoItemList(!pasteboardGivesList);
    QCOMPARE(Clipboard::restore(saved, pasteboard), expected);
    QVERIFY(pasteboard.items().isEmpty());
}

void TestClipboard::refusedRestoreLeavesPasteboardAlone_data()
{
    QTest::addColumn<Clipboard::PasteboardSnapshot>("saved");
    QTest::addColumn<bool>("complete");

    {
        // The second item offers a type but no readable data: its map stays empty.
        MemoryPasteboard source(twoItems());
        source.offerWithoutData(1, PasteboardType::plainText);
        QTest::newRow("item offering types without data") << Clipboard::snapshot(source) << true;
    }
    {
        MemoryPasteboard source(twoItems());
        source.neverAnswer(customType);
        QTest::newRow("owner never answers one type") << Clipboard::snapshot(source) << false;
    }
    {
        MemoryPasteboard source(twoItems());
        source.reportNoItemList(true);
        QTest::newRow("no item list") << Clipboard::snapshot(source) << false;
    }
    Clipboard::PasteboardSnapshot emptyFirst;
    emptyFirst.items = {{}, {{PasteboardType::plainText, "x"}}};
    QTest::newRow("empty map before a good one") << emptyFirst << true;
}

void TestClipboard::refusedRestoreLeavesPasteboardAlone()
{
    QFETCH(Clipboard::PasteboardSnapshot, saved);
    QFETCH(bool, complete);
    QCOMPARE(saved.complete, complete);

    const Items copied = {{{PasteboardType::plainText, "copied by the capture"}}};
    MemoryPasteboard pasteboard(copied);
    const qint64 before = pasteboard.changeCount();
    QVERIFY(!Clipboard::restore(saved, pasteboard));
    QCOMPARE(pasteboard.changeCount(), before);
    QCOMPARE(pasteboard.items(), copied);
}

void TestClipboard::silentOwnerStopsTheSnapshot()
{
    MemoryPasteboard pasteboard(twoItems());
    pasteboard.neverAnswer(PasteboardType::plainText);
    const auto saved = Clipboard::snapshot(pasteboard);
    QVERIFY(!saved.complete);
    // The budget is spent: nothing more is asked of the owner.
    QCOMPARE(pasteboard.dataReads(), QStringList {PasteboardType::plainText});
}

void TestClipboard::failedWriteIsReported()
{
    MemoryPasteboard pasteboard(twoItems());
    const auto saved = Clipboard::snapshot(pasteboard);
    pasteboard.failWrites(true);
    QVERIFY(!Clipboard::restore(saved, pasteboard));
}

void TestClipboard::plainText_data()
{
    QTest::addColumn<Items>("items");
    QTest::addColumn<OptionalString>("expected");
    const QString tabular = PasteboardType::tabularText;
    QTest::newRow("plain") << Items {{{PasteboardType::plainText, "caf\xc3\xa9"}}} << OptionalString(u"caf\u00e9"_qs);
    QTest::newRow("plain wins over tabular")
        << Items {{{tabular, "a\tb"}, {PasteboardType::plainText, "plain"}}} << OptionalString(u"plain"_qs);
    QTest::newRow("tabular alone") << Items {{{tabular, "a\tb"}}} << OptionalString(u"a\tb"_qs);
    QTest::newRow("UTF-8 variant alone") << Items {{{PasteboardType::utf8PlainText, "u"}}} << OptionalString(u"u"_qs);
    QTest::newRow("invalid UTF-8 falls to tabular")
        << Items {{{PasteboardType::plainText, "\xff\xfe"}, {tabular, "t"}}} << OptionalString(u"t"_qs);
    QTest::newRow("empty plain text is text") << Items {{{PasteboardType::plainText, ""}}} << OptionalString(u""_qs);
    QTest::newRow("only HTML") << Items {{{PasteboardType::html, "<p>x</p>"}}} << OptionalString();
    QTest::newRow("nothing") << Items {} << OptionalString();
}

void TestClipboard::plainText()
{
    QFETCH(Items, items);
    QFETCH(OptionalString, expected);
    MemoryPasteboard pasteboard(items);
    QCOMPARE(Clipboard::plainText(pasteboard), expected);
}

void TestClipboard::parsePageTitle_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<OptionalString>("expected");
    QTest::newRow("capitals, attribute, mixed-case close")
        << u"<html><head><TITLE lang=\"en\">  Hello\n   big\tWorld \n</TiTlE></head>"_qs
        << OptionalString(u"Hello big World"_qs);
    QTest::newRow("doubly escaped ampersand decoded once")
        << u"<title>a &amp;amp; b</title>"_qs << OptionalString(u"a &amp; b"_qs);
    QTest::newRow("escaped ampersand then lt becomes <") << u"<title>&amp;lt;x</title>"_qs << OptionalString(u"<x"_qs);
    QTest::newRow("the five entities") << u"<title>&lt;b&gt; &quot;q&quot; &#39;s&#39; &amp;</title>"_qs
                                       << OptionalString(u"<b> \"q\" 's' &"_qs);
    QTest::newRow("other entities stay") << u"<title>a&nbsp;b&#x41;</title>"_qs << OptionalString(u"a&nbsp;b&#x41;"_qs);
    QTest::newRow("longer tag name matches") << u"<titlebar>T</title>"_qs << OptionalString(u"T"_qs);
    QTest::newRow("first title wins") << u"<title>one</title><title>two</title>"_qs << OptionalString(u"one"_qs);
    QTest::newRow("non-ASCII kept") << u"<title>Caf\u00e9 \u2014 \U0001F600</title>"_qs
                                    << OptionalString(u"Caf\u00e9 \u2014 \U0001F600"_qs);
    QTest::newRow("empty title") << u"<title></title>"_qs << OptionalString();
    QTest::newRow("spaces only") << u"<title> \n\t </title>"_qs << OptionalString();
    QTest::newRow("no closing tag") << u"<title>open"_qs << OptionalString();
    QTest::newRow("opening tag never ends") << u"<title"_qs << OptionalString();
    QTest::newRow("no title") << u"<p>text</p>"_qs << OptionalString();
    QTest::newRow("closing before opening") << u"</title><title>x"_qs << OptionalString();
}

void TestClipboard::parsePageTitle()
{
    QFETCH(QString, html);
    QFETCH(OptionalString, expected);
    QCOMPARE(Clipboard::parsePageTitle(html), expected);
}

void TestClipboard::titleLimitCountsUtf8Bytes()
{
    // Padding of two-byte characters: the UTF-16 size stays far below the limit, the UTF-8 size
    // reaches it exactly.
    const QString head = QStringLiteral("<title>t</title>");
    const qsizetype room = Clipboard::maxTitleHtmlBytes - head.size();
    QCOMPARE(room % 2, 0);
    const QString atLimit = head + QString(room / 2, QChar(0x00e9));
    QCOMPARE(atLimit.toUtf8().size(), Clipboard::maxTitleHtmlBytes);
    QCOMPARE(Clipboard::parsePageTitle(atLimit), OptionalString(u"t"_qs));
    QCOMPARE(Clipboard::parsePageTitle(atLimit + u'x'), OptionalString());

    // The pasteboard reader refuses by the byte count before decoding.
    MemoryPasteboard pasteboard({{{PasteboardType::html, atLimit.toUtf8()}}});
    QCOMPARE(Clipboard::htmlTitle(pasteboard), OptionalString(u"t"_qs));
    pasteboard.replaceContent({{{PasteboardType::html, (atLimit + u'x').toUtf8()}}});
    QCOMPARE(Clipboard::htmlTitle(pasteboard), OptionalString());
}

void TestClipboard::htmlTitleFromPasteboard_data()
{
    QTest::addColumn<QByteArray>("html");
    QTest::addColumn<OptionalString>("expected");
    const QString page = u"<html><title>Gr\u00fc\u00dfe</title></html>"_qs;
    QTest::newRow("UTF-8") << page.toUtf8() << OptionalString(u"Gr\u00fc\u00dfe"_qs);
    QTest::newRow("UTF-16LE with mark") << utf16(page, QStringConverter::Utf16LE, true)
                                        << OptionalString(u"Gr\u00fc\u00dfe"_qs);
    QTest::newRow("invalid UTF-8") << QByteArray("<title>a\xff</title>") << OptionalString();
}

void TestClipboard::htmlTitleFromPasteboard()
{
    QFETCH(QByteArray, html);
    QFETCH(OptionalString, expected);
    MemoryPasteboard pasteboard({{{PasteboardType::plainText, "x"}, {PasteboardType::html, html}}});
    QCOMPARE(Clipboard::htmlTitle(pasteboard), expected);
}

void TestClipboard::htmlAsUtf8_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");
    const QString text = u"<p>\u00e9\U0001F600</p>"_qs;
    QTest::newRow("UTF-8 unchanged") << text.toUtf8() << text.toUtf8();
    QTest::newRow("UTF-16LE mark") << utf16(text, QStringConverter::Utf16LE, true) << text.toUtf8();
    QTest::newRow("UTF-16BE mark") << utf16(text, QStringConverter::Utf16BE, true) << text.toUtf8();
    QTest::newRow("UTF-16LE bare") << utf16(text, QStringConverter::Utf16LE, false) << text.toUtf8();
    QTest::newRow("UTF-16BE bare") << utf16(text, QStringConverter::Utf16BE, false) << text.toUtf8();
    const QByteArray oddLength = QByteArray("\xff\xfe<\x00p", 5);
    QTest::newRow("odd length kept as given") << oddLength << oddLength;
    const QByteArray loneSurrogate = QByteArray("\xff\xfe\x00\xd8<\x00", 6);
    QTest::newRow("lone surrogate kept as given") << loneSurrogate << loneSurrogate;
    QTest::newRow("one byte") << QByteArray("<") << QByteArray("<");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestClipboard::htmlAsUtf8()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);
    QCOMPARE(Clipboard::htmlAsUtf8(input), expected);
}

void TestClipboard::richTextFallbacks_data()
{
    QTest::addColumn<Items>("items");
    QTest::addColumn<QString>("expectedText"); // empty: no result
    QTest::addColumn<QStringList>("expectedReads");

    const QByteArray html = "<html><body><p>from <b>html</b></p></body></html>";
    const QByteArray rtf = "{\\rtf1\\ansi from {\\b rtf}\\par}";
    const QByteArray tooLarge = "<p>" + QByteArray(1100000, 'x') + "</p>";
    const QString h = PasteboardType::html, r = PasteboardType::rtf, d = PasteboardType::rtfd;

    QTest::newRow("HTML first") << Items {{{r, rtf}, {h, html}}} << u"from html"_qs << QStringList {h};
    QTest::newRow("HTML as UTF-16") << Items {{{h, utf16(QString::fromUtf8(html), QStringConverter::Utf16LE, true)}}}
                                    << u"from html"_qs << QStringList {h};
    QTest::newRow("refused HTML falls back to RTF")
        << Items {{{h, tooLarge}, {r, rtf}}} << u"from rtf"_qs << QStringList {h, r};
    QTest::newRow("RTF under its other names")
        << Items {{{u"text/richtext"_qs, "{\\rtf1 late}"}, {u"application/rtf"_qs, rtf}}} << u"from rtf"_qs
        << QStringList {u"application/rtf"_qs};
    QTest::newRow("corrupt RTF stops before RTFD")
        << Items {{{r, "{\\rtf1 unclosed {\\b group"}, {d, "rtfd"}}} << QString() << QStringList {r};
    QTest::newRow("RTFD last") << Items {{{PasteboardType::plainText, "x"}, {d, "rtfd"}}} << QString()
                               << QStringList {d};
    QTest::newRow("plain text only") << Items {{{PasteboardType::plainText, "x"}}} << QString() << QStringList {};
}

void TestClipboard::richTextFallbacks()
{
    QFETCH(Items, items);
    QFETCH(QString, expectedText);
    QFETCH(QStringList, expectedReads);
    MemoryPasteboard pasteboard(items);
    const auto rich = Clipboard::richAttributedString(pasteboard);
    QCOMPARE(pasteboard.dataReads(), expectedReads);
    QCOMPARE(rich.has_value(), !expectedText.isEmpty());
    if (rich)
        QCOMPARE(rich->text().simplified(), expectedText);
}

void TestClipboard::writeMarkdown_data()
{
    QTest::addColumn<QString>("markdown");
    QTest::addColumn<QStringList>("htmlFragments"); // empty: no HTML
    QTest::newRow("heading and emphasis")
        << u"# Title\n\nSome *em* and `code`"_qs
        << QStringList {u"<h1>Title</h1>"_qs, u"<em>em</em>"_qs, u"<code>code</code>"_qs, u"</html>"_qs};
    QTest::newRow("non-ASCII") << u"caf\u00e9 \u2014 \U0001F600"_qs << QStringList {u"caf\u00e9 \u2014 \U0001F600"_qs};
    QTest::newRow("empty text") << QString() << QStringList {};
}

void TestClipboard::writeMarkdown()
{
    QFETCH(QString, markdown);
    QFETCH(QStringList, htmlFragments);
    MemoryPasteboard pasteboard(twoItems());
    Clipboard::writeMarkdown(markdown, pasteboard);

    QCOMPARE(pasteboard.string(PasteboardType::plainText), OptionalString(markdown));
    QCOMPARE(pasteboard.string(PasteboardType::utf8PlainText), OptionalString(markdown));
    const auto html = pasteboard.data(PasteboardType::html);
    QCOMPARE(html.has_value(), !htmlFragments.isEmpty());
    for (const QString& fragment : htmlFragments)
        QVERIFY2(QString::fromUtf8(*html).contains(fragment), qPrintable(fragment));
    // One item, nothing of the earlier content left.
    QCOMPARE(pasteboard.items().size(), 1);
    QVERIFY(!pasteboard.data(customType));
}

void TestClipboard::writePlainDropsTheHtml()
{
    MemoryPasteboard pasteboard;
    Clipboard::writeMarkdown(u"# Heading"_qs, pasteboard);
    QVERIFY(pasteboard.data(PasteboardType::html));
    Clipboard::writePlain(u"plain \u00e9"_qs, pasteboard);
    const Items expected
        = {{{PasteboardType::plainText, "plain \xc3\xa9"}, {PasteboardType::utf8PlainText, "plain \xc3\xa9"}}};
    QCOMPARE(pasteboard.items(), expected);
    QCOMPARE(Clipboard::plainText(pasteboard), OptionalString(u"plain \u00e9"_qs));
}

TESSELLON_TEST_MAIN(TestClipboard)
#include "tst_Clipboard.moc"

// The address a browser puts beside its copy: decoded strictly, kept exactly as given, and only
// a single http, https or file address.
void TestClipboard::browserSourceURL_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<OptionalString>("expected");
    const QString firefox = PasteboardType::firefoxSourceURL;
    const QString chromium = PasteboardType::chromiumSourceURL;
    const QString page = QStringLiteral("https://example.org/caf\u00e9?q=a%20b#top");
    QTest::newRow("Firefox, UTF-16") << firefox << utf16(page, QStringConverter::Utf16LE, false)
                                     << OptionalString(page);
    QTest::newRow("Firefox, with a byte-order mark")
        << firefox << utf16(page, QStringConverter::Utf16BE, true) << OptionalString(page);
    QTest::newRow("Firefox, ended by a NUL")
        << firefox << utf16(page + QChar(0), QStringConverter::Utf16LE, false) << OptionalString(page);
    QTest::newRow("Firefox, odd byte count")
        << firefox << utf16(page, QStringConverter::Utf16LE, false).chopped(1) << OptionalString();
    QTest::newRow("Firefox, lone surrogate") << firefox << QByteArray("h\0t\0\x00\xd8", 6) << OptionalString();
    QTest::newRow("Chromium, UTF-8 with a line feed") << chromium << (page.toUtf8() + '\n') << OptionalString(page);
    QTest::newRow("Chromium, a local page")
        << chromium << QByteArray("file:///tmp/a%20b.html") << OptionalString(QStringLiteral("file:///tmp/a%20b.html"));
    QTest::newRow("Chromium, invalid UTF-8") << chromium << QByteArray("https://x.org/\xff") << OptionalString();
    QTest::newRow("two addresses") << chromium << QByteArray("https://a.org/\nhttps://b.org/") << OptionalString();
    QTest::newRow("a space inside") << chromium << QByteArray("https://a.org/x y") << OptionalString();
    QTest::newRow("script address") << chromium << QByteArray("javascript:alert(1)") << OptionalString();
    QTest::newRow("no host") << chromium << QByteArray("https:///path") << OptionalString();
    QTest::newRow("not an address") << chromium << QByteArray("hello") << OptionalString();
    QTest::newRow("empty") << chromium << QByteArray() << OptionalString();
    QTest::newRow("oversized") << chromium << ("https://a.org/" + QByteArray(Clipboard::maxSourceURLBytes, 'a'))
                               << OptionalString();
}

void TestClipboard::browserSourceURL()
{
    QFETCH(QString, type);
    QFETCH(QByteArray, bytes);
    QFETCH(OptionalString, expected);
    MemoryPasteboard pasteboard(Items {{{PasteboardType::plainText, "text"}, {type, bytes}}});
    QCOMPARE(Clipboard::browserSourceURL(pasteboard), expected);
}
