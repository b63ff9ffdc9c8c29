#include "support/TestMain.h"

#include "ZubraCore/Library/ContextDraft.h"
#include "ZubraCore/Library/Selection.h"
#include "ZubraCore/Library/SelectionGroup.h"
#include "ZubraCore/Text/Uuids.h"

#include <QSet>
#include <algorithm>

using OptString = std::optional<QString>;
Q_DECLARE_METATYPE(OptString)

namespace {

Selection makeSelection(const QString& text, const QString& app = u"Safari"_qs, OptString url = std::nullopt,
    OptString title = std::nullopt, OptString path = std::nullopt)
{
    return Selection::make(QUuid::createUuid(), text, std::nullopt, app, u"com.example.app"_qs, url, title, path, {},
        QDateTime(QDate(2025, 3, 14), QTime(9, 26, 53), Qt::UTC));
}

} // namespace

class TestRecords : public QObject
{
    Q_OBJECT

private slots:
    void markdownDefaultsToText();
    void markdownReadsBackAsSet_data();
    void markdownReadsBackAsSet();
    void markdownComparesByValue();
    void headline_data();
    void headline();
    void sourceLabelAndDetail_data();
    void sourceLabelAndDetail();
    void identity_data();
    void identity();
    void identityOrdering();
    void equalityAndHashCoverEveryField();
    void hexColor_data();
    void hexColor();
    void draftDerivedValues_data();
    void draftDerivedValues();
    void draftEqualityKeepsEntryOrder();
    void uuidText_data();
    void uuidText();
};

void TestRecords::markdownDefaultsToText()
{
    const QUuid id = QUuid::createUuid();
    QCOMPARE(Selection::make(id, u"body"_qs, std::nullopt, u"App"_qs).markdown(), u"body"_qs);
    QCOMPARE(Selection::make(id, u"body"_qs, QString(u""_qs), u"App"_qs).markdown(), QString());
    QCOMPARE(Selection::make(id, u"body"_qs, u"**body**"_qs, u"App"_qs).markdown(), u"**body**"_qs);
}

void TestRecords::markdownReadsBackAsSet_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("markdown");
    QTest::addColumn<bool>("sharesText");

    const QString paragraph = u"The quick brown fox jumps over the lazy dog near the river bank."_qs;
    QTest::newRow("equal") << paragraph << paragraph << true;
    QTest::newRow("equal, another string") << paragraph << QString(paragraph.constData(), paragraph.size()) << true;
    QTest::newRow("bold run near the start")
        << paragraph << u"The **quick** brown fox jumps over the lazy dog near the river bank."_qs << false;
    QTest::newRow("link in the middle")
        << paragraph << u"The quick brown fox [jumps](https://example.org) over the lazy dog near the river bank."_qs
        << false;
    QTest::newRow("heading marker") << paragraph << u"## "_qs + paragraph << false;
    QTest::newRow("quote prefix") << paragraph << u"> "_qs + paragraph << false;
    QTest::newRow("trailing insertion") << paragraph << paragraph + u"  \n"_qs << false;
    QTest::newRow("deletion, empty middle")
        << paragraph << u"The quick fox jumps over the lazy dog near the river bank."_qs << false;
    QTest::newRow("prefix and suffix overlap") << u"abababababababab"_qs << u"ababababababababab"_qs << false;
    QTest::newRow("markdown is the text's beginning") << paragraph << paragraph.first(40) << false;
    QTest::newRow("mostly different") << paragraph << u"A different sentence, entirely. bank."_qs << false;
    QTest::newRow("nothing shared") << u"abc"_qs << u"xyz"_qs << false;
    QTest::newRow("empty markdown") << paragraph << QString() << false;
    QTest::newRow("empty text") << QString() << u"**bold**"_qs << false;
    QTest::newRow("surrogate pair differing in its low half")
        << u"smile \U0001F600 and carry on with the day"_qs << u"smile \U0001F601 and carry on with the day"_qs << false;
    QTest::newRow("surrogate pair differing in its high half")
        << u"smile \U0001F600 and carry on with the day"_qs << u"smile \U0002F600 and carry on with the day"_qs << false;
    QTest::newRow("combining mark inserted")
        << u"resume of the year, in full"_qs << u"resume\u0301 of the year, in full"_qs << false;
}

// The markdown reads back as set, shares the text's string when equal to it, and keeps its value
// when the text changes.
void TestRecords::markdownReadsBackAsSet()
{
    QFETCH(QString, text);
    QFETCH(QString, markdown);
    QFETCH(bool, sharesText);
    Selection s = makeSelection(text);
    s.setMarkdown(markdown);
    QCOMPARE(s.markdown(), markdown);
    QCOMPARE(s.markdownSize(), markdown.size());
    QCOMPARE(!s.text.isEmpty() && s.markdown().constData() == s.text.constData(), sharesText);

    Selection copy = s;
    copy.setMarkdown(QString(markdown.constData(), markdown.size()));
    QCOMPARE(copy, s);
    QCOMPARE(qHash(copy), qHash(s));

    s.text = u"replaced"_qs;
    QCOMPARE(s.markdown(), markdown);
    copy.text = s.text;
    QCOMPARE(copy, s);
}

void TestRecords::markdownComparesByValue()
{
    const QString text = u"alpha beta gamma delta epsilon zeta eta theta"_qs;
    Selection a = makeSelection(text);
    a.setMarkdown(u"alpha **beta** gamma delta epsilon zeta eta theta"_qs);
    // The same value against another text: an equal markdown.
    Selection b = a;
    b.text = u"alpha **beta** gamma delta"_qs;
    b.setMarkdown(u"alpha **beta** gamma delta epsilon zeta eta theta"_qs);
    QCOMPARE(a.markdown(), b.markdown());
    QCOMPARE(a.markdown().constData() == a.text.constData(), false);
    // One code unit changed, in each piece in turn.
    const QString value = a.markdown();
    for (const qsizetype at : {qsizetype(1), value.indexOf(u'*') + 1, value.size() - 2}) {
        QString changed = value;
        changed[at] = u'#';
        Selection c = a;
        c.setMarkdown(changed);
        QVERIFY(c.markdown() != a.markdown());
        QVERIFY(c.markdown() != b.markdown());
        QVERIFY(c != a);
    }
}

void TestRecords::headline_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("headline");

    QTest::newRow("leading blank lines") << u"  \n\nFirst line\nSecond line   "_qs << u"First line"_qs;
    QTest::newRow("blank") << u"  \n \n  "_qs << QString();
    QTest::newRow("single long line") << QString(5000, u'x') << QString(5000, u'x');
    QTest::newRow("CR LF is one line") << u"one\r\ntwo"_qs << u"one\r\ntwo"_qs;
    QTest::newRow("LF after CR LF ends it") << u"one\r\n\ntwo"_qs << u"one\r\n"_qs;
    QTest::newRow("trimmed inside the first line") << u"\t word  \nnext"_qs << u"word  "_qs;
    QTest::newRow("unicode space trimmed") << u"\u2003title\u2003"_qs << u"title"_qs;
}

void TestRecords::headline()
{
    QFETCH(QString, text);
    QFETCH(QString, headline);
    QCOMPARE(makeSelection(text).headline(), headline);
}

void TestRecords::sourceLabelAndDetail_data()
{
    QTest::addColumn<OptString>("url");
    QTest::addColumn<OptString>("title");
    QTest::addColumn<OptString>("path");
    QTest::addColumn<OptString>("label");
    QTest::addColumn<OptString>("detail");

    const OptString none;
    const OptString url = u"https://Example.com/a%20b"_qs;
    QTest::newRow("blank title falls to url") << url << OptString(u"   "_qs) << none << url << url;
    QTest::newRow("title trimmed") << url << OptString(u"  Word \n"_qs) << none << OptString(u"Word"_qs) << url;
    QTest::newRow("empty path kept") << none << none << OptString(u""_qs) << OptString(u""_qs) << OptString(u""_qs);
    QTest::newRow("nothing") << none << none << none << none << none;
    QTest::newRow("path without title") << none << none << OptString(u"/tmp/a.txt"_qs) << OptString(u"/tmp/a.txt"_qs)
                                        << OptString(u"/tmp/a.txt"_qs);
    QTest::newRow("url wins over path") << url << none << OptString(u"/tmp/a.txt"_qs) << url << url;
}

void TestRecords::sourceLabelAndDetail()
{
    QFETCH(OptString, url);
    QFETCH(OptString, title);
    QFETCH(OptString, path);
    QFETCH(OptString, label);
    QFETCH(OptString, detail);
    const Selection s = makeSelection(u"x"_qs, u"App"_qs, url, title, path);
    QCOMPARE(s.sourceLabel(), label);
    QCOMPARE(s.sourceDetail(), detail);
}

void TestRecords::identity_data()
{
    QTest::addColumn<OptString>("url");
    QTest::addColumn<OptString>("path");
    QTest::addColumn<QString>("identifier");
    QTest::addColumn<bool>("keepsUrl");
    QTest::addColumn<bool>("keepsPath");
    QTest::addColumn<OptString>("detail");

    const OptString none;
    // The address is kept exactly: no host lower-casing or re-encoding.
    QTest::newRow("url and path") << OptString(u"https://EXAMPLE.com/ä"_qs) << OptString(u"/a"_qs)
                                  << u"https://EXAMPLE.com/ä"_qs << true << false << OptString(u"Web \u00B7 Safari"_qs);
    QTest::newRow("path only") << none << OptString(u"/docs/a.pdf"_qs) << u"/docs/a.pdf"_qs << false << true
                               << OptString(u"Document \u00B7 Safari"_qs);
    QTest::newRow("empty path still keys")
        << none << OptString(u""_qs) << QString() << false << true << OptString(u"Document \u00B7 Safari"_qs);
    QTest::newRow("app only") << none << none << u"Safari"_qs << false << false << none;
}

void TestRecords::identity()
{
    QFETCH(OptString, url);
    QFETCH(OptString, path);
    QFETCH(QString, identifier);
    QFETCH(bool, keepsUrl);
    QFETCH(bool, keepsPath);
    QFETCH(OptString, detail);
    const SourceIdentity id = makeSelection(u"x"_qs, u"Safari"_qs, url, std::nullopt, path).sourceIdentity();
    QCOMPARE(id.identifier, identifier);
    QCOMPARE(id.display(), identifier);
    QCOMPARE(id.sourceURL.has_value(), keepsUrl);
    QCOMPARE(id.filePath.has_value(), keepsPath);
    QCOMPARE(id.appName, u"Safari"_qs);
    QCOMPARE(id.bundleID, OptString(u"com.example.app"_qs));
    QCOMPARE(id.detail(), detail);
}

void TestRecords::identityOrdering()
{
    QList<SourceIdentity> ids {makeSelection(u"x"_qs, u"beta"_qs).sourceIdentity(),
        makeSelection(u"x"_qs, u"Alpha"_qs).sourceIdentity(), makeSelection(u"x"_qs, u"gamma"_qs).sourceIdentity()};
    std::sort(ids.begin(), ids.end());
    QCOMPARE(ids[0].display(), u"Alpha"_qs);
    QCOMPARE(ids[1].display(), u"beta"_qs);
    QCOMPARE(ids[2].display(), u"gamma"_qs);

    // Names equal but for case: neither is less, yet they are different values.
    const SourceIdentity upper = makeSelection(u"x"_qs, u"Notes"_qs).sourceIdentity();
    const SourceIdentity lower = makeSelection(u"x"_qs, u"notes"_qs).sourceIdentity();
    QVERIFY(!(upper < lower) && !(lower < upper));
    QVERIFY(upper <= lower && upper >= lower);
    QVERIFY(upper != lower);

    // Under the C locale the comparison still ignores case (en_US collation).
    QLocale::setDefault(QLocale::c());
    QVERIFY(
        makeSelection(u"x"_qs, u"apple"_qs).sourceIdentity() < makeSelection(u"x"_qs, u"Banana"_qs).sourceIdentity());
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestRecords::equalityAndHashCoverEveryField()
{
    const Selection base = Selection::make(QUuid::createUuid(), u"t"_qs, u"m"_qs, u"a"_qs, u"b"_qs, u"https://x.org"_qs,
        u"title"_qs, u"/p"_qs, {QUuid::createUuid()}, QDateTime(QDate(2025, 1, 1), QTime(0, 0), Qt::UTC));
    const QList<std::function<void(Selection&)>> changes {
        [](Selection& s) { s.id = QUuid::createUuid(); },
        [](Selection& s) { s.text += u"!"_qs; },
        [](Selection& s) { s.setMarkdown(s.markdown() + u"!"_qs); },
        [](Selection& s) { s.appName += u"!"_qs; },
        [](Selection& s) { s.bundleID.reset(); },
        [](Selection& s) { s.sourceURL = u"https://y.org"_qs; },
        [](Selection& s) { s.sourceTitle.reset(); },
        [](Selection& s) { s.filePath = QString(); },
        [](Selection& s) { s.groupIDs.clear(); },
        [](Selection& s) { s.createdAt = s.createdAt.addSecs(1); },
    };
    QSet<size_t> hashes {qHash(base)};
    for (const auto& change : changes) {
        Selection other = base;
        change(other);
        QVERIFY(other != base);
        hashes.insert(qHash(other));
    }
    QCOMPARE(hashes.size(), changes.size() + 1);
    Selection same = base;
    QCOMPARE(same, base);
    QCOMPARE(qHash(same), qHash(base));
}

void TestRecords::hexColor_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");

    QTest::newRow("canonical") << u"#4F8EF7"_qs << true;
    QTest::newRow("lower case without sign") << u"4f8ef7"_qs << true;
    QTest::newRow("white space and line feed") << u" \n#4F8EF7\t\n"_qs << true;
    QTest::newRow("two signs") << u"##4F8EF7"_qs << false;
    QTest::newRow("five digits") << u"#4F8EF"_qs << false;
    QTest::newRow("eight digits") << u"#4F8EF7FF"_qs << false;
    QTest::newRow("non hex letter") << u"#4F8EG7"_qs << false;
    QTest::newRow("sign with spaces inside") << u"# 4F8EF7"_qs << false;
    QTest::newRow("fullwidth digits") << u"\uFF14F8EF7\uFF11"_qs << false;
    QTest::newRow("empty") << QString() << false;
}

void TestRecords::hexColor()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    const SelectionGroup group {QUuid::createUuid(), u"G"_qs, text, QDateTime::currentDateTimeUtc()};
    const std::optional<QColor> parsed = colorFromHexString(text);
    QCOMPARE(parsed.has_value(), valid);
    if (valid) {
        QCOMPARE(parsed->red(), 0x4F);
        QCOMPARE(parsed->green(), 0x8E);
        QCOMPARE(parsed->blue(), 0xF7);
        QCOMPARE(parsed->alphaF(), 1.0f);
        QCOMPARE(group.color(), *parsed);
    } else {
        QCOMPARE(group.color(), fallbackGroupColor());
    }
}

void TestRecords::draftDerivedValues_data()
{
    QTest::addColumn<QString>("templateName");
    QTest::addColumn<QString>("profileID");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("resolvedProfile");

    QTest::newRow("lower-case plain") << u"plain"_qs << u"claude"_qs << int(ComposerTemplate::sections) << u"claude"_qs;
    QTest::newRow("empty template") << QString() << u"gemini"_qs << int(ComposerTemplate::sections) << u"gemini"_qs;
    QTest::newRow("xml") << u"XML-tagged"_qs << u"local-16k"_qs << int(ComposerTemplate::xml) << u"local-16k"_qs;
    QTest::newRow("plain") << u"Plain"_qs << u"custom"_qs << int(ComposerTemplate::plain) << u"custom"_qs;
    QTest::newRow("padded plain") << u" Plain"_qs << u"Claude"_qs << int(ComposerTemplate::sections) << u"gpt-4o"_qs;
    QTest::newRow("unknown profile") << u"Sections"_qs << u"unknown"_qs << int(ComposerTemplate::sections)
                                     << u"gpt-4o"_qs;
}

void TestRecords::draftDerivedValues()
{
    QFETCH(QString, templateName);
    QFETCH(QString, profileID);
    QFETCH(int, kind);
    QFETCH(QString, resolvedProfile);
    ContextDraft draft {QUuid::createUuid(), u"Prompt 1"_qs, QString(), templateName, profileID, {}, {}, {}};
    QCOMPARE(int(draft.templateKind()), kind);
    QCOMPARE(draft.modelProfile().id, resolvedProfile);
    QCOMPARE(draft.modelProfileID, profileID); // the stored identifier is kept
    QCOMPARE(draft.includedCount(), 0);
    draft.entries = {{QUuid::createUuid(), QUuid::createUuid(), true, false, false, {}, {}},
        {QUuid::createUuid(), QUuid::createUuid(), false, true, false, {}, {}},
        {QUuid::createUuid(), QUuid::createUuid(), true, false, true, u"n"_qs, {}}};
    QCOMPARE(draft.includedCount(), 2);
}

void TestRecords::draftEqualityKeepsEntryOrder()
{
    const ContextDraftEntry a {QUuid::createUuid(), QUuid::createUuid(), true, false, false, {}, {}};
    const ContextDraftEntry b {QUuid::createUuid(), QUuid::createUuid(), true, false, false, {}, {}};
    ContextDraft one {QUuid::createUuid(), u"P"_qs, u"task"_qs, u"Sections"_qs, u"gpt-4o"_qs, {}, {}, {a, b}};
    ContextDraft two = one;
    QCOMPARE(one, two);
    QCOMPARE(qHash(one), qHash(two));
    two.entries = {b, a};
    QVERIFY(one != two);
    ContextDraftEntry noted = a;
    noted.note = QString();
    QVERIFY(noted != a); // an empty note differs from no note
}

void TestRecords::uuidText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");

    QTest::newRow("upper") << u"0F8FAD5B-D9CB-469F-A165-70867728950E"_qs << true;
    QTest::newRow("lower") << u"0f8fad5b-d9cb-469f-a165-70867728950e"_qs << true;
    QTest::newRow("nil") << u"00000000-0000-0000-0000-000000000000"_qs << true;
    QTest::newRow("braces") << u"{0F8FAD5B-D9CB-469F-A165-70867728950E}"_qs << false;
    QTest::newRow("no hyphens") << u"0F8FAD5BD9CB469FA16570867728950E"_qs << false;
    QTest::newRow("hyphen moved") << u"0F8FAD5-BD9CB-469F-A165-70867728950E"_qs << false;
    QTest::newRow("non hex") << u"0F8FAD5B-D9CB-469F-A165-70867728950G"_qs << false;
    QTest::newRow("trailing space") << u"0F8FAD5B-D9CB-469F-A165-70867728950 "_qs << false;
    QTest::newRow("37 characters") << u"0F8FAD5B-D9CB-469F-A165-70867728950E0"_qs << false;
    QTest::newRow("fullwidth digit") << u"\uFF10F8FAD5B-D9CB-469F-A165-70867728950E"_qs << false;
    QTest::newRow("empty") << QString() << false;
}

void TestRecords::uuidText()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    const std::optional<QUuid> id = Uuids::parse(text);
    QCOMPARE(id.has_value(), valid);
    if (valid)
        QCOMPARE(Uuids::toText(*id), text.toUpper());
}

TESSELLON_TEST_MAIN(TestRecords)
#include "tst_Records.moc"
