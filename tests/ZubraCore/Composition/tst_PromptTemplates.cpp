// Built-in and custom task templates, stored in a settings file.

#include "ZubraCore/Composition/PromptTemplates.h"
#include "support/TestMain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

namespace {

PromptTemplate custom(
    const QString& id, const QString& name = u"Mine"_qs, ComposerTemplate kind = ComposerTemplate::xml)
{
    return {id, name, u"Do the thing with \"quotes\" and %1"_qs, kind};
}

QStringList idsOf(const QList<PromptTemplate>& list)
{
    QStringList ids;
    for (const PromptTemplate& t : list)
        ids.append(t.id);
    return ids;
}

const QByteArray unknownLayout
    = R"([{"id":"a","name":"A","task":"t","template":"Sections"},{"id":"b","name":"B","task":"t","template":"Markdown"}])";

} // namespace

class TestPromptTemplates : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<QSettings> m_settings;

    QSettings& settings() { return *m_settings; }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_settings.reset(); // it writes back when it goes
        QFile::remove(m_dir.filePath(u"defaults.ini"_qs));
        m_settings = std::make_unique<QSettings>(m_dir.filePath(u"defaults.ini"_qs), QSettings::IniFormat);
    }

    void applyChangesTaskAndLayoutOnly()
    {
        ContextDraft draft;
        draft.id = QUuid::createUuid();
        draft.name = u"Draft"_qs;
        draft.task = u"old"_qs;
        draft.templateName = u"Plain"_qs;
        draft.modelProfileID = u"claude"_qs;
        draft.updatedAt = QDateTime::fromSecsSinceEpoch(1000, Qt::UTC);
        draft.entries.append({QUuid::createUuid(), QUuid::createUuid(), true, true, false, u"n"_qs, std::nullopt});
        ContextDraft expected = draft;
        expected.task = PromptTemplates::builtins()[4].task;
        expected.templateName = u"Sections"_qs;
        QCOMPARE(PromptTemplates::apply(PromptTemplates::builtins()[4], draft), expected);
    }

    void saveAndLoad()
    {
        QVERIFY(PromptTemplates::loadCustom(settings()).isEmpty());
        PromptTemplates::saveCustom(custom(u"one"_qs), settings());
        const QJsonDocument stored
            = QJsonDocument::fromJson(settings().value(PromptTemplates::customKey()).toByteArray());
        QCOMPARE(stored.array().size(), 1);
        QCOMPARE(stored.array()[0].toObject().value(u"template").toString(), u"XML-tagged"_qs);
        PromptTemplates::saveCustom(custom(u"two"_qs, u"Two"_qs, ComposerTemplate::plain), settings());
        // A custom template may carry a built-in's id.
        PromptTemplates::saveCustom(custom(u"summarize"_qs), settings());
        settings().sync();
        QSettings reopened(m_dir.filePath(u"defaults.ini"_qs), QSettings::IniFormat);
        const QList<PromptTemplate> loaded = PromptTemplates::loadCustom(reopened);
        QCOMPARE(loaded,
            (QList<PromptTemplate> {
                custom(u"one"_qs), custom(u"two"_qs, u"Two"_qs, ComposerTemplate::plain), custom(u"summarize"_qs)}));
        QCOMPARE(reopened.allKeys(), QStringList {PromptTemplates::customKey()});
    }

    void replaceMovesLast_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QStringList>("expected");
        QTest::addRow("first") << u"a"_qs << QStringList {u"b"_qs, u"c"_qs, u"a"_qs};
        QTest::addRow("last") << u"c"_qs << QStringList {u"a"_qs, u"b"_qs, u"c"_qs};
        QTest::addRow("new") << u"d"_qs << QStringList {u"a"_qs, u"b"_qs, u"c"_qs, u"d"_qs};
        QTest::addRow("ids are case-sensitive") << u"A"_qs << QStringList {u"a"_qs, u"b"_qs, u"c"_qs, u"A"_qs};
    }
    void replaceMovesLast()
    {
        QFETCH(QString, id);
        QFETCH(QStringList, expected);
        PromptTemplates::saveCustom({custom(u"a"_qs), custom(u"b"_qs), custom(u"c"_qs)}, settings());
        PromptTemplates::saveCustom(custom(id, u"New"_qs), settings());
        const QList<PromptTemplate> list = PromptTemplates::loadCustom(settings());
        QCOMPARE(idsOf(list), expected);
        QCOMPARE(list.last().name, u"New"_qs);
    }

    void remove_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QStringList>("expected");
        QTest::addRow("stored") << u"b"_qs << QStringList {u"a"_qs, u"c"_qs};
        QTest::addRow("not stored") << u"x"_qs << QStringList {u"a"_qs, u"b"_qs, u"c"_qs, u"b"_qs};
    }
    void remove()
    {
        QFETCH(QString, id);
        QFETCH(QStringList, expected);
        // Two elements with one id can only come from outside; removing drops both.
        const QByteArray four = R"([{"id":"a","name":"A","task":"t","template":"Plain"},)"
                                R"({"id":"b","name":"B","task":"t","template":"Plain"},)"
                                R"({"id":"c","name":"C","task":"t","template":"Plain"},)"
                                R"({"id":"b","name":"B2","task":"t","template":"Plain"}])";
        settings().setValue(PromptTemplates::customKey(), four);
        PromptTemplates::removeCustom(id, settings());
        QCOMPARE(idsOf(PromptTemplates::loadCustom(settings())), expected);
    }

    void unreadableReadsEmpty_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addRow("unknown layout") << QVariant(unknownLayout);
        QTest::addRow("malformed json") << QVariant(QByteArray(R"([{"id":"a",)"));
        QTest::addRow("missing key") << QVariant(QByteArray(R"([{"id":"a","name":"A","template":"Plain"}])"));
        QTest::addRow("number for a string")
            << QVariant(QByteArray(R"([{"id":1,"name":"A","task":"t","template":"Plain"}])"));
        QTest::addRow("object at the top") << QVariant(QByteArray(R"({"id":"a"})"));
        QTest::addRow("element not an object") << QVariant(QByteArray(R"([1])"));
        QTest::addRow("layout in another case")
            << QVariant(QByteArray(R"([{"id":"a","name":"A","task":"t","template":"plain"}])"));
        QTest::addRow("invalid utf-8") << QVariant(QByteArray("[\"\xff\"]"));
        QTest::addRow("a number") << QVariant(42);
        QTest::addRow("too large") << QVariant(QByteArray(9 * 1024 * 1024, ' ') + QByteArray("[]"));
    }
    void unreadableReadsEmpty()
    {
        QFETCH(QVariant, stored);
        settings().setValue(PromptTemplates::customKey(), stored);
        QVERIFY(PromptTemplates::loadCustom(settings()).isEmpty());
        // Saving replaces the list, but the unreadable value is kept aside first.
        PromptTemplates::saveCustom(custom(u"new"_qs), settings());
        QCOMPARE(PromptTemplates::loadCustom(settings()), QList<PromptTemplate> {custom(u"new"_qs)});
        QCOMPARE(settings().value(PromptTemplates::unreadableKey()), stored);
    }

    void readableValueIsNotKeptAside()
    {
        PromptTemplates::saveCustom(custom(u"a"_qs), settings());
        PromptTemplates::saveCustom(custom(u"b"_qs), settings());
        QVERIFY(!settings().contains(PromptTemplates::unreadableKey()));
    }

    void secondUnreadableValueKeptBesideTheFirst()
    {
        settings().setValue(PromptTemplates::customKey(), QByteArray("first"));
        PromptTemplates::removeCustom(u"x"_qs, settings());
        settings().setValue(PromptTemplates::customKey(), QByteArray("second"));
        PromptTemplates::removeCustom(u"x"_qs, settings());
        settings().setValue(PromptTemplates::customKey(), QByteArray("first"));
        PromptTemplates::removeCustom(u"x"_qs, settings());
        QCOMPARE(settings().value(PromptTemplates::unreadableKey()).toByteArray(), QByteArray("first"));
        QCOMPARE(settings().value(PromptTemplates::unreadableKey() + u"-2"_qs).toByteArray(), QByteArray("second"));
        QVERIFY(!settings().contains(PromptTemplates::unreadableKey() + u"-3"_qs));
    }

    void textValueFromHandEditedFile()
    {
        settings().setValue(PromptTemplates::customKey(),
            QString::fromUtf8(R"([{"id":"a","name":"A","task":"t","template":"Plain"}])"));
        QCOMPARE(PromptTemplates::loadCustom(settings()),
            (QList<PromptTemplate> {{u"a"_qs, u"A"_qs, u"t"_qs, ComposerTemplate::plain}}));
    }
};

TESSELLON_TEST_MAIN(TestPromptTemplates)
#include "tst_PromptTemplates.moc"
