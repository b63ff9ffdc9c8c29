// The library window over a library of 50,000 selections: the window shown with its list painted,
// a search keystroke to the repainted list (the first one included), a re-sort, and a capture that
// arrives while a search is active; and deleting a whole group of 5,000 selections through the
// window's toolbar in a library of 50,000 short captures from about 33,000 sources.

#include "support/LibraryGenerator.h"
#include "support/ManualClock.h"
#include "support/WidgetSnapshot.h"
#include "Zubra/LibraryWindow/ContentView.h"
#include "Zubra/LibraryWindow/LibrarySelectionList.h"
#include "Zubra/LibraryWindow/LibraryToolbar.h"
#include "Zubra/LibraryWindow/LibraryWindowViews.h"
#include "ZubraCore/Library/LibraryDocument.h"
#include "ZubraCore/Library/Store.h"
#include "ZubraCore/Models/VisibleSelectionsModel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <benchmark/benchmark.h>

namespace {

constexpr int librarySize = 50'000;
const QSize windowSize(1120, 660);

// The generated library written once to a temporary file; stores open it like the program does.
struct LibraryFile
{
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("Library.json"));

    LibraryFile()
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)
            || file.write(LibraryDocument::encode(LibraryGenerator::generate(librarySize)).bytes) < 0)
            qFatal("cannot write the library");
    }

    static LibraryFile& shared()
    {
        static LibraryFile file;
        return file;
    }
};

// A store over the library; its save clock never moves, so nothing is written.
struct Library
{
    QTemporaryDir dir;
    QSettings defaults {dir.filePath(QStringLiteral("defaults.ini")), QSettings::IniFormat};
    std::unique_ptr<Store> store;

    Library()
    {
        store = std::make_unique<Store>(Store::Options {LibraryFile::shared().path, &defaults, nullptr,
            std::make_shared<ManualClock>(), nullptr});
        if (store->selections().size() != librarySize)
            qFatal("the library did not load");
    }

    static Library& shared()
    {
        static Library library;
        return library;
    }
};

LibraryEnvironment environment()
{
    LibraryEnvironment env;
    env.locale = QLocale(QLocale::English, QLocale::UnitedStates);
    env.timeZone = QTimeZone::utc();
    return env;
}

std::unique_ptr<ContentView> showWindow(Store& store)
{
    auto view = std::make_unique<ContentView>(store, environment());
    view->setAttribute(Qt::WA_DontShowOnScreen);
    view->resize(windowSize);
    view->show();
    QApplication::processEvents();
    view->list().viewport()->repaint();
    return view;
}

void repaintList(ContentView& view)
{
    QApplication::processEvents();
    view.list().viewport()->repaint();
}

void BM_WindowShownWithListPainted(benchmark::State& state)
{
    Store& store = *Library::shared().store;
    for (auto _ : state) {
        std::unique_ptr<ContentView> view = showWindow(store);
        state.PauseTiming();
        view.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_WindowShownWithListPainted)->Unit(benchmark::kMillisecond)->UseRealTime();

// Typing "passage" (in most selections) one letter at a time, then clearing the field (not timed) and again.
void BM_SearchKeystroke(benchmark::State& state)
{
    Store& store = *Library::shared().store;
    std::unique_ptr<ContentView> view = showWindow(store);
    const QString word = QStringLiteral("passage");
    int typed = 0;
    for (auto _ : state) {
        if (typed == word.size()) {
            state.PauseTiming();
            view->searchField().clear();
            repaintList(*view);
            typed = 0;
            state.ResumeTiming();
        }
        ++typed;
        view->searchField().setText(word.first(typed));
        repaintList(*view);
    }
    state.counters["rows"] = double(view->list().model()->rowCount());
}
BENCHMARK(BM_SearchKeystroke)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same keystrokes on the list's model alone, without a view: the model's share of the above.
void BM_SearchKeystrokeModelOnly(benchmark::State& state)
{
    Store& store = *Library::shared().store;
    VisibleSelectionsModel model(&store);
    const QString word = QStringLiteral("passage");
    int typed = 0;
    for (auto _ : state) {
        if (typed == word.size()) {
            state.PauseTiming();
            model.setSearchText(QString());
            typed = 0;
            state.ResumeTiming();
        }
        ++typed;
        model.setSearchText(word.first(typed));
    }
}
BENCHMARK(BM_SearchKeystrokeModelOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

// The first keystroke in a window that has not searched yet.
void BM_SearchFirstKeystroke(benchmark::State& state)
{
    Store& store = *Library::shared().store;
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<ContentView> view = showWindow(store);
        state.ResumeTiming();
        view->searchField().setText(QStringLiteral("c"));
        repaintList(*view);
        state.PauseTiming();
        view.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SearchFirstKeystroke)->Unit(benchmark::kMillisecond)->UseRealTime();

// The first keystroke after the program opened the library.
void BM_SearchFirstKeystrokeFreshStore(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto library = std::make_unique<Library>();
        std::unique_ptr<ContentView> view = showWindow(*library->store);
        state.ResumeTiming();
        view->searchField().setText(QStringLiteral("c"));
        repaintList(*view);
        state.PauseTiming();
        view.reset();
        library.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SearchFirstKeystrokeFreshStore)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_Resort(benchmark::State& state)
{
    Store& store = *Library::shared().store;
    std::unique_ptr<ContentView> view = showWindow(store);
    const QList<SortMode> modes {SortMode::bySource, SortMode::oldestFirst, SortMode::byApp, SortMode::newestFirst};
    int next = 0;
    for (auto _ : state) {
        view->setSortMode(modes[next++ % modes.size()]);
        repaintList(*view);
    }
}
BENCHMARK(BM_Resort)->Unit(benchmark::kMillisecond)->UseRealTime();

Selection freshCapture(int n)
{
    return Selection::make(QUuid::createUuid(),
        QStringLiteral("A fresh passage about the budget, number ") + QString::number(n), std::nullopt,
        QStringLiteral("Firefox"), std::nullopt, QStringLiteral("https://news.example.org/item"), std::nullopt,
        std::nullopt, {}, QDateTime::currentDateTimeUtc());
}

void BM_CaptureWhileSearching(benchmark::State& state)
{
    Store& store = *Library::shared().store;
    std::unique_ptr<ContentView> view = showWindow(store);
    view->searchField().setText(QStringLiteral("passage"));
    repaintList(*view);
    QSet<QUuid> added;
    int n = 0;
    for (auto _ : state) {
        const Selection s = freshCapture(n++);
        store.add(s);
        repaintList(*view);
        added.insert(s.id);
    }
    view.reset();
    store.deleteSelections(added);
}
BENCHMARK(BM_CaptureWhileSearching)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same captures with the list's model alone: the store's and the model's share.
void BM_CaptureWhileSearchingModelOnly(benchmark::State& state)
{
    Store& store = *Library::shared().store;
    VisibleSelectionsModel model(&store);
    model.setSearchText(QStringLiteral("passage"));
    QSet<QUuid> added;
    int n = 0;
    for (auto _ : state) {
        const Selection s = freshCapture(n++);
        store.add(s);
        added.insert(s.id);
    }
    store.deleteSelections(added);
}
BENCHMARK(BM_CaptureWhileSearchingModelOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

// The parts of every change above: laying out the list's rows, and repainting the visible ones.
void BM_ListLayout(benchmark::State& state)
{
    std::unique_ptr<ContentView> view = showWindow(*Library::shared().store);
    for (auto _ : state)
        view->list().doItemsLayout();
}
BENCHMARK(BM_ListLayout)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ListRepaint(benchmark::State& state)
{
    std::unique_ptr<ContentView> view = showWindow(*Library::shared().store);
    for (auto _ : state)
        view->list().viewport()->repaint();
}
BENCHMARK(BM_ListRepaint)->Unit(benchmark::kMillisecond)->UseRealTime();

// The window over the research library, shown at 1920 × 1080, with its views in place.
struct ResearchWindow
{
    QTemporaryDir dir;
    QSettings defaults {dir.filePath(QStringLiteral("defaults.ini")), QSettings::IniFormat};
    std::unique_ptr<Store> store;
    std::unique_ptr<ContentView> view;
    LibraryWindowViews* views = nullptr;

    ResearchWindow()
    {
        static const QByteArray document = LibraryDocument::encode(LibraryGenerator::research(librarySize)).bytes;
        QFile file(dir.filePath(QStringLiteral("Library.json")));
        if (!file.open(QIODevice::WriteOnly) || file.write(document) < 0)
            qFatal("cannot write the library");
        file.close();
        store = std::make_unique<Store>(
            Store::Options {file.fileName(), &defaults, nullptr, std::make_shared<ManualClock>(), nullptr});
        view = std::make_unique<ContentView>(*store, environment());
        views = new LibraryWindowViews(*view);
        view->setAttribute(Qt::WA_DontShowOnScreen);
        view->resize(1920, 1080);
        view->show();
        QApplication::processEvents();
    }

    QUuid research() const { return store->groups().first().id; }
};

// The toolbar button of an action, clicked.
void clickToolbarButton(LibraryToolbar& toolbar, const QString& title)
{
    for (QAction* action : toolbar.actions()) {
        if (action->text() == title && action->isEnabled()) {
            QTest::mouseClick(toolbar.widgetForAction(action), Qt::LeftButton);
            return;
        }
    }
    qFatal("the toolbar shows no enabled button \"%s\"", qPrintable(title));
}

// As a user deletes a group: "Research" chosen, its first row double-clicked (which selects,
// inspects and copies it), the toolbar's Select All, then its Delete. Timed: the GUI thread from
// the click on Delete until the window has caught up with every change (the events the delete
// posted included).
void BM_DeleteGroupThroughToolbar(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto window = std::make_unique<ResearchWindow>();
        ContentView& view = *window->view;
        LibraryToolbar& toolbar = window->views->toolbar();
        view.setSidebarSelection(SidebarItem::group(window->research()));
        QApplication::processEvents();
        LibrarySelectionList& list = view.list();
        const QPoint firstRow = list.visualRect(list.model()->index(0, 0)).center();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, firstRow);
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, firstRow);
        QApplication::processEvents();
        clickToolbarButton(toolbar, u"Select All"_qs);
        QApplication::processEvents();
        if (view.selectionState().selectedIDs().size() != librarySize / 10)
            qFatal("the group's rows are not all selected");
        state.ResumeTiming();

        clickToolbarButton(toolbar, u"Delete"_qs);
        QApplication::processEvents();
        view.repaint();

        state.PauseTiming();
        if (window->store->selections().size() != librarySize - librarySize / 10)
            qFatal("the group's selections were not deleted");
        window.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_DeleteGroupThroughToolbar)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The same 5,000 selections selected and deleted while "All Selections" shows them among the
// rest: every tenth row of the list leaves.
void BM_DeleteScatteredRows(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto window = std::make_unique<ResearchWindow>();
        ContentView& view = *window->view;
        QSet<QUuid> ids;
        for (const Selection& s : window->store->selectionsIn(window->research()))
            ids.insert(s.id);
        view.selectionState().set(ids, *ids.cbegin());
        QApplication::processEvents();
        state.ResumeTiming();

        window->views->toolbar().deleteSelected();
        QApplication::processEvents();
        view.repaint();

        state.PauseTiming();
        if (window->store->selections().size() != librarySize - librarySize / 10)
            qFatal("the selections were not deleted");
        window.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_DeleteScatteredRows)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The offscreen platform warns on every window shown that it cannot pass size hints on.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.contains(QLatin1String("propagateSizeHints")))
        return;
    qt_message_output(type, context, message);
}

} // namespace

int main(int argc, char** argv)
{
    qInstallMessageHandler(quietHandler);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // With TESSELLON_REVIEW_DIR set, the window over the whole library is kept as a picture.
    if (qEnvironmentVariableIsSet("TESSELLON_REVIEW_DIR")) {
        std::unique_ptr<ContentView> view = showWindow(*Library::shared().store);
        view->list().setCurrentIndex(view->list().model()->index(1, 0));
        view->list().selectionModel()->select(view->list().currentIndex(), QItemSelectionModel::Select);
        WidgetSnapshot::saveForReview(
            WidgetSnapshot::render(*view, windowSize), QStringLiteral("library-window-50000.png"));
    }
    return 0;
}
