// The library window over a library of 50,000 selections: the window shown with its list painted,
// a search keystroke to the repainted list (the first one included), a re-sort, and a capture that
// arrives while a search is active.

#include "support/LibraryGenerator.h"
#include "support/ManualClock.h"
#include "support/WidgetSnapshot.h"
#include "Zubra/LibraryWindow/ContentView.h"
#include "Zubra/LibraryWindow/LibrarySelectionList.h"
#include "ZubraCore/Library/LibraryDocument.h"
#include "ZubraCore/Library/Store.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QLocale>
#include <QTemporaryDir>
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
    env.icon = [](const Selection&) { return QIcon(); };
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

// Typing "capture" one letter at a time, then clearing the field (not timed) and again.
void BM_SearchKeystroke(benchmark::State& state)
{
    Store& store = *Library::shared().store;
    std::unique_ptr<ContentView> view = showWindow(store);
    const QString word = QStringLiteral("capture");
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

void BM_CaptureWhileSearching(benchmark::State& state)
{
    Store& store = *Library::shared().store;
    std::unique_ptr<ContentView> view = showWindow(store);
    view->searchField().setText(QStringLiteral("capture"));
    repaintList(*view);
    QList<QUuid> added;
    int n = 0;
    for (auto _ : state) {
        Selection s = Selection::make(QUuid::createUuid(),
            QStringLiteral("A fresh capture about the budget, number ") + QString::number(n++), std::nullopt,
            QStringLiteral("Firefox"), std::nullopt, QStringLiteral("https://news.example.org/item"), std::nullopt,
            std::nullopt, {}, QDateTime::currentDateTimeUtc());
        store.add(s);
        repaintList(*view);
        added.append(s.id);
    }
    state.PauseTiming();
    view.reset();
    store.deleteSelections(QSet<QUuid>(added.cbegin(), added.cend()));
    state.ResumeTiming();
}
BENCHMARK(BM_CaptureWhileSearching)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
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
