// The composer's views over a real store, on the offscreen platform: the two-way sync of the draft
// pane, the preview and its commands, the sheets, and the live reorder of entry rows.

#include "Platform/Memory/MemoryPasteboard.h"
#include "Zubra/Composer/ComposeDraftPane.h"
#include "Zubra/Composer/ComposeEntryList.h"
#include "Zubra/Composer/ComposePreviewPane.h"
#include "Zubra/Composer/ComposeView.h"
#include "Zubra/Composer/ComposerSheets.h"
#include "Zubra/Composer/PastedTextEdit.h"
#include "ZubraCore/Composition/TextImport.h"
#include "ComposerFixture.h"
#include "ZubraCore/Composition/PromptTemplates.h"
#include "ZubraCore/Capture/Clipboard.h"
#include "ZubraCore/Models/DraftEntriesModel.h"
#include "support/TestMain.h"
#include "../WidgetText.h"

#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

class ComposeViewTest : public QObject
{
    Q_OBJECT

private slots:
    void missingDraftShowsNotFound()
    {
        Composer c({u"a"_s});
        QVERIFY(!c.view->showsNotFound());
        c.store().deleteDraft(c.draftID);
        c.settle();
        QVERIFY(c.view->showsNotFound());
    }

    void taskEditsWriteOncePerKeystroke()
    {
        Composer c({u"a"_s});
        QSignalSpy changes(&c.store(), &Store::draftChanged);
        c.pane()->taskField()->setFocus();
        QTest::keyClicks(c.pane()->taskField(), u"abc"_s);
        QCOMPARE(changes.size(), 3);
        QCOMPARE(c.draft().task, u"abc"_s);
        c.settle();
        // The store's echo of our own edit writes nothing back.
        QCOMPARE(changes.size(), 3);
    }

    void storeChangesReachEditorsWithoutMovingTheCaret()
    {
        Composer c({u"a"_s});
        QTest::keyClicks(c.pane()->nameField(), u"Report"_s);
        c.pane()->nameField()->setCursorPosition(2);
        ContextDraft d = c.draft();
        d.task = u"From elsewhere"_s; // a change of another field
        c.store().updateDraft(d);
        c.settle();
        QCOMPARE(c.pane()->taskField()->toPlainText(), u"From elsewhere"_s);
        QCOMPARE(c.pane()->nameField()->cursorPosition(), 2);
        d.name = u"Renamed"_s;
        c.store().updateDraft(d);
        c.settle();
        QCOMPARE(c.pane()->nameField()->text(), u"Renamed"_s);
    }

    void caption_data()
    {
        QTest::addColumn<int>("included");
        QTest::addColumn<int>("sources");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plural") << 3 << 3 << u"3 included \u00B7 3 sources"_s;
        QTest::newRow("one source") << 3 << 1 << u"3 included \u00B7 1 source"_s;
        QTest::newRow("nothing") << 0 << 0 << u"0 included \u00B7 0 sources"_s;
    }
    void caption()
    {
        QFETCH(int, included);
        QFETCH(int, sources);
        QFETCH(QString, expected);
        QCOMPARE(ComposeDraftPane::captionText(included, sources), expected);
    }

    void deletedSelectionsKeepTheirCountButNoRow()
    {
        Composer c({u"one"_s, u"two"_s});
        ContextDraft d = c.draft();
        ContextDraftEntry orphan;
        orphan.id = QUuid::createUuid();
        orphan.selectionID = QUuid::createUuid(); // no longer in the library
        d.entries.prepend(orphan);
        d.entries[1].include = false;
        c.store().updateDraft(d);
        c.settle();
        QCOMPARE(c.pane()->captionLabel()->text(), u"2 included \u00B7 1 source"_s);
        QCOMPARE(c.pane()->entryList()->visibleRowCount(), 2);
        QVERIFY(!c.pane()->showsEmptyState());
    }

    // The hint names the shortcut as the shell has it when the pane refreshes, not as it was
    // when the composer was made.
    void emptyHintFollowsAChangedShortcut()
    {
        Composer c;
        c.hotkey = u"Ctrl+Shift+F9"_s;
        c.settle();
        QVERIFY(c.pane()->emptyHint().contains(u"press Ctrl+Shift+F9 with"_s));
        QStringList shown;
        for (const QLabel* label : c.pane()->findChildren<QLabel*>())
            if (label->isVisible())
                shown << label->text();
        QVERIFY(shown.contains(c.pane()->emptyHint()));
    }

    void emptyDraftShowsTheHintAndDisablesCleanup()
    {
        Composer c;
        QVERIFY(c.pane()->showsEmptyState());
        QVERIFY(c.pane()->emptyHint().contains(u"press Ctrl+Alt+Super+C with"_s));
        // Where the switch is on this desktop: no tray here, so the File menu alone.
        QVERIFY(c.pane()->emptyHint().contains(u"\u201CCollect into Prompt\u201D on (File menu) to add"_s));
        for (QAction* a : c.pane()->cleanupMenu()->actions())
            QVERIFY(!a->isEnabled());
    }

    void noticeIsClearedAfterItsTime()
    {
        Composer c({u"a"_s});
        c.view->state().setNotice(u"Removed excluded sources."_s);
        QVERIFY(c.pane()->noticeLabel()->text().contains(u"Removed excluded sources."_s));
        QTRY_VERIFY(!c.view->state().notice());
        QVERIFY(c.pane()->noticeLabel()->text().contains(u"Trimmed text changes only this prompt."_s));
    }

    void unreadableLibraryDisablesTheDraftPaneOnly()
    {
        StoreHarness harness;
        QVERIFY(LibraryFixtures::writeFile(harness.path(), "not a library"));
        Store& store = harness.open();
        QVERIFY(!store.canModifyLibrary());
        MemoryPasteboard pasteboard;
        ComposerServices services;
        services.pasteboard = &pasteboard;
        ComposeView view(store, services);
        QVERIFY(!view.draftPane()->isEnabled());
        QVERIFY(view.previewPane()->isEnabled());
    }

    void copyPromptFlashesCopied()
    {
        Composer c({u"Body text"_s});
        c.settle();
        QVERIFY(c.preview()->copyButton()->isEnabled());
        c.preview()->copyButton()->click();
        QCOMPARE(c.clipboardText(), c.preview()->composed()->text);
        QCOMPARE(c.preview()->copyButton()->text(), u"Copied"_s);
        QTRY_COMPARE(c.preview()->copyButton()->text(), u"Copy Prompt"_s);
    }

    void exportButtonStaysPutWhileCopiedShows()
    {
        Composer c({u"Body text"_s});
        c.settle();
        QPushButton* exportButton = c.preview()->exportButton();
        QTRY_VERIFY(exportButton->isVisible());
        const int before = exportButton->mapTo(c.view.get(), QPoint()).x();
        c.view->state().copiedLifetime = std::chrono::seconds(5);
        c.preview()->copyPrompt();
        QCOMPARE(c.preview()->copyButton()->text(), u"Copied"_s);
        for (int turn = 0; turn < 3; ++turn)
            QApplication::processEvents(); // the layouts follow the label
        QCOMPARE(exportButton->mapTo(c.view.get(), QPoint()).x(), before);
    }

    void shownNoteIsNotSelected()
    {
        // A note opens with its row; its text is not drawn selected as if it were being replaced.
        DraftFixture noted({u"alpha"_s});
        DraftOperations::setNote(noted.store(), noted.draftID, noted.entry(0), u"check this"_s);
        ComposerServices services;
        ComposeView view(noted.store(), services);
        view.setDraftID(noted.draftID);
        view.resize(1000, 640);
        view.show();
        QApplication::processEvents();
        ComposeEntryList* list = view.draftPane()->entryList();
        auto* note = qobject_cast<QLineEdit*>(list->noteField(list->indexOfEntry(noted.entry(0))));
        QVERIFY(note);
        QCOMPARE(note->text(), u"check this"_s);
        QVERIFY(!note->hasSelectedText());
    }

    void emptyPromptDisablesCopyAndExport()
    {
        Composer c;
        c.view->state().setUsePreamble(false);
        c.settle();
        QVERIFY(c.preview()->composed()->text.isEmpty());
        QVERIFY(!c.preview()->copyButton()->isEnabled());
        QVERIFY(!c.preview()->exportButton()->isEnabled());
        QCOMPARE(c.preview()->previewText()->placeholderText(), u"Nothing to copy yet \u2014 add sources to the left."_s);
    }

    void budgetMeterAndRemedies()
    {
        // 16,384 tokens of 4 characters: a source of 70,000 characters alone is over.
        Composer c({QString(100, u'x'), QString(70000, u'y')});
        ContextDraft d = c.draft();
        d.modelProfileID = u"local-16k"_s;
        c.store().updateDraft(d);
        c.settle();
        QVERIFY(c.preview()->isOverBudget());
        QVERIFY(c.preview()->splitButton()->isVisibleTo(c.preview()));
        QVERIFY(c.preview()->meterText().endsWith(u" / 16,384 tokens"_s));

        // A refused split leaves the clipboard alone and shows the notice alone.
        c.pasteboard.writeItems({{{PasteboardType::plainText, "kept"}}});
        c.preview()->copySplit();
        QCOMPARE(c.clipboardText(), u"kept"_s);
        QVERIFY(c.preview()->budgetFeedback()->startsWith(u"Cannot split"_s));
        // The notice is a message box with its icon.
        const auto* notice = c.preview()->findChild<QMessageBox*>();
        QVERIFY(notice);
        QCOMPARE(notice->icon(), QMessageBox::Information);

        c.preview()->reduceToFit();
        QCOMPARE(c.draft().entries.size(), 1);
        QVERIFY(c.preview()->budgetFeedback()->startsWith(u"Removed 1 optional source."_s));
        c.settle();
        QVERIFY(!c.preview()->isOverBudget());
        QVERIFY(!c.preview()->splitButton()->isVisibleTo(c.preview()));
    }

    void acceptedSplitIsCopied()
    {
        Composer c({QString(40000, u'x'), QString(40000, u'y')});
        ContextDraft d = c.draft();
        d.modelProfileID = u"local-16k"_s;
        c.store().updateDraft(d);
        c.settle();
        c.preview()->copySplit();
        QVERIFY(c.clipboardText().startsWith(u"\u2014\u2014 MESSAGE 1 OF 2"_s));
        QCOMPARE(*c.preview()->budgetFeedback(),
            u"Copied 2 messages to the clipboard. Message token counts are estimates. Paste each message separately "
            u"without its separator label."_s);
    }

    void pickersWriteOnlyOnTheUsersChoice()
    {
        Composer c({u"a"_s});
        ContextDraft d = c.draft();
        d.templateName = u"Unknown layout"_s;
        d.modelProfileID = u"no-such-model"_s;
        c.store().updateDraft(d);
        c.settle();
        QCOMPARE(c.preview()->templatePicker()->currentIndex(), -1);
        QCOMPARE(c.preview()->modelPicker()->currentIndex(), -1);
        QCOMPARE(c.draft().templateName, u"Unknown layout"_s); // not repaired
        QVERIFY(c.preview()->meterText().endsWith(u" / 128,000 tokens"_s));
        emit c.preview()->templatePicker()->activated(2);
        QCOMPARE(c.draft().templateName, u"Plain"_s);
        emit c.preview()->modelPicker()->activated(1);
        QCOMPARE(c.draft().modelProfileID, u"claude"_s);
    }

    void exportWritesTheTextAndReportsFailure()
    {
        Composer c({u"Exported body"_s});
        ContextDraft d = c.draft();
        d.name = u"Q3 report: draft/final"_s;
        c.store().updateDraft(d);
        c.settle();
        const QString path = c.harness.dir.filePath(u"out.md"_s);

        c.chooser->answer = std::nullopt; // cancelled: nothing happens
        c.preview()->exportPrompt();
        QCOMPARE(c.chooser->lastSuggestion, u"Q3 report- draft-final.md"_s);
        QCOMPARE(c.chooser->lastTitle, u"Export Prompt"_s);
        QVERIFY(!QFile::exists(path));

        c.chooser->answer = path;
        c.harness.files->failOn(FailingFileSystem::Operation::writeAtomically, path);
        c.preview()->exportPrompt();
        QCOMPARE(c.view->state().exportError(), std::optional<QString>(u"Prompt could not be exported."_s));
        QVERIFY(c.preview()->exportErrorLabel()->isVisibleTo(c.preview()));
        // A folder that took no file is not offered again.
        QCOMPARE(c.chooser->exportedPaths, QStringList());

        c.harness.files->clearFailures();
        c.preview()->exportPrompt();
        QVERIFY(!c.view->state().exportError());
        QCOMPARE(c.chooser->exportedPaths, QStringList {path});
        QCOMPARE(QString::fromUtf8(LibraryFixtures::readFile(path)), c.preview()->composed()->text);
        // The export is the user's file to share: the umask's mode, not the library's private one.
        const mode_t mask = ::umask(022);
        c.preview()->exportPrompt();
        ::umask(mask);
        struct stat info;
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, mode_t(0644));
    }

    void rowsReorderOnlyDuringARowDrag()
    {
        Composer c({u"1"_s, u"2"_s, u"3"_s, u"4"_s});
        c.settle();
        ComposeEntryList* list = c.pane()->entryList();
        QCOMPARE(list->visibleRowCount(), 4);
        // Text from another application passing over rows moves nothing.
        list->dragEnteredRow(list->model()->index(2, 0));
        QCOMPARE(c.order(), (QStringList {u"1"_s, u"2"_s, u"3"_s, u"4"_s}));

        // A row drag: the first entry follows the pointer over the third.
        list->setDraggedEntryID(c.draft().entries[0].id);
        list->dragEnteredRow(list->model()->index(2, 0));
        QCOMPARE(c.order(), (QStringList {u"2"_s, u"3"_s, u"1"_s, u"4"_s}));
    }

    void aFinishedRowDragIsForgotten()
    {
        Composer c({u"1"_s, u"2"_s, u"3"_s});
        c.settle();
        ComposeEntryList* list = c.pane()->entryList();
        const QRect rect = list->visualRect(list->model()->index(0, 0));
        // The handle sits left of the options button at the row's right edge.
        const QPoint handle(rect.right() - 8 - 18 - 8 - 9, rect.top() + 12);
        QCOMPARE(list->row()->partAt(rect, handle), ComposeEntryRow::Part::handle);
        QTest::mousePress(list->viewport(), Qt::LeftButton, {}, handle);
        QTest::mouseMove(list->viewport(), handle + QPoint(0, 40));
        // The drag has ended (the offscreen platform ends it at once); a later foreign drag reorders nothing.
        QVERIFY(!list->draggedEntryID());
        const ContextDraft before = c.draft();
        list->dragEnteredRow(list->model()->index(2, 0));
        QCOMPARE(c.draft().entries, before.entries);
    }

    void entryMenus()
    {
        Composer c({u"1"_s, u"2"_s});
        c.settle();
        ComposeEntryList* list = c.pane()->entryList();
        const auto titles = [](QMenu* menu) {
            menu->deleteLater();
            return WidgetText::describe(*menu);
        };
        QCOMPARE(titles(list->entryMenu(list->model()->index(0, 0))),
            (QStringList {u"Pin"_s, u"Use verbatim text"_s, u"Trim or edit\u2026"_s, u"Add Note"_s, u"-"_s,
                u"Move Up (off)"_s, u"Move Down"_s, u"-"_s, u"Remove from Prompt"_s}));
        DraftOperations::togglePin(c.store(), c.draftID, c.draft().entries[1].id);
        DraftOperations::setNote(c.store(), c.draftID, c.draft().entries[1].id, u"n"_s);
        c.settle();
        QCOMPARE(titles(list->entryMenu(list->model()->index(1, 0))),
            (QStringList {u"Unpin"_s, u"Use verbatim text"_s, u"Trim or edit\u2026"_s, u"Add Note"_s,
                u"Clear Note"_s, u"-"_s, u"Move Up"_s, u"Move Down (off)"_s, u"-"_s, u"Remove from Prompt"_s}));
        QCOMPARE(titles(list->contextMenu(list->model()->index(0, 0))),
            (QStringList {u"Copy as Markdown"_s, u"Copy Plain"_s, u"-"_s, u"Pin"_s, u"Use verbatim text"_s,
                u"Trim or Edit\u2026"_s, u"Remove from Prompt"_s}));
        QCOMPARE(ComposeEntryRow::badges(c.draft().entries[1]), (QStringList {u"Pinned"_s, u"Noted"_s}));
    }

    void trimSheet()
    {
        Composer c({u"  captured  "_s});
        c.settle();
        const QUuid entry = c.draft().entries[0].id;
        c.pane()->openTrimSheet(entry);
        EntryTrimSheet* sheet = c.pane()->trimSheet();
        QVERIFY(sheet);
        QCOMPARE(sheet->editor()->toPlainText(), u"captured"_s);
        QCOMPARE(sheet->counterText(), u"2 tokens \u00B7 8 chars"_s);
        sheet->editor()->setPlainText(QString());
        QCOMPARE(sheet->counterText(), u"0 tokens \u00B7 0 chars"_s);
        QVERIFY(sheet->confirmButton()->isEnabled());
        sheet->editor()->setPlainText(u"shorter"_s);
        sheet->confirmButton()->click();
        QCOMPARE(c.draft().entries[0].customText, std::optional<QString>(u"shorter"_s));
        QCOMPARE(c.view->state().notice(), std::optional<QString>(u"Trim applied."_s));
        QVERIFY(!c.pane()->editingEntryID());

        // Escape closes it; the entry stays as it was.
        c.pane()->openTrimSheet(entry);
        c.pane()->trimSheet()->editor()->setPlainText(u"discarded"_s);
        QTest::keyClick(c.pane()->trimSheet(), Qt::Key_Escape);
        QVERIFY(!c.pane()->editingEntryID());
        QCOMPARE(c.draft().entries[0].customText, std::optional<QString>(u"shorter"_s));
    }

    void importSheet()
    {
        Composer c;
        c.pane()->openImportSheet();
        ImportSheet* sheet = c.pane()->importSheet();
        QVERIFY(!sheet->confirmButton()->isEnabled());
        QCOMPARE(sheet->counterText(), u"0 chunks ready"_s);
        sheet->editor()->setPlainText(u"first\n\nsecond"_s);
        QCOMPARE(sheet->counterText(), u"2 chunks ready"_s);
        QTest::keyClick(sheet, Qt::Key_Escape); // the typed text stays with the pane
        QCOMPARE(c.pane()->importText(), u"first\n\nsecond"_s);
        c.pane()->openImportSheet();
        QCOMPARE(c.pane()->importSheet()->editor()->toPlainText(), u"first\n\nsecond"_s);
        c.pane()->importSheet()->confirmButton()->click();
        QCOMPARE(c.draft().entries.size(), 2);
        QVERIFY(c.pane()->importText().isEmpty());
        QCOMPARE(c.view->state().notice(), std::optional<QString>(u"Imported 2 chunks into the prompt."_s));
    }

    // What is pasted is what is split: no-break spaces, line and paragraph separators included.
    void pastedTextIsImportedAsPasted_data()
    {
        QTest::addColumn<QString>("pasted");
        QTest::addRow("separators") << u"Line one\u2028still block one\u2029block two?"_s;
        QTest::addRow("two paragraph separators") << u"a\u2029\u2029b"_s;
        QTest::addRow("no-break spaces") << u"\u00A0a\u00A0b\u00A0\n\nc"_s;
        QTest::addRow("line feeds") << u"first\n\nsecond\nthird"_s;
        QTest::addRow("frame marks") << u"x\uFDD0y\uFDD1z"_s;
    }
    void pastedTextIsImportedAsPasted()
    {
        QFETCH(QString, pasted);
        Composer c;
        c.pane()->openImportSheet();
        ImportSheet* sheet = c.pane()->importSheet();
        QGuiApplication::clipboard()->setText(u"before "_s + pasted + u" after"_s);
        sheet->editor()->paste();
        QCOMPARE(c.pane()->importText(), u"before "_s + pasted + u" after"_s);
        sheet->editor()->selectAll();
        QGuiApplication::clipboard()->setText(pasted);
        sheet->editor()->paste();
        QCOMPARE(c.pane()->importText(), pasted);
        const QStringList chunks = TextImport::chunks(pasted, 4000);
        QCOMPARE(sheet->counterText(),
            QString::number(chunks.size()) + (chunks.size() == 1 ? u" chunk ready"_s : u" chunks ready"_s));
        // Copied out of the editor, it is the same text again.
        sheet->editor()->selectAll();
        sheet->editor()->copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), pasted);
        // Closed and opened again, the sheet shows the kept text unchanged.
        QTest::keyClick(sheet, Qt::Key_Escape);
        c.pane()->openImportSheet();
        QCOMPARE(c.pane()->importSheet()->editor()->text(), pasted);
        c.pane()->importSheet()->confirmButton()->click();
        QStringList stored;
        for (const ContextDraftEntry& e : c.draft().entries)
            for (const Selection& s : c.store().selections())
                if (s.id == e.selectionID)
                    stored.append(s.text);
        QCOMPARE(stored, chunks);
    }

    // The trim sheet shows an entry's text with its separators, so applying it unchanged keeps
    // what the entry had; pasted separators reach the trimmed text as they are.
    void trimSheetKeepsSeparators()
    {
        const QString captured = u"one\u2029two\u2028three\u00A0four"_s;
        Composer c({captured});
        c.settle();
        const QUuid entry = c.draft().entries[0].id;
        c.pane()->openTrimSheet(entry);
        EntryTrimSheet* sheet = c.pane()->trimSheet();
        QCOMPARE(sheet->editor()->text(), captured);
        QVERIFY(sheet->counterText().endsWith(u" \u00B7 18 chars"_s));
        sheet->confirmButton()->click();
        QCOMPARE(c.draft().entries[0].customText, std::nullopt);
        QCOMPARE(c.view->state().notice(), std::optional<QString>(u"No change made."_s));

        c.pane()->openTrimSheet(entry);
        sheet = c.pane()->trimSheet();
        sheet->editor()->moveCursor(QTextCursor::End);
        QGuiApplication::clipboard()->setText(u"\u2029five"_s);
        sheet->editor()->paste();
        sheet->confirmButton()->click();
        QCOMPARE(c.draft().entries[0].customText, std::optional<QString>(captured + u"\u2029five"_s));
    }

    void saveTemplateSheet()
    {
        Composer c({u"a"_s});
        c.pane()->openSaveTemplateSheet();
        SaveTemplateSheet* sheet = c.pane()->saveTemplateSheet();
        QTest::keyClicks(sheet->field(), u"  "_s);
        QVERIFY(!sheet->confirmButton()->isEnabled());
        QTest::keyClick(sheet->field(), Qt::Key_Return);
        QVERIFY(PromptTemplates::loadCustom(c.harness.defaults).isEmpty());
        QTest::keyClicks(sheet->field(), u"Mine  "_s);
        QTest::keyClick(sheet->field(), Qt::Key_Return);
        QCOMPARE(PromptTemplates::loadCustom(c.harness.defaults).size(), 1);
        QCOMPARE(c.pane()->newTemplateName(), u"  Mine  "_s); // kept for next time, untrimmed
        // The menu lists the built-ins, the custom one and the save item.
        emit c.pane()->templateMenu()->aboutToShow();
        const QStringList items = WidgetText::describe(*c.pane()->templateMenu());
        QCOMPARE(items.size(), 8 + 1 + 1 + 1 + 1);
        QCOMPARE(items.mid(8), (QStringList {u"-"_s, u"Mine"_s, u"-"_s, u"Save this task as a template\u2026"_s}));
    }
};

TESSELLON_GUI_TEST_MAIN(ComposeViewTest)
#include "tst_ComposeView.moc"
