#include "support/StoreHarness.h"
#include "support/WidgetSnapshot.h"
#include "Platform/Memory/MemoryPasteboard.h"
#include "Platform/Memory/MemoryWorkspace.h"
#include "Zubra/LibraryWindow/DetailDates.h"
#include "Zubra/LibraryWindow/DetailText.h"
#include "Zubra/LibraryWindow/PassageRenderer.h"
#include "Zubra/LibraryWindow/SelectionDetailView.h"
#include "Zubra/SurfaceExport/SurfaceRenderer.h"
#include "support/TestMain.h"
#include "../WidgetText.h"

#include <QClipboard>
#include <QDir>
#include <QFormLayout>
#include <QGuiApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <QTest>
#include <QAccessible>
#include <QScrollBar>
#include <QScrollArea>

Q_DECLARE_METATYPE(std::optional<QString>)

using namespace WidgetText;

namespace {

// "Label=value" for every provenance row.
QStringList provenanceOf(SelectionDetailView& view)
{
    QStringList rows;
    for (QGroupBox* box : view.findChildren<QGroupBox*>()) {
        if (box->title() != u"Provenance"_qs)
            continue;
        auto* form = qobject_cast<QFormLayout*>(box->layout());
        for (int row = 0; row < form->rowCount(); ++row) {
            auto* label = qobject_cast<QLabel*>(form->itemAt(row, QFormLayout::LabelRole)->widget());
            QWidget* field = form->itemAt(row, QFormLayout::FieldRole)->widget();
            QString value;
            if (auto* text = dynamic_cast<FittedLabel*>(field))
                value = text->fullText();
            else if (auto* mark = field->findChildren<QLabel*>().value(1))
                value = mark->text();
            rows.append(label->text() + u"="_qs + value);
        }
    }
    return rows;
}

} // namespace

class TestSelectionDetail : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void title_data();
    void title();
    void sourceRowsAndMenu_data();
    void sourceRowsAndMenu();
    void fittedText_data();
    void fittedText();
    void cutTextCopiesWhatItStandsFor_data();
    void cutTextCopiesWhatItStandsFor();
    void lengthInCharacters_data();
    void lengthInCharacters();
    void groupsFollowTheStore();
    void promptButtonFollowsTheActiveDraft();
    void commandsReachTheDoubles();
    void passageLinksOpenThroughTheWorkspace();
    void footerArrangements();
    void capturedDateIsNeverCut_data();
    void capturedDateIsNeverCut();
    void selectableTextsCopy_data();
    void selectableTextsCopy();
    void copiedResets();
    void prominentButtonKeepsItsColours();
    void contentScrollsAsOne_data();
    void contentScrollsAsOne();
    void snapshot();

private:
    Selection add(const QString& text, const std::optional<QString>& url = std::nullopt,
        const std::optional<QString>& path = std::nullopt, const std::optional<QString>& title = std::nullopt);

    std::unique_ptr<StoreHarness> m_harness;
    Store* m_store = nullptr;
    MemoryPasteboard m_pasteboard;
    MemoryWorkspace m_workspace;
    LibraryEnvironment m_environment;
};

void TestSelectionDetail::init()
{
    m_harness = std::make_unique<StoreHarness>();
    m_store = &m_harness->open();
    m_pasteboard = MemoryPasteboard();
    m_workspace = MemoryWorkspace();
    m_environment = LibraryEnvironment();
    m_environment.pasteboard = &m_pasteboard;
    m_environment.workspace = &m_workspace;
    m_environment.icon = [](const Selection&) { return QIcon(); };
    m_environment.locale = QLocale(QLocale::English, QLocale::UnitedStates);
    m_environment.timeZone = QTimeZone::utc();
}

void TestSelectionDetail::cleanup()
{
    m_store = nullptr;
    m_harness.reset();
}

Selection TestSelectionDetail::add(const QString& text, const std::optional<QString>& url,
    const std::optional<QString>& path, const std::optional<QString>& title)
{
    const Selection selection = Selection::make(QUuid::createUuid(), text, std::nullopt, u"Firefox"_qs,
        u"firefox"_qs, url, title, path, {}, QDateTime(QDate(2025, 3, 14), QTime(10, 5), Qt::UTC));
    m_store->add(selection);
    return selection;
}

void TestSelectionDetail::title_data()
{
    QTest::addColumn<std::optional<QString>>("sourceTitle");
    QTest::addColumn<QString>("shown");
    QTest::newRow("blank title") << std::optional<QString>(u"  \n\t "_qs) << u"Firefox"_qs;
    QTest::newRow("padded title") << std::optional<QString>(u"  Moon landing \n"_qs) << u"Moon landing"_qs;
    QTest::newRow("no title") << std::optional<QString>() << u"Firefox"_qs;
}

void TestSelectionDetail::title()
{
    QFETCH(std::optional<QString>, sourceTitle);
    QFETCH(QString, shown);
    SelectionDetailView view(*m_store, m_environment);
    view.setSelection(add(u"text"_qs, std::nullopt, std::nullopt, sourceTitle));
    QCOMPARE(view.recordTitle(), shown);
}

void TestSelectionDetail::sourceRowsAndMenu_data()
{
    QTest::addColumn<std::optional<QString>>("url");
    QTest::addColumn<std::optional<QString>>("path");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("menu"); // the group submenu offers only the placeholder
    const QString captured = u"Captured=Friday, March 14, 2025 at 10:05:00\u202FAM"_qs;
    QTest::newRow("address and file")
        << std::optional<QString>(u"https://example.com/a"_qs) << std::optional<QString>(u"/home/u/notes.md"_qs)
        << QStringList {u"Application=Firefox"_qs, u"Source=https://example.com/a"_qs, u"File=/home/u/notes.md"_qs,
               captured, u"Length=4 characters"_qs, u"Prompt=Not included"_qs}
        << QStringList {u"Copy All from Source"_qs, u"Open in Browser"_qs, u"Copy URL"_qs, u"Show in File Manager"_qs,
               u"-"_qs, u"Add to Group>"_qs, u"  No groups yet (off)"_qs, u"-"_qs, u"Delete"_qs};
    QTest::newRow("neither") << std::optional<QString>() << std::optional<QString>()
                             << QStringList {u"Application=Firefox"_qs, captured, u"Length=4 characters"_qs,
                                    u"Prompt=Not included"_qs}
                             << QStringList {u"Copy All from Source"_qs, u"-"_qs, u"Add to Group>"_qs,
                                    u"  No groups yet (off)"_qs, u"-"_qs, u"Delete"_qs};
}

void TestSelectionDetail::sourceRowsAndMenu()
{
    QFETCH(std::optional<QString>, url);
    QFETCH(std::optional<QString>, path);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, menu);
    SelectionDetailView view(*m_store, m_environment);
    view.setSelection(add(u"text"_qs, url, path));
    QCOMPARE(provenanceOf(view), rows);
    QMenu more;
    view.fillMoreMenu(more);
    QCOMPARE(describe(more), menu);
}

void TestSelectionDetail::fittedText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("keepsEnds");
    const QString url = u"https://example.com/"_qs + QString(300, u'a') + u"/end.html"_qs;
    QTest::newRow("short stays whole") << u"Reading list"_qs << 1 << int(Qt::ElideMiddle) << true;
    QTest::newRow("address, middle gives way") << url << 2 << int(Qt::ElideMiddle) << true;
    QTest::newRow("title, end gives way") << QString(40, u'w').replace(u"ww"_qs, u"w "_qs).repeated(5) << 2
                                          << int(Qt::ElideRight) << false;
    QTest::newRow("huge path") << u"/home/"_qs + QString(2'000'000, u'x') + u"/file.md"_qs << 2 << int(Qt::ElideMiddle)
                               << true;
    QTest::newRow("line breaks flattened") << u"one\ntwo\nthree"_qs << 1 << int(Qt::ElideRight) << false;
}

void TestSelectionDetail::fittedText()
{
    QFETCH(QString, text);
    QFETCH(int, lines);
    QFETCH(int, mode);
    QFETCH(bool, keepsEnds);
    const QFont font;
    constexpr int width = 200;
    const QString fitted = DetailText::fitToLines(text, font, width, lines, Qt::TextElideMode(mode));
    const QStringList shown = fitted.split(u'\n');
    QVERIFY(shown.size() <= lines);
    const QFontMetrics metrics(font);
    for (const QString& line : shown)
        QVERIFY2(metrics.horizontalAdvance(line) <= width, qPrintable(line));
    if (keepsEnds) {
        QCOMPARE(fitted.left(5), text.left(5));
        QCOMPARE(fitted.right(5), text.right(5));
    }
    if (metrics.horizontalAdvance(text) > width * lines)
        QVERIFY(fitted.contains(u"\u2026"_qs));
    else
        QCOMPARE(QString(fitted).remove(u'\n'), QString(text).replace(u'\n', u' '));
}

void TestSelectionDetail::cutTextCopiesWhatItStandsFor_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("copied");
    const QString cut = u"abc\u2026\nhij"_qs; // "abcdefghij" cut in the middle and wrapped
    QTest::newRow("all of a middle cut") << u"abcdefghij"_qs << cut << 0 << 8 << u"abcdefghij"_qs;
    QTest::newRow("before the cut") << u"abcdefghij"_qs << cut << 0 << 2 << u"ab"_qs;
    QTest::newRow("into the cut") << u"abcdefghij"_qs << cut << 1 << 4 << u"bcdefg"_qs;
    QTest::newRow("after the cut, past the break") << u"abcdefghij"_qs << cut << 5 << 7 << u"hi"_qs;
    QTest::newRow("out of the cut") << u"abcdefghij"_qs << cut << 3 << 6 << u"defgh"_qs;
    QTest::newRow("end cut") << u"one two three"_qs << u"one t\u2026"_qs << 0 << 6 << u"one two three"_qs;
    QTest::newRow("own ellipsis kept") << u"a\u2026b"_qs << u"a\u2026b"_qs << 0 << 3 << u"a\u2026b"_qs;
    QTest::newRow("own breaks, no cut") << u"one\ntwo"_qs << u"one two"_qs << 0 << 7 << u"one\ntwo"_qs;
    QTest::newRow("wrapped, no cut") << u"abcdef"_qs << u"abc\ndef"_qs << 2 << 5 << u"cd"_qs;
    QTest::newRow("huge text bounded and cut")
        << u"/home/"_qs + QString(5000, u'x') + u"/f.md"_qs << u"/home/xx\u2026xx/f.md"_qs << 0 << 16
        << u"/home/"_qs + QString(5000, u'x') + u"/f.md"_qs;
}

// A selection of a shortened text stands for what the shortening left out: a copy of it is the
// text itself, without the breaks the fitting put in.
void TestSelectionDetail::cutTextCopiesWhatItStandsFor()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, copied);
    QCOMPARE(DetailText::sourceOf(text, shown, from, to), copied);
}

void TestSelectionDetail::lengthInCharacters_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("length");
    QTest::newRow("one") << u"a"_qs << u"1 characters"_qs;
    QTest::newRow("combining accent") << u"e\u0301"_qs << u"1 characters"_qs;
    QTest::newRow("family emoji") << u"\U0001F468\u200D\U0001F469\u200D\U0001F467"_qs << u"1 characters"_qs;
    QTest::newRow("CR LF") << u"a\r\nb"_qs << u"3 characters"_qs;
    QTest::newRow("no grouping") << QString(1234, u'x') << u"1234 characters"_qs;
}

void TestSelectionDetail::lengthInCharacters()
{
    QFETCH(QString, text);
    QFETCH(QString, length);
    QCOMPARE(SelectionDetailView::lengthText(text), length);
}

void TestSelectionDetail::groupsFollowTheStore()
{
    const Selection selection = add(u"text"_qs);
    const SelectionGroup first = *m_store->addGroup(u"Reading"_qs, u"#112233"_qs);
    const SelectionGroup second = *m_store->addGroup(u"Work"_qs, u"#445566"_qs);
    SelectionDetailView view(*m_store, m_environment);
    view.setSelection(selection);
    QGroupBox* box = nullptr;
    for (QGroupBox* candidate : view.findChildren<QGroupBox*>()) {
        if (candidate->title() == u"Groups"_qs)
            box = candidate;
    }
    QVERIFY(box);
    QVERIFY(box->isHidden());

    view.addToGroup(second.id);
    view.addToGroup(first.id);
    view.addToGroup(first.id); // already a member: nothing changes
    QCOMPARE(view.groups().size(), 2);
    QCOMPARE(view.groups().first().id, second.id); // membership order
    QVERIFY(!box->isHidden());
    QMenu groups;
    view.fillGroupMenu(groups);
    QCOMPARE(describe(groups), (QStringList {u"[x] Reading"_qs, u"[x] Work"_qs}));

    m_store->deleteGroup(first.id);
    m_store->deleteGroup(second.id);
    QVERIFY(view.groups().isEmpty());
    QVERIFY(box->isHidden());
}

void TestSelectionDetail::promptButtonFollowsTheActiveDraft()
{
    const Selection selection = add(u"text"_qs);
    SelectionDetailView view(*m_store, m_environment);
    view.setSelection(selection);
    QVERIFY(!view.isInActivePrompt());
    QVERIFY(view.promptButton()->isEnabled());
    QCOMPARE(view.promptButton()->text(), u"Add to Prompt"_qs);

    QTest::mouseClick(view.promptButton(), Qt::LeftButton); // creates the active draft
    QVERIFY(view.isInActivePrompt());
    QVERIFY(!view.promptButton()->isEnabled());
    QCOMPARE(view.promptButton()->text(), u"In Prompt"_qs);
    QVERIFY(provenanceOf(view).contains(u"Prompt=Included"_qs));

    // An entry that is switched off still counts.
    ContextDraft draft = *m_store->activeDraft();
    draft.entries.first().include = false;
    m_store->updateDraft(draft);
    QVERIFY(!view.promptButton()->isEnabled());

    // Another draft becomes active: not included there.
    m_store->newDraft();
    QVERIFY(view.promptButton()->isEnabled());
}

void TestSelectionDetail::commandsReachTheDoubles()
{
    const Selection other = add(u"older"_qs, u"https://example.com/a"_qs);
    const Selection selection = add(u"plain text"_qs, u"https://example.com/a"_qs, u"/tmp/file.txt"_qs);
    add(u"elsewhere"_qs, u"https://example.org/"_qs);
    SelectionDetailView view(*m_store, m_environment);
    int deleted = 0;
    view.setOnDelete([&] { ++deleted; });
    view.setSelection(selection);

    view.copyPlainText();
    QCOMPARE(plainOf(m_pasteboard), u"plain text"_qs);
    view.copyAllFromSource();
    const QString all = plainOf(m_pasteboard);
    QVERIFY(all.startsWith(u"# https://example.com/a"_qs));
    QVERIFY(all.contains(u"older"_qs));
    QVERIFY(all.contains(u"plain text"_qs));
    QVERIFY(!all.contains(u"elsewhere"_qs));
    view.copyURL();
    QCOMPARE(plainOf(m_pasteboard), u"https://example.com/a"_qs);

    QMenu more;
    view.fillMoreMenu(more);
    for (QAction* action : more.actions()) {
        if (action->text() == u"Open in Browser"_qs || action->text() == u"Show in File Manager"_qs
            || action->text() == u"Delete"_qs)
            action->trigger();
    }
    QCOMPARE(m_workspace.openedAddresses, QStringList {u"https://example.com/a"_qs});
    QCOMPARE(m_workspace.revealedFiles, QStringList {u"/tmp/file.txt"_qs});
    QCOMPARE(deleted, 1);
    QCOMPARE(m_store->selections().size(), 3); // the view deletes nothing itself
    Q_UNUSED(other);

    // No services: nothing happens, nothing fails.
    LibraryEnvironment bare;
    SelectionDetailView unhosted(*m_store, bare);
    unhosted.setSelection(selection);
    unhosted.copyMarkdown();
    unhosted.openInBrowser();
    unhosted.revealInFileManager();
}

void TestSelectionDetail::passageLinksOpenThroughTheWorkspace()
{
    Selection selection = add(u"x"_qs);
    selection.setMarkdown(u"read [this](https://example.com/p) or [that](file:///etc/passwd)"_qs);
    SelectionDetailView view(*m_store, m_environment);
    view.setSelection(selection);
    emit view.passage()->anchorClicked(QUrl(u"https://example.com/p"_qs));
    emit view.passage()->anchorClicked(QUrl(u"file:///etc/passwd"_qs));
    QCOMPARE(m_workspace.openedAddresses, QStringList {u"https://example.com/p"_qs});
}

void TestSelectionDetail::footerArrangements()
{
    SelectionDetailView view(*m_store, m_environment);
    view.setSelection(add(u"text"_qs));
    WidgetSnapshot::render(view, QSize(720, 500));
    QVERIFY(!view.showsCompactFooter());
    WidgetSnapshot::render(view, QSize(330, 500));
    QVERIFY(view.showsCompactFooter());
    WidgetSnapshot::saveForReview(WidgetSnapshot::render(view, QSize(330, 500)), u"detail-compact.png"_qs);
}

void TestSelectionDetail::capturedDateIsNeverCut_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("pointSize");
    QTest::newRow("narrowest column, 12 pt") << 320 << 12;
    QTest::newRow("narrowest column, 16 pt") << 320 << 16;
    QTest::newRow("ideal column, 12 pt") << 400 << 12;
}

void TestSelectionDetail::capturedDateIsNeverCut()
{
    QFETCH(int, width);
    QFETCH(int, pointSize);
    SelectionDetailView view(*m_store, m_environment);
    QFont font = view.font();
    font.setPointSize(pointSize);
    view.setFont(font);
    view.setSelection(add(u"text"_qs, u"https://example.com/"_qs + QString(200, u'a')));
    WidgetSnapshot::render(view, QSize(width, 700));
    auto* captured = view.findChild<QLabel*>(u"capturedDate"_qs);
    QVERIFY(captured);
    // Wrapped at its words when it must, every line shown; the address beside it still shortens.
    const QString whole = DetailDates::format(QDateTime(QDate(2025, 3, 14), QTime(10, 5), Qt::UTC),
        DetailDates::Style::full, DetailDates::Style::medium, m_environment.locale, m_environment.timeZone);
    QVERIFY(whole.startsWith(u"Friday, March 14, 2025"_qs));
    // The label's layout wraps it: the text itself, as read and copied, holds no break.
    QCOMPARE(captured->text(), whole);
    QVERIFY(captured->wordWrap());
    QVERIFY(captured->height() >= captured->heightForWidth(captured->width()));
    QVERIFY(captured->width() >= captured->fontMetrics().horizontalAdvance(u"Wednesday,"_qs));
}

void TestSelectionDetail::selectableTextsCopy_data()
{
    QTest::addColumn<QString>("label"); // the provenance row's label; empty: the header's source
    QTest::addColumn<QString>("value");
    const QString address = u"https://example.com/"_qs + QString(150, u'a') + u"/end"_qs;
    QTest::newRow("header source") << QString() << address;
    QTest::newRow("provenance source") << u"Source"_qs << address;
    QTest::newRow("captured") << u"Captured"_qs
                              << DetailDates::format(QDateTime(QDate(2025, 3, 14), QTime(10, 5), Qt::UTC),
                                     DetailDates::Style::full, DetailDates::Style::medium,
                                     QLocale(QLocale::English, QLocale::UnitedStates), QTimeZone::utc());
    QTest::newRow("application") << u"Application"_qs << u"Firefox"_qs;
}

// Each selectable text takes the focus from a click, has its Copy / Select All menu, and copies,
// offers as PRIMARY and is named by its whole text, however it is shortened on screen.
void TestSelectionDetail::selectableTextsCopy()
{
    QFETCH(QString, label);
    QFETCH(QString, value);
    SelectionDetailView view(*m_store, m_environment);
    view.setSelection(add(u"text"_qs, u"https://example.com/"_qs + QString(150, u'a') + u"/end"_qs));
    WidgetSnapshot::render(view, QSize(340, 700));
    SelectableLabel* text = nullptr;
    for (auto* candidate : view.findChildren<SelectableLabel*>()) {
        if (!candidate->isSelectable())
            continue;
        QLabel* buddy = nullptr;
        for (QGroupBox* box : view.findChildren<QGroupBox*>()) {
            if (auto* form = qobject_cast<QFormLayout*>(box->layout())) {
                QFormLayout::ItemRole role;
                int row = -1;
                form->getWidgetPosition(candidate, &row, &role);
                if (row >= 0)
                    buddy = qobject_cast<QLabel*>(form->itemAt(row, QFormLayout::LabelRole)->widget());
            }
        }
        if (label.isEmpty() ? !buddy : buddy && buddy->text() == label)
            text = candidate;
    }
    QVERIFY(text);
    QCOMPARE(text->focusPolicy(), Qt::ClickFocus);
    QGuiApplication::clipboard()->setText(u"before"_qs);
    text->copy(); // nothing selected: nothing copied
    QCOMPARE(QGuiApplication::clipboard()->text(), u"before"_qs);

    QMenu menu;
    text->fillContextMenu(menu);
    QStringList items;
    for (QAction* action : menu.actions())
        items.append(action->text() + (action->isEnabled() ? QString() : u" (off)"_qs));
    QCOMPARE(items, (QStringList {u"Copy (off)"_qs, u"Select All"_qs}));
    menu.actions().last()->trigger();
    QVERIFY(text->hasSelectedText());
    text->copy();
    QCOMPARE(QGuiApplication::clipboard()->text(), value);
    if (QGuiApplication::clipboard()->supportsSelection())
        QCOMPARE(QGuiApplication::clipboard()->text(QClipboard::Selection), value);
    QCOMPARE(QAccessible::queryAccessibleInterface(text)->text(QAccessible::Name), value);

    // For a person to look at: the shortened addresses selected, light and dark, scale 1 and 2.
    if (!qEnvironmentVariableIsSet("TESSELLON_REVIEW_DIR") || label != u"Source"_qs)
        return;
    using AppScreenshotExporter::ColorScheme;
    const Selection shown = *view.selection();
    for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
        for (const int scale : {1, 2}) {
            const QString name = u"detail-long-address-"_qs + (scheme == ColorScheme::dark ? u"dark"_qs : u"light"_qs)
                + u"@"_qs + QString::number(scale) + u"x.png"_qs;
            const auto make = [&]() -> QWidget* {
                auto* detail = new SelectionDetailView(*m_store, m_environment);
                detail->setSelection(shown);
                for (auto* address : detail->findChildren<FittedLabel*>())
                    if (address->fullText() == value)
                        address->selectAll();
                return detail;
            };
            QVERIFY(!AppScreenshotExporter::render(make, QSize(340, 700), scale, scheme,
                QDir(qEnvironmentVariable("TESSELLON_REVIEW_DIR")).filePath(name)));
        }
    }
}

void TestSelectionDetail::copiedResets()
{
    SelectionDetailView view(*m_store, m_environment);
    view.setSelection(add(u"text"_qs));
    view.copyMarkdown();
    QVERIFY(view.copiedMarkdown());
    QVERIFY(!view.copiedPlain());
    QTRY_VERIFY_WITH_TIMEOUT(!view.copiedMarkdown(), 3000);
}

void TestSelectionDetail::snapshot()
{
    const SelectionGroup group = *m_store->addGroup(u"Reading list"_qs, u"#4F8EF7"_qs);
    Selection selection = Selection::make(QUuid::createUuid(), u"plain"_qs,
        u"## Apollo 11\n\nThe **Eagle** has landed. See [NASA](https://www.nasa.gov/) and `code`.\n\n"
        u"- one\n- two with <div>raw html</div>\n\n> a quote\n\n```\nlet x = 1;\n```\n\n![pixel](https://t.example/p.gif)"_qs,
        u"Firefox"_qs, u"firefox"_qs, u"https://en.wikipedia.org/wiki/Apollo_11"_qs, u"Apollo 11 - Wikipedia"_qs,
        std::nullopt, {group.id}, QDateTime(QDate(2025, 3, 14), QTime(10, 5), Qt::UTC));
    m_store->add(selection);
    SelectionDetailView view(*m_store, m_environment);
    view.setSelection(selection);
    const QImage image = WidgetSnapshot::render(view, QSize(440, 660));
    WidgetSnapshot::saveForReview(WidgetSnapshot::render(view, QSize(600, 660)), u"detail-wide.png"_qs);
    QVERIFY(!image.isNull());
    QVERIFY(view.passage()->document()->toPlainText().contains(u"<div>raw html</div>"_qs));
    // The header draws the application's icon left of its texts (it is no widget of its own).
    int iconPixels = 0;
    for (int y = 0; y < 90; ++y)
        for (int x = 14; x < 52; ++x)
            iconPixels += image.pixelColor(x, y) != view.palette().color(QPalette::Window);
    QVERIFY2(iconPixels > 300, qPrintable(QString::number(iconPixels)));
    WidgetSnapshot::saveForReview(image, u"detail-markdown.png"_qs);
}

void TestSelectionDetail::prominentButtonKeepsItsColours()
{
    SelectionDetailView view(*m_store, m_environment);
    view.setSelection(add(u"text"_qs));
    // A palette set on every control, as the surface export does.
    QPalette palette = view.palette();
    palette.setColor(QPalette::Highlight, QColor(0x24, 0x5B, 0xD7));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Button, QColor(0xEE, 0xEE, 0xEE));
    palette.setColor(QPalette::ButtonText, Qt::black);
    view.setPalette(palette);
    for (QWidget* child : view.findChildren<QWidget*>())
        child->setPalette(palette);
    QToolButton* markdown = nullptr;
    for (QToolButton* button : view.findChildren<QToolButton*>()) {
        if (button->text() == u"Copy Markdown"_qs)
            markdown = button;
    }
    QVERIFY(markdown);
    QCOMPARE(markdown->palette().color(QPalette::Button), QColor(0x24, 0x5B, 0xD7));
    QCOMPARE(markdown->palette().color(QPalette::ButtonText), QColor(Qt::white));
}

void TestSelectionDetail::contentScrollsAsOne_data()
{
    QTest::addColumn<int>("paragraphs");
    QTest::newRow("short passage") << 1;
    QTest::newRow("long passage") << 80;
}

void TestSelectionDetail::contentScrollsAsOne()
{
    QFETCH(int, paragraphs);
    QString markdown;
    for (int i = 0; i < paragraphs; ++i)
        markdown += u"Paragraph "_qs + QString::number(i) + u" of the passage, long enough to wrap once.\n\n"_qs;
    Selection selection = add(markdown, u"https://moon.example/"_qs);
    SelectionDetailView view(*m_store, m_environment);
    view.setSelection(selection);
    WidgetSnapshot::render(view, QSize(420, 660));
    view.passage()->finishRendering();
    QApplication::processEvents();

    // The passage shows whole, without a scroll bar of its own; the boxes follow right below it,
    // and the one scroll view around them scrolls when they do not fit.
    PassageView* passage = view.passage();
    QVERIFY(!passage->verticalScrollBar()->isVisible());
    QVERIFY(passage->height() >= int(passage->document()->size().height()));
    QGroupBox* provenance = nullptr;
    for (QGroupBox* box : view.findChildren<QGroupBox*>()) {
        if (box->title() == u"Provenance"_qs)
            provenance = box;
    }
    QVERIFY(provenance);
    const int passageBottom = passage->mapTo(view.contentScroll()->widget(), QPoint(0, passage->height())).y();
    const int provenanceTop = provenance->mapTo(view.contentScroll()->widget(), QPoint(0, 0)).y();
    QVERIFY(provenanceTop >= passageBottom);
    QVERIFY2(provenanceTop - passageBottom < 40, qPrintable(QString::number(provenanceTop - passageBottom)));
    QVERIFY(view.contentScroll()->isAncestorOf(provenance));
    QCOMPARE(view.contentScroll()->verticalScrollBar()->maximum() > 0, paragraphs > 1);
}

TESSELLON_GUI_TEST_MAIN(TestSelectionDetail)
#include "tst_SelectionDetail.moc"
