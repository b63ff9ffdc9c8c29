#include "LibraryTestData.h"
#include "ZubraCore/Library/SelectionSearchIndex.h"
#include "ZubraCore/Library/SortMode.h"
#include "ZubraCore/Library/StoreIndex.h"
#include "ZubraCore/Text/TextCollation.h"
#include "support/TestMain.h"

#include <QRandomGenerator>
#include <QTest>

using namespace LibraryTestData;

Q_DECLARE_METATYPE(SortMode)
Q_DECLARE_METATYPE(std::optional<SortMode>)

namespace {

// The first half of a 300-selection library built in the background, the rest set one by one
// meanwhile: key i + 1 for selection i.
void indexHalfBuiltHalfSet(SelectionSearchIndex& index, const QList<Selection>& library)
{
    std::vector<SelectionSearchIndex::Key> keys;
    for (int i = 0; i < 150; ++i)
        keys.push_back(SelectionSearchIndex::Key(i + 1));
    index.buildInBackground(library.mid(0, 150), keys);
    for (int i = 150; i < 300; ++i)
        index.set(SelectionSearchIndex::Key(i + 1), library[i]);
    index.waitUntilBuilt();
}

} // namespace

class TestSortMode : public QObject
{
    Q_OBJECT

private slots:
    void rawValues_data();
    void rawValues();
    void sort_data();
    void sort();
    void sortLeavesInputAlone();
    void sortFollowsLocaleChanges();
    void nameOrderIsConsistentOnLargeMixedInput();
    void matches_data();
    void matches();
    void indexAgreesWithMatches_data() { matches_data(); }
    void indexAgreesWithMatches();
    void indexAgreesOnRandomLibraries();
    void indexAgreesOnLocallyEditedMarkdowns();
    void indexFollowsChangedAndErasedEntries();
    void indexOfALargeLibraryAgreesWithOneBuiltInSteps();
};

void TestSortMode::rawValues_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<std::optional<SortMode>>("mode");
    QTest::newRow("newest") << "Newest first" << std::optional(SortMode::newestFirst);
    QTest::newRow("oldest") << "Oldest first" << std::optional(SortMode::oldestFirst);
    QTest::newRow("by app") << "By app" << std::optional(SortMode::byApp);
    QTest::newRow("by source") << "By source" << std::optional(SortMode::bySource);
    QTest::newRow("capital A") << "By App" << std::optional<SortMode>();
    QTest::newRow("lower case") << "newest first" << std::optional<SortMode>();
    QTest::newRow("leading space") << " By app" << std::optional<SortMode>();
    QTest::newRow("empty") << "" << std::optional<SortMode>();
}

void TestSortMode::rawValues()
{
    QFETCH(QString, raw);
    QFETCH(std::optional<SortMode>, mode);
    QCOMPARE(SortModes::fromRawValue(raw), mode);
    if (mode)
        QCOMPARE(SortModes::rawValue(*mode), raw);
}

void TestSortMode::sort_data()
{
    QTest::addColumn<SortMode>("mode");
    QTest::addColumn<QStringList>("input");
    QTest::addColumn<QStringList>("expected");

    for (SortMode mode : SortModes::allCases()) {
        const QByteArray name = SortModes::rawValue(mode).toUtf8();
        QTest::newRow(name + ": empty") << mode << QStringList {} << QStringList {};
        QTest::newRow(name + ": one") << mode << QStringList {"only|App|10:00"} << QStringList {"only"};
    }
    const QStringList hours {"ten|A|10:00", "eleven|B|11:00", "twelve|C|12:00"};
    QTest::newRow("newest first") << SortMode::newestFirst << hours << QStringList {"twelve", "eleven", "ten"};
    QTest::newRow("oldest first") << SortMode::oldestFirst << QStringList {hours[2], hours[0], hours[1]}
                                  << QStringList {"ten", "eleven", "twelve"};
    const QStringList sameTime {"first|A|10:00", "second|B|10:00", "early|C|09:00"};
    QTest::newRow("newest first, same time keeps order")
        << SortMode::newestFirst << sameTime << QStringList {"first", "second", "early"};
    QTest::newRow("oldest first, same time keeps order")
        << SortMode::oldestFirst << sameTime << QStringList {"early", "first", "second"};

    QTest::newRow("by app, worked example")
        << SortMode::byApp << QStringList {"s10|Safari|10:00", "N09|Notes|09:00", "s11|Safari|11:00", "n12|notes|12:00"}
        << QStringList {"N09", "n12", "s11", "s10"};
    QTest::newRow("by app, case variants repeated follow first appearance")
        << SortMode::byApp << QStringList {"n12|notes|12:00", "N09|Notes|09:00", "n08|notes|08:00", "N13|Notes|13:00"}
        << QStringList {"n12", "n08", "N13", "N09"};
    QTest::newRow("by app, canonically equal names are one name")
        << SortMode::byApp << QStringList {u"pre|Caf\u00E9|10:00"_qs, "zed|Zed|12:00", u"dec|Cafe\u0301|11:00"_qs}
        << QStringList {"dec", "pre", "zed"};
    QTest::newRow("by app, localized order")
        << SortMode::byApp << QStringList {"z|Zebra|10:00", u"a|\u00E4pfel|10:00"_qs, "A|Apple|10:00"}
        << QStringList {"a", "A", "z"};
    QTest::newRow("by app, same name and time keep order")
        << SortMode::byApp << QStringList {"one|Mail|10:00", "two|Mail|10:00"} << QStringList {"one", "two"};
    QTest::newRow("by source, address, path and app in one sequence")
        << SortMode::bySource
        << QStringList {"web|Firefox|10:00|https://b.example/x", "app|Clock|10:00", "doc|Writer|10:00||/a/file.txt"}
        << QStringList {"doc", "app", "web"};
    QTest::newRow("by source, address wins over path and app name")
        << SortMode::bySource
        << QStringList {"both|Zed|10:00|https://a.example/|/z/file", "other|Mail|10:00",
               "old|B|09:00|https://a.example/"}
        << QStringList {"both", "old", "other"};
    QTest::newRow("by source, empty path is a key of its own")
        << SortMode::bySource << QStringList {"app|Alpha|10:00", "empty|Zed|11:00||-"} << QStringList {"empty", "app"};
}

void TestSortMode::sort()
{
    QFETCH(SortMode, mode);
    QFETCH(QStringList, input);
    QFETCH(QStringList, expected);
    QCOMPARE(labels(SortModes::sort(mode, fromLines(input))), expected);
}

void TestSortMode::sortLeavesInputAlone()
{
    const QList<Selection> input = fromLines({"b|B|10:00", "a|A|11:00"});
    const QList<Selection> copy = input;
    const QList<Selection> sorted = SortModes::sort(SortMode::byApp, input);
    QCOMPARE(input, copy);
    QCOMPARE(labels(sorted), (QStringList {"a", "b"}));
    QCOMPARE(sorted[0], input[1]);
}

// Names remembered under one locale must not leak their order into another.
void TestSortMode::sortFollowsLocaleChanges()
{
    const QList<Selection> input = fromLines({"z|Zebra|10:00", u"a|\u00C4pple|10:00"_qs, "o|Orange|10:00"});
    QCOMPARE(labels(SortModes::sort(SortMode::byApp, input)), (QStringList {"a", "o", "z"}));
    QLocale::setDefault(QLocale(QLocale::Swedish, QLocale::Sweden));
    const QStringList swedish = labels(SortModes::sort(SortMode::byApp, input));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(swedish, (QStringList {"o", "z", "a"})); // Swedish puts \u00C4 after Z
    QCOMPARE(labels(SortModes::sort(SortMode::byApp, input)), (QStringList {"a", "o", "z"}));
}

// Many case variants in random order: the result must be a permutation in which names never
// go backwards and each exact name runs newest first.
void TestSortMode::nameOrderIsConsistentOnLargeMixedInput()
{
    const QStringList names {"Notes", "notes", "NOTES", "Mail", "mail", u"\u00C9diteur"_qs, u"E\u0301diteur"_qs,
        "editeur", "Zed", "zed", "Alpha"};
    QRandomGenerator random(42);
    QList<Selection> input;
    for (int i = 0; i < 3000; ++i) {
        Selection s = fromLine(QString::number(i) + "|" + names[random.bounded(int(names.size()))]);
        s.createdAt = at(u"00:00"_qs, random.bounded(50));
        input.append(s);
    }
    const QList<Selection> sorted = SortModes::sort(SortMode::byApp, input);
    QCOMPARE(sorted.size(), input.size());
    QSet<QUuid> seen;
    for (const Selection& s : sorted)
        seen.insert(s.id);
    QCOMPARE(seen.size(), input.size());
    for (qsizetype i = 1; i < sorted.size(); ++i) {
        const Selection& a = sorted[i - 1];
        const Selection& b = sorted[i];
        QVERIFY2(TextCollation::compareCaseInsensitive(a.appName, b.appName) <= 0,
            qPrintable(a.appName + " > " + b.appName));
        const QString na = a.appName.normalized(QString::NormalizationForm_C);
        const QString nb = b.appName.normalized(QString::NormalizationForm_C);
        if (na == nb)
            QVERIFY(a.createdAt >= b.createdAt);
    }
    // Each exact name forms one run: no name comes back after another one started.
    QSet<QString> finished;
    QString current;
    for (const Selection& s : sorted) {
        const QString name = s.appName.normalized(QString::NormalizationForm_C);
        if (name != current) {
            QVERIFY2(!finished.contains(name), qPrintable(name));
            if (!current.isNull())
                finished.insert(current);
            current = name;
        }
    }
}

void TestSortMode::matches_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("markdown");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("expected");

    QTest::newRow("empty query") << ""
                                 << "anything|App" << QString() << QString() << true;
    QTest::newRow("lowered query finds capitalised text") << "hello"
                                                          << "Say Hello|App" << QString() << QString() << true;
    QTest::newRow("title is not searched") << "hello"
                                           << "nothing here|App" << QString() << "Hello there" << false;
    QTest::newRow("query is not lowered") << "Hello"
                                          << "Hello|App" << QString() << QString() << false;
    QTest::newRow("address only") << "example.org"
                                  << "text|App|10:00|https://Example.org/page" << QString() << QString() << true;
    QTest::newRow("file path only") << "report"
                                    << "text|App|10:00||/home/u/Report.txt" << QString() << QString() << true;
    QTest::newRow("app name") << "firefox"
                              << "text|Firefox" << QString() << QString() << true;
    QTest::newRow("markdown only") << "**bold**"
                                   << "bold|App"
                                   << "**Bold**" << QString() << true;
    QTest::newRow("across text and markdown") << "end\nstart"
                                              << "the end|App"
                                              << "start here" << QString() << true;
    QTest::newRow("across text and text as markdown") << "end\nthe"
                                                      << "the end|App" << QString() << QString() << true;
    QTest::newRow("across markdown and app") << "md\napp"
                                             << "text|App"
                                             << "md" << QString() << true;
    QTest::newRow("across app and empty address and path") << "app\n\n"
                                                           << "text|App" << QString() << QString() << true;
    QTest::newRow("address is an empty field before the path")
        << "app\n/p"
        << "text|App|10:00||/p" << QString() << QString() << false;
    QTest::newRow("fields in the wrong order") << "bar\nfoo"
                                               << "foo|bar" << QString() << QString() << false;
    QTest::newRow("bundle id is not searched") << "com.vesk"
                                               << "text|App" << QString() << QString() << false;
    QTest::newRow("decomposed query, precomposed text")
        << u"cafe\u0301"_qs << u"Caf\u00E9 au lait|App"_qs << QString() << QString() << true;
    QTest::newRow("precomposed query, decomposed text")
        << u"caf\u00E9"_qs << u"CAFE\u0301|App"_qs << QString() << QString() << true;
    QTest::newRow("diacritics count") << "cafe" << u"Caf\u00E9|App"_qs << QString() << QString() << false;
    QTest::newRow("empty markdown") << "x\n\napp"
                                    << "x|App"
                                    << "" << QString() << true;

    // Markdowns that are the text with a local change.
    const QString fox = u"The quick brown fox jumps over the lazy dog|App"_qs;
    const QString boldFox = u"The **quick** brown fox jumps over the lazy dog"_qs;
    QTest::newRow("bold run: opening marks") << "e **q" << fox << boldFox << QString() << true;
    QTest::newRow("bold run: closing marks") << "ck** b" << fox << boldFox << QString() << true;
    QTest::newRow("bold run: from the start into the middle") << "the **quick" << fox << boldFox << QString() << true;
    QTest::newRow("bold run: far side of the closing marks")
        << "** brown fox jumps over the lazy" << fox << boldFox << QString() << true;
    QTest::newRow("bold run: whole markdown") << boldFox.toLower() << fox << boldFox << QString() << true;
    QTest::newRow("bold run: in the shared end") << "lazy dog" << fox << boldFox << QString() << true;
    QTest::newRow("bold run: absent") << "e ** q" << fox << boldFox << QString() << false;
    QTest::newRow("bold run: longer than the markdown")
        << boldFox.toLower() + u" and more"_qs << fox << boldFox << QString() << false;
    QTest::newRow("deletion: across the seam")
        << "the quick fox" << fox << "The quick fox jumps over the lazy dog" << QString() << true;
    QTest::newRow("deletion: not across the seam")
        << "quick brown fox" << fox << "The quick fox jumps over the lazy dog" << QString() << true;
    QTest::newRow("heading marker") << "# the quick" << fox << u"# The quick brown fox jumps over the lazy dog"_qs
                                    << QString() << true;
    QTest::newRow("trailing link") << "dog [x](" << fox << u"The quick brown fox jumps over the lazy dog [x](y)"_qs
                                   << QString() << true;
    QTest::newRow("prefix and suffix overlap") << "abababababab"
                                               << "ababababab|App"
                                               << "abababababab" << QString() << true;
    QTest::newRow("prefix and suffix overlap, too long") << "ababababababa"
                                                         << "ababababab|App"
                                                         << "abababababab" << QString() << false;
    QTest::newRow("surrogate pair in the middle")
        << u"\U0001F601 and carry"_qs << u"smile \U0001F600 and carry on with the day|App"_qs
        << u"smile \U0001F601 and carry on with the day"_qs << QString() << true;
    QTest::newRow("surrogate pair, text's own")
        << u"smile \U0001F600 and"_qs << u"smile \U0001F600 and carry on with the day|App"_qs
        << u"smile \U0001F601 and carry on with the day"_qs << QString() << true;
    QTest::newRow("lowered in the middle only")
        << "the **quick**" << u"the Quick brown fox jumps over the lazy dog|App"_qs
        << u"the **QUICK** brown fox jumps over the lazy dog"_qs << QString() << true;
    QTest::newRow("differs in case only") << "the quick brown" << u"The Quick brown fox jumps over the lazy dog|App"_qs
                                          << u"the quick brown fox jumps over the lazy dog"_qs << QString() << true;
    QTest::newRow("NFC: mark inserted composes with the shared beginning")
        << u"resum\u00e9 of"_qs << u"Resume of the year, in full|App"_qs << u"Resume\u0301 of the year, in full"_qs
        << QString() << true;
    QTest::newRow("NFC: marks composed in the markdown equal the text")
        << u"re\u0301sume\u0301 of the year"_qs << u"R\u00e9sum\u00e9 of the year, in full|App"_qs
        << u"R\u00e9sume\u0301 of the year, in full"_qs << QString() << true;
    QTest::newRow("NFC: bold run in a text with marks")
        << u"caf\u00e9 **au**"_qs << u"Cafe\u0301 au lait, with sugar and more|App"_qs
        << u"Cafe\u0301 **au** lait, with sugar and more"_qs << QString() << true;
    QTest::newRow("dotted capital I lowers to two units")
        << u"**i\u0307stanbul** is"_qs << u"\u0130stanbul is large and old and busy|App"_qs
        << u"**\u0130stanbul** is large and old and busy"_qs << QString() << true;
    QTest::newRow("query with a line feed across a difference")
        << "dog\nthe **quick" << fox << boldFox << QString() << true;
}

namespace {

Selection matchSelection(const QString& line, const QString& markdown, const QString& title)
{
    Selection s = fromLine(line);
    if (!markdown.isNull())
        s.setMarkdown(markdown);
    if (!title.isNull())
        s.sourceTitle = title;
    s.bundleID = u"com.vesk.sample"_qs;
    return s;
}

} // namespace

void TestSortMode::matches()
{
    QFETCH(QString, query);
    QFETCH(QString, line);
    QFETCH(QString, markdown);
    QFETCH(QString, title);
    QFETCH(bool, expected);
    QCOMPARE(SortModes::matches(query, matchSelection(line, markdown, title)), expected);
}

void TestSortMode::indexAgreesWithMatches()
{
    QFETCH(QString, query);
    QFETCH(QString, line);
    QFETCH(QString, markdown);
    QFETCH(QString, title);
    QFETCH(bool, expected);
    SelectionSearchIndex index;
    index.set(1, matchSelection(line, markdown, title));
    QCOMPARE(index.matches(1, SelectionSearchIndex::prepare(query)), expected);
}

// Random fields and queries cut from the search text itself, so that many queries span fields;
// half the library is indexed in the background, as at load, the rest one by one.
void TestSortMode::indexAgreesOnRandomLibraries()
{
    const QStringList fragments {"a", "B", "\n", " ", u"\u00E9"_qs, u"e\u0301"_qs, u"\u03A3"_qs, u"\u03C2"_qs,
        u"\u0130"_qs, "x", "Q", "/", u"\U0001F600"_qs, u"\u00C0"_qs, u"\u023A"_qs, u"\u0178"_qs, "Z"};
    QRandomGenerator random(7);
    auto randomText = [&](int maxFragments) {
        QString text;
        const int n = random.bounded(maxFragments + 1);
        for (int i = 0; i < n; ++i)
            text += fragments[random.bounded(int(fragments.size()))];
        return text;
    };
    QList<Selection> library;
    for (int i = 0; i < 300; ++i) {
        Selection s;
        s.id = QUuid::createUuid();
        s.text = randomText(12);
        s.setMarkdown(random.bounded(2) ? s.text : randomText(6));
        s.appName = randomText(3);
        if (random.bounded(2))
            s.sourceURL = randomText(4);
        if (random.bounded(2))
            s.filePath = randomText(4);
        library.append(s);
    }
    SelectionSearchIndex index;
    indexHalfBuiltHalfSet(index, library);
    int found = 0;
    for (int q = 0; q < 400; ++q) {
        const Selection& source = library[random.bounded(int(library.size()))];
        const QString joined = (source.text + u'\n' + source.markdown() + u'\n' + source.appName + u'\n'
            + source.sourceURL.value_or(QString()) + u'\n' + source.filePath.value_or(QString()))
                                   .toLower();
        const int from = random.bounded(int(joined.size()));
        const QString query = random.bounded(4) ? joined.mid(from, 1 + random.bounded(6)) : randomText(3).toLower();
        const SelectionSearchIndex::Query prepared = SelectionSearchIndex::prepare(query);
        for (int i = 0; i < library.size(); ++i) {
            const bool expected = SortModes::matches(query, library[i]);
            found += expected;
            QCOMPARE(index.matches(SelectionSearchIndex::Key(i + 1), prepared), expected);
        }
    }
    QVERIFY(found > 400); // the queries did hit
}

// Markdowns that are their text with a few local insertions, deletions and replacements, some
// then outliving a change of the text; queries cut around the edits, so that many span them.
void TestSortMode::indexAgreesOnLocallyEditedMarkdowns()
{
    const QStringList fragments {"a", "B", " ", "\n", "**", "[", "](", u"\u00E9"_qs, u"\u0301"_qs, u"\u03A3"_qs,
        u"\u0130"_qs, u"\U0001F600"_qs, u"\U0001F601"_qs, "x", "Q", u"\u00C0"_qs, "ab"};
    QRandomGenerator random(11);
    auto randomText = [&](int minFragments, int maxFragments) {
        QString text;
        const int n = minFragments + random.bounded(maxFragments - minFragments + 1);
        for (int i = 0; i < n; ++i)
            text += fragments[random.bounded(int(fragments.size()))];
        return text;
    };
    QList<Selection> library;
    QList<QList<qsizetype>> edits; // where each markdown was changed
    int differences = 0;
    for (int i = 0; i < 300; ++i) {
        Selection s;
        s.id = QUuid::createUuid();
        s.text = randomText(20, 40);
        QString markdown = s.text;
        QList<qsizetype> at;
        for (int e = 1 + random.bounded(2); e > 0; --e) {
            qsizetype where = random.bounded(int(markdown.size()) + 1);
            // Lowering replaces a lone surrogate or not depending on what came before it, so the
            // edits keep pairs whole, as real captures do.
            if (where > 0 && where < markdown.size() && markdown[where].isLowSurrogate())
                --where;
            qsizetype cut = std::min<qsizetype>(random.bounded(4), markdown.size() - where);
            if (cut > 0 && where + cut < markdown.size() && markdown[where + cut].isLowSurrogate())
                ++cut;
            markdown = markdown.first(where) + randomText(0, 2) + markdown.sliced(where + cut);
            at.append(where);
        }
        s.setMarkdown(markdown);
        differences += s.markdown() != s.text;
        if (random.bounded(4) == 0)
            s.text = randomText(5, 20); // the markdown keeps its value
        s.appName = randomText(1, 3);
        if (random.bounded(2))
            s.filePath = randomText(1, 4);
        library.append(s);
        edits.append(at);
    }
    QVERIFY(differences > 150);
    SelectionSearchIndex index;
    indexHalfBuiltHalfSet(index, library);
    int found = 0;
    for (int q = 0; q < 500; ++q) {
        const int source = random.bounded(int(library.size()));
        const QString markdown = library[source].markdown().toLower();
        const QList<qsizetype>& at = edits[source];
        const qsizetype around = std::min(at[random.bounded(int(at.size()))], markdown.size());
        const int size = 1 + random.bounded(8);
        const qsizetype from = std::max<qsizetype>(0, around - random.bounded(size + 1));
        QString query = random.bounded(8) ? markdown.mid(from, size) : randomText(1, 3).toLower();
        if (!query.isEmpty() && query.front().isLowSurrogate())
            query.remove(0, 1);
        if (!query.isEmpty() && query.back().isHighSurrogate())
            query.chop(1);
        if (query.isEmpty())
            continue;
        const SelectionSearchIndex::Query prepared = SelectionSearchIndex::prepare(query);
        for (int i = 0; i < library.size(); ++i) {
            const bool expected = SortModes::matches(query, library[i]);
            found += expected;
            QCOMPARE(index.matches(SelectionSearchIndex::Key(i + 1), prepared), expected);
        }
    }
    QVERIFY(found > 500);
}

// An entry set again follows the new fields; one erased, or changed while the background build
// runs, is what the last change says once the build is taken over.
void TestSortMode::indexFollowsChangedAndErasedEntries()
{
    SelectionSearchIndex index;
    Selection s = fromLine("alpha|App");
    index.buildInBackground({s}, {1});
    s.text = "beta";
    index.set(1, s); // the markdown still says alpha
    index.set(2, fromLine("gamma|App"));
    index.erase(2);
    index.waitUntilBuilt();
    const auto has = [&index](SelectionSearchIndex::Key key, const QString& query) {
        return index.matches(key, SelectionSearchIndex::prepare(query));
    };
    QVERIFY(has(1, "beta") && has(1, "alpha"));
    QVERIFY(!has(2, "gamma"));
    s.setMarkdown("delta");
    s.filePath = "/tmp/Epsilon";
    index.set(1, s);
    QVERIFY(!has(1, "alpha") && has(1, "delta") && has(1, "epsilon"));
    QVERIFY(!has(7, "a")); // a key never set
}

TESSELLON_TEST_MAIN(TestSortMode)
#include "tst_SortMode.moc"

// A library indexed at once (in parallel parts) and the same library inserted one selection at a
// time give the same orders, names, sources and keys. Some names appear only in the later part.
void TestSortMode::indexOfALargeLibraryAgreesWithOneBuiltInSteps()
{
    const QStringList early {"Notes", "notes", u"\u00C9diteur"_qs, "Mail", "Zed"};
    const QStringList late {u"E\u0301diteur"_qs, "NOTES", "Alpha", "mail"};
    const QList<QUuid> groups {QUuid::createUuid(), QUuid::createUuid()};
    QRandomGenerator random(11);
    constexpr int count = 40000; // more than one part
    QList<Selection> library; // newest first
    for (int i = 0; i < count; ++i) {
        Selection s;
        s.id = QUuid::createUuid();
        const bool lateOne = i > count * 3 / 4 && random.bounded(3) == 0;
        s.appName = (lateOne ? late : early)[random.bounded(int((lateOne ? late : early).size()))];
        switch (random.bounded(3)) {
        case 0:
            s.sourceURL = u"https://example.org/"_qs + QString::number(random.bounded(lateOne ? 400 : 200));
            break;
        case 1:
            s.filePath = u"/home/user/n"_qs + QString::number(random.bounded(50));
            break;
        default:
            break;
        }
        if (random.bounded(5) == 0)
            s.groupIDs.append(groups[random.bounded(2)]);
        s.createdAt = at(u"00:00"_qs, count - i - random.bounded(3)); // ties included
        library.append(s);
    }
    StoreIndex atOnce;
    atOnce.assign(library);
    StoreIndex inSteps;
    for (qsizetype i = library.size() - 1; i >= 0; --i)
        inSteps.insertFront(library[i]);

    QCOMPARE(atOnce.size(), inSteps.size());
    for (const Selection& s : library) {
        QCOMPARE(atOnce.keyOf(s.id), inSteps.keyOf(s.id));
        QCOMPARE(atOnce.sourceCount(SourceIdentity::keyOf(s)), inSteps.sourceCount(SourceIdentity::keyOf(s)));
    }
    for (const QUuid& group : groups)
        QCOMPARE(atOnce.groupCount(group), inSteps.groupCount(group));
    for (const SortMode mode : SortModes::allCases()) {
        std::vector<StoreIndex::Key> a = atOnce.order(mode);
        std::vector<StoreIndex::Key> b = inSteps.order(mode);
        QCOMPARE(a, b);
        atOnce.groupSpellings(mode, a);
        inSteps.groupSpellings(mode, b);
        QCOMPARE(a, b);
        if (mode == SortMode::byApp || mode == SortMode::bySource) {
            for (const StoreIndex::Key key : a)
                QCOMPARE(atOnce.name(atOnce.nameOf(mode, key)).collationKey,
                    inSteps.name(inSteps.nameOf(mode, key)).collationKey);
        }
    }
}
