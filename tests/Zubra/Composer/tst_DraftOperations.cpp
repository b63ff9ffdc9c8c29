// The draft pane's operations over a real store: what each writes, and the notice it returns.

#include "DraftFixture.h"
#include "ZubraCore/Composition/ContextComposer.h"
#include "ZubraCore/Composition/PromptTemplates.h"
#include "ZubraCore/Composition/TextImport.h"
#include "support/TestMain.h"

#include <QtTest>

using namespace Qt::StringLiterals;

using Fixture = DraftFixture;

class DraftOperationsTest : public QObject
{
    Q_OBJECT

private slots:
    void safeFileName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("colon and slash") << u"Q3 report: draft/final"_s << u"Q3 report- draft-final"_s;
        QTest::newRow("accent kept, bang replaced") << u"Caf\u00E9 Notes!"_s << u"Caf\u00E9 Notes-"_s;
        QTest::newRow("decomposed accent is one character") << u"Cafe\u0301"_s << u"Cafe\u0301"_s;
        QTest::newRow("only spaces") << u"   "_s << u"prompt"_s;
        QTest::newRow("empty") << QString() << u"prompt"_s;
        QTest::newRow("punctuation, runs not merged") << u"???"_s << u"---"_s;
        QTest::newRow("outer spaces dropped, inner kept") << u"  a  -- b  "_s << u"a  -- b"_s;
        QTest::newRow("emoji is one dash") << u"x\U0001F469\u200D\U0001F4BBy"_s << u"x-y"_s;
        QTest::newRow("tab and newline replaced") << u"a\tb\nc"_s << u"a-b-c"_s;
        QTest::newRow("non-Latin letters and digits") << u"\u65E5\u672C \u0663"_s << u"\u65E5\u672C \u0663"_s;
    }
    void safeFileName()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(DraftOperations::safeFileName(name), expected);
    }

    void templateIdentifier_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("punctuation separates") << u"Code Review: Notes"_s << u"code-review-notes"_s;
        QTest::newRow("digits kept") << u"Top 10!"_s << u"top-10"_s;
        QTest::newRow("accented letter") << u"Caf\u00E9 notes"_s << u"caf\u00E9-notes"_s;
    }
    void templateIdentifier()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(DraftOperations::templateIdentifier(name), expected);
    }

    void identifierOfPunctuationIsAnUpperCaseUuid()
    {
        const QString id = DraftOperations::templateIdentifier(u"???"_s);
        QCOMPARE(id.size(), 36);
        QCOMPARE(id, id.toUpper());
        QVERIFY(!QUuid::fromString(id).isNull());
    }

    void trimOutcomes()
    {
        Fixture f({u"  captured text  "_s});
        const QUuid entry = f.entry(0);
        const QString body = ContextComposer::entryBody(f.draft().entries[0], f.store().selections()[0]);
        QCOMPARE(DraftOperations::applyTrim(f.store(), f.draftID, entry, body), u"No change made."_s);
        QVERIFY(!f.draft().entries[0].customText);
        QCOMPARE(DraftOperations::applyTrim(f.store(), f.draftID, entry, body + u" "_s), u"Trim applied."_s);
        QCOMPARE(f.draft().entries[0].customText, std::optional<QString>(body + u" "_s));
        QCOMPARE(DraftOperations::applyTrim(f.store(), f.draftID, entry, u" \n "_s),
            u"Trim cleared \u2014 using the captured source again."_s);
        QVERIFY(!f.draft().entries[0].customText);
        // Without the draft the notice is given all the same.
        QCOMPARE(DraftOperations::applyTrim(f.store(), QUuid::createUuid(), entry, u"x"_s), u"Trim applied."_s);
    }

    void notesBlankAreNone()
    {
        Fixture f({u"a"_s});
        DraftOperations::setNote(f.store(), f.draftID, f.entry(0), u" \n\t"_s);
        QVERIFY(!f.draft().entries[0].note);
        DraftOperations::setNote(f.store(), f.draftID, f.entry(0), u"  keep  "_s);
        QCOMPARE(f.draft().entries[0].note, std::optional<QString>(u"  keep  "_s));
    }

    void importNotices_data()
    {
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<bool>("draftExists");
        QTest::addColumn<int>("entries");
        QTest::addColumn<QString>("notice");
        QTest::newRow("three chunks") << u"one\n\ntwo\n\nthree"_s << true << 3
                                      << u"Imported 3 chunks into the prompt."_s;
        QTest::newRow("one chunk") << u"just one"_s << true << 1 << u"Imported 1 chunk into the prompt."_s;
        QTest::newRow("blank") << u" \n\n "_s << true << 0 << QString();
        // The chunks reach the library, but nothing went into a prompt: no notice says so.
        QTest::newRow("draft gone") << u"one\n\ntwo"_s << false << 0 << QString();
    }
    void importNotices()
    {
        QFETCH(QString, pasted);
        QFETCH(bool, draftExists);
        QFETCH(int, entries);
        QFETCH(QString, notice);
        Fixture f;
        if (!draftExists)
            f.store().deleteDraft(f.draftID);
        const qsizetype before = f.store().selections().size();
        QSignalSpy draftChanges(&f.store(), &Store::draftChanged);
        const DraftOperations::ImportOutcome outcome = DraftOperations::addImported(f.store(), f.draftID, pasted);
        QCOMPARE(outcome.notice.value_or(QString()), notice);
        QCOMPARE(f.store().selections().size() - before, outcome.imported);
        // All chunks arrive in one change of the draft (the views refresh once), in the text's order.
        QCOMPARE(draftChanges.count(), entries > 0 ? 1 : 0);
        if (draftExists) {
            QCOMPARE(f.draft().entries.size(), entries);
            const QStringList chunks = TextImport::chunks(pasted, DraftOperations::importChunkLength);
            for (qsizetype i = 0; i < entries; ++i)
                QCOMPARE(f.store().findByID(f.draft().entries[i].selectionID)->text, chunks[i]);
        }
        for (const Selection& s : f.store().selections())
            QCOMPARE(s.appName, u"Pasted text"_s);
    }

    void addToDraftKeepsOneEntryPerSelection()
    {
        Fixture f({u"a"_s});
        DraftOperations::addToDraft(f.store(), f.draftID, f.draft().entries[0].selectionID);
        QCOMPARE(f.draft().entries.size(), 1);
    }

    void moveEntry_data()
    {
        QTest::addColumn<int>("dragged");
        QTest::addColumn<int>("target");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("first onto third") << 0 << 2 << QStringList {u"2"_s, u"3"_s, u"1"_s, u"4"_s};
        QTest::newRow("fourth onto second") << 3 << 1 << QStringList {u"1"_s, u"4"_s, u"2"_s, u"3"_s};
        QTest::newRow("onto itself") << 1 << 1 << QStringList {u"1"_s, u"2"_s, u"3"_s, u"4"_s};
        QTest::newRow("nothing dragged") << -1 << 1 << QStringList {u"1"_s, u"2"_s, u"3"_s, u"4"_s};
    }
    void moveEntry()
    {
        QFETCH(int, dragged);
        QFETCH(int, target);
        QFETCH(QStringList, expected);
        Fixture f({u"1"_s, u"2"_s, u"3"_s, u"4"_s});
        const std::optional<QUuid> draggedID = dragged < 0 ? std::nullopt : std::optional<QUuid>(f.entry(dragged));
        DraftOperations::moveEntry(f.store(), f.draftID, draggedID, f.entry(target));
        QCOMPARE(f.order(), expected);
    }

    void moveStaysInBounds()
    {
        Fixture f({u"1"_s, u"2"_s, u"3"_s});
        DraftOperations::move(f.store(), f.draftID, f.entry(0), -1);
        DraftOperations::move(f.store(), f.draftID, f.entry(2), 1);
        QCOMPARE(f.order(), (QStringList {u"1"_s, u"2"_s, u"3"_s}));
        DraftOperations::move(f.store(), f.draftID, f.entry(0), 1);
        QCOMPARE(f.order(), (QStringList {u"2"_s, u"1"_s, u"3"_s}));
    }

    void togglesInvertTheStoredValue()
    {
        Fixture f({u"a"_s});
        DraftOperations::toggleInclude(f.store(), f.draftID, f.entry(0));
        DraftOperations::togglePin(f.store(), f.draftID, f.entry(0));
        DraftOperations::toggleVerbatim(f.store(), f.draftID, f.entry(0));
        const ContextDraftEntry e = f.draft().entries[0];
        QVERIFY(!e.include && e.pin && e.verbatim);
        DraftOperations::toggleInclude(f.store(), f.draftID, f.entry(0));
        QVERIFY(f.draft().entries[0].include);
    }

    void removeDuplicates()
    {
        Fixture f({u"The same paragraph of text."_s, u"The same paragraph of text."_s, u"Something else."_s});
        QCOMPARE(DraftOperations::removeDuplicates(f.store(), f.draftID), u"Removed 1 duplicate source."_s);
        QCOMPARE(f.order(), (QStringList {u"The same paragraph of text."_s, u"Something else."_s}));
        QCOMPARE(DraftOperations::removeDuplicates(f.store(), f.draftID), u"No near-duplicate sources found."_s);
        QVERIFY(!DraftOperations::removeDuplicates(f.store(), QUuid::createUuid()));
    }

    void excludedDuplicatesTakeNoPart()
    {
        Fixture f({u"Twin text here."_s, u"Twin text here."_s});
        DraftOperations::toggleInclude(f.store(), f.draftID, f.entry(1));
        QCOMPARE(DraftOperations::removeDuplicates(f.store(), f.draftID), u"No near-duplicate sources found."_s);
        QCOMPARE(f.draft().entries.size(), 2);
        QCOMPARE(DraftOperations::removeExcluded(f.store(), f.draftID), u"Removed excluded sources."_s);
        QCOMPARE(f.order(), QStringList {u"Twin text here."_s});
    }

    void templatesApplyAndSave()
    {
        Fixture f({u"a"_s});
        ContextDraft d = f.draft();
        d.templateName = u"Plain"_s;
        f.store().updateDraft(d);
        const PromptTemplate& summarize = PromptTemplates::builtins().constFirst();
        QCOMPARE(DraftOperations::applyTemplate(f.store(), f.draftID, summarize),
            u"Applied template \u201C"_s + summarize.name + u"\u201D."_s);
        QCOMPARE(f.draft().templateName, u"Sections"_s);
        QCOMPARE(f.draft().task, summarize.task);

        QSettings& defaults = f.harness.defaults;
        QCOMPARE(DraftOperations::saveTemplate(f.store(), f.draftID, u"  Weekly Report  "_s, defaults),
            std::optional<QString>(u"Saved template \u201CWeekly Report\u201D."_s));
        d = f.draft();
        d.task = u"changed"_s;
        f.store().updateDraft(d);
        DraftOperations::saveTemplate(f.store(), f.draftID, u"Weekly Report"_s, defaults);
        const QList<PromptTemplate> custom = PromptTemplates::loadCustom(defaults);
        QCOMPARE(custom.size(), 1);
        QCOMPARE(custom[0].id, u"weekly-report"_s);
        QCOMPARE(custom[0].task, u"changed"_s);
        QVERIFY(!DraftOperations::saveTemplate(f.store(), QUuid::createUuid(), u"x"_s, defaults));
    }
};

TESSELLON_TEST_MAIN(DraftOperationsTest)
#include "tst_DraftOperations.moc"
