// The library store and the library list's model over 50,000 selections of about 1 KB: the first
// and a steady search keystroke, a re-sort after a capture, a capture into a sorted list, captures
// in a row, the source aggregation, the index built at load, and single deletes at 200,000.

#include "support/ManualClock.h"
#include "ZubraCore/Library/LibraryDocument.h"
#include "ZubraCore/Library/SelectionSearchIndex.h"
#include "ZubraCore/Library/SortMode.h"
#include "ZubraCore/Library/Store.h"
#include "ZubraCore/Library/StoreAggregation.h"
#include "ZubraCore/Models/SidebarModel.h"
#include "ZubraCore/Models/VisibleSelectionsModel.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocale>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <chrono>

namespace {

constexpr int librarySize = 50'000;

const QStringList& vocabulary()
{
    static const QStringList words {"the", "Model", "prompt", "context", "window", "token", "budget", "Library",
        "capture", "source", "selection", "draft", "layout", "Section", "summary", "analysis", "result", "value",
        "function", "example", "Paris", "caf\u00e9", "na\u00efve", "\u00fcber", "data", "the", "of", "and", "to", "in"};
    return words;
}

QString paragraph(QRandomGenerator& random, int length)
{
    QString text;
    text.reserve(length + 16);
    while (text.size() < length) {
        text += vocabulary()[random.bounded(int(vocabulary().size()))];
        text += random.bounded(12) == 0 ? QStringLiteral(".\n") : QStringLiteral(" ");
    }
    return text;
}

Selection makeSelection(QRandomGenerator& random, int n)
{
    Selection s;
    s.id = QUuid::createUuid();
    s.text = paragraph(random, 1000);
    s.setMarkdown(n % 3 == 2 ? QStringLiteral("**") + s.text + QStringLiteral("**") : s.text);
    static const QStringList apps {
        "Firefox", "Chromium", "Text Editor", "Terminal", "Mail", "notes", "Notes", "Reader", "Office", "Code"};
    s.appName = apps[random.bounded(int(apps.size()))];
    const int kind = n % 4;
    if (kind < 2) {
        s.sourceURL = QStringLiteral("https://site") + QString::number(random.bounded(200))
            + QStringLiteral(".example.org/article/") + QString::number(random.bounded(2000));
        s.sourceTitle = QStringLiteral("Article");
    } else if (kind == 2) {
        s.filePath = QStringLiteral("/home/user/Documents/report-") + QString::number(random.bounded(500))
            + QStringLiteral(".pdf");
    }
    if (n % 200 == 0)
        s.text += QStringLiteral(" zanzibar");
    s.createdAt = QDateTime(QDate(2025, 1, 1), QTime(0, 0), Qt::UTC).addSecs(qint64(n) * 37);
    return s;
}

// One store per library size, loaded from a file as at launch; its save clock never moves, so
// nothing is written.
struct Library
{
    QTemporaryDir dir;
    QSettings defaults {dir.filePath(QStringLiteral("defaults.ini")), QSettings::IniFormat};
    std::unique_ptr<Store> store;

    explicit Library(int size)
    {
        StoreSnapshot snapshot;
        QRandomGenerator random(2025);
        for (int n = size - 1; n >= 0; --n)
            snapshot.selections.append(makeSelection(random, n));
        const QString path = dir.filePath(QStringLiteral("Library.json"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(LibraryDocument::encode(snapshot).bytes) < 0)
            qFatal("cannot write the library");
        file.close();
        store = std::make_unique<Store>(
            Store::Options {path, &defaults, nullptr, std::make_shared<ManualClock>(), nullptr});
    }

    static Library& shared()
    {
        static Library library(librarySize);
        return library;
    }
};

QList<Selection> captures(int count, int seed)
{
    QRandomGenerator random(seed);
    QList<Selection> list;
    for (int i = 0; i < count; ++i)
        list.append(makeSelection(random, librarySize + i));
    return list;
}

// A new list model and its first keystroke: the store built the search text at load.
void BM_FirstKeystroke(benchmark::State& state)
{
    Store& store = *Library::shared().store;
    for (auto _ : state) {
        state.PauseTiming();
        auto model = std::make_unique<VisibleSelectionsModel>(&store);
        state.ResumeTiming();
        model->setSearchText(QStringLiteral("z"));
        benchmark::DoNotOptimize(model->rowCount());
        state.PauseTiming();
        model.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FirstKeystroke)->Unit(benchmark::kMillisecond);

// Typing on: each keystroke narrows the last one's matches.
void BM_SteadyKeystroke(benchmark::State& state)
{
    VisibleSelectionsModel model(Library::shared().store.get());
    for (auto _ : state) {
        state.PauseTiming();
        model.setSearchText(QStringLiteral("zanzi"));
        state.ResumeTiming();
        model.setSearchText(QStringLiteral("zanzib"));
        benchmark::DoNotOptimize(model.rowCount());
    }
    state.counters["rows"] = double(model.rowCount());
}
BENCHMARK(BM_SteadyKeystroke)->Unit(benchmark::kMillisecond);

// A keystroke that widens the search (a deletion): every selection is looked at again.
void BM_WideningKeystroke(benchmark::State& state)
{
    VisibleSelectionsModel model(Library::shared().store.get());
    for (auto _ : state) {
        state.PauseTiming();
        model.setSearchText(QStringLiteral("zanzibar"));
        state.ResumeTiming();
        model.setSearchText(QStringLiteral("zanziba"));
        benchmark::DoNotOptimize(model.rowCount());
    }
}
BENCHMARK(BM_WideningKeystroke)->Unit(benchmark::kMillisecond);

// A capture, then the list switched to "By source" and back: the orders were kept current.
void BM_ResortAfterCapture(benchmark::State& state)
{
    Store& store = *Library::shared().store;
    VisibleSelectionsModel model(&store);
    const QList<Selection> list = captures(100'000, 7);
    qsizetype next = 0;
    for (auto _ : state) {
        state.PauseTiming();
        model.setSortMode(SortMode::newestFirst);
        store.add(list[next++ % list.size()]);
        state.ResumeTiming();
        model.setSortMode(SortMode::bySource);
        benchmark::DoNotOptimize(model.rowCount());
    }
}
BENCHMARK(BM_ResortAfterCapture)->Unit(benchmark::kMillisecond);

// A capture shown in a list sorted "By source": the store's index and the model's row insert.
void BM_CaptureIntoSortedList(benchmark::State& state)
{
    Store& store = *Library::shared().store;
    VisibleSelectionsModel model(&store);
    model.setSortMode(SortMode::bySource);
    const QList<Selection> list = captures(100'000, 8);
    qsizetype next = 0;
    for (auto _ : state) {
        store.add(list[next++ % list.size()]);
        benchmark::DoNotOptimize(model.rowCount());
    }
}
BENCHMARK(BM_CaptureIntoSortedList)->Unit(benchmark::kMillisecond);

// A capture as the sidebar sees it: the library count and the capture's source.
void BM_CaptureIntoSidebar(benchmark::State& state)
{
    Store& store = *Library::shared().store;
    SidebarModel model(&store);
    const QList<Selection> list = captures(100'000, 9);
    qsizetype next = 0;
    for (auto _ : state) {
        store.add(list[next++ % list.size()]);
        benchmark::DoNotOptimize(model.rowCount(model.sectionIndex(SidebarModel::Section::sources)));
    }
}
BENCHMARK(BM_CaptureIntoSidebar)->Unit(benchmark::kMillisecond);

void BM_Add1000Captures(benchmark::State& state)
{
    Store& store = *Library::shared().store;
    const QList<Selection> list = captures(1000, 99);
    QSet<QUuid> ids;
    for (const Selection& s : list)
        ids.insert(s.id);
    for (auto _ : state) {
        for (const Selection& s : list)
            store.add(s);
        state.PauseTiming();
        store.deleteSelections(ids);
        state.ResumeTiming();
    }
    benchmark::DoNotOptimize(store.selections().size());
}
BENCHMARK(BM_Add1000Captures)->Unit(benchmark::kMillisecond);

// What the launch waits for: keys, orders and counts; the search text is built on a worker.
void BM_IndexAtLoad(benchmark::State& state)
{
    const QList<Selection> selections = Library::shared().store->selections();
    for (auto _ : state) {
        auto index = std::make_unique<StoreIndex>();
        index->assign(selections);
        benchmark::DoNotOptimize(index->size());
        state.PauseTiming();
        index.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_IndexAtLoad)->Unit(benchmark::kMillisecond);

// The same with the search text's build waited for.
void BM_IndexAtLoadWithSearch(benchmark::State& state)
{
    const QList<Selection> selections = Library::shared().store->selections();
    for (auto _ : state) {
        auto index = std::make_unique<StoreIndex>();
        index->assign(selections);
        benchmark::DoNotOptimize(&index->search());
        state.PauseTiming();
        index.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_IndexAtLoadWithSearch)->Unit(benchmark::kMillisecond);

// One delete at a random position of 200,000 selections; the p95 counter is in milliseconds.
void BM_SingleDeleteAt200k(benchmark::State& state)
{
    static Library large(200'000);
    Store& store = *large.store;
    QRandomGenerator random(17);
    std::vector<double> times;
    for (auto _ : state) {
        const Selection victim = store.selections()[random.bounded(int(store.selections().size()))];
        const auto start = std::chrono::steady_clock::now();
        store.deleteSelection(victim.id);
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        state.SetIterationTime(times.back() / 1000.0);
        store.add(victim); // the library keeps its size
    }
    std::sort(times.begin(), times.end());
    state.counters["p95_ms"] = times.empty() ? 0.0 : times[size_t(double(times.size() - 1) * 0.95)];
}
BENCHMARK(BM_SingleDeleteAt200k)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(200);

void BM_SortBySource(benchmark::State& state)
{
    const QList<Selection> selections = Library::shared().store->selections();
    for (auto _ : state)
        benchmark::DoNotOptimize(SortModes::sort(SortMode::bySource, selections).size());
}
BENCHMARK(BM_SortBySource)->Unit(benchmark::kMillisecond);

void BM_SourceAggregation(benchmark::State& state)
{
    const Store& store = *Library::shared().store;
    qsizetype rows = 0;
    for (auto _ : state) {
        rows = store.sourceAggregates().size();
        benchmark::DoNotOptimize(rows);
    }
    state.counters["rows"] = double(rows);
}
BENCHMARK(BM_SourceAggregation)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
