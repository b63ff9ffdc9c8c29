// How each core operation of composition and rich-text conversion grows with its input: every
// operation is timed at 1x, 4x and 16x its base input, and a table of the times and growth
// exponents (log of the time ratio over log of the size ratio; each step and the whole range) is
// printed at the end. Linear work shows about 1.0; only sorts may reach n log n.

#include "ZubraCore/Capture/MarkdownHtml.h"
#include "ZubraCore/Capture/MarkdownSerializer.h"
#include "ZubraCore/Capture/OfflineHTMLConverter.h"
#include "ZubraCore/Capture/RtfReader.h"
#include "ZubraCore/Composition/ContextComposer.h"
#include "ZubraCore/Composition/Dedupe.h"
#include "ZubraCore/Composition/TextImport.h"
#include "ZubraCore/Composition/TokenEstimator.h"
#include "support/CompositionSamples.h"
#include "support/Ratios.h"
#include "support/RichTextSamples.h"

#include <QCoreApplication>
#include <QLocale>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <map>

using namespace CompositionSamples;
using namespace RichTextSamples;

namespace {

constexpr int scales[] = {1, 4, 16};

template <typename Make> const auto& cached(int scale, Make make)
{
    static std::map<int, decltype(make(scale))> inputs;
    auto found = inputs.find(scale);
    if (found == inputs.end())
        found = inputs.emplace(scale, make(scale)).first;
    return found->second;
}

// Drafts of 125 entries per scale step; the budget is half the draft's estimate, so fitting
// always removes about half of it.
void compose(benchmark::State& state)
{
    const Library& l = draftOf(125 * int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(ContextComposer::compose(l.draft, l.selections, ContextComposer::defaultPreamble()));
}

void reduceToFit(benchmark::State& state)
{
    const Library& l = draftOf(125 * int(state.range(0)));
    const qint64 budget = 125 * state.range(0) * 250;
    for (auto _ : state)
        benchmark::DoNotOptimize(ContextComposer::reduceToFit(
            l.draft, l.selections, std::nullopt, budget, ContextComposer::defaultPreamble()));
}

void planSplitCopy(benchmark::State& state)
{
    const Library& l = draftOf(125 * int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(ContextComposer::planSplitCopy(
            l.draft, l.selections, ContextComposer::defaultPreamble(), std::nullopt, 32000));
}

void textImport(benchmark::State& state)
{
    const QString& text = cached(int(state.range(0)), [](int s) { return pastedText(312'500 * s); });
    for (auto _ : state)
        benchmark::DoNotOptimize(TextImport::chunks(text, 4000));
}

void nearDuplicates(benchmark::State& state)
{
    const auto& texts = cached(int(state.range(0)), [](int s) { return dedupeTexts(625 * s); });
    for (auto _ : state)
        benchmark::DoNotOptimize(Dedupe::duplicateGroups(texts, 0.85));
}

void tokenEstimate(benchmark::State& state)
{
    const QString& text = cached(int(state.range(0)), [](int s) { return mixedText(256 * 1024 * s); });
    for (auto _ : state)
        benchmark::DoNotOptimize(TokenEstimator::estimate(text, ModelProfile::gpt4o()));
}

void htmlToMarkdown(benchmark::State& state)
{
    const QByteArray& html = cached(int(state.range(0)), [](int s) { return articleHtml(megabyte / 16 * s); });
    for (auto _ : state) {
        const std::optional<AttributedText> text = OfflineHTMLConverter::convert(html);
        if (!text) {
            state.SkipWithError("the article does not convert");
            return;
        }
        benchmark::DoNotOptimize(MarkdownSerializer::convert(*text));
    }
}

void rtfToMarkdown(benchmark::State& state)
{
    const QByteArray& rtf = cached(int(state.range(0)), [](int s) { return articleRtf(megabyte / 16 * s); });
    for (auto _ : state) {
        const std::optional<AttributedText> text = RtfReader::read(rtf);
        if (!text) {
            state.SkipWithError("the document does not read");
            return;
        }
        benchmark::DoNotOptimize(MarkdownSerializer::convert(*text));
    }
}

void markdownToHtml(benchmark::State& state)
{
    const QString& markdown = cached(int(state.range(0)), [](int s) { return articleMarkdown(megabyte / 16 * s); });
    for (auto _ : state)
        benchmark::DoNotOptimize(MarkdownHtml::htmlDocument(markdown));
}

struct Operation
{
    const char* name;
    void (*function)(benchmark::State&);
    const char* input; // what 1x is
};

const Operation operations[] = {
    {"compose", compose, "125 entries of 2,000 characters"},
    {"reduceToFit", reduceToFit, "125 entries, budget half the draft"},
    {"planSplitCopy", planSplitCopy, "125 entries, 32,000-token messages"},
    {"textImport", textImport, "312,500 characters pasted"},
    {"nearDuplicates", nearDuplicates, "625 texts of 2,000 characters"},
    {"tokenEstimate", tokenEstimate, "256 KiB of mixed text"},
    {"htmlToMarkdown", htmlToMarkdown, "64 KiB article"},
    {"rtfToMarkdown", rtfToMarkdown, "64 KiB document"},
    {"markdownToHtml", markdownToHtml, "64 KiB Markdown"},
};

} // namespace

int main(int argc, char** argv)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCoreApplication app(argc, argv);
    for (const Operation& op : operations) {
        auto* b = benchmark::RegisterBenchmark(op.name, op.function)->Unit(benchmark::kMillisecond);
        for (int s : scales)
            b->Arg(s);
    }
    Ratios::run(argc, argv);

    std::printf("%-16s %-38s %9s %9s %9s %8s %8s %8s\n", "operation", "1x input", "1x ms", "4x ms", "16x ms", "1x-4x",
        "4x-16x", "1x-16x");
    for (const Operation& op : operations) {
        double t[3];
        bool measured = true;
        for (int k = 0; k < 3; ++k) {
            t[k] = Ratios::median(std::string(op.name) + "/" + std::to_string(scales[k]));
            measured = measured && t[k] > 0;
        }
        if (!measured)
            continue;
        // Growth exponents of each step and of the whole range.
        const double first = std::log(t[1] / t[0]) / std::log(4.0);
        const double second = std::log(t[2] / t[1]) / std::log(4.0);
        const double whole = std::log(t[2] / t[0]) / std::log(16.0);
        std::printf("%-16s %-38s %9.2f %9.2f %9.2f %8.2f %8.2f %8.2f%s\n", op.name, op.input, t[0] * 1e3, t[1] * 1e3,
            t[2] * 1e3, first, second, whole, std::max({first, second, whole}) > 1.2 ? "  (above 1.2)" : "");
    }
    benchmark::Shutdown();
    return 0;
}
