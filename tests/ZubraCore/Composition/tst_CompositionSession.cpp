// The kept composition against the plain compose on random edit sequences: every kind of edit a
// composer makes between two previews, on drafts full of characters that span joints.

#include "RandomTexts.h"
#include "ZubraCore/Composition/CompositionSession.h"
#include "ZubraCore/Composition/ContextComposer.h"
#include "support/StoreHarness.h"
#include "support/TestMain.h"

#include <QtTest>

using ContextComposer::CompositionSession;

namespace {

// One character per token, so that every miscounted character shows in the estimate.
const ModelProfile perCharacter {u"per-character"_qs, u"Per character"_qs, 1000, 1.0};

// One random edit of the kind the composer or a capture makes.
void edit(QRandomGenerator& rng, ContextDraft& draft, QList<Selection>& selections, std::optional<QString>& preamble)
{
    const auto anyEntry = [&]() -> ContextDraftEntry* {
        return draft.entries.isEmpty() ? nullptr : &draft.entries[rng.bounded(int(draft.entries.size()))];
    };
    switch (rng.bounded(12)) {
    case 0:
        draft.task += RandomTexts::text(rng, 2); // a keystroke in the task
        break;
    case 1:
        if (auto* e = anyEntry())
            e->include = !e->include;
        break;
    case 2:
        if (auto* e = anyEntry())
            e->pin = !e->pin;
        break;
    case 3:
        if (auto* e = anyEntry())
            e->verbatim = !e->verbatim;
        break;
    case 4:
        if (auto* e = anyEntry())
            e->note = RandomTexts::maybe(rng, RandomTexts::text(rng, 3), 70);
        break;
    case 5:
        if (auto* e = anyEntry())
            e->customText = RandomTexts::maybe(rng, RandomTexts::text(rng, 4), 60);
        break;
    case 6:
        if (!selections.isEmpty()) { // a re-capture or a changed source of a selection in use
            Selection& s = selections[rng.bounded(int(selections.size()))];
            switch (rng.bounded(4)) {
            case 0:
                s.text = RandomTexts::text(rng, 6);
                break;
            case 1:
                s.setMarkdown(RandomTexts::text(rng, 6));
                break;
            case 2:
                s.sourceTitle = RandomTexts::maybe(rng, RandomTexts::text(rng, 3), 70);
                break;
            default:
                s.sourceURL = RandomTexts::maybe(rng, u"https://example.org/"_qs + RandomTexts::text(rng, 1), 70);
                break;
            }
        }
        break;
    case 7: {
        static const QStringList layouts = {u"Sections"_qs, u"XML-tagged"_qs, u"Plain"_qs, u"other"_qs};
        draft.templateName = layouts[rng.bounded(int(layouts.size()))];
        break;
    }
    case 8:
        if (draft.entries.size() > 1)
            draft.entries.move(rng.bounded(int(draft.entries.size())), rng.bounded(int(draft.entries.size())));
        break;
    case 9:
        if (!draft.entries.isEmpty())
            draft.entries.removeAt(rng.bounded(int(draft.entries.size())));
        break;
    case 10: {
        const QList<Selection> added = RandomTexts::selections(rng, 1);
        selections.append(added);
        ContextDraft extra = RandomTexts::draft(rng, selections, 1);
        draft.entries.append(extra.entries);
        break;
    }
    default:
        preamble = preamble ? std::nullopt : std::optional<QString>(ContextComposer::defaultPreamble());
        break;
    }
}

} // namespace

class CompositionSessionTest : public QObject
{
    Q_OBJECT

private slots:
    void matchesPlainCompose_data()
    {
        QTest::addColumn<quint32>("seed");
        for (int i = 0; i < 40; ++i)
            QTest::addRow("seed %d", i) << quint32(7000 + i);
    }

    void matchesPlainCompose()
    {
        QFETCH(quint32, seed);
        QRandomGenerator rng(seed);
        QList<Selection> selections = RandomTexts::selections(rng, 2 + rng.bounded(8));
        ContextDraft draft = RandomTexts::draft(rng, selections, 2 + rng.bounded(12));
        std::optional<QString> preamble = ContextComposer::defaultPreamble();
        CompositionSession session;
        for (int step = 0; step < 60; ++step) {
            const ModelProfile& profile = step % 3 == 0 ? draft.modelProfile() : perCharacter;
            const ComposedContext kept = session.compose(draft, selections, preamble, profile);
            const ComposedContext plain = ContextComposer::compose(draft, selections, preamble, profile);
            QCOMPARE(kept.text, plain.text);
            QCOMPARE(kept.tokens, plain.tokens);
            QCOMPARE(kept.entryCount, plain.entryCount);
            QVERIFY(kept.feedback.isEmpty());
            edit(rng, draft, selections, preamble);
        }
    }

    // The store edits its selection list in place: deleting the newest selection and adding a
    // capture leaves a list of the same size, often in the same storage, that holds another
    // selection. Each preview follows the store's own edits like the plain compose.
    void followsTheStoresEdits_data()
    {
        QTest::addColumn<quint32>("seed");
        for (int i = 0; i < 30; ++i)
            QTest::addRow("seed %d", i) << quint32(9100 + i);
    }

    void followsTheStoresEdits()
    {
        QFETCH(quint32, seed);
        QRandomGenerator rng(seed);
        StoreHarness harness;
        Store& store = harness.open();
        const std::optional<ContextDraft> created = store.newDraft();
        QVERIFY(created);
        const QUuid draftID = created->id;
        const auto capture = [&] {
            const Selection s = RandomTexts::selections(rng, 1).first();
            store.add(s);
            ContextDraft d = *store.findDraft(draftID);
            ContextDraftEntry e;
            e.id = QUuid::createUuid();
            e.selectionID = s.id;
            d.entries.append(e);
            store.updateDraft(d);
        };
        for (int i = 0; i < 4; ++i)
            capture();
        CompositionSession session;
        int replaced = 0;
        for (int step = 0; step < 30; ++step) {
            const ContextDraft draft = *store.findDraft(draftID);
            const ComposedContext kept = session.compose(draft, store.selections(), std::nullopt, perCharacter);
            const ComposedContext plain
                = ContextComposer::compose(draft, store.selections(), std::nullopt, perCharacter);
            QCOMPARE(kept.text, plain.text);
            QCOMPARE(kept.entryCount, plain.entryCount);
            switch (rng.bounded(4)) {
            case 0:
            case 1: // the newest capture replaced by another, between two previews
                if (!store.selections().isEmpty()) {
                    store.deleteSelection(store.selections().first().id);
                    ++replaced;
                }
                capture();
                break;
            case 2:
                if (!store.selections().isEmpty())
                    store.deleteSelection(store.selections()[rng.bounded(int(store.selections().size()))].id);
                break;
            default:
                capture();
                break;
            }
        }
        QVERIFY(replaced > 0);
    }

    // A keystroke in the task prepares no entry again; a changed entry or selection only its own.
    void preparesOnlyWhatChanged()
    {
        QRandomGenerator rng(42);
        QList<Selection> selections = RandomTexts::selections(rng, 6);
        ContextDraft draft;
        draft.id = QUuid::createUuid();
        for (const Selection& s : selections) {
            ContextDraftEntry e;
            e.id = QUuid::createUuid();
            e.selectionID = s.id;
            draft.entries.append(e);
        }
        CompositionSession session;
        session.compose(draft, selections, std::nullopt, perCharacter);
        QCOMPARE(session.lastPreparedCount(), 6);

        draft.task = u"Summarize"_qs;
        session.compose(draft, selections, std::nullopt, perCharacter);
        QCOMPARE(session.lastPreparedCount(), 0);

        draft.entries[2].verbatim = true;
        session.compose(draft, selections, std::nullopt, perCharacter);
        QCOMPARE(session.lastPreparedCount(), 1);

        selections[4].setMarkdown(u"**changed**"_qs);
        session.compose(draft, selections, std::nullopt, perCharacter);
        QCOMPARE(session.lastPreparedCount(), 1);

        draft.templateName = u"XML-tagged"_qs; // every body is escaped anew
        session.compose(draft, selections, std::nullopt, perCharacter);
        QCOMPARE(session.lastPreparedCount(), 6);
    }
};

TESSELLON_TEST_MAIN(CompositionSessionTest)
#include "tst_CompositionSession.moc"
