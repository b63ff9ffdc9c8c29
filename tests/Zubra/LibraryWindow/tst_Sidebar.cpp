#include "support/StoreHarness.h"
#include "support/WidgetSnapshot.h"
#include "Platform/Memory/MemoryPasteboard.h"
#include "Zubra/LibraryWindow/SidebarRowDelegate.h"
#include "Zubra/LibraryWindow/SidebarSectionList.h"
#include "Zubra/LibraryWindow/SidebarView.h"
#include "ZubraCore/Drag/SelectionDragIDs.h"
#include "support/TestMain.h"
#include "../WidgetText.h"

#include <QDropEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>

using namespace WidgetText;

namespace {

// Sends a whole drag over a row and the drop; returns whether the drop was accepted.
bool dropOn(SidebarSectionList* list, const QModelIndex& index, QMimeData* data)
{
    const QPoint point = list->visualRect(index).center();
    QDragEnterEvent enter(point, Qt::CopyAction, data, Qt::LeftButton, {});
    QApplication::sendEvent(list->viewport(), &enter);
    QDragMoveEvent move(point, Qt::CopyAction, data, Qt::LeftButton, {});
    QApplication::sendEvent(list->viewport(), &move);
    QDropEvent drop(QPointF(point), Qt::CopyAction, data, Qt::LeftButton, {});
    QApplication::sendEvent(list->viewport(), &drop);
    return drop.isAccepted();
}

} // namespace

class TestSidebar : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void emptyLibrary();
    void countsAndBadges();
    void menus();
    void groupCommands();
    void sourceCommands();
    void newPromptFromEmptyGroup();
    void readOnlyLibrary();
    void drops_data();
    void drops();
    void dragPayloads();
    void helpFollowsThePointer_data();
    void helpFollowsThePointer();
    void choosingRows();
    void onlyTheChoiceIsMarked_data();
    void onlyTheChoiceIsMarked();
    void keyboardChoosesRows();
    void snapshot();

private:
    Selection add(const QString& text, const QString& app, const std::optional<QString>& url, int minute);
    QModelIndex groupRow(SidebarView& view, const QUuid& id) { return view.model()->indexOfGroup(id); }

    std::unique_ptr<StoreHarness> m_harness;
    Store* m_store = nullptr;
    MemoryPasteboard m_pasteboard;
    LibraryEnvironment m_environment;
    SidebarCallbacks m_callbacks;
    QStringList m_calls;
};

void TestSidebar::init()
{
    m_harness = std::make_unique<StoreHarness>();
    m_store = &m_harness->open();
    m_pasteboard = MemoryPasteboard();
    m_environment = LibraryEnvironment();
    m_environment.pasteboard = &m_pasteboard;
    m_environment.icon = [](const Selection&) { return QIcon(); };
    m_calls.clear();
    m_callbacks.onNewGroup = [this] { m_calls.append(u"newGroup"_qs); };
    m_callbacks.onRenameGroup = [this](const SelectionGroup& g) { m_calls.append(u"rename "_qs + g.name); };
    m_callbacks.onDeleteGroup = [this](const SelectionGroup& g) { m_calls.append(u"delete "_qs + g.name); };
    m_callbacks.onNewPrompt = [this] { m_calls.append(u"newPrompt"_qs); };
    m_callbacks.onSelectDraft = [this](const QUuid&) { m_calls.append(u"open"_qs); };
    m_callbacks.onDeleteDraft = [this](const QUuid&) { m_calls.append(u"deleteDraft"_qs); };
}

void TestSidebar::cleanup()
{
    m_store = nullptr;
    m_harness.reset();
}

Selection TestSidebar::add(const QString& text, const QString& app, const std::optional<QString>& url, int minute)
{
    const Selection selection = Selection::make(QUuid::createUuid(), text, std::nullopt, app, std::nullopt, url,
        std::nullopt, std::nullopt, {}, QDateTime(QDate(2025, 3, 14), QTime(10, minute), Qt::UTC));
    m_store->add(selection);
    return selection;
}

void TestSidebar::emptyLibrary()
{
    SidebarView view(*m_store, m_environment, m_callbacks);
    WidgetSnapshot::render(view, QSize(240, 500));
    QCOMPARE(view.model()->rowCount(view.model()->sectionIndex(SidebarModel::Section::prompt)), 0);
    QStringList visibleTexts;
    for (QLabel* label : view.findChildren<QLabel*>()) {
        if (label->isVisible())
            visibleTexts.append(label->text());
    }
    QVERIFY(visibleTexts.contains(u"Nothing captured yet"_qs));
    QVERIFY(!visibleTexts.contains(u"Assemble sources into a prompt"_qs));
    QVERIFY(!visibleTexts.contains(u"Organize selections manually"_qs));
    QCOMPARE(view.statusText(), u"Local library ready"_qs);
    const QModelIndex all = view.model()->index(0, 0, view.model()->sectionIndex(SidebarModel::Section::library));
    QCOMPARE(all.data(SidebarModel::CountRole).toLongLong(), 0);

    for (QPushButton* button : view.findChildren<QPushButton*>())
        QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(m_calls, (QStringList {u"newPrompt"_qs, u"newGroup"_qs}));
}

void TestSidebar::countsAndBadges()
{
    SidebarView view(*m_store, m_environment, m_callbacks);
    const Selection a = add(u"a"_qs, u"Firefox"_qs, u"https://moon.example/"_qs, 1);
    const Selection b = add(u"b"_qs, u"Chromium"_qs, u"https://moon.example/"_qs, 2);
    add(u"c"_qs, u"Notes"_qs, std::nullopt, 3);
    const SelectionGroup group = *m_store->addGroup(u"Reading"_qs, u"#FF0000"_qs);
    m_store->addToGroup(group.id, {a.id, b.id});
    m_store->newDraft();
    m_store->addSelectionToActiveDraft(a.id);

    SidebarModel* model = view.model();
    const QModelIndex sources = model->sectionIndex(SidebarModel::Section::sources);
    QCOMPARE(model->rowCount(sources), 2); // one row for the address, whatever the application
    const QModelIndex moon = model->indexOfSource(u"https://moon.example/"_qs);
    QCOMPARE(moon.data(SidebarModel::CountRole).toLongLong(), 2);
    QCOMPARE(groupRow(view, group.id).data(SidebarModel::CountRole).toLongLong(), 2);
    QCOMPARE(model->index(0, 0, model->sectionIndex(SidebarModel::Section::library))
                 .data(SidebarModel::CountRole)
                 .toLongLong(),
        3);
    const QModelIndex prompt = model->index(0, 0, model->sectionIndex(SidebarModel::Section::prompt));
    QCOMPARE(prompt.data(SidebarModel::KindRole).value<SidebarModel::ItemKind>(), SidebarModel::ItemKind::activePrompt);
    QCOMPARE(prompt.data(SidebarModel::CountRole).toLongLong(), 1);

    // The lists grow with their rows; the empty-source text goes away.
    QCOMPARE(view.list(SidebarModel::Section::sources)->height(), 2 * SidebarRowDelegate::sourceRowHeight);
    WidgetSnapshot::render(view, QSize(240, 600));
    for (QLabel* label : view.findChildren<QLabel*>()) {
        if (label->text() == u"Nothing captured yet"_qs)
            QVERIFY(!label->isVisible());
    }
    // A deleted member leaves the badge.
    m_store->deleteSelection(b.id);
    QCOMPARE(groupRow(view, group.id).data(SidebarModel::CountRole).toLongLong(), 1);
}

void TestSidebar::menus()
{
    add(u"a"_qs, u"Firefox"_qs, u"https://moon.example/"_qs, 1);
    const SelectionGroup group = *m_store->addGroup(u"Reading"_qs, u"#FF0000"_qs);
    m_store->newDraft(u"First"_qs);
    const ContextDraft second = *m_store->newDraft(u"Second"_qs);
    m_store->activateDraft(second.id);
    SidebarView view(*m_store, m_environment, m_callbacks);
    SidebarModel* model = view.model();

    QMenu groupMenu;
    view.fillMenu(groupMenu, groupRow(view, group.id));
    QCOMPARE(describe(groupMenu),
        (QStringList {u"Add to Prompt"_qs, u"New Prompt from Collection"_qs, u"-"_qs, u"Copy as Markdown"_qs,
            u"Copy Plain Text"_qs, u"-"_qs, u"Rename\u2026"_qs, u"Delete Group"_qs}));
    groupMenu.actions().at(6)->trigger();
    groupMenu.actions().at(7)->trigger();

    QMenu sourceMenu;
    view.fillMenu(sourceMenu, model->indexOfSource(u"https://moon.example/"_qs));
    QCOMPARE(describe(sourceMenu),
        (QStringList {u"Add to Prompt"_qs, u"-"_qs, u"Copy as Markdown"_qs, u"Copy Plain Text"_qs}));

    // The active draft shows only as the prompt row; the other draft has its menu.
    const QModelIndex prompts = model->sectionIndex(SidebarModel::Section::prompt);
    QCOMPARE(model->rowCount(prompts), 2);
    QMenu activeMenu;
    view.fillMenu(activeMenu, model->index(0, 0, prompts));
    QVERIFY(activeMenu.isEmpty());
    QMenu draftMenu;
    view.fillMenu(draftMenu, model->index(1, 0, prompts));
    QCOMPARE(describe(draftMenu), (QStringList {u"Open"_qs, u"Delete"_qs}));
    for (QAction* action : draftMenu.actions())
        action->trigger();

    QMenu libraryMenu;
    view.fillMenu(libraryMenu, model->index(0, 0, model->sectionIndex(SidebarModel::Section::library)));
    QVERIFY(libraryMenu.isEmpty());
    QCOMPARE(m_calls, (QStringList {u"rename Reading"_qs, u"delete Reading"_qs, u"open"_qs, u"deleteDraft"_qs}));
}

void TestSidebar::groupCommands()
{
    const Selection older = add(u"older"_qs, u"Notes"_qs, std::nullopt, 1);
    const Selection newer = add(u"newer"_qs, u"Notes"_qs, std::nullopt, 2);
    const SelectionGroup group = *m_store->createGroup(u"Both"_qs, u"#00FF00"_qs, {older.id, newer.id});
    SidebarView view(*m_store, m_environment, m_callbacks);

    view.copyGroupPlain(group.id);
    QCOMPARE(plainOf(m_pasteboard), u"newer\n\n---\n\nolder"_qs);
    view.copyGroupMarkdown(group.id);
    QVERIFY(plainOf(m_pasteboard).indexOf(u"older"_qs) < plainOf(m_pasteboard).indexOf(u"newer"_qs));
    view.addGroupToPrompt(group.id);
    QCOMPARE(m_store->activeDraft()->entries.size(), 2);
    view.addGroupToPrompt(group.id);
    QCOMPARE(m_store->activeDraft()->entries.size(), 2);

    const SelectionGroup empty = *m_store->addGroup(u"Empty"_qs, u"#0000FF"_qs);
    view.copyGroupPlain(empty.id);
    QCOMPARE(plainOf(m_pasteboard), QString());
}

void TestSidebar::sourceCommands()
{
    add(u"first"_qs, u"Firefox"_qs, u"https://moon.example/"_qs, 1);
    add(u"other"_qs, u"Firefox"_qs, u"https://sun.example/"_qs, 2);
    add(u"second"_qs, u"Chromium"_qs, u"https://moon.example/"_qs, 3);
    SidebarView view(*m_store, m_environment, m_callbacks);
    view.copySourcePlain(u"https://moon.example/"_qs);
    QCOMPARE(plainOf(m_pasteboard), u"second\n\n---\n\nfirst"_qs);
    view.copySourceMarkdown(u"https://moon.example/"_qs);
    QVERIFY(plainOf(m_pasteboard).startsWith(u"# https://moon.example/"_qs));
    QVERIFY(!plainOf(m_pasteboard).contains(u"other"_qs));
    view.addSourceToPrompt(u"https://moon.example/"_qs);
    QCOMPARE(m_store->activeDraft()->entries.size(), 2);
}

void TestSidebar::newPromptFromEmptyGroup()
{
    const SelectionGroup empty = *m_store->addGroup(u"Empty"_qs, u"#0000FF"_qs);
    SidebarView view(*m_store, m_environment, m_callbacks);
    QList<SidebarItem> chosen;
    connect(&view, &SidebarView::chosen, this, [&](const SidebarItem& item) { chosen.append(item); });
    view.newPromptFromGroup(empty.id);
    QCOMPARE(m_store->drafts().size(), 1);
    QVERIFY(m_store->drafts().first().entries.isEmpty());
    QCOMPARE(chosen.size(), 1);
    QVERIFY(chosen.first() == SidebarItem::draft(m_store->drafts().first().id));
}

void TestSidebar::readOnlyLibrary()
{
    QVERIFY(LibraryFixtures::writeFile(m_harness->path(), "not a library"));
    Store& store = m_harness->open();
    QVERIFY(!store.canModifyLibrary());
    SidebarView view(store, m_environment, m_callbacks);
    QCOMPARE(view.statusText(), u"Library status needs attention"_qs);
    for (QPushButton* button : view.findChildren<QPushButton*>())
        QVERIFY(!button->isEnabled());
    QSignalSpy chosen(&view, &SidebarView::chosen);
    view.newPromptFromGroup(QUuid::createUuid());
    QCOMPARE(chosen.count(), 0);
    QVERIFY(store.drafts().isEmpty());
}

void TestSidebar::drops_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("content");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("lands"); // the two selections join the target
    QTest::newRow("payload on group") << u"group"_qs << u"payload"_qs << true << true;
    QTest::newRow("payload on prompt") << u"prompt"_qs << u"payload"_qs << true << true;
    QTest::newRow("image on group") << u"group"_qs << u"image"_qs << false << false;
    QTest::newRow("file on prompt") << u"prompt"_qs << u"file"_qs << false << false;
    QTest::newRow("foreign text on group") << u"group"_qs << u"hello"_qs << true << false;
    QTest::newRow("bare prefix on group") << u"group"_qs << u"tessellonsel:"_qs << true << false;
    QTest::newRow("payload on all selections") << u"all"_qs << u"payload"_qs << false << false;
    QTest::newRow("payload on source") << u"source"_qs << u"payload"_qs << false << false;
    QTest::newRow("payload on draft") << u"draft"_qs << u"payload"_qs << false << false;
}

void TestSidebar::drops()
{
    QFETCH(QString, target);
    QFETCH(QString, content);
    QFETCH(bool, accepted);
    QFETCH(bool, lands);
    const Selection a = add(u"a"_qs, u"Notes"_qs, u"https://moon.example/"_qs, 1);
    const Selection b = add(u"b"_qs, u"Notes"_qs, std::nullopt, 2);
    const SelectionGroup group = *m_store->addGroup(u"Target"_qs, u"#FF0000"_qs);
    m_store->newDraft(u"Active"_qs);
    const ContextDraft other = *m_store->newDraft(u"Other"_qs);
    const ContextDraft active = m_store->drafts().first();
    m_store->activateDraft(active.id);
    SidebarView view(*m_store, m_environment, m_callbacks);
    WidgetSnapshot::render(view, QSize(240, 600));
    SidebarModel* model = view.model();

    SidebarSectionList* list = nullptr;
    QModelIndex index;
    if (target == u"group"_qs) {
        list = view.list(SidebarModel::Section::groups);
        index = groupRow(view, group.id);
    } else if (target == u"prompt"_qs) {
        list = view.list(SidebarModel::Section::prompt);
        index = model->index(0, 0, model->sectionIndex(SidebarModel::Section::prompt));
    } else if (target == u"draft"_qs) {
        list = view.list(SidebarModel::Section::prompt);
        index = model->indexOfDraft(other.id);
    } else if (target == u"all"_qs) {
        list = view.list(SidebarModel::Section::library);
        index = model->index(0, 0, model->sectionIndex(SidebarModel::Section::library));
    } else {
        list = view.list(SidebarModel::Section::sources);
        index = model->indexOfSource(u"https://moon.example/"_qs);
    }
    QVERIFY(index.isValid());

    auto data = std::make_unique<QMimeData>();
    if (content == u"image"_qs)
        data->setImageData(QImage(4, 4, QImage::Format_RGB32));
    else if (content == u"file"_qs)
        data->setUrls({QUrl::fromLocalFile(u"/tmp/x.txt"_qs)});
    else if (content == u"payload"_qs)
        data->setText(SelectionDragIDs::encode({a.id, b.id}));
    else
        data->setText(content);
    QCOMPARE(dropOn(list, index, data.get()), accepted);
    // The store is called after the drop has returned.
    QVERIFY(m_store->selectionsIn(group.id).isEmpty());
    QVERIFY(m_store->activeDraft()->entries.isEmpty());
    if (lands) {
        QTRY_COMPARE(index.data(SidebarModel::CountRole).toLongLong(), 2);
        QCOMPARE(target == u"group"_qs ? m_store->selectionsIn(group.id).size()
                                       : m_store->activeDraft()->entries.size(), 2);
    } else {
        QTest::qWait(10);
        QVERIFY(m_store->selectionsIn(group.id).isEmpty());
        QVERIFY(m_store->activeDraft()->entries.isEmpty());
    }
    QVERIFY(m_store->findDraft(other.id)->entries.isEmpty());
    // No highlight is left after the drop.
    for (const SidebarRowDelegate* delegate : view.findChildren<SidebarRowDelegate*>())
        QVERIFY(!delegate->dropTarget().isValid());
}

void TestSidebar::dragPayloads()
{
    const Selection a = add(u"a"_qs, u"Notes"_qs, u"https://moon.example/"_qs, 1);
    const Selection b = add(u"b"_qs, u"Notes"_qs, u"https://moon.example/"_qs, 2);
    const SelectionGroup group = *m_store->createGroup(u"G"_qs, u"#FF0000"_qs, {a.id});
    const SelectionGroup empty = *m_store->addGroup(u"E"_qs, u"#FF0000"_qs);
    SidebarView view(*m_store, m_environment, m_callbacks);
    QCOMPARE(view.dragPayload(groupRow(view, group.id)), SelectionDragIDs::encode({a.id}));
    QCOMPARE(view.dragPayload(groupRow(view, empty.id)), SelectionDragIDs::prefix);
    QCOMPARE(view.dragPayload(view.model()->indexOfSource(u"https://moon.example/"_qs)),
        SelectionDragIDs::encode({a.id, b.id}));
    QVERIFY(SidebarRowDelegate::hasHandle(groupRow(view, empty.id)));
    QVERIFY(!SidebarRowDelegate::hasHandle(
        view.model()->index(0, 0, view.model()->sectionIndex(SidebarModel::Section::library))));
}

void TestSidebar::helpFollowsThePointer_data()
{
    QTest::addColumn<bool>("source"); // a source row, else a group row
    QTest::addColumn<QString>("place"); // handle, subtitle or name
    QTest::addColumn<QString>("url"); // the source's address
    QTest::addColumn<QString>("help");
    const QString handle = u"Drag to add to a prompt or group"_qs;
    const QString url = u"https://moon.example/a/long/path"_qs;
    const QString huge = u"https://moon.example/"_qs + QString(100000, u'a') + u"/end"_qs;
    QTest::newRow("source handle") << true << u"handle"_qs << url << handle;
    QTest::newRow("source subtitle") << true << u"subtitle"_qs << url << url;
    QTest::newRow("huge subtitle keeps its ends")
        << true << u"subtitle"_qs << huge << huge.left(500) + u"\u2026"_qs + huge.right(500);
    QTest::newRow("source name") << true << u"name"_qs << url << QString();
    QTest::newRow("group handle") << false << u"handle"_qs << url << handle;
    QTest::newRow("group name") << false << u"name"_qs << url << QString();
}

void TestSidebar::helpFollowsThePointer()
{
    QFETCH(bool, source);
    QFETCH(QString, place);
    QFETCH(QString, url);
    QFETCH(QString, help);
    add(u"a"_qs, u"Firefox"_qs, url, 1);
    const SelectionGroup group = *m_store->addGroup(u"G"_qs, u"#FF0000"_qs);
    SidebarView view(*m_store, m_environment, m_callbacks);
    WidgetSnapshot::render(view, QSize(240, 500));
    SidebarSectionList* list = view.list(source ? SidebarModel::Section::sources : SidebarModel::Section::groups);
    const QModelIndex index = source ? view.model()->indexOfSource(url) : groupRow(view, group.id);
    const QRect row = list->visualRect(index);
    const QPoint point = place == u"handle"_qs ? SidebarRowDelegate::handleRect(row, index).center()
        : place == u"subtitle"_qs              ? QPoint(row.left() + 40, row.bottom() - 6)
                                               : QPoint(row.left() + 40, row.top() + 6);
    QCOMPARE(SidebarRowDelegate::helpAt(row, index, point), help);
    if (help.isEmpty())
        return;
    // The pointer resting there shows it.
    QHelpEvent event(QEvent::ToolTip, point, list->viewport()->mapToGlobal(point));
    QApplication::sendEvent(list->viewport(), &event);
    QCOMPARE(QToolTip::text(), help);
    QToolTip::hideText();
}

void TestSidebar::choosingRows()
{
    const Selection a = add(u"a"_qs, u"Firefox"_qs, u"https://moon.example/"_qs, 1);
    const SelectionGroup group = *m_store->addGroup(u"G"_qs, u"#FF0000"_qs);
    SidebarView view(*m_store, m_environment, m_callbacks);
    WidgetSnapshot::render(view, QSize(240, 500));
    QList<SidebarItem> chosen;
    connect(&view, &SidebarView::chosen, this, [&](const SidebarItem& item) { chosen.append(item); });

    SidebarSectionList* groups = view.list(SidebarModel::Section::groups);
    QTest::mouseClick(groups->viewport(), Qt::LeftButton, {}, groups->visualRect(groupRow(view, group.id)).topLeft() + QPoint(20, 5));
    QCOMPARE(chosen.size(), 1);
    QVERIFY(chosen.last() == SidebarItem::group(group.id));

    SidebarSectionList* sources = view.list(SidebarModel::Section::sources);
    const QModelIndex source = view.model()->indexOfSource(u"https://moon.example/"_qs);
    QTest::mouseClick(sources->viewport(), Qt::LeftButton, {}, sources->visualRect(source).topLeft() + QPoint(20, 5));
    const SidebarItem item = chosen.last();
    QCOMPARE(item.kind(), SidebarItem::Kind::source);
    QCOMPARE(*item.sourceIdentity(), SourceIdentity::from(a));
    QVERIFY(groups->selectionModel()->selectedIndexes().isEmpty());

    // The window's choice marks its row without a signal.
    view.setSelection(SidebarItem::allSelections());
    QCOMPARE(chosen.size(), 2);
    QCOMPARE(view.list(SidebarModel::Section::library)->selectionModel()->selectedIndexes().size(), 1);
    QVERIFY(sources->selectionModel()->selectedIndexes().isEmpty());
}

namespace {

// The rows drawn as chosen, over every section.
QList<QModelIndex> markedRows(SidebarView& view)
{
    QList<QModelIndex> out;
    for (auto section : {SidebarModel::Section::prompt, SidebarModel::Section::library, SidebarModel::Section::groups,
             SidebarModel::Section::sources})
        out += view.list(section)->selectionModel()->selectedIndexes();
    return out;
}

} // namespace

void TestSidebar::onlyTheChoiceIsMarked_data()
{
    QTest::addColumn<QString>("gesture");
    QTest::newRow("press on a row, release on another of its section") << u"pressRelease"_qs;
    QTest::newRow("press on a row, release in another section") << u"pressReleaseElsewhere"_qs;
    QTest::newRow("press alone") << u"press"_qs;
    QTest::newRow("the chosen last group deleted") << u"deleteLast"_qs;
}

void TestSidebar::onlyTheChoiceIsMarked()
{
    QFETCH(QString, gesture);
    add(u"a"_qs, u"Firefox"_qs, u"https://moon.example/"_qs, 1);
    const SelectionGroup first = *m_store->addGroup(u"First"_qs, u"#FF0000"_qs);
    const SelectionGroup last = *m_store->addGroup(u"Last"_qs, u"#00AA00"_qs);
    SidebarView view(*m_store, m_environment, m_callbacks);
    view.setSelection(SidebarItem::allSelections());
    WidgetSnapshot::render(view, QSize(240, 500));
    QList<SidebarItem> chosen;
    connect(&view, &SidebarView::chosen, this, [&](const SidebarItem& item) { chosen.append(item); });

    SidebarSectionList* groups = view.list(SidebarModel::Section::groups);
    SidebarSectionList* sources = view.list(SidebarModel::Section::sources);
    const QPoint onFirst = groups->visualRect(groupRow(view, first.id)).topLeft() + QPoint(20, 5);
    const QPoint onLast = groups->visualRect(groupRow(view, last.id)).topLeft() + QPoint(20, 5);
    if (gesture == u"deleteLast"_qs) {
        view.setSelection(SidebarItem::group(last.id));
        groups->setCurrentIndex(groupRow(view, last.id));
        // The window leaves the group before the store deletes it.
        view.setSelection(SidebarItem::allSelections());
        m_store->deleteGroup(last.id);
    } else {
        QTest::mousePress(groups->viewport(), Qt::LeftButton, {}, onFirst);
        if (gesture == u"pressRelease"_qs) {
            QMouseEvent move(QEvent::MouseMove, onLast, groups->viewport()->mapToGlobal(onLast), Qt::NoButton,
                Qt::LeftButton, {});
            QApplication::sendEvent(groups->viewport(), &move);
            QTest::mouseRelease(groups->viewport(), Qt::LeftButton, {}, onLast);
        } else if (gesture == u"pressReleaseElsewhere"_qs) {
            QTest::mouseRelease(sources->viewport(), Qt::LeftButton, {}, QPoint(20, 5));
        }
    }
    QApplication::processEvents();
    QVERIFY(chosen.isEmpty());
    const QList<QModelIndex> marked = markedRows(view);
    QCOMPARE(marked.size(), 1);
    QVERIFY(view.itemAt(marked.first()) == SidebarItem::allSelections());
}

void TestSidebar::keyboardChoosesRows()
{
    const SelectionGroup first = *m_store->addGroup(u"First"_qs, u"#FF0000"_qs);
    const SelectionGroup second = *m_store->addGroup(u"Second"_qs, u"#00AA00"_qs);
    SidebarView view(*m_store, m_environment, m_callbacks);
    view.setSelection(SidebarItem::allSelections());
    WidgetSnapshot::render(view, QSize(240, 500));
    QList<SidebarItem> chosen;
    connect(&view, &SidebarView::chosen, this, [&](const SidebarItem& item) {
        chosen.append(item);
        view.setSelection(item); // as the window does
    });

    SidebarSectionList* groups = view.list(SidebarModel::Section::groups);
    groups->setFocus(Qt::TabFocusReason);
    groups->setCurrentIndex(groupRow(view, first.id));
    // The arrow moves the focus mark only; Space, then Return, choose.
    QTest::keyClick(groups, Qt::Key_Down);
    QCOMPARE(groups->currentIndex(), groupRow(view, second.id));
    QVERIFY(chosen.isEmpty());
    QTest::keyClick(groups, Qt::Key_Space);
    QCOMPARE(chosen.size(), 1);
    QVERIFY(chosen.last() == SidebarItem::group(second.id));
    QTest::keyClick(groups, Qt::Key_Up);
    QTest::keyClick(groups, Qt::Key_Return);
    QVERIFY(chosen.last() == SidebarItem::group(first.id));
    const QList<QModelIndex> marked = markedRows(view);
    QCOMPARE(marked.size(), 1);
    QCOMPARE(marked.first(), groupRow(view, first.id));

    // An empty section is skipped by Tab.
    QCOMPARE(view.list(SidebarModel::Section::sources)->focusPolicy(), Qt::NoFocus);
    QVERIFY(groups->focusPolicy() & Qt::TabFocus);
}

void TestSidebar::snapshot()
{
    const Selection a = add(u"The Eagle has landed"_qs, u"Firefox"_qs, u"https://en.wikipedia.org/wiki/Apollo_11"_qs, 1);
    const Selection b = add(u"notes"_qs, u"Text Editor"_qs, std::nullopt, 2);
    add(u"long"_qs, u"Chromium"_qs,
        u"https://example.com/a/very/long/path/that/does/not/fit/into/the/sidebar/at/all/index.html"_qs, 3);
    const SelectionGroup reading = *m_store->createGroup(u"Reading list"_qs, u"#4F8EF7"_qs, {a.id, b.id});
    m_store->addGroup(u"Empty group"_qs, u"#E0457B"_qs);
    m_store->newDraft(u"Summary"_qs);
    m_store->addSelectionToActiveDraft(a.id);
    m_store->newDraft(u"Second draft"_qs);
    m_store->activateDraft(m_store->drafts().first().id);
    SidebarView view(*m_store, m_environment, m_callbacks);
    view.setSelection(SidebarItem::group(reading.id));
    view.findChild<SidebarRowDelegate*>()->setDropTarget(view.model()->index(0, 0,
        view.model()->sectionIndex(SidebarModel::Section::prompt)));
    const QImage image = WidgetSnapshot::render(view, QSize(240, 640));
    QVERIFY(!image.isNull());
    WidgetSnapshot::saveForReview(image, u"sidebar.png"_qs);
}

TESSELLON_GUI_TEST_MAIN(TestSidebar)
#include "tst_Sidebar.moc"
