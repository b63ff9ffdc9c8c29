// The library window at the desktop's scale factor (ctest runs this at 1, 1.5 and 2 on a
// 1920 x 1080 screen) with a 12-point default font: no text is clipped anywhere (a text that does
// not fit is elided or wrapped, and a wrapped text keeps its last line), the sidebar's count
// badges stay clear of its scroll bar, the composer does not squeeze the sidebar, and the detail
// footer keeps "Group" at the default width. Pictures go to $TESSELLON_REVIEW_DIR when set.

#include "Platform/Memory/MemoryPasteboard.h"
#include "Platform/Memory/MemoryWorkspace.h"
#include "Zubra/Composer/ComposeView.h"
#include "Zubra/LibraryWindow/ContentView.h"
#include "Zubra/LibraryWindow/LibrarySelectionList.h"
#include "Zubra/LibraryWindow/LibraryWindowViews.h"
#include "Zubra/LibraryWindow/SelectionDetailView.h"
#include "Zubra/LibraryWindow/SidebarSectionList.h"
#include "Zubra/LibraryWindow/SidebarView.h"
#include "Zubra/Widgets/ShellActions.h"
#include "ZubraCore/Library/Store.h"
#include "support/StoreHarness.h"
#include "support/TestMain.h"
#include "support/WidgetSnapshot.h"

#include <QAbstractButton>
#include <QLabel>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QTextDocument>

using namespace Qt::StringLiterals;

namespace {

class QuietShell final : public ShellActions
{
public:
    void captureNow() override { }
    void openAccessibilitySettings() override { }
    bool isTrusted() override { return trusted; }
    QString hotkeyDisplay() override { return u"Ctrl+Alt+Super+C"_s; }
    void watchTrust(QObject*, std::function<void()>) override { }
    bool trusted = true;
};

QString scale()
{
    return qEnvironmentVariable("QT_SCALE_FACTOR", u"1"_s);
}

QString where(const QWidget* widget)
{
    QString path;
    for (const QWidget* w = widget; w; w = w->parentWidget())
        path.prepend(
            u'/' + (w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName()));
    return path;
}

// Inside the composer: its own tests look after its texts.
bool inComposer(const QWidget* widget)
{
    for (const QWidget* w = widget; w; w = w->parentWidget())
        if (qobject_cast<const ComposeView*>(w))
            return true;
    return false;
}

// Every shown text that does not fit its label: a line wider than the label, or a wrapped text
// taller than the label.
QStringList clippedTexts(QWidget* root)
{
    QStringList clipped;
    for (QLabel* label : root->findChildren<QLabel*>()) {
        if (!label->isVisibleTo(root) || label->text().isEmpty() || label->textFormat() == Qt::RichText
            || inComposer(label))
            continue;
        const QRect room = label->contentsRect();
        const QFontMetrics metrics = label->fontMetrics();
        if (label->wordWrap()) {
            if (label->height() < label->heightForWidth(label->width()))
                clipped << u"last line lost: "_s + label->text() + u" in "_s + where(label);
            continue;
        }
        const QStringList lines = label->text().split(u'\n');
        for (const QString& line : lines)
            if (metrics.horizontalAdvance(line) > room.width() + 1)
                clipped << u"cut: "_s + line + u" ("_s + QString::number(metrics.horizontalAdvance(line)) + u" in "_s
                        + QString::number(room.width()) + u") "_s + where(label);
        if (int(lines.size()) * metrics.height() > room.height() + 1)
            clipped << u"lines cut: "_s + label->text() + u' ' + where(label);
    }
    for (QAbstractButton* button : root->findChildren<QAbstractButton*>()) {
        if (!button->isVisibleTo(root) || button->text().isEmpty() || inComposer(button))
            continue;
        if (button->width() < button->minimumSizeHint().width())
            clipped << u"button cut: "_s + button->text() + u' ' + where(button);
    }
    return clipped;
}

} // namespace

class TestLibraryLayout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_desktopFont = QApplication::font();
        QFont font = m_desktopFont;
        font.setPointSize(12);
        QApplication::setFont(font);
    }

    void init()
    {
        m_harness = std::make_unique<StoreHarness>();
        m_store = &m_harness->open();
        const QDateTime at(QDate(2026, 12, 7), QTime(11, 32, 49), Qt::UTC);
        const SelectionGroup research = *m_store->addGroup(u"Research"_s, u"#245BD7"_s);
        const SelectionGroup later = *m_store->addGroup(u"Read later"_s, u"#22AA44"_s);
        for (int i = 0; i < 11; ++i) {
            Selection s = Selection::make(QUuid::createUuid(),
                u"Passage number "_s + QString::number(i)
                    + u" about the quick brown fox that jumps over the lazy dog."_s,
                std::nullopt, u"Firefox"_s, std::nullopt,
                u"https://en.example.org/wiki/Article_with_a_long_name_"_s + QString::number(i),
                u"Article "_s + QString::number(i), std::nullopt, {}, at.addSecs(-3600 * i));
            m_store->add(s);
            if (i < 3)
                m_store->addToGroup(i == 0 ? research.id : later.id, {s.id});
        }
        for (int i = 0; i < 7; ++i)
            m_store->newDraft(u"Prompt "_s + QString::number(i + 1));
        m_environment.pasteboard = &m_pasteboard;
        m_environment.workspace = &m_workspace;
        m_environment.shell = &m_shell;
        m_environment.icon = [](const Selection&) { return QIcon(); };
        m_environment.locale = QLocale(QLocale::English, QLocale::UnitedStates);
        m_environment.timeZone = QTimeZone::utc();
        m_environment.now = [at] { return at; };

        m_window = std::make_unique<ContentView>(*m_store, m_environment);
        m_views = new LibraryWindowViews(*m_window);
        m_composer.pasteboard = &m_pasteboard;
        m_composer.files = m_harness->files;
        m_composer.templateDefaults = &m_harness->defaults;
        m_composer.hotkeyDisplay = [this] { return m_shell.hotkeyDisplay(); };
        auto* compose = new ComposeView(*m_store, m_composer);
        m_window->setComposeView(compose);
        connect(m_window.get(), &ContentView::composeDraftIDChanged, compose, [this, compose] {
            if (const auto id = m_window->composeDraftID())
                compose->setDraftID(*id);
        });
    }

    void cleanup()
    {
        m_views = nullptr;
        m_window.reset();
        m_store = nullptr;
        m_harness.reset();
    }

    // The library window's default size on this screen, as the application opens it.
    QSize windowSize() const
    {
        return QSize(1120, 660).boundedTo(QGuiApplication::primaryScreen()->availableGeometry().size());
    }

    void libraryLayoutClipsNothing()
    {
        m_window->selectionState().set({m_store->selections().first().id}, m_store->selections().first().id);
        const QImage image = WidgetSnapshot::render(*m_window, windowSize());
        WidgetSnapshot::saveForReview(image, u"library-layout-scale-"_s + scale() + u".png"_s);
        const QStringList clipped = clippedTexts(m_window.get());
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(u'\n')));
    }

    void sidebarBadgesStayClearOfTheScrollBar()
    {
        WidgetSnapshot::render(*m_window, windowSize());
        SidebarView& sidebar = m_views->sidebar();
        // The content is never wider than what the scroll area shows of it.
        QVERIFY2(sidebar.widget()->width() <= sidebar.viewport()->width(),
            qPrintable(
                QString::number(sidebar.widget()->width()) + u" in "_s + QString::number(sidebar.viewport()->width())));
        for (auto section : {SidebarModel::Section::prompt, SidebarModel::Section::library,
                 SidebarModel::Section::groups, SidebarModel::Section::sources}) {
            SidebarSectionList* list = sidebar.list(section);
            for (int row = 0; row < list->model()->rowCount(list->rootIndex()); ++row) {
                const QRect rect = list->visualRect(list->model()->index(row, 0, list->rootIndex()));
                const QPoint right = list->viewport()->mapTo(sidebar.viewport(), rect.topRight());
                QVERIFY2(right.x() < sidebar.viewport()->width(), qPrintable(QString::number(right.x())));
            }
        }
    }

    // Dragged past the sidebar's widest, the divider stops there: no empty band between the
    // sidebar and the list.
    void sidebarDividerStopsAtItsMaximum()
    {
        WidgetSnapshot::render(*m_window, windowSize());
        SidebarView& sidebar = m_views->sidebar();
        QSplitter* columns = nullptr;
        for (QSplitter* splitter : m_window->findChildren<QSplitter*>())
            if (splitter->count() > 1 && splitter->widget(0)->isAncestorOf(&sidebar))
                columns = splitter;
        QVERIFY(columns);
        QSplitterHandle* divider = columns->handle(1);
        const QPoint grip = divider->rect().center();
        QTest::mousePress(divider, Qt::LeftButton, {}, grip);
        for (int step = 1; step <= 10; ++step)
            QTest::mouseMove(divider, grip + QPoint(20 * step, 0));
        QTest::mouseRelease(divider, Qt::LeftButton, {}, grip + QPoint(200, 0));
        WidgetSnapshot::render(*m_window, windowSize());
        QVERIFY2(columns->widget(0)->width() <= sidebar.maximumWidth(), qPrintable(QString::number(columns->widget(0)->width())));
        QCOMPARE(sidebar.width(), columns->widget(0)->width());
        // Where the window has room, the sidebar reached its widest.
        if (windowSize().width() >= 1120)
            QCOMPARE(sidebar.width(), sidebar.maximumWidth());
    }

    void composerDoesNotSqueezeTheSidebar()
    {
        // No prompt yet: opening the composer makes the first one, and the sidebar gains its
        // prompt row and hint.
        const QList<ContextDraft> drafts = m_store->drafts();
        for (const ContextDraft& draft : drafts)
            m_store->deleteDraft(draft.id);
        WidgetSnapshot::render(*m_window, windowSize());
        const int before = m_views->sidebar().width();
        m_window->openPrompt();
        const QImage image = WidgetSnapshot::render(*m_window, windowSize());
        WidgetSnapshot::saveForReview(image, u"compose-layout-scale-"_s + scale() + u".png"_s);
        QCOMPARE(m_views->sidebar().width(), before);
        QCOMPARE(m_window->size(), windowSize());
        const QStringList clipped = clippedTexts(m_window.get());
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(u'\n')));
        // Back in the library, the same.
        m_window->setSidebarSelection(SidebarItem::allSelections());
        WidgetSnapshot::render(*m_window, windowSize());
        QCOMPARE(m_views->sidebar().width(), before);
    }

    void emptyStateClipsNothing_data()
    {
        QTest::addColumn<bool>("emptyLibrary");
        QTest::newRow("nothing found") << false;
        QTest::newRow("empty library, with the hotkey hint") << true;
    }
    void emptyStateClipsNothing()
    {
        QFETCH(bool, emptyLibrary);
        if (emptyLibrary) {
            m_shell.trusted = false; // the permission banner above it as well
            QSet<QUuid> all;
            for (const Selection& s : m_store->selections())
                all.insert(s.id);
            m_store->deleteSelections(all);
        } else {
            m_window->setSearchText(u"nothing matches this"_s);
        }
        QCOMPARE(m_window->libraryContent(), ContentView::LibraryContent::emptyState);
        const QImage image = WidgetSnapshot::render(*m_window, windowSize());
        WidgetSnapshot::saveForReview(
            image, (emptyLibrary ? u"empty-library-scale-"_s : u"nothing-found-scale-"_s) + scale() + u".png"_s);
        const QStringList clipped = clippedTexts(m_window.get());
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(u'\n')));
    }

    void detailFooterKeepsGroupAtTheDefaultWidth()
    {
        if (scale() != u"1"_s)
            QSKIP("the default 1120-pixel width is a scale-1 size");
        // With the platform's own default font, not the large one of the other cases.
        QApplication::setFont(m_desktopFont);
        const auto restore = qScopeGuard([] {
            QFont font = QApplication::font();
            font.setPointSize(12);
            QApplication::setFont(font);
        });
        cleanup();
        init();
        m_window->selectionState().set({m_store->selections().first().id}, m_store->selections().first().id);
        WidgetSnapshot::render(*m_window, QSize(1120, 660));
        const QWidget* labelled = nullptr;
        for (QAbstractButton* button : m_views->detail().findChildren<QAbstractButton*>())
            if (button->text() == u"Group"_s)
                labelled = button->parentWidget();
        QVERIFY(labelled);
        QVERIFY2(!m_views->detail().showsCompactFooter(),
            qPrintable(u"detail "_s + QString::number(m_views->detail().width()) + u", labelled footer needs "_s
                + QString::number(labelled->sizeHint().width())));
    }

private:
    QFont m_desktopFont;
    std::unique_ptr<StoreHarness> m_harness;
    Store* m_store = nullptr;
    MemoryPasteboard m_pasteboard;
    MemoryWorkspace m_workspace;
    QuietShell m_shell;
    LibraryEnvironment m_environment;
    ComposerServices m_composer;
    std::unique_ptr<ContentView> m_window;
    LibraryWindowViews* m_views = nullptr;
};

TESSELLON_GUI_TEST_MAIN(TestLibraryLayout)
#include "tst_LibraryLayout.moc"
