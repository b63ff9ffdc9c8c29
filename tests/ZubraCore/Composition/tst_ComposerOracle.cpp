// The composer against the plain definitions, on random drafts full of characters that span
// joints (combining marks, CR LF, flags, emoji sequences, prepended marks).

#include "PlainComposer.h"
#include "RandomTexts.h"
#include "ZubraCore/Composition/ContextComposer.h"
#include "ZubraCore/Composition/PromptModel.h"
#include "ZubraCore/Text/TextMetrics.h"
#include "support/TestMain.h"

#include <QtTest>

namespace {

// One character per token, so that every miscounted character shows in the estimate.
const ModelProfile perCharacter {u"per-character"_qs, u"Per character"_qs, 1000, 1.0};

struct Case
{
    QList<Selection> selections;
    ContextDraft draft;
    std::optional<QString> preamble;
    std::optional<ModelProfile> profile;
};

Case randomCase(quint32 seed)
{
    QRandomGenerator rng(seed);
    Case c;
    c.selections = RandomTexts::selections(rng, 1 + rng.bounded(10));
    c.draft = RandomTexts::draft(rng, c.selections, rng.bounded(14));
    switch (rng.bounded(3)) {
    case 0:
        break;
    case 1:
        c.preamble = ContextComposer::defaultPreamble();
        break;
    default:
        c.preamble = RandomTexts::text(rng, 4);
        break;
    }
    if (rng.bounded(3) != 0)
        c.profile = perCharacter;
    return c;
}

void compareContexts(const ComposedContext& actual, const ComposedContext& expected)
{
    QCOMPARE(actual.text, expected.text);
    QCOMPARE(actual.tokens, expected.tokens);
    QCOMPARE(actual.feedback, expected.feedback);
    QCOMPARE(actual.entryCount, expected.entryCount);
}

void addSeeds(int count)
{
    QTest::addColumn<quint32>("seed");
    for (int i = 0; i < count; ++i)
        QTest::addRow("seed %d", i) << quint32(1000 + i);
}

// Budgets around the draft's own estimate: none, zero, tight and loose.
QList<qint64> budgetsFor(const Case& c)
{
    const qint64 full = PlainComposer::compose(c.draft, c.selections, c.preamble, c.profile, std::nullopt, true).tokens;
    return {0, 1, full / 4, full / 2, full - 1, full, full + 1, full * 2 + 3};
}

} // namespace

class TestComposerOracle : public QObject
{
    Q_OBJECT

private slots:
    void composeMatchesPlainDefinition_data() { addSeeds(300); }
    void composeMatchesPlainDefinition()
    {
        QFETCH(quint32, seed);
        const Case c = randomCase(seed);
        for (bool grouped : {true, false}) {
            for (std::optional<qint64> budget :
                {std::optional<qint64>(), std::optional<qint64>(0), std::optional<qint64>(40)}) {
                compareContexts(ContextComposer::compose(c.draft, c.selections, c.preamble, c.profile, budget, grouped),
                    PlainComposer::compose(c.draft, c.selections, c.preamble, c.profile, budget, grouped));
            }
        }
    }

    void reduceToFitMatchesPlainDefinition_data() { addSeeds(300); }
    void reduceToFitMatchesPlainDefinition()
    {
        QFETCH(quint32, seed);
        const Case c = randomCase(seed);
        for (qint64 budget : budgetsFor(c)) {
            const auto actual = ContextComposer::reduceToFit(c.draft, c.selections, c.profile, budget, c.preamble);
            const auto expected = PlainComposer::reduceToFit(c.draft, c.selections, c.profile, budget, c.preamble);
            QCOMPARE(actual.entries, expected.entries);
            QCOMPARE(actual.feedback, expected.feedback);
        }
    }

    void splitCopyMatchesPlainDefinition_data() { addSeeds(300); }
    void splitCopyMatchesPlainDefinition()
    {
        QFETCH(quint32, seed);
        const Case c = randomCase(seed);
        for (qint64 budget : budgetsFor(c)) {
            const SplitCopyPlan actual
                = ContextComposer::planSplitCopy(c.draft, c.selections, c.preamble, c.profile, budget);
            const SplitCopyPlan expected
                = PlainComposer::planSplitCopy(c.draft, c.selections, c.preamble, c.profile, budget);
            QCOMPARE(actual.messages.size(), expected.messages.size());
            for (qsizetype i = 0; i < actual.messages.size(); ++i)
                compareContexts(actual.messages[i], expected.messages[i]);
            QCOMPARE(actual.clipboardText, expected.clipboardText);
            QCOMPARE(actual.notice, expected.notice);
        }
    }

    // The piece counts with their joint adjustments add up to the count of the built text, for every
    // run of entries, in every layout, also where a character spans a joint.
    void pieceCountsMatchTextAtJoints_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("note");
        QTest::addColumn<QString>("title");
        QTest::addRow("mark first") << u"\u0301abc"_qs << QString() << u"T"_qs;
        QTest::addRow("carriage return last") << u"abc\r"_qs << QString() << u"T"_qs;
        QTest::addRow("prepended mark last") << u"abc\u0600"_qs << u"\u0600"_qs << u"T\u0600"_qs;
        QTest::addRow("lone regional indicators") << u"\U0001F1FA"_qs << u"\U0001F1F8"_qs << u"\U0001F1E9"_qs;
        QTest::addRow("zero width joiners") << u"\u200D\U0001F4BB\u200D"_qs << u"\u200D"_qs << u"\u200D"_qs;
        QTest::addRow("marks everywhere") << u"\u0301"_qs << u"\u0302"_qs << u"\u0303"_qs;
        QTest::addRow("only CR") << u"\r"_qs << u"\r"_qs << QString();
        QTest::addRow("hangul jamo") << u"\u1161x\u1100"_qs << u"\u11A8"_qs << u"\u1100"_qs;
        QTest::addRow("plain ascii") << u"abc"_qs << u"n"_qs << u"T"_qs;
    }
    void pieceCountsMatchTextAtJoints()
    {
        QFETCH(QString, body);
        QFETCH(QString, note);
        QFETCH(QString, title);
        QList<Selection> selections;
        ContextDraft draft;
        draft.task = body;
        for (int i = 0; i < 4; ++i) {
            Selection s = Selection::make(QUuid::createUuid(), body, std::nullopt, u"App"_qs);
            s.sourceTitle = title;
            s.sourceURL = i % 2 ? std::optional<QString>(u"https://a.test"_qs) : std::nullopt;
            selections.append(s);
            ContextDraftEntry e;
            e.id = QUuid::createUuid();
            e.selectionID = s.id;
            e.verbatim = true;
            if (i != 2 && !note.isEmpty())
                e.note = note;
            draft.entries.append(e);
        }
        for (const QString& layout : {u"Sections"_qs, u"XML-tagged"_qs, u"Plain"_qs}) {
            draft.templateName = layout;
            const QList<ContextComposer::PreparedEntry> prepared = ContextComposer::preparedEntries(draft, selections);
            const ContextComposer::PromptModel model(draft, prepared, body);
            for (qsizetype first = 0; first <= model.size(); ++first) {
                for (qsizetype last = first; last <= model.size(); ++last) {
                    for (bool grouped : {true, false}) {
                        const QString text = model.text(first, last, grouped);
                        QCOMPARE(model.characters(first, last, grouped), TextMetrics::count(text));
                    }
                }
            }
        }
    }
};

TESSELLON_TEST_MAIN(TestComposerOracle)
#include "tst_ComposerOracle.moc"
