#include "support/LibraryFixtures.h"
#include "support/TestMain.h"

#include "ZubraCore/Support/IsoDate.h"
#include "ZubraCore/Library/LibraryDocument.h"
#include "ZubraCore/Library/RecordJson.h"
#include "ZubraCore/Text/Uuids.h"

#include <algorithm>

namespace {

QByteArray uuid(int n)
{
    return "\"00000000-0000-4000-8000-" + QByteArray::number(n).rightJustified(12, '0') + '"';
}

QByteArray selection(int id)
{
    return "{\"id\":" + uuid(id) + R"(,"text":"t","markdown":"m","appName":"A","groupIDs":[],)"
        + R"("createdAt":"2025-03-14T09:26:53Z"})";
}

QByteArray group(int id)
{
    return "{\"id\":" + uuid(id) + R"(,"name":"G","colorHex":"#4F8EF7","createdAt":"2025-03-14T09:26:53Z"})";
}

QByteArray entry(int id, int selectionId = 999)
{
    return "{\"id\":" + uuid(id) + ",\"selectionID\":" + uuid(selectionId)
        + R"(,"include":true,"pin":false,"verbatim":false})";
}

QByteArray draft(int id, const QByteArray& entries = {})
{
    return "{\"id\":" + uuid(id) + R"(,"name":"Prompt 1","task":"","template":"Sections","modelProfileID":"gpt-4o",)"
        + R"("createdAt":"2025-03-14T09:26:53Z","updatedAt":"2025-03-14T09:27:00Z","entries":[)" + entries + "]}";
}

QByteArray document(const QByteArray& version, const QByteArray& selections = selection(1), const QByteArray& rest = {})
{
    QByteArray json = "{";
    if (!version.isNull())
        json += "\"version\":" + version + ",";
    return json + "\"selections\":[" + selections + "],\"groups\":[" + group(50) + "]" + rest + "}";
}

// Unknown keys "k0" to "k<count - 1>", each followed by a comma.
QByteArray manyKeys(int count)
{
    QByteArray keys;
    for (int i = 0; i < count; ++i)
        keys += "\"k" + QByteArray::number(i) + "\":" + QByteArray::number(i) + ",";
    return keys;
}

enum class Outcome { decodes, malformed, incompatible, duplicate };

} // namespace

Q_DECLARE_METATYPE(Outcome)

class TestLibraryDocument : public QObject
{
    Q_OBJECT

private slots:
    void decoding_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<Outcome>("outcome");
        const auto row
            = [](const char* name, const QByteArray& json, Outcome outcome) { QTest::newRow(name) << json << outcome; };
        row("version 1 without drafts", document("1"), Outcome::decodes);
        row("version 2 without drafts", document("2"), Outcome::decodes);
        row("drafts and active draft null", document("2", selection(1), ",\"drafts\":null,\"activeDraftID\":null"),
            Outcome::decodes);
        row("version 3", document("3"), Outcome::incompatible);
        row("version 3, rest damaged", document("3", "{}"), Outcome::incompatible);
        row("version 0", document("0"), Outcome::incompatible);
        row("version -1", document("-1"), Outcome::incompatible);
        row("huge version", document("9223372036854775807"), Outcome::incompatible);
        row("version as text", document("\"2\""), Outcome::malformed);
        row("version fraction", document("2.5"), Outcome::malformed);
        row("version beyond 64 bits", document("18446744073709551616"), Outcome::malformed);
        row("no version", document(QByteArray()), Outcome::malformed);
        row("top level array", "[" + document("2") + "]", Outcome::malformed);
        row("empty", "", Outcome::malformed);
        row("lone brace", "{", Outcome::malformed);
        row("trailing garbage", document("2") + "x", Outcome::malformed);
        row("invalid utf-8", document("2").replace("\"t\"", "\"\xff\xfe\""), Outcome::malformed);
        row("lone high surrogate", document("2").replace("\"t\"", "\"\\ud800\""), Outcome::malformed);
        row("lone low surrogate", document("2").replace("\"t\"", "\"\\udc00\""), Outcome::malformed);
        row("unescaped control character", document("2").replace("\"t\"", "\"a\x01b\""), Outcome::malformed);
        row("NUL inside a text", document("2").replace("\"t\"", QByteArray("\"a\0b\"", 5)), Outcome::malformed);
        row("NUL after the document", document("2") + QByteArray("\0{}", 3), Outcome::malformed);
        row("escaped NUL in a text", document("2", selection(1).replace("\"t\"", "\"a\\u0000b\"")), Outcome::decodes);
        row("overlong utf-8", document("2", selection(1).replace("\"t\"", "\"\xc0\xaf\"")), Outcome::malformed);
        row("NUL bytes only", QByteArray(4096, '\0'), Outcome::malformed);
        row("byte order mark", "\xef\xbb\xbf" + document("2"), Outcome::malformed);
        row("white space around", " \r\n\t" + document("2") + "\n ", Outcome::decodes);
        row("second document", document("2") + document("2"), Outcome::malformed);
        row("trailing comma", document("2").replace("\"version\"", "\"z\":1,,\"version\""), Outcome::malformed);
        row("too deep", document("2", selection(1).replace("{", "{\"x\":" + QByteArray(5000, '[') + QByteArray(5000, ']') + ",")),
            Outcome::malformed);
        row("no groups", "{\"version\":2,\"selections\":[]}", Outcome::malformed);
        row("selections object", "{\"version\":2,\"selections\":{},\"groups\":[]}", Outcome::malformed);
        row("drafts object", document("2", selection(1), ",\"drafts\":{}"), Outcome::malformed);
        row("active draft not uuid", document("2", selection(1), ",\"activeDraftID\":\"x\""), Outcome::malformed);
        row("active draft number", document("2", selection(1), ",\"activeDraftID\":1"), Outcome::malformed);
        row("damaged date inside", document("2", selection(1).replace("09:26:53Z", "09:26Z")), Outcome::malformed);
        row("damaged draft",
            document("2", selection(1), ",\"drafts\":[" + draft(7).replace("\"task\"", "\"tsk\"") + "]"),
            Outcome::malformed);
        row("two selections, one id", document("2", selection(1) + "," + selection(1)), Outcome::duplicate);
        row("one id in upper and lower case",
            document("2",
                selection(1).replace("4000-8000", "4000-8000") + ","
                    + selection(10).replace("000000000010", "00000000000a") + ","
                    + selection(10).replace("000000000010", "00000000000A")),
            Outcome::duplicate);
        row("two groups, one id",
            document("2", selection(1), ",\"x\":0").replace(group(50), group(50) + "," + group(50)),
            Outcome::duplicate);
        row("two drafts, one id", document("2", selection(1), ",\"drafts\":[" + draft(7) + "," + draft(7) + "]"),
            Outcome::duplicate);
        row("one entry id twice in a draft",
            document("2", selection(1), ",\"drafts\":[" + draft(7, entry(8) + "," + entry(8)) + "]"),
            Outcome::duplicate);
        row("one entry id in two drafts",
            document("2", selection(1), ",\"drafts\":[" + draft(7, entry(8)) + "," + draft(9, entry(8)) + "]"),
            Outcome::decodes);
        row("group shares a selection's id", document("2", selection(50)), Outcome::decodes);
        row("dangling references",
            document("2", selection(1), ",\"drafts\":[" + draft(7, entry(8, 4242)) + "],\"activeDraftID\":" + uuid(77)),
            Outcome::decodes);
        row("unknown keys", document("2", selection(1).replace("{", "{\"extra\":[[[{}]]],"), ",\"later\":{\"a\":1}"),
            Outcome::decodes);
        // The selections are found in the text and read one by one: their boundaries.
        row("brackets, commas and quotes in texts", document("2", selection(1).replace("\"t\"", "\"],[{,}\\\"]\"")),
            Outcome::decodes);
        row("no selections", document("2", ""), Outcome::decodes);
        row("trailing comma after the selections", document("2", selection(1) + ","), Outcome::malformed);
        row("selections without a comma", document("2", selection(1) + selection(2)), Outcome::malformed);
        row("empty place between selections", document("2", selection(1) + ",," + selection(2)), Outcome::malformed);
        row("a number among the selections", document("2", selection(1) + ",42"), Outcome::malformed);
        row("an array among the selections", document("2", selection(1) + ",[]"), Outcome::malformed);
        row("unbalanced selection", document("2", selection(1).replace("[]", "[")), Outcome::malformed);
        row("selection not JSON, version 3", document("3", selection(1).replace("\"t\"", "tru")), Outcome::malformed);
        row("selection not JSON, version 2", document("2", selection(1).replace("\"t\"", "tru")), Outcome::malformed);
        row("escaped key", document("2").replace("\"selections\"", "\"selection\\u0073\""), Outcome::decodes);
        row("selections twice, the second damaged", document("2", selection(1), ",\"selections\":[{}]"),
            Outcome::malformed);
        row("selections twice, the first damaged", document("2", "{}", ",\"selections\":[" + selection(1) + "]"),
            Outcome::malformed);
        // A key named twice keeps only its first value in the parse: the next save would drop the
        // other, so the document is damaged wherever the key repeats.
        row("selections twice, the first empty", document("2", "", ",\"selections\":[" + selection(1) + "]"),
            Outcome::malformed);
        row("selections twice, the first not an array", "{\"selections\":5," + document("2").mid(1),
            Outcome::malformed);
        row("version twice", document("2", selection(1), ",\"version\":2"), Outcome::malformed);
        // Repeated keys are damage before any version is judged, whichever value comes first.
        row("version twice, a newer one first", "{\"version\":9," + document("2").mid(1), Outcome::malformed);
        row("version twice, a newer one last", document("2", selection(1), ",\"version\":9"), Outcome::malformed);
        row("groups twice", document("2", selection(1), ",\"groups\":[]"), Outcome::malformed);
        row("drafts twice", document("2", selection(1), ",\"drafts\":[],\"drafts\":[" + draft(7) + "]"),
            Outcome::malformed);
        row("an unknown key twice", document("2", selection(1), ",\"later\":1,\"later\":2"), Outcome::malformed);
        row("text twice in a selection",
            document("2", selection(1) + "," + selection(2).replace("{", "{\"text\":\"B\",")), Outcome::malformed);
        row("a key written twice, once escaped", document("2", selection(1).replace("{", "{\"te\\u0078t\":\"B\",")),
            Outcome::malformed);
        row("an unknown key twice in a selection", document("2", selection(1).replace("{", "{\"x\":1,\"x\":1,")),
            Outcome::malformed);
        row("name twice in a group", document("2").replace(group(50), group(50).replace("{", "{\"name\":\"H\",")),
            Outcome::malformed);
        row("note twice in a draft entry",
            document("2", selection(1),
                ",\"drafts\":[" + draft(7, entry(8).replace("{", "{\"note\":\"a\",\"note\":\"b\",")) + "]"),
            Outcome::malformed);
        row("many keys, one twice", document("2", selection(1).replace("{", "{" + manyKeys(40) + "\"k7\":0,")),
            Outcome::malformed);
        row("many keys, each once", document("2", selection(1).replace("{", "{" + manyKeys(40))), Outcome::decodes);
        row("one key in several records and levels", document("2", selection(1) + "," + selection(2), ",\"id\":1"),
            Outcome::decodes);
        row("spaces everywhere",
            "{ \"groups\" : [ " + group(50) + " ] ,\n \"selections\" : [ " + selection(1) + " ,\n " + selection(2)
                + " ] , \"version\" : 2 }",
            Outcome::decodes);
    }

    // A large library's selections are read in parts on several threads: every record in its
    // place, and the first damage by position named.
    void selectionsReadInParts_data()
    {
        QTest::addColumn<int>("damaged"); // -1: none
        QTest::addColumn<int>("repeated"); // a selection whose id the last one repeats; -1: none
        QTest::newRow("all good") << -1 << -1;
        QTest::newRow("damage in a later part") << 4321 << -1;
        QTest::newRow("damage in two parts, the first named") << 17 << -1;
        QTest::newRow("an id repeated across parts") << -1 << 3;
    }
    void selectionsReadInParts()
    {
        QFETCH(int, damaged);
        QFETCH(int, repeated);
        constexpr int count = 5000;
        QByteArray records;
        for (int i = 0; i < count; ++i) {
            QByteArray record = selection(i == count - 1 && repeated >= 0 ? repeated : i)
                                    .replace("\"t\"", "\"text " + QByteArray::number(i) + "\"");
            if (i == damaged || (damaged == 17 && i == 4321))
                record.replace("09:26:53Z", "09:26Z");
            records += (i ? "," : "") + record;
        }
        const QByteArray json = document("2", records);
        for (const bool copy : {true, false}) {
            const DocumentDecoding decoding
                = copy ? ParsedLibraryDocument(json).decode() : ParsedLibraryDocument::consuming(json).decode();
            if (damaged >= 0) {
                QVERIFY(decoding.error);
                QCOMPARE(decoding.error->kind, DocumentError::malformed);
                QVERIFY2(decoding.error->description.contains("selections[" + QString::number(damaged) + "]"),
                    qPrintable(decoding.error->description));
            } else if (repeated >= 0) {
                QVERIFY(decoding.error);
                QCOMPARE(decoding.error->kind, DocumentError::duplicateIdentity);
            } else {
                QVERIFY(decoding.snapshot);
                QCOMPARE(decoding.snapshot->selections.size(), count);
                for (int i = 0; i < count; i += 499)
                    QCOMPARE(decoding.snapshot->selections[i].text, "text " + QString::number(i));
            }
            QCOMPARE(ParsedLibraryDocument(json).validate().has_value(), damaged >= 0 || repeated >= 0);
        }
        const DocumentDecoding whole = ParsedLibraryDocument::whole(json).decode();
        const DocumentDecoding split = ParsedLibraryDocument(json).decode();
        QCOMPARE(whole.snapshot, split.snapshot);
        QCOMPARE(whole.error.has_value(), split.error.has_value());
        if (whole.error)
            QCOMPARE(whole.error->description, split.error->description);
    }

    void decoding()
    {
        QFETCH(QByteArray, json);
        QFETCH(Outcome, outcome);
        const ParsedLibraryDocument parsed(json);
        const DocumentDecoding decoding = parsed.decode();
        const std::optional<DocumentError> validation = parsed.validate();
        const auto outcomeOf = [](const std::optional<DocumentError>& error) {
            if (!error)
                return Outcome::decodes;
            switch (error->kind) {
            case DocumentError::malformed:
                return Outcome::malformed;
            case DocumentError::incompatibleVersion:
                return Outcome::incompatible;
            case DocumentError::duplicateIdentity:
                return Outcome::duplicate;
            }
            return Outcome::decodes;
        };
        QCOMPARE(outcomeOf(decoding.error), outcome);
        // The save path's check without records must judge every document alike.
        QCOMPARE(outcomeOf(validation), outcome);
        QCOMPARE(decoding.snapshot.has_value(), outcome == Outcome::decodes);
        // Parsing in place (at launch, when both files are equal) must judge every text as a copy does.
        const DocumentDecoding inPlace = ParsedLibraryDocument::consuming(json).decode();
        QCOMPARE(outcomeOf(inPlace.error), outcome);
        QCOMPARE(inPlace.snapshot, decoding.snapshot);
        // The selections split out and parsed each on its own give what the whole parse gives.
        const DocumentDecoding whole = ParsedLibraryDocument::whole(json).decode();
        QCOMPARE(outcomeOf(whole.error), outcome);
        QCOMPARE(whole.snapshot, decoding.snapshot);
        if (json.contains("\\u0000"))
            QCOMPARE(inPlace.snapshot->selections[0].text, QString::fromUtf8("a\0b", 3));
        if (decoding.error)
            QVERIFY(!decoding.error->description.isEmpty());
    }

    // The log names the key that repeats and where, alike in the split and the whole parse.
    void repeatedKeyIsNamed_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("description");
        QTest::newRow("top level") << QByteArray(
            R"({"version":2,"groups":[],"drafts":[],"selections":[],"selections":[)" + selection(1) + "," + selection(2)
            + "]}") << R"(the document: the key "selections" occurs twice)";
        QTest::newRow("in a selection") << document(
            "2", selection(1) + "," + selection(2).replace("{", "{\"text\":\"B\","))
                                        << R"(selections[1]: the key "text" occurs twice)";
        QTest::newRow("long key shortened")
            << document("2",
                   selection(1).replace("{", "{\"" + QByteArray(100, 'k') + "\":1,\"" + QByteArray(100, 'k') + "\":2,"))
            << "selections[0]: the key \"" + QString(64, u'k') + QStringLiteral(u"\u2026\" occurs twice");
    }
    void repeatedKeyIsNamed()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, description);
        for (const DocumentDecoding& decoding :
            {ParsedLibraryDocument(json).decode(), ParsedLibraryDocument::whole(json).decode()}) {
            QVERIFY(decoding.error);
            QCOMPARE(decoding.error->kind, DocumentError::malformed);
            QCOMPARE(decoding.error->description, description);
        }
    }

    void versionHeader_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<qint64>("version"); // -100 = no header
        QTest::newRow("two") << document("2") << qint64(2);
        QTest::newRow("three, damaged body") << QByteArray("{\"version\":3,\"selections\":5}") << qint64(3);
        QTest::newRow("text") << document("\"2\"") << qint64(-100);
        QTest::newRow("not json") << QByteArray("{\"version\":3") << qint64(-100);
        QTest::newRow("array") << QByteArray("[{\"version\":3}]") << qint64(-100);
        QTest::newRow("named twice") << QByteArray("{\"version\":9," + document("2").mid(1)) << qint64(-100);
        QTest::newRow("another key named twice") << document("3", selection(1), ",\"groups\":[]") << qint64(-100);
    }

    void versionHeader()
    {
        QFETCH(QByteArray, json);
        QFETCH(qint64, version);
        QCOMPARE(
            ParsedLibraryDocument(json).version(), version == -100 ? std::nullopt : std::optional<qint64>(version));
    }

    void absentListsStayAbsent()
    {
        const DocumentDecoding decoding = LibraryDocument::decode(document("1"));
        QVERIFY(decoding.snapshot);
        QCOMPARE(decoding.snapshot->version, 1);
        QVERIFY(!decoding.snapshot->drafts);
        QVERIFY(!decoding.snapshot->activeDraftID);
        QCOMPARE(decoding.snapshot->selections.size(), 1);
        QCOMPARE(decoding.snapshot->groups.size(), 1);
    }

    // Decoded records share one string where their texts are equal: a markdown equal to its
    // text, an application name or bundle identifier repeated from record to record. Equal
    // values either way; the sharing is what keeps a large library's memory down.
    void equalTextsShareOneString_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("markdown");
        QTest::addColumn<bool>("markdownShares");
        QTest::newRow("markdown equals text") << QByteArray("same words") << QByteArray("same words") << true;
        QTest::newRow("markdown differs") << QByteArray("plain") << QByteArray("**plain**") << false;
        QTest::newRow("markdown differs in case") << QByteArray("Plain") << QByteArray("plain") << false;
        QTest::newRow("empty markdown, text") << QByteArray("text") << QByteArray("") << false;
        QTest::newRow("both empty") << QByteArray("") << QByteArray("") << true;
        QTest::newRow("escaped alike") << QByteArray("a\\nb \u00e9") << QByteArray("a\\nb \u00e9") << true;
    }
    void equalTextsShareOneString()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, markdown);
        QFETCH(bool, markdownShares);
        QByteArray records;
        for (int i = 1; i <= 3; ++i) {
            records += (i > 1 ? "," : "") + selection(i)
                           .replace("\"t\"", "\"" + text + "\"")
                           .replace("\"m\"", "\"" + markdown + "\"")
                           .replace("\"appName\":\"A\"", "\"appName\":\"Text Editor\",\"bundleID\":\"org.example.Editor\"");
        }
        const DocumentDecoding decoded = LibraryDocument::decode(document("2", records));
        QVERIFY2(decoded.snapshot, decoded.error ? qPrintable(decoded.error->description) : "");
        const QList<Selection>& selections = decoded.snapshot->selections;
        QCOMPARE(selections.size(), 3);
        for (const Selection& s : selections) {
            QCOMPARE(s.markdown() == s.text, markdownShares);
            QCOMPARE(
                !s.text.isEmpty() && s.markdown().constData() == s.text.constData(), markdownShares && !text.isEmpty());
            QCOMPARE(s.appName, QString("Text Editor"));
            QCOMPARE(s.bundleID, std::optional<QString>("org.example.Editor"));
            QCOMPARE(s.appName.constData(), selections.first().appName.constData());
            QCOMPARE(s.bundleID->constData(), selections.first().bundleID->constData());
        }
    }

    void roundTripKeepsWholeSeconds()
    {
        StoreSnapshot snapshot = LibraryFixtures::snapshot(12);
        snapshot.selections[3].createdAt = snapshot.selections[3].createdAt.addMSecs(870);
        const DocumentEncoding first = LibraryDocument::encode(snapshot);
        const DocumentEncoding second = LibraryDocument::encode(snapshot);
        QVERIFY(!first.error);
        QCOMPARE(first.bytes, second.bytes);

        const DocumentDecoding decoding = LibraryDocument::decode(first.bytes);
        QVERIFY(decoding.snapshot);
        QCOMPARE(decoding.snapshot->selections[3].createdAt, snapshot.selections[3].createdAt.addMSecs(-870));
        snapshot.selections[3].createdAt = decoding.snapshot->selections[3].createdAt;
        QCOMPARE(*decoding.snapshot, snapshot);
    }

    void topLevelKeysInOrder()
    {
        const QByteArray bytes = LibraryDocument::encode(LibraryFixtures::snapshot(1)).bytes;
        QList<qsizetype> positions;
        for (const char* key : {"\n    \"activeDraftID\"", "\n    \"drafts\"", "\n    \"groups\"",
                 "\n    \"selections\"", "\n    \"version\": 2\n}"})
            positions.append(bytes.indexOf(key));
        QVERIFY2(!positions.contains(-1), bytes.constData());
        QVERIFY(std::is_sorted(positions.cbegin(), positions.cend()));
        QVERIFY(!bytes.contains("null"));

        StoreSnapshot bare;
        QCOMPARE(LibraryDocument::encode(bare).bytes,
            QByteArray("{\n    \"groups\": [],\n    \"selections\": [],\n    \"version\": 2\n}"));
    }

    void unknownKeysAreDropped()
    {
        const QByteArray withExtras = document("2", selection(1).replace("{", "{\"extra\":1,"), ",\"later\":true");
        const DocumentDecoding decoding = LibraryDocument::decode(withExtras);
        QVERIFY(decoding.snapshot);
        const QByteArray rewritten = LibraryDocument::encode(*decoding.snapshot).bytes;
        QVERIFY(!rewritten.contains("extra"));
        QVERIFY(!rewritten.contains("later"));
        QCOMPARE(LibraryDocument::decode(rewritten).snapshot, decoding.snapshot);
    }

    // Large libraries are encoded and decoded in parallel chunks: the bytes must be those of one
    // plain writer, and a fault must be reported at its position whichever chunk holds it.
    void largeLibraryMatchesOneWriter_data()
    {
        QTest::addColumn<int>("selections");
        QTest::newRow("none") << 0;
        QTest::newRow("one") << 1;
        QTest::newRow("two") << 2;
        QTest::newRow("just two chunks") << 8193;
        QTest::newRow("several chunks") << 20001;
    }

    void largeLibraryMatchesOneWriter()
    {
        QFETCH(int, selections);
        const StoreSnapshot snapshot = LibraryFixtures::snapshot(selections, 20);
        rapidjson::StringBuffer buffer;
        RecordJson::Writer writer(buffer);
        writer.StartObject();
        writer.Key("activeDraftID");
        writer.String(Uuids::toText(*snapshot.activeDraftID).toUtf8().constData());
        writer.Key("drafts");
        writer.StartArray();
        for (const ContextDraft& draft : *snapshot.drafts)
            QVERIFY(RecordJson::write(writer, draft));
        writer.EndArray();
        writer.Key("groups");
        writer.StartArray();
        for (const SelectionGroup& group : snapshot.groups)
            QVERIFY(RecordJson::write(writer, group));
        writer.EndArray();
        writer.Key("selections");
        writer.StartArray();
        for (const Selection& selection : snapshot.selections)
            QVERIFY(RecordJson::write(writer, selection));
        writer.EndArray();
        writer.Key("version");
        writer.Int64(2);
        writer.EndObject();
        const QByteArray reference(buffer.GetString(), qsizetype(buffer.GetSize()));

        const DocumentEncoding encoding = LibraryDocument::encode(snapshot);
        QCOMPARE(encoding.bytes.size(), reference.size());
        QVERIFY(encoding.bytes == reference);
        // The read-back check parses in place: zeros follow the end within the allocation.
        const char* const end = encoding.bytes.constData() + encoding.bytes.size();
        QVERIFY(std::all_of(end, end + RecordJson::parsePadding, [](char c) { return c == 0; }));
        const DocumentDecoding decoding = LibraryDocument::decode(encoding.bytes);
        QVERIFY(decoding.snapshot);
        QVERIFY(*decoding.snapshot == snapshot);
    }

    void largeLibraryFaults_data()
    {
        QTest::addColumn<QList<int>>("damaged"); // selections whose date is damaged
        QTest::addColumn<int>("repeated"); // a selection that takes the first one's id, or -1
        QTest::addColumn<QString>("error");
        QTest::newRow("late chunk") << QList<int> {19000} << -1
                                    << "selections[19000].createdAt: not a date of the form 2025-03-14T09:26:53Z";
        QTest::newRow("first by position wins") << QList<int> {
            19500, 12001, 15000} << -1 << "selections[12001].createdAt: not a date of the form 2025-03-14T09:26:53Z";
        QTest::newRow("repeated id across chunks")
            << QList<int>() << 19999 << "selections: an identifier is used twice";
    }

    void largeLibraryFaults()
    {
        QFETCH(QList<int>, damaged);
        QFETCH(int, repeated);
        QFETCH(QString, error);
        StoreSnapshot snapshot = LibraryFixtures::snapshot(20000, 20);
        if (repeated >= 0)
            snapshot.selections[repeated].id = snapshot.selections[0].id;
        QByteArray bytes = LibraryDocument::encode(snapshot).bytes;
        for (int index : damaged) {
            const QByteArray date = "\"" + IsoDate::toText(snapshot.selections[index].createdAt).toLatin1() + "\"";
            QCOMPARE(bytes.count(date), 1);
            bytes.replace(date, "\"yesterday\"");
        }
        const ParsedLibraryDocument parsed(bytes);
        const DocumentDecoding decoding = parsed.decode();
        QVERIFY(decoding.error);
        QCOMPARE(decoding.error->description, error);
        QCOMPARE(parsed.validate()->description, error);
    }

    // A time that cannot be written fails the whole encoding, whichever record and whichever of
    // the parallel chunks holds it.
    void unwritableTimeFailsEncoding_data()
    {
        QTest::addColumn<int>("selections");
        QTest::addColumn<int>("draft"); // whose time is damaged, or -1
        QTest::addColumn<int>("selection"); // whose time is damaged, or -1
        QTest::newRow("draft") << 2 << 1 << -1;
        QTest::newRow("first selection") << 3 << -1 << 0;
        QTest::newRow("second selection") << 3 << -1 << 1;
        QTest::newRow("last selection") << 3 << -1 << 2;
        QTest::newRow("first chunk of several") << 20001 << -1 << 1;
        QTest::newRow("late chunk of several") << 20001 << -1 << 19000;
        QTest::newRow("last of several chunks") << 20001 << -1 << 20000;
    }

    void unwritableTimeFailsEncoding()
    {
        QFETCH(int, selections);
        QFETCH(int, draft);
        QFETCH(int, selection);
        StoreSnapshot snapshot = LibraryFixtures::snapshot(selections, 20);
        if (draft >= 0)
            (*snapshot.drafts)[draft].updatedAt = QDateTime();
        if (selection >= 0)
            snapshot.selections[selection].createdAt = QDateTime();
        const DocumentEncoding encoding = LibraryDocument::encode(snapshot);
        QVERIFY(encoding.error);
        QCOMPARE(*encoding.error, QStringLiteral("The library holds a time that cannot be written."));
        QVERIFY(encoding.bytes.isEmpty());
    }
};

TESSELLON_TEST_MAIN(TestLibraryDocument)
#include "tst_LibraryDocument.moc"
