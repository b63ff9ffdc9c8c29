// The composer by keyboard and for assistive technology, on the offscreen platform: the copy
// shortcut anywhere in the composer, the entry rows' controls reached and used by keys and
// published with their names, help texts and states, the focus mark, the narrow arrangements and
// the drawn symbols.

#include "ComposerFixture.h"
#include "Zubra/Composer/ComposeEntryList.h"
#include "Zubra/Composer/ComposerSheets.h"
#include "Zubra/Composer/PastedTextEdit.h"
#include "ZubraCore/Composition/ContextComposer.h"
#include "ZubraCore/Composition/TokenEstimator.h"
#include "support/TestMain.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusFrame>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QtTest>

using Part = ComposeEntryRow::Part;

namespace {

struct ActiveComposer : Composer
{
    explicit ActiveComposer(const QStringList& texts)
        : Composer(texts)
    {
        settle();
        QApplication::setActiveWindow(view.get());
        active = QTest::qWaitForWindowActive(view.get());
    }
    ComposeEntryList* list() { return pane()->entryList(); }
    QModelIndex row(int r) { return list()->model()->index(r, 0); }
    QToolButton* toolButton(const QString& text)
    {
        for (QToolButton* b : view->findChildren<QToolButton*>())
            if (b->text() == text)
                return b;
        return nullptr;
    }
    QAccessibleInterface* rowElement(int r) { return QAccessible::queryAccessibleInterface(list())->child(r); }
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), modifiers);
    }
    bool active = false;
};

// The open popup menu's item titles; closes it.
QStringList closePopup()
{
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu)
        return {};
    QStringList titles;
    for (QAction* a : menu->actions())
        if (!a->isSeparator())
            titles.append(a->text());
    menu->close();
    return titles;
}

// Whether every character of the text has a glyph in the font itself.
bool fontHasEveryCharacter(const QFont& font, const QString& text)
{
    const QFontMetrics metrics(font);
    for (char32_t c : text.toUcs4())
        if (!metrics.inFontUcs4(c))
            return false;
    return true;
}

} // namespace

class ComposerAccessTest : public QObject
{
    Q_OBJECT

private slots:
    void copyShortcutWorksAnywhereInTheComposer_data()
    {
        QTest::addColumn<QString>("where");
        QTest::newRow("name field") << u"name"_s;
        QTest::newRow("task field") << u"task"_s;
        QTest::newRow("entry list") << u"list"_s;
        QTest::newRow("model picker") << u"model"_s;
        QTest::newRow("preview") << u"preview"_s;
    }

    void copyShortcutWorksAnywhereInTheComposer()
    {
        QFETCH(QString, where);
        ActiveComposer c({u"alpha"_s});
        QVERIFY(c.active);
        QWidget* target = where == u"name"_s ? static_cast<QWidget*>(c.pane()->nameField())
            : where == u"task"_s             ? c.pane()->taskField()
            : where == u"list"_s             ? c.list()
            : where == u"model"_s            ? static_cast<QWidget*>(c.preview()->modelPicker())
                                             : c.preview()->previewText();
        target->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), target);
        QTest::keyClick(target, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(c.clipboardText(), c.preview()->composed()->text);
        QVERIFY(c.view->state().showCopied());
    }

    void copyShortcutStaysInItsOwnWindow()
    {
        ActiveComposer c({u"alpha"_s});
        QLineEdit other;
        other.show();
        QApplication::setActiveWindow(&other);
        QVERIFY(QTest::qWaitForWindowActive(&other));
        other.setFocus();
        QTest::keyClick(&other, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(c.clipboardText(), QString());
    }

    void rowControlsArePublished_data()
    {
        QTest::addColumn<bool>("included");
        QTest::addColumn<QString>("help");
        QTest::addColumn<QString>("value");
        QTest::newRow("included") << true << u"Exclude from prompt"_s << u"Included in prompt"_s;
        QTest::newRow("excluded") << false << u"Include in prompt"_s << u"Excluded from prompt"_s;
    }

    void rowControlsArePublished()
    {
        QFETCH(bool, included);
        QFETCH(QString, help);
        QFETCH(QString, value);
        ActiveComposer c({u"First source\nmore"_s, u"Second"_s});
        if (!included) {
            DraftOperations::toggleInclude(c.store(), c.draftID, c.entry(0));
            c.settle();
        }
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(c.list());
        QCOMPARE(list->role(), QAccessible::List);
        QCOMPARE(list->childCount(), 2);
        QAccessibleInterface* row = list->child(0);
        QCOMPARE(row->role(), QAccessible::ListItem);
        QCOMPARE(row->text(QAccessible::Name), u"First source"_s);
        QCOMPARE(row->state().checked, included);
        QCOMPARE(row->parent(), list);
        QCOMPARE(list->indexOfChild(row), 0);
        QCOMPARE(row->childCount(), 3);

        QAccessibleInterface* box = row->child(0);
        QCOMPARE(box->role(), QAccessible::CheckBox);
        QCOMPARE(box->text(QAccessible::Name), u"Include First source"_s);
        QCOMPARE(box->text(QAccessible::Description), help);
        QCOMPARE(box->text(QAccessible::Value), value);
        QVERIFY(box->state().focusable);
        QVERIFY(box->state().checkable);
        QCOMPARE(box->state().checked, included);
        QCOMPARE(box->parent(), row);
        QVERIFY(c.list()->viewport()->rect().contains(c.list()->viewport()->mapFromGlobal(box->rect().center())));

        QAccessibleInterface* handle = row->child(1);
        QCOMPARE(handle->text(QAccessible::Name), u"Drag to reorder source"_s);
        QCOMPARE(handle->text(QAccessible::Description), u"Drag to reorder"_s);
        QCOMPARE(handle->actionInterface()->actionNames(), QStringList {u"Move Down"_s});

        QAccessibleInterface* menu = row->child(2);
        QCOMPARE(menu->role(), QAccessible::ButtonMenu);
        QCOMPARE(menu->text(QAccessible::Name), u"Options for First source"_s);
        QCOMPARE(menu->text(QAccessible::Description), u"Source options"_s);

        // The same help texts show as tooltips over the painted controls.
        QWidget* viewport = c.list()->viewport();
        const QRect rect = c.list()->visualRect(c.row(0));
        for (const auto& [part, text] : {std::pair(Part::checkbox, help), std::pair(Part::handle, u"Drag to reorder"_s),
                 std::pair(Part::menu, u"Source options"_s)}) {
            const QPoint at = c.list()->row()->partRect(rect, part).center();
            QHelpEvent tip(QEvent::ToolTip, at, viewport->mapToGlobal(at));
            QApplication::sendEvent(viewport, &tip);
            QTRY_COMPARE(QToolTip::text(), text);
        }
        QToolTip::hideText();

        // Their actions do what the controls do.
        box->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QCOMPARE(c.draft().entries[0].include, !included);
        handle->actionInterface()->doAction(u"Move Down"_s);
        QCOMPARE(c.order(), (QStringList {u"Second"_s, u"First source\nmore"_s}));
    }

    void elementsOfRemovedEntriesAreReleased()
    {
        ActiveComposer c({u"1"_s, u"2"_s});
        const QAccessible::Id row = QAccessible::uniqueId(c.rowElement(0));
        const QAccessible::Id box = QAccessible::uniqueId(c.rowElement(0)->child(0));
        const QAccessible::Id kept = QAccessible::uniqueId(c.rowElement(1)->child(0));
        DraftOperations::removeEntry(c.store(), c.draftID, c.entry(0));
        c.settle();
        QCOMPARE(QAccessible::accessibleInterface(row), nullptr);
        QCOMPARE(QAccessible::accessibleInterface(box), nullptr);
        QCOMPARE(QAccessible::accessibleInterface(kept), c.rowElement(0)->child(0));
    }

    void noteFieldIsTheRowsFourthControl()
    {
        ActiveComposer c({u"alpha"_s});
        c.list()->setShowsNote(c.entry(0), true);
        QAccessibleInterface* row = c.rowElement(0);
        QCOMPARE(row->childCount(), 4);
        QCOMPARE(row->child(3)->role(), QAccessible::EditableText);
        QCOMPARE(row->child(3)->text(QAccessible::Name), u"Note included in the prompt"_s);
    }

    void rowControlsByKeyboard()
    {
        ActiveComposer c({u"1"_s, u"2"_s, u"3"_s});
        QVERIFY(c.active);
        QToolButton* import = c.toolButton(u"Import text\u2026"_s);
        QToolButton* cleanup = c.toolButton(u"Cleanup"_s);
        QVERIFY(import && cleanup);
        import->setFocus(Qt::TabFocusReason);

        // Tab enters the list on the first row's switch; Space switches the entry.
        c.key(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), c.list());
        QCOMPARE(c.list()->currentIndex().row(), 0);
        QCOMPARE(c.list()->focusedPart(), Part::checkbox);
        QVERIFY(c.rowElement(0)->child(0)->state().focused);
        c.key(Qt::Key_Space);
        QVERIFY(!c.draft().entries[0].include);

        // Down chooses the next row; Tab goes on to its handle, where Up moves the entry.
        c.key(Qt::Key_Down);
        QCOMPARE(c.list()->currentIndex().row(), 1);
        c.key(Qt::Key_Tab);
        QCOMPARE(c.list()->focusedPart(), Part::handle);
        c.key(Qt::Key_Up);
        QCOMPARE(c.order(), (QStringList {u"2"_s, u"1"_s, u"3"_s}));
        QCOMPARE(c.list()->currentIndex().row(), 0);
        QVERIFY(c.rowElement(0)->child(1)->state().focused);

        // The options menu opens with Space, the context menu with Shift+F10.
        c.key(Qt::Key_Right);
        QCOMPARE(c.list()->focusedPart(), Part::menu);
        c.key(Qt::Key_Space);
        QTRY_VERIFY(QApplication::activePopupWidget());
        QVERIFY(closePopup().contains(u"Move Down"_s));
        c.key(Qt::Key_F10, Qt::ShiftModifier);
        QTRY_VERIFY(QApplication::activePopupWidget());
        QVERIFY(closePopup().contains(u"Copy as Markdown"_s));

        // Past the last control the focus leaves the list; Backtab comes back to the menu.
        QTRY_COMPARE(QApplication::focusWidget(), c.list());
        c.key(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), cleanup);
        c.key(Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), c.list());
        QCOMPARE(c.list()->focusedPart(), Part::menu);
    }

    void noteFieldByKeyboard()
    {
        ActiveComposer c({u"1"_s, u"2"_s});
        c.list()->setShowsNote(c.entry(0), true);
        QCoreApplication::processEvents();
        QToolButton* cleanup = c.toolButton(u"Cleanup"_s);
        c.list()->setFocus(Qt::BacktabFocusReason);
        c.list()->setCurrentIndex(c.row(0));
        QCOMPARE(c.list()->focusedPart(), Part::menu);
        c.key(Qt::Key_Tab);
        QWidget* note = c.list()->noteField(c.row(0));
        QVERIFY(note);
        QCOMPARE(QApplication::focusWidget(), note);
        c.key(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), cleanup);
        // From the control after the list, Backtab comes back to the list, not to a note field.
        c.key(Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), c.list());
    }

    void everyControlIsOnTheTabChain()
    {
        ActiveComposer c({u"1"_s});
        c.pane()->nameField()->setFocus(Qt::TabFocusReason);
        QList<QWidget*> reached;
        QList<Part> parts;
        for (int i = 0; i < 30; ++i) {
            QWidget* w = QApplication::focusWidget();
            reached.append(w);
            if (w == c.list())
                parts.append(c.list()->focusedPart());
            c.key(Qt::Key_Tab);
            if (QApplication::focusWidget() == c.pane()->nameField())
                break;
        }
        const QList<QWidget*> expected {c.pane()->nameField(), c.pane()->taskField(), c.toolButton(u"Template"_s),
            c.toolButton(u"Import text\u2026"_s), c.list(), c.toolButton(u"Cleanup"_s), c.preview()->templatePicker(),
            c.preview()->modelPicker(), c.preview()->findChild<QCheckBox*>(), c.preview()->copyButton(),
            c.preview()->exportButton()};
        for (QWidget* w : expected)
            QVERIFY2(w && reached.contains(w), w ? qPrintable(w->metaObject()->className()) : "missing control");
        QCOMPARE(parts, (QList<Part> {Part::checkbox, Part::handle, Part::menu}));
    }

    void keyboardFocusIsMarked()
    {
        ActiveComposer c({u"1"_s});
        QToolButton* cleanup = c.toolButton(u"Cleanup"_s);
        cleanup->setFocus(Qt::TabFocusReason);
        QFocusFrame* ring = nullptr;
        QTRY_VERIFY((ring = c.view->findChild<QFocusFrame*>()) && ring->isVisible());
        QCOMPARE(ring->widget(), cleanup);
        QVERIFY(ring->geometry().contains(cleanup->geometry()));

        // The list marks its focused control itself, in the highlight colour.
        c.list()->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(!ring->isVisible());
        const QColor highlight = c.list()->palette().color(QPalette::Highlight);
        const auto marked = [&] {
            const QImage image = c.list()->viewport()->grab().toImage();
            const QRect around
                = c.list()->row()->partRect(c.list()->visualRect(c.row(0)), Part::checkbox).adjusted(-4, -4, 4, 4);
            int count = 0;
            for (int y = around.top(); y <= around.bottom(); ++y)
                for (int x = around.left(); x <= around.right(); ++x)
                    count += image.pixelColor(x, y) == highlight;
            return count;
        };
        QVERIFY(marked() > 10);
        cleanup->setFocus(Qt::TabFocusReason);
        QCOMPARE(marked(), 0);
    }

    void narrowArrangements()
    {
        ActiveComposer c({u"alpha"_s});
        c.view->resize(680, 600);
        c.view->splitter()->setSizes({300, 380});
        QCoreApplication::processEvents();
        QTRY_COMPARE(c.pane()->width(), 300);
        // Template and import sit 8 apart at the leading edge, the caption under them.
        QToolButton* templates = c.toolButton(u"Template"_s);
        QToolButton* import = c.toolButton(u"Import text\u2026"_s);
        const QPoint templateAt = templates->mapTo(c.pane(), QPoint(0, 0));
        const QPoint importAt = import->mapTo(c.pane(), QPoint(0, 0));
        QCOMPARE(templateAt.x(), 14);
        QCOMPARE(importAt.x(), templateAt.x() + templates->width() + 8);
        QCOMPARE(import->width(), import->sizeHint().width());
        QVERIFY(c.pane()->captionLabel()->mapTo(c.pane(), QPoint(0, 0)).y() > templateAt.y());

        // The narrow preview names the preamble switch in its row's title, not beside it.
        c.view->splitter()->setSizes({300, 380});
        QCoreApplication::processEvents();
        QCheckBox* preamble = c.preview()->findChild<QCheckBox*>();
        QTRY_COMPARE(preamble->text(), QString());
        QCOMPARE(preamble->accessibleName(), u"Include grounding instruction"_s);
        c.view->resize(1400, 700);
        c.view->splitter()->setSizes({500, 900});
        QTRY_COMPARE(preamble->text(), u"Preamble"_s);
    }

    // The entry list, the sheets' editors and the budget bar are named; the bar's value is the
    // estimate in tokens, at most the budget, of the budget.
    void controlsAreNamed_data()
    {
        QTest::addColumn<int>("length");
        QTest::newRow("within budget") << 1000;
        QTest::newRow("over budget") << 70000;
    }
    void controlsAreNamed()
    {
        QFETCH(int, length);
        ActiveComposer c({QString(length, u'y')});
        ContextDraft d = c.draft();
        d.modelProfileID = u"local-16k"_s;
        c.store().updateDraft(d);
        c.settle();
        QCOMPARE(QAccessible::queryAccessibleInterface(c.list())->text(QAccessible::Name), u"Sources"_s);
        // The bar reads as the estimate of the budget and offers nothing to do: no value a
        // reader could raise or lower.
        QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(c.preview()->findChild<QProgressBar*>());
        QCOMPARE(bar->role(), QAccessible::ProgressBar);
        QCOMPARE(bar->text(QAccessible::Name), u"Token budget"_s);
        QCOMPARE(bar->text(QAccessible::Description),
            TokenEstimator::format(c.preview()->composed()->tokens) + u" / 16,384 tokens"_s);
        QCOMPARE(bar->valueInterface(), nullptr);
        QCOMPARE(bar->actionInterface()->actionNames(), QStringList());

        c.pane()->openTrimSheet(c.entry(0));
        QCOMPARE(QAccessible::queryAccessibleInterface(c.pane()->trimSheet()->editor())->text(QAccessible::Name),
            u"Text of this source"_s);
        c.pane()->trimSheet()->reject();
        c.pane()->openImportSheet();
        QCOMPARE(QAccessible::queryAccessibleInterface(c.pane()->importSheet()->editor())->text(QAccessible::Name),
            u"Text to import"_s);
        c.pane()->importSheet()->reject();
    }

    // The Template and Cleanup buttons open their menus on a reader's ShowMenu, as on a click.
    void menuButtonsOpenTheirMenus_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("item");
        QTest::newRow("Template") << u"Template"_s << u"Save this task as a template\u2026"_s;
        QTest::newRow("Cleanup") << u"Cleanup"_s << u"Remove Duplicates"_s;
    }
    void menuButtonsOpenTheirMenus()
    {
        QFETCH(QString, button);
        QFETCH(QString, item);
        ActiveComposer c({u"alpha"_s, u"beta"_s});
        QAccessibleInterface* element = QAccessible::queryAccessibleInterface(c.toolButton(button));
        QCOMPARE(element->role(), QAccessible::ButtonMenu);
        QCOMPARE(element->text(QAccessible::Name), button);
        QVERIFY(element->state().hasPopup);
        QAccessibleActionInterface* actions = element->actionInterface();
        QVERIFY(actions);
        QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::showMenuAction()));
        QVERIFY(!actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
        // The menu runs its own loop while open: read and closed from inside it.
        QWidget* opened = nullptr;
        QStringList titles;
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&] {
            if (QWidget* popup = QApplication::activePopupWidget(); popup && !opened) {
                opened = popup;
                titles = closePopup();
            }
        });
        watch.start(10);
        actions->doAction(QAccessibleActionInterface::showMenuAction());
        QTRY_VERIFY(opened);
        QCOMPARE(opened, c.toolButton(button)->menu());
        QVERIFY2(titles.contains(item), qPrintable(titles.join(u", "_s)));
    }

    // Each action assistive technology offers on the Preamble box switches the grounding
    // instruction for the next copied prompt, as a click does.
    void preambleActionsSwitchThePreamble()
    {
        ActiveComposer c({u"alpha"_s});
        QCheckBox* box = c.preview()->findChild<QCheckBox*>();
        QAccessibleActionInterface* actions = QAccessible::queryAccessibleInterface(box)->actionInterface();
        QVERIFY(actions);
        QStringList switching;
        for (const QString& action :
            {QAccessibleActionInterface::toggleAction(), QAccessibleActionInterface::pressAction()})
            if (actions->actionNames().contains(action))
                switching.append(action);
        QVERIFY(!switching.isEmpty());
        const QString preamble = ContextComposer::defaultPreamble();
        for (const QString& action : std::as_const(switching)) {
            for (const bool on : {false, true}) {
                actions->doAction(action);
                QTRY_COMPARE(box->isChecked(), on);
                QCOMPARE(c.view->state().usePreamble(), on);
                c.settle();
                c.preview()->copyButton()->click();
                QVERIFY2(c.clipboardText().contains(preamble) == on, qPrintable(action));
            }
        }
    }

    void footerAndEmptyStateDrawTheirSymbols()
    {
        ActiveComposer c({u"alpha"_s});
        const auto shownPictures = [&](QWidget* root) {
            int count = 0;
            for (QLabel* l : root->findChildren<QLabel*>())
                count += l->isVisible() && !l->pixmap().isNull();
            return count;
        };
        // The notice and the hint read in the font itself, each after a drawn symbol.
        QLabel* notice = c.pane()->noticeLabel();
        QVERIFY(fontHasEveryCharacter(notice->font(), notice->text()));
        c.view->state().setNotice(u"Removed excluded sources."_s);
        QVERIFY(notice->text().contains(u"Removed excluded sources."_s));
        QVERIFY(fontHasEveryCharacter(notice->font(), notice->text()));
        QCOMPARE(shownPictures(notice->parentWidget()), 1);

        // The empty list shows its symbol above the hint.
        DraftOperations::removeEntry(c.store(), c.draftID, c.entry(0));
        c.settle();
        QVERIFY(c.pane()->showsEmptyState());
        QLabel* hint = nullptr;
        for (QLabel* l : c.pane()->findChildren<QLabel*>())
            if (l->isVisible() && l->text() == c.pane()->emptyHint())
                hint = l;
        QVERIFY(hint);
        bool symbolAbove = false;
        for (QLabel* l : c.pane()->findChildren<QLabel*>())
            symbolAbove = symbolAbove
                || (l->isVisible() && !l->pixmap().isNull() && l->pixmap().width() >= 26
                    && l->mapTo(c.pane(), QPoint(0, l->height())).y() <= hint->mapTo(c.pane(), QPoint(0, 0)).y());
        QVERIFY(symbolAbove);
    }
};

TESSELLON_GUI_TEST_MAIN(ComposerAccessTest)
#include "tst_ComposerAccess.moc"
