// The library store over a library of 50,000 selections of about 1 KB: adding captures, one search
// keystroke, the "By source" order and the source aggregation.

#include "support/ManualClock.h"
#include "ZubraCore/Library/SelectionSearchIndex.h"
#include "ZubraCore/Library/SortMode.h"
#include "ZubraCore/Library/Store.h"
#include "ZubraCore/Library/StoreAggregation.h"

#include <QCoreApplication>
#include <QLocale>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

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
    s.markdown = n % 3 == 2 ? QStringLiteral("**") + s.text + QStringLiteral("**") : s.text;
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

// One store holding the library; its save clock never moves, so nothing is written.
struct Library
{
    QTemporaryDir dir;
    QSettings defaults {dir.filePath(QStringLiteral("defaults.ini")), QSettings::IniFormat};
    std::unique_ptr<Store> store;

    Library()
    {
        store = std::make_unique<Store>(Store::Options {dir.filePath(QStringLiteral("Library.json")), &defaults,
            nullptr, std::make_shared<ManualClock>(), nullptr});
        QRandomGenerator random(2025);
        for (int n = 0; n < librarySize; ++n)
            store->add(makeSelection(random, n));
    }

    static Library& shared()
    {
        static Library library;
        return library;
    }
};

void BM_Add1000Captures(benchmark::State& state)
{
    Store& store = *Library::shared().store;
    QRandomGenerator random(99);
    QList<Selection> captures;
    QSet<QUuid> ids;
    for (int i = 0; i < 1000; ++i) {
        captures.append(makeSelection(random, librarySize + i));
        ids.insert(captures.last().id);
    }
    for (auto _ : state) {
        for (const Selection& s : captures)
            store.add(s);
        state.PauseTiming();
        store.deleteSelections(ids);
        state.ResumeTiming();
    }
    benchmark::DoNotOptimize(store.selections().size());
}
BENCHMARK(BM_Add1000Captures)->Unit(benchmark::kMillisecond);

void BM_SearchKeystroke(benchmark::State& state)
{
    const QList<Selection> selections = Library::shared().store->selections();
    SelectionSearchIndex index;
    benchmark::DoNotOptimize(index.filter(selections, QStringLiteral("zanzibar")).size()); // fills the cache
    qsizetype found = 0;
    for (auto _ : state) {
        found = index.filter(selections, QStringLiteral("zanziba")).size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["matches"] = double(found);
}
BENCHMARK(BM_SearchKeystroke)->Unit(benchmark::kMillisecond);

void BM_SortBySource(benchmark::State& state)
{
    const QList<Selection> selections = Library::shared().store->selections();
    for (auto _ : state)
        benchmark::DoNotOptimize(SortModes::sort(SortMode::bySource, selections).size());
}
BENCHMARK(BM_SortBySource)->Unit(benchmark::kMillisecond);

// The first sort after a locale change (or at launch) makes every collation key afresh.
void BM_SortBySourceFirstTime(benchmark::State& state)
{
    const QList<Selection> selections = Library::shared().store->selections();
    bool british = false;
    for (auto _ : state) {
        state.PauseTiming();
        british = !british;
        QLocale::setDefault(british ? QLocale(QLocale::English, QLocale::UnitedKingdom)
                                    : QLocale(QLocale::English, QLocale::UnitedStates));
        state.ResumeTiming();
        benchmark::DoNotOptimize(SortModes::sort(SortMode::bySource, selections).size());
    }
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}
BENCHMARK(BM_SortBySourceFirstTime)->Unit(benchmark::kMillisecond);

void BM_SortByApp(benchmark::State& state)
{
    const QList<Selection> selections = Library::shared().store->selections();
    for (auto _ : state)
        benchmark::DoNotOptimize(SortModes::sort(SortMode::byApp, selections).size());
}
BENCHMARK(BM_SortByApp)->Unit(benchmark::kMillisecond);

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

void BM_SourceAggregationFirstTime(benchmark::State& state)
{
    const Store& store = *Library::shared().store;
    bool british = false;
    for (auto _ : state) {
        state.PauseTiming();
        british = !british;
        QLocale::setDefault(british ? QLocale(QLocale::English, QLocale::UnitedKingdom)
                                    : QLocale(QLocale::English, QLocale::UnitedStates));
        state.ResumeTiming();
        benchmark::DoNotOptimize(store.sourceAggregates().size());
    }
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}
BENCHMARK(BM_SourceAggregationFirstTime)->Unit(benchmark::kMillisecond);

void BM_SearchFirstKeystroke(benchmark::State& state)
{
    const QList<Selection> selections = Library::shared().store->selections();
    for (auto _ : state) {
        SelectionSearchIndex index;
        benchmark::DoNotOptimize(index.filter(selections, QStringLiteral("z")).size());
    }
}
BENCHMARK(BM_SearchFirstKeystroke)->Unit(benchmark::kMillisecond);

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
