// Prompt composition at scale: a draft of 2,000 entries of 2,000 characters from 400 sources
// (about a million tokens; fitting also at 500 and 8,000 entries), a 5 MB pasted text, and 1,250
// to 20,000 texts for near-duplicates. The Plain* cases time the plain definitions kept by the
// tests, one iteration each. The ratios and growth printed at the end compare benchmarks of the
// same run.

#include "ZubraCore/Composition/ContextComposer.h"
#include "ZubraCore/Composition/Dedupe.h"
#include "ZubraCore/Composition/TextImport.h"
#include "support/CompositionSamples.h"
#include "support/Ratios.h"
#include "tests/ZubraCore/Composition/PlainComposer.h"
#include "tests/ZubraCore/Composition/PlainTextImport.h"

#include <QCoreApplication>
#include <QLocale>
#include <benchmark/benchmark.h>
#include <cstdio>

using namespace CompositionSamples;

namespace {

const QString& preamble()
{
    return ContextComposer::defaultPreamble();
}

void BM_Compose(benchmark::State& state)
{
    const Library& l = bigDraft();
    for (auto _ : state)
        benchmark::DoNotOptimize(ContextComposer::compose(l.draft, l.selections, preamble()));
}
BENCHMARK(BM_Compose)->Unit(benchmark::kMillisecond);

void BM_ReduceToFit(benchmark::State& state)
{
    const Library& l = draftOf(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(ContextComposer::reduceToFit(l.draft, l.selections, std::nullopt, 128000, preamble()));
}
BENCHMARK(BM_ReduceToFit)->Arg(500)->Arg(2000)->Arg(8000)->Unit(benchmark::kMillisecond);

void BM_PlanSplitCopy(benchmark::State& state)
{
    const Library& l = bigDraft();
    for (auto _ : state)
        benchmark::DoNotOptimize(
            ContextComposer::planSplitCopy(l.draft, l.selections, preamble(), std::nullopt, 128000));
}
BENCHMARK(BM_PlanSplitCopy)->Unit(benchmark::kMillisecond);

void BM_TextImportChunks(benchmark::State& state)
{
    const QString& text = pastedText();
    for (auto _ : state)
        benchmark::DoNotOptimize(TextImport::chunks(text, 4000));
}
BENCHMARK(BM_TextImportChunks)->Unit(benchmark::kMillisecond);

void BM_Dedupe(benchmark::State& state)
{
    const QList<Dedupe::IdText> texts = dedupeTexts(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(Dedupe::duplicateGroups(texts, 0.85));
}
// Several threads share the search: the CPU column sums them (the ratios use the real time).
BENCHMARK(BM_Dedupe)->Arg(1250)->Arg(5000)->Arg(20000)->MeasureProcessCPUTime()->UseRealTime()->Unit(
    benchmark::kMillisecond);

// The plain definitions, for comparison.
void BM_PlainCompose(benchmark::State& state)
{
    const Library& l = bigDraft();
    for (auto _ : state)
        benchmark::DoNotOptimize(
            PlainComposer::compose(l.draft, l.selections, preamble(), std::nullopt, std::nullopt, true));
}
BENCHMARK(BM_PlainCompose)->Unit(benchmark::kMillisecond);

void BM_PlainReduceToFit(benchmark::State& state)
{
    const Library& l = bigDraft();
    for (auto _ : state)
        benchmark::DoNotOptimize(PlainComposer::reduceToFit(l.draft, l.selections, std::nullopt, 128000, preamble()));
}
BENCHMARK(BM_PlainReduceToFit)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_PlainPlanSplitCopy(benchmark::State& state)
{
    const Library& l = bigDraft();
    for (auto _ : state)
        benchmark::DoNotOptimize(PlainComposer::planSplitCopy(l.draft, l.selections, preamble(), std::nullopt, 128000));
}
BENCHMARK(BM_PlainPlanSplitCopy)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_PlainTextImportChunks(benchmark::State& state)
{
    const QString& text = pastedText();
    for (auto _ : state)
        benchmark::DoNotOptimize(PlainTextImport::chunks(text, 4000));
}
BENCHMARK(BM_PlainTextImportChunks)->Unit(benchmark::kMillisecond)->Iterations(1);

// All pairs grow with the square of the count: time a few hundred texts and scale.
void BM_PlainDedupe(benchmark::State& state)
{
    const QList<Dedupe::IdText> texts = dedupeTexts(int(state.range(0)));
    for (auto _ : state) {
        for (qsizetype i = 0; i < texts.size(); ++i)
            for (qsizetype j = i + 1; j < texts.size(); ++j)
                benchmark::DoNotOptimize(Dedupe::similarity(texts[i].second, texts[j].second));
    }
}
BENCHMARK(BM_PlainDedupe)->Arg(200)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCoreApplication app(argc, argv);
    Ratios::run(argc, argv);
    Ratios::printGrowth("Fit to budget, 500 / 2,000 / 8,000 entries (target: 8,000 within 5x of 2,000)",
        {"BM_ReduceToFit/500", "BM_ReduceToFit/2000", "BM_ReduceToFit/8000"}, {500, 2000, 8000});
    Ratios::printRatio(
        "Fit to budget, 8,000 over 2,000 entries", "BM_ReduceToFit/8000", "BM_ReduceToFit/2000", "target <= 5");
    // The search against the plain definition the tests keep: every pair compared, timed at 200
    // texts and scaled to the pairs of 5,000.
    const double search = Ratios::median("BM_Dedupe/5000");
    const double allPairs = Ratios::median("BM_PlainDedupe/200") * (5000.0 * 4999.0) / (200.0 * 199.0);
    if (search > 0 && allPairs > 0)
        std::printf(
            "Near-duplicates, 5,000 texts against all pairs of the plain definition: %.4f\n", search / allPairs);
    Ratios::printGrowth("Near-duplicates, 1,250 / 5,000 / 20,000 texts",
        {"BM_Dedupe/1250", "BM_Dedupe/5000", "BM_Dedupe/20000"}, {1250, 5000, 20000});
    Ratios::printRatio("Near-duplicates, 20,000 over 5,000 texts", "BM_Dedupe/20000", "BM_Dedupe/5000", "target <= 6");
    benchmark::Shutdown();
    return 0;
}
