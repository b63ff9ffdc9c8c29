// Prompt composition at scale: a draft of 2,000 entries of 2,000 characters from 400 sources
// (about a million tokens), a 5 MB pasted text, and 5,000 texts for near-duplicates. The Plain*
// cases time the plain definitions kept by the tests, one iteration each, for comparison.

#include "ZubraCore/Composition/ContextComposer.h"
#include "ZubraCore/Composition/Dedupe.h"
#include "ZubraCore/Composition/TextImport.h"
#include "tests/ZubraCore/Composition/PlainComposer.h"
#include "tests/ZubraCore/Composition/PlainTextImport.h"

#include <QCoreApplication>
#include <QLocale>
#include <QRandomGenerator>
#include <benchmark/benchmark.h>

namespace {

const QStringList& vocabulary()
{
    static const QStringList words = [] {
        QStringList list;
        QRandomGenerator rng(7);
        for (int i = 0; i < 5000; ++i) {
            QString w;
            const int n = 2 + rng.bounded(9);
            for (int k = 0; k < n; ++k)
                w += QChar(u'a' + rng.bounded(26));
            list.append(w);
        }
        list.append({u"caf\u00E9"_qs, u"na\u0131ve"_qs, u"\U0001F600"_qs, u"\U0001F1E9\U0001F1EA"_qs});
        return list;
    }();
    return words;
}

// Prose of exactly `length` code units, in sentences and lines; with `code`, a line of code now and then.
QString prose(QRandomGenerator& rng, qsizetype length, bool code = false)
{
    QString s;
    s.reserve(length + 16);
    while (s.size() < length) {
        const int roll = rng.bounded(100);
        if (roll < 2)
            s += u"\n\n";
        else if (roll < 6)
            s += u"\n";
        else if (code && roll < 10)
            s += u"let value = compute(x);\n";
        s += vocabulary()[rng.bounded(int(vocabulary().size()))];
        s += rng.bounded(12) == 0 ? u". "_qs : u" "_qs;
    }
    s.truncate(length);
    return s;
}

struct Library
{
    QList<Selection> selections;
    ContextDraft draft;
};

const Library& bigDraft()
{
    static const Library lib = [] {
        Library l;
        QRandomGenerator rng(42);
        l.draft.id = QUuid::createUuid();
        l.draft.task = u"Summarize the key points of each source below."_qs;
        l.draft.templateName = u"Sections"_qs;
        l.draft.modelProfileID = u"gpt-4o"_qs;
        for (int i = 0; i < 2000; ++i) {
            const int source = rng.bounded(400);
            Selection s = Selection::make(QUuid::createUuid(), prose(rng, 2000, i % 10 == 0), std::nullopt,
                u"Browser"_qs, std::nullopt, u"https://example.com/page/"_qs + QString::number(source),
                u"Page "_qs + QString::number(source));
            l.selections.append(s);
            ContextDraftEntry e;
            e.id = QUuid::createUuid();
            e.selectionID = s.id;
            e.pin = i % 500 == 0;
            if (i % 10 == 0)
                e.note = u"Check this one."_qs;
            l.draft.entries.append(e);
        }
        return l;
    }();
    return lib;
}

const QString& pastedText()
{
    static const QString text = [] {
        QRandomGenerator rng(5);
        QString t;
        t.reserve(5'000'000);
        while (t.size() < 5'000'000) {
            t += prose(rng, 200 + rng.bounded(rng.bounded(10) == 0 ? 12000 : 1500));
            t += rng.bounded(3) ? u"\n\n"_qs : u"\r\n\r\n\r\n"_qs;
        }
        return t;
    }();
    return text;
}

QList<Dedupe::IdText> dedupeTexts(int count)
{
    QRandomGenerator rng(11);
    QList<Dedupe::IdText> pairs;
    for (int i = 0; i < count; ++i) {
        QString text;
        if (i > 0 && rng.bounded(10) == 0) {
            text = pairs[rng.bounded(i)].second;
            for (int c = 0; c < 5; ++c) // a few words changed
                text.replace(rng.bounded(int(text.size()) - 10), 8, vocabulary()[rng.bounded(100)]);
        } else {
            text = prose(rng, 2000);
        }
        pairs.append({QUuid::createUuid(), text});
    }
    return pairs;
}

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
    const Library& l = bigDraft();
    for (auto _ : state)
        benchmark::DoNotOptimize(ContextComposer::reduceToFit(l.draft, l.selections, std::nullopt, 128000, preamble()));
}
BENCHMARK(BM_ReduceToFit)->Unit(benchmark::kMillisecond);

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
BENCHMARK(BM_Dedupe)->Arg(5000)->Unit(benchmark::kMillisecond);

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
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
