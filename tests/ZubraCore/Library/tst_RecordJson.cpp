#include "support/TestMain.h"

#include "ZubraCore/Library/RecordJson.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

const QUuid selectionId = QUuid::fromString(QStringLiteral("{6F1C2B3A-0D4E-4F50-9A61-B7C8D9E0F1A2}"));
const QUuid groupId = QUuid::fromString(QStringLiteral("{00000000-0000-4000-8000-0000000000AB}"));

// A valid selection object with one key replaced (an empty value: the key removed).
QByteArray selectionJson(const QByteArray& key = {}, const QByteArray& value = {})
{
    QList<QPair<QByteArray, QByteArray>> members {
        {"id", "\"6f1c2b3a-0d4e-4f50-9a61-b7c8d9e0f1a2\""},
        {"text", "\"Hello\""},
        {"markdown", "\"**Hello**\""},
        {"appName", "\"Firefox\""},
        {"groupIDs", "[]"},
        {"createdAt", "\"2025-03-14T09:26:53Z\""},
    };
    bool replaced = false;
    for (auto& member : members)
        if (member.first == key) {
            member.second = value;
            replaced = true;
        }
    if (!replaced && !key.isEmpty())
        members.append({key, value});
    QByteArray json = "{";
    for (const auto& [name, text] : members)
        if (!text.isEmpty())
            json += (json.size() > 1 ? "," : "") + ('"' + name + "\":" + text);
    return json + "}";
}

} // namespace

class TestRecordJson : public QObject
{
    Q_OBJECT

private slots:
    void selectionDecoding_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("decodes");
        QTest::newRow("minimal") << selectionJson() << true;
        QTest::newRow("bundle null") << selectionJson("bundleID", "null") << true;
        QTest::newRow("unknown key") << selectionJson("colour", "{\"deep\":[1,2]}") << true;
        QTest::newRow("address") << selectionJson("sourceURL", "\"https://example.org/a?b=c#d\"") << true;
        QTest::newRow("address with space") << selectionJson("sourceURL", "\"https://example.org/a b\"") << true;
        QTest::newRow("group ids") << selectionJson("groupIDs", "[\"00000000-0000-4000-8000-0000000000ab\"]") << true;
        QTest::newRow("no groupIDs") << selectionJson("groupIDs", "") << false;
        QTest::newRow("groupIDs null") << selectionJson("groupIDs", "null") << false;
        QTest::newRow("group id not uuid") << selectionJson("groupIDs", "[\"x\"]") << false;
        QTest::newRow("group id number") << selectionJson("groupIDs", "[1]") << false;
        QTest::newRow("id not uuid") << selectionJson("id", "\"6f1c2b3a-0d4e-4f50-9a61-b7c8d9e0f1a\"") << false;
        QTest::newRow("id in braces") << selectionJson("id", "\"{6f1c2b3a-0d4e-4f50-9a61-b7c8d9e0f1a2}\"") << false;
        QTest::newRow("id number") << selectionJson("id", "7") << false;
        QTest::newRow("empty address") << selectionJson("sourceURL", "\"\"") << false;
        QTest::newRow("address number") << selectionJson("sourceURL", "3") << false;
        QTest::newRow("title wrong type") << selectionJson("sourceTitle", "true") << false;
        QTest::newRow("file path array") << selectionJson("filePath", "[]") << false;
        QTest::newRow("no markdown") << selectionJson("markdown", "") << false;
        QTest::newRow("text null") << selectionJson("text", "null") << false;
        QTest::newRow("app number") << selectionJson("appName", "1") << false;
        QTest::newRow("date with fraction") << selectionJson("createdAt", "\"2025-03-14T09:26:53.870Z\"") << false;
        QTest::newRow("date as number") << selectionJson("createdAt", "763630013") << false;
        QTest::newRow("no date") << selectionJson("createdAt", "") << false;
        QTest::newRow("array, not object") << QByteArray("[]") << false;
    }

    void selectionDecoding()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, decodes);
        QString error;
        const std::optional<Selection> selection = RecordJson::fromJson<Selection>(json, &error);
        QCOMPARE(selection.has_value(), decodes);
        QCOMPARE(error.isEmpty(), decodes);
        if (selection) {
            QCOMPARE(selection->id, selectionId);
            QCOMPARE(selection->text, QStringLiteral("Hello"));
            QCOMPARE(selection->markdown(), QStringLiteral("**Hello**"));
            QCOMPARE(selection->createdAt, QDateTime(QDate(2025, 3, 14), QTime(9, 26, 53), Qt::UTC));
            QVERIFY(!selection->bundleID);
        }
    }

    void errorNamesTheValue()
    {
        QString error;
        QVERIFY(!RecordJson::fromJson<Selection>(
            selectionJson("groupIDs", "[\"00000000-0000-4000-8000-0000000000ab\", 5]"), &error));
        QCOMPARE(error, QStringLiteral("groupIDs[1]: expected an identifier"));
    }

    void selectionEncoding()
    {
        Selection s = Selection::make(selectionId, QStringLiteral("caf\u00e9 \"q\"\n/"), std::nullopt,
            QStringLiteral("Firefox"), std::nullopt, QStringLiteral("https://example.org/x"), QStringLiteral("Title"),
            std::nullopt, {groupId}, QDateTime(QDate(2025, 3, 14), QTime(9, 26, 53, 870), Qt::UTC));
        const QByteArray expected = "{\n"
                                    "    \"appName\": \"Firefox\",\n"
                                    "    \"createdAt\": \"2025-03-14T09:26:53Z\",\n"
                                    "    \"groupIDs\": [\n"
                                    "        \"00000000-0000-4000-8000-0000000000AB\"\n"
                                    "    ],\n"
                                    "    \"id\": \"6F1C2B3A-0D4E-4F50-9A61-B7C8D9E0F1A2\",\n"
                                    "    \"markdown\": \"caf\xc3\xa9 \\\"q\\\"\\n/\",\n"
                                    "    \"sourceTitle\": \"Title\",\n"
                                    "    \"sourceURL\": \"https://example.org/x\",\n"
                                    "    \"text\": \"caf\xc3\xa9 \\\"q\\\"\\n/\"\n"
                                    "}";
        QCOMPARE(RecordJson::toJson(s), std::optional<QByteArray>(expected));

        std::optional<Selection> back = RecordJson::fromJson<Selection>(expected);
        QVERIFY(back);
        s.createdAt = QDateTime(QDate(2025, 3, 14), QTime(9, 26, 53), Qt::UTC);
        QCOMPARE(*back, s);
    }

    // The markdown is stored whole and decodes to the same value; one equal to the text shares
    // the decoded text's string. The rows cut UTF-8 sequences and surrogate pairs where text and
    // markdown part.
    void markdownRoundTrip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("markdown");
        QTest::addColumn<bool>("sharesText");
        const QString paragraph = u"Caf\u00e9 society met on Tuesday \u2014 and \"quoted\" in full.\nSecond line."_qs;
        QTest::newRow("bold run")
            << paragraph << u"**Caf\u00e9** society met on Tuesday \u2014 and \"quoted\" in full.\nSecond line."_qs
            << false;
        QTest::newRow("heading marker") << paragraph << u"# "_qs + paragraph << false;
        QTest::newRow("equal") << paragraph << paragraph << true;
        QTest::newRow("unlike") << paragraph << u"**x**"_qs << false;
        QTest::newRow("empty") << paragraph << QString() << false;
        QTest::newRow("two-byte sequences sharing a lead byte")
            << u"the caf\u00e9 on the corner of the street"_qs << u"the caf\u00e8 on the corner of the street"_qs
            << false;
        QTest::newRow("two-byte sequences sharing a continuation byte")
            << u"the caf\u00e9 on the corner of the street"_qs << u"the caf\u0129 on the corner of the street"_qs
            << false;
        QTest::newRow("four-byte sequences sharing three bytes")
            << u"smile \U0001F600 and carry on with the day"_qs << u"smile \U0001F601 and carry on with the day"_qs
            << false;
        QTest::newRow("four-byte sequences in the shared beginning and end")
            << u"\U0001F600 smile and carry on with the day \U0001F601"_qs
            << u"\U0001F600 smile and **carry** on with the day \U0001F601"_qs << false;
        QTest::newRow("deletion") << paragraph
                                  << u"Caf\u00e9 society met \u2014 and \"quoted\" in full.\nSecond line."_qs << false;
        QTest::newRow("markdown longer by a tail")
            << paragraph << paragraph + u"\n\n[link](https://example.org)"_qs << false;
    }

    void markdownRoundTrip()
    {
        QFETCH(QString, text);
        QFETCH(QString, markdown);
        QFETCH(bool, sharesText);
        const Selection selection = Selection::make(selectionId, text, markdown, QStringLiteral("Firefox"),
            std::nullopt, std::nullopt, std::nullopt, std::nullopt, {},
            QDateTime(QDate(2025, 3, 14), QTime(9, 26, 53), Qt::UTC));
        const std::optional<QByteArray> json = RecordJson::toJson(selection);
        QVERIFY(json);

        const std::optional<Selection> back = RecordJson::fromJson<Selection>(*json);
        QVERIFY(back);
        QCOMPARE(back->markdown(), markdown);
        QCOMPARE(back->markdown().constData() == back->text.constData(), sharesText);
        QCOMPARE(*back, selection);
        QCOMPARE(RecordJson::toJson(*back), json);
    }

    void invalidTimeIsNotWritten()
    {
        SelectionGroup group {groupId, QStringLiteral("G"), QStringLiteral("#4F8EF7"), QDateTime()};
        QVERIFY(!RecordJson::toJson(group));
    }

    void groupRoundTrip()
    {
        const SelectionGroup group {groupId, QStringLiteral("Research \u2014 2025"), QStringLiteral("not a colour"),
            QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59), Qt::UTC)};
        const std::optional<QByteArray> json = RecordJson::toJson(group);
        QVERIFY(json);
        QCOMPARE(json->left(30), QByteArray("{\n    \"colorHex\": \"not a colou"));
        QCOMPARE(RecordJson::fromJson<SelectionGroup>(*json), std::optional<SelectionGroup>(group));
        QVERIFY(!RecordJson::fromJson<SelectionGroup>(QByteArray(*json).replace("\"colorHex\"", "\"color\"")));
    }

    void entryDecoding_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("decodes");
        const QByteArray ids = "\"id\":\"00000000-0000-4000-8000-000000000001\","
                               "\"selectionID\":\"00000000-0000-4000-8000-000000000002\"";
        QTest::newRow("complete") << "{" + ids + ",\"include\":true,\"pin\":false,\"verbatim\":true}" << true;
        QTest::newRow("note null") << "{" + ids + ",\"include\":true,\"pin\":false,\"verbatim\":true,\"note\":null}"
                                   << true;
        QTest::newRow("no pin") << "{" + ids + ",\"include\":true,\"verbatim\":true}" << false;
        QTest::newRow("switch as number") << "{" + ids + ",\"include\":1,\"pin\":false,\"verbatim\":true}" << false;
        QTest::newRow("note number") << "{" + ids + ",\"include\":true,\"pin\":false,\"verbatim\":true,\"note\":2}"
                                     << false;
        QTest::newRow("no selection") << QByteArray(
            "{\"id\":\"00000000-0000-4000-8000-000000000001\",\"include\":true,\"pin\":false,"
            "\"verbatim\":true}") << false;
    }

    void entryDecoding()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, decodes);
        QCOMPARE(RecordJson::fromJson<ContextDraftEntry>(json).has_value(), decodes);
    }

    void draftRoundTrip()
    {
        const QDateTime created(QDate(2025, 1, 2), QTime(3, 4, 5), Qt::UTC);
        ContextDraft draft {selectionId, QStringLiteral("Prompt 1"), QString(), QStringLiteral("plain"),
            QStringLiteral("no-such-model"), created, created.addSecs(60), {}};
        draft.entries = {ContextDraftEntry {groupId, selectionId, false, true, false, QString(), std::nullopt},
            ContextDraftEntry {selectionId, groupId, true, false, true, std::nullopt, QStringLiteral("edited")}};
        const std::optional<QByteArray> json = RecordJson::toJson(draft);
        QVERIFY(json);
        QVERIFY(json->contains("\"template\": \"plain\""));
        QVERIFY(json->contains("\"note\": \"\""));
        QVERIFY(!json->contains("null"));
        QCOMPARE(RecordJson::fromJson<ContextDraft>(*json), std::optional<ContextDraft>(draft));

        QByteArray withoutEntries = *json;
        withoutEntries.replace("\"entries\"", "\"entriez\"");
        QVERIFY(!RecordJson::fromJson<ContextDraft>(withoutEntries));
    }

    void identityForm()
    {
        const SourceIdentity identity {QStringLiteral("/tmp/a.txt"), QStringLiteral("Editor"), std::nullopt,
            std::nullopt, QStringLiteral("/tmp/a.txt")};
        const std::optional<QByteArray> json = RecordJson::toJson(identity);
        QCOMPARE(json,
            std::optional<QByteArray>("{\n    \"appName\": \"Editor\",\n    \"filePath\": \"/tmp/a.txt\",\n"
                                      "    \"identifier\": \"/tmp/a.txt\"\n}"));
        QCOMPARE(RecordJson::fromJson<SourceIdentity>(*json), std::optional<SourceIdentity>(identity));
    }

    // RapidJSON's vectorised scan must stay out of every AddressSanitizer build, whichever
    // compiler makes it: compiled here with each sanitizing compiler found.
    void vectorScanStaysOutOfSanitizerBuilds_data()
    {
        QTest::addColumn<QString>("compiler");
        QTest::addColumn<QStringList>("flags");
        QTest::addColumn<bool>("vectorised");
        for (const char* compiler : {"g++", "clang++"}) {
            QTest::addRow("%s, address sanitizer", compiler)
                << QString::fromLatin1(compiler) << QStringList {"-fsanitize=address"} << false;
            QTest::addRow("%s, plain", compiler) << QString::fromLatin1(compiler) << QStringList {"-msse2"} << true;
        }
    }

    void vectorScanStaysOutOfSanitizerBuilds()
    {
        QFETCH(QString, compiler);
        QFETCH(QStringList, flags);
        QFETCH(bool, vectorised);
        const QString program = QStandardPaths::findExecutable(compiler);
        if (program.isEmpty())
            QSKIP("this compiler is not installed");
        QTemporaryDir dir;
        const QString probe = dir.filePath(QStringLiteral("probe.cpp"));
        QFile file(probe);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#include \"ZubraCore/Library/RecordJsonConfig.h\"\n"
                   "#if defined(RAPIDJSON_SSE2) != VECTORISED\n#error the vectorised scan is chosen wrongly\n#endif\n");
        file.close();
        QProcess compile;
        compile.start(program, flags + QStringList {"-fsyntax-only", "-std=c++20", "-I" TESSELLON_SOURCE_DIR,
                                   QStringLiteral("-DVECTORISED=") + (vectorised ? u'1' : u'0'), probe});
        QVERIFY(compile.waitForFinished(60000));
        QVERIFY2(compile.exitCode() == 0, compile.readAllStandardError().constData());
    }
};

TESSELLON_TEST_MAIN(TestRecordJson)
#include "tst_RecordJson.moc"
