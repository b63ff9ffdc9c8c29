// Fitting to a budget, splitting into messages and the split copy: outcomes and sentences.

#include "ZubraCore/Composition/ContextComposer.h"
#include "support/TestMain.h"

#include <QtTest>

namespace {

// One character per token: the budgets below are plain character counts.
const ModelProfile perCharacter {u"per-character"_qs, u"Per character"_qs, 1000, 1.0};

struct Fixture
{
    QList<Selection> selections;
    ContextDraft draft;
};

// Entries A, B, C, D from the applications "A" to "D", each body ten letters. In the Plain layout
// without a task each source is "SOURCE: X\n\n" + body, 21 characters, joined by 7: the pinned D
// first, then A, B, C: 105 characters; without C 77, without B and C 49, D alone 21.
Fixture fixture(const QString& layout = u"Plain"_qs, const QString& task = {})
{
    Fixture f;
    f.draft.id = QUuid::createUuid();
    f.draft.templateName = layout;
    f.draft.task = task;
    for (char c : {'A', 'B', 'C', 'D'}) {
        const QString name(QChar::fromLatin1(c));
        const Selection s
            = Selection::make(QUuid::createUuid(), QString(10, QChar::fromLatin1(c).toLower()), std::nullopt, name);
        f.selections.append(s);
        ContextDraftEntry e;
        e.id = QUuid::createUuid();
        e.selectionID = s.id;
        e.pin = c == 'D';
        f.draft.entries.append(e);
    }
    return f;
}

QString source(char c)
{
    return u"SOURCE: "_qs + QChar::fromLatin1(c) + u"\n\n"_qs + QString(10, QChar::fromLatin1(c).toLower());
}

const QString rule = u"\n\n---\n\n"_qs;

QString label(int i, int n, const QString& tokens)
{
    return u"\u2014\u2014 MESSAGE "_qs + QString::number(i) + u" OF "_qs + QString::number(n) + u" \u00B7 "_qs + tokens
        + u" tokens \u2014\u2014"_qs;
}

const QString stillOver = u" tokens. Shorten the task, turn off the preamble, trim pinned sources, or export."_qs;

} // namespace

class TestBudgetFitting : public QObject
{
    Q_OBJECT

private slots:
    void reduceToFit_data()
    {
        QTest::addColumn<qint64>("budget");
        QTest::addColumn<QString>("removed"); // letters of the entries expected gone
        QTest::addColumn<QStringList>("feedback");
        QTest::addRow("fits already") << qint64(105) << u""_qs
                                      << QStringList {u"Already within the estimated budget."_qs};
        QTest::addRow("drop the last") << qint64(
            77) << u"C"_qs << QStringList {u"Removed 1 optional source."_qs, u"Now within the estimated budget."_qs};
        QTest::addRow("drop two") << qint64(
            76) << u"BC"_qs << QStringList {u"Removed 2 optional sources."_qs, u"Now within the estimated budget."_qs};
        QTest::addRow("pinned left over budget")
            << qint64(20) << u"ABC"_qs
            << QStringList {u"Removed 3 optional sources."_qs, u"Still over budget by an estimated 1"_qs + stillOver};
        QTest::addRow("pinned fits exactly") << qint64(
            21) << u"ABC"_qs << QStringList {u"Removed 3 optional sources."_qs, u"Now within the estimated budget."_qs};
        QTest::addRow("zero budget") << qint64(
            0) << u""_qs << QStringList {u"The token budget must be greater than zero. No sources were removed."_qs};
    }
    void reduceToFit()
    {
        QFETCH(qint64, budget);
        QFETCH(QString, removed);
        QFETCH(QStringList, feedback);
        const Fixture f = fixture();
        const auto result = ContextComposer::reduceToFit(f.draft, f.selections, perCharacter, budget, std::nullopt);
        QList<ContextDraftEntry> expected;
        for (qsizetype i = 0; i < 4; ++i) {
            if (!removed.contains(QChar(char16_t(u'A' + i))))
                expected.append(f.draft.entries[i]);
        }
        QCOMPARE(result.entries, expected);
        QCOMPARE(result.feedback, feedback);
    }

    void reduceToFitKeepsUnusableEntries_data()
    {
        QTest::addColumn<bool>("excluded"); // else: the selection is missing
        QTest::addRow("excluded") << true;
        QTest::addRow("missing selection") << false;
    }
    void reduceToFitKeepsUnusableEntries()
    {
        QFETCH(bool, excluded);
        Fixture f = fixture();
        ContextDraftEntry extra;
        extra.id = QUuid::createUuid();
        extra.selectionID = excluded ? f.selections[0].id : QUuid::createUuid();
        extra.include = !excluded;
        f.draft.entries.append(extra);
        const auto result = ContextComposer::reduceToFit(f.draft, f.selections, perCharacter, 77, std::nullopt);
        QCOMPARE(result.entries,
            (QList<ContextDraftEntry> {f.draft.entries[0], f.draft.entries[1], f.draft.entries[3], extra}));
        QCOMPARE(result.feedback.first(), u"Removed 1 optional source."_qs);
    }

    void reduceToFitWithoutSources_data()
    {
        QTest::addColumn<QString>("task");
        QTest::addColumn<QStringList>("feedback");
        // "TASK:\n" + 5000 letters: 5006 characters against 1000.
        QTest::addRow("long task") << QString(5000, u'x')
                                   << QStringList {u"Still over budget by an estimated 4,006"_qs + stillOver};
        QTest::addRow("nothing") << u"  "_qs << QStringList {u"Nothing to reduce."_qs};
    }
    void reduceToFitWithoutSources()
    {
        QFETCH(QString, task);
        QFETCH(QStringList, feedback);
        ContextDraft draft;
        draft.templateName = u"Plain"_qs;
        draft.task = task;
        const auto result = ContextComposer::reduceToFit(draft, {}, perCharacter, 1000, std::nullopt);
        QVERIFY(result.entries.isEmpty());
        QCOMPARE(result.feedback, feedback);
    }

    void splitForMessages_data()
    {
        QTest::addColumn<qint64>("budget");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QList<qint64>>("tokens");
        QTest::addColumn<QStringList>("feedback"); // per message, empty for none
        QTest::addRow("one source each") << qint64(21)
                                         << QStringList {source('D'), source('A'), source('B'), source('C')}
                                         << QList<qint64> {21, 21, 21, 21} << QStringList {{}, {}, {}, {}};
        QTest::addRow("two by two") << qint64(49)
                                    << QStringList {source('D') + rule + source('A'), source('B') + rule + source('C')}
                                    << QList<qint64> {49, 49} << QStringList {{}, {}};
        QTest::addRow("everything fits") << qint64(
            105) << QStringList {source('D') + rule + source('A') + rule + source('B') + rule + source('C')}
                                         << QList<qint64> {105} << QStringList {{}};
        const QString over = u"Over budget by an estimated 1 tokens."_qs;
        QTest::addRow("each too large") << qint64(20)
                                        << QStringList {source('D'), source('A'), source('B'), source('C')}
                                        << QList<qint64> {21, 21, 21, 21} << QStringList {over, over, over, over};
        QTest::addRow("zero budget") << qint64(
            0) << QStringList {source('D') + rule + source('A') + rule + source('B') + rule + source('C')}
                                     << QList<qint64> {105}
                                     << QStringList {u"The token budget must be greater than zero."_qs};
    }
    void splitForMessages()
    {
        QFETCH(qint64, budget);
        QFETCH(QStringList, texts);
        QFETCH(QList<qint64>, tokens);
        QFETCH(QStringList, feedback);
        const Fixture f = fixture();
        const QList<ComposedContext> messages
            = ContextComposer::splitForMessages(f.draft, f.selections, std::nullopt, perCharacter, budget);
        QCOMPARE(messages.size(), texts.size());
        for (qsizetype i = 0; i < messages.size(); ++i) {
            QCOMPARE(messages[i].text, texts[i]);
            QCOMPARE(messages[i].tokens, tokens[i]);
            QCOMPARE(messages[i].feedback, feedback[i].isEmpty() ? QStringList() : QStringList {feedback[i]});
        }
    }

    void messagesRepeatTaskAndPreamble()
    {
        const Fixture f = fixture(u"Sections"_qs, u"Do it"_qs);
        // Each message: "# Task\n\nDo it\n\n# Context\n\n> P\n\n---\n\n## SOURCE: X\n\n" + ten letters = 60.
        const QList<ComposedContext> messages
            = ContextComposer::splitForMessages(f.draft, f.selections, u" P "_qs, perCharacter, 60);
        QCOMPARE(messages.size(), 4);
        for (qsizetype i = 0; i < 4; ++i) {
            const char c = "DABC"[i];
            QCOMPARE(messages[i].text,
                u"# Task\n\nDo it\n\n# Context\n\n> P\n\n---\n\n## SOURCE: "_qs + QChar::fromLatin1(c) + u"\n\n"_qs
                    + QString(10, QChar::fromLatin1(c).toLower()));
            QCOMPARE(messages[i].tokens, 60);
            QCOMPARE(messages[i].entryCount, 1);
        }
    }

    void splitWithoutSources_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("task");
        QTest::addColumn<QStringList>("texts");
        QTest::addRow("task alone") << u"Sections"_qs << u"Do it"_qs
                                    << QStringList {u"# Task\n\nDo it\n\n# Context\n\n> P"_qs};
        QTest::addRow("preamble alone in xml") << u"XML-tagged"_qs << u""_qs
                                               << QStringList {u"<context>\n<instruction>\nP\n</instruction>\n"
                                                               u"</context>"_qs};
        QTest::addRow("nothing in plain") << u"Plain"_qs << u""_qs << QStringList();
    }
    void splitWithoutSources()
    {
        QFETCH(QString, layout);
        QFETCH(QString, task);
        QFETCH(QStringList, texts);
        ContextDraft draft;
        draft.templateName = layout;
        draft.task = task;
        const QList<ComposedContext> messages
            = ContextComposer::splitForMessages(draft, {}, u"P"_qs, perCharacter, 1000);
        QStringList actual;
        for (const ComposedContext& m : messages)
            actual.append(m.text);
        QCOMPARE(actual, texts);
    }

    void planSplitCopy_data()
    {
        QTest::addColumn<qint64>("budget");
        QTest::addColumn<bool>("empty");
        QTest::addColumn<QVariant>("clipboard");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<int>("messages");
        const QString ok
            = u"Message token counts are estimates. Paste each message separately without its separator label."_qs;
        QTest::addRow("two messages") << qint64(49) << false
                                      << QVariant(label(1, 2, u"49"_qs) + u"\n\n"_qs + source('D') + rule + source('A')
                                             + u"\n\n"_qs + label(2, 2, u"49"_qs) + u"\n\n"_qs + source('B') + rule
                                             + source('C'))
                                      << ok << 2;
        QTest::addRow("refused over budget")
            << qint64(20) << false << QVariant()
            << u"Cannot split within this estimated budget. Shorten the task, turn off the preamble, trim oversized "
               u"sources, or export."_qs
            << 4;
        QTest::addRow("zero budget") << qint64(0) << false << QVariant()
                                     << u"The token budget must be greater than zero."_qs << 1;
        QTest::addRow("nothing to copy") << qint64(100) << true << QVariant() << u"Nothing to copy yet."_qs << 0;
    }
    void planSplitCopy()
    {
        QFETCH(qint64, budget);
        QFETCH(bool, empty);
        QFETCH(QVariant, clipboard);
        QFETCH(QString, notice);
        QFETCH(int, messages);
        Fixture f = fixture();
        if (empty)
            f.draft.entries.clear();
        const SplitCopyPlan plan
            = ContextComposer::planSplitCopy(f.draft, f.selections, std::nullopt, perCharacter, budget);
        QCOMPARE(plan.clipboardText.has_value(), clipboard.isValid());
        if (clipboard.isValid())
            QCOMPARE(*plan.clipboardText, clipboard.toString());
        QCOMPARE(plan.notice, notice);
        QCOMPARE(plan.messages.size(), messages);
    }

    void firstEntryTooLargeTravelsAlone()
    {
        // The pinned D grows to 50 letters: 61 characters alone, over the budget of 49. It forms
        // the first message by itself; A and B (49 together) share the next, C takes the last.
        Fixture f = fixture();
        f.selections[3].text = QString(50, u'd');
        f.selections[3].setMarkdown(f.selections[3].text);
        const QString bigD = u"SOURCE: D\n\n"_qs + QString(50, u'd');
        const QList<ComposedContext> messages
            = ContextComposer::splitForMessages(f.draft, f.selections, std::nullopt, perCharacter, 49);
        QCOMPARE(messages.size(), 3);
        QCOMPARE(messages[0].text, bigD);
        QCOMPARE(messages[0].tokens, 61);
        QCOMPARE(messages[0].entryCount, 1);
        QCOMPARE(messages[0].feedback, QStringList {u"Over budget by an estimated 12 tokens."_qs});
        QCOMPARE(messages[1].text, source('A') + rule + source('B'));
        QCOMPARE(messages[1].entryCount, 2);
        QVERIFY(messages[1].feedback.isEmpty());
        QCOMPARE(messages[2].text, source('C'));

        const SplitCopyPlan plan
            = ContextComposer::planSplitCopy(f.draft, f.selections, std::nullopt, perCharacter, 49);
        QVERIFY(!plan.clipboardText);
        QCOMPARE(plan.messages.size(), 3);
        QCOMPARE(plan.messages[1].text, messages[1].text);
        QCOMPARE(plan.notice,
            u"Cannot split within this estimated budget. Shorten the task, turn off the preamble, trim oversized "
            u"sources, or export."_qs);
    }

    void labelGroupsDigits()
    {
        // "SOURCE: A\n\n" (11) + 4925 letters = 4936 characters, 1,234 tokens at four characters each.
        ContextDraft draft;
        draft.templateName = u"Plain"_qs;
        const Selection s = Selection::make(QUuid::createUuid(), QString(4925, u'a'), std::nullopt, u"A"_qs);
        ContextDraftEntry e;
        e.id = QUuid::createUuid();
        e.selectionID = s.id;
        draft.entries.append(e);
        const SplitCopyPlan plan = ContextComposer::planSplitCopy(draft, {s}, std::nullopt, std::nullopt, 5000);
        QVERIFY(plan.clipboardText);
        QVERIFY(plan.clipboardText->startsWith(label(1, 1, u"1,234"_qs) + u"\n\nSOURCE: A\n\naaa"_qs));
        QVERIFY(!plan.clipboardText->endsWith(u'\n'));
    }
};

TESSELLON_TEST_MAIN(TestBudgetFitting)
#include "tst_BudgetFitting.moc"
