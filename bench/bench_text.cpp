// Token estimate throughput against a bare ICU character-iterator loop over the same text; the
// ratio of the two (target: the estimate at least four times as fast) is printed at the end.
#include "ZubraCore/Composition/TokenEstimator.h"
#include "ZubraCore/Text/TextMetrics.h"
#include "support/CompositionSamples.h"
#include "support/Ratios.h"

#include <QString>
#include <benchmark/benchmark.h>
#include <unicode/brkiter.h>
#include <unicode/utext.h>

namespace {

const QString& mixedText()
{
    static const QString text = CompositionSamples::mixedText(4 * 1024 * 1024);
    return text;
}

qint64 utf8Bytes()
{
    return mixedText().toUtf8().size();
}

void BM_Estimate(benchmark::State& state)
{
    const QString& text = mixedText();
    const qint64 bytes = utf8Bytes();
    for (auto _ : state)
        benchmark::DoNotOptimize(TokenEstimator::estimate(text, ModelProfile::gpt4o()));
    state.SetBytesProcessed(state.iterations() * bytes);
}

// The limit: ICU's character iterator stepped over the whole text, nothing else.
void BM_BareIcuLoop(benchmark::State& state)
{
    const QString& text = mixedText();
    const qint64 bytes = utf8Bytes();
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    UText ut = UTEXT_INITIALIZER;
    utext_openUChars(&ut, reinterpret_cast<const UChar*>(text.utf16()), text.size(), &status);
    it->setText(&ut, status);
    for (auto _ : state) {
        qint64 n = 0;
        it->first();
        while (it->next() != icu::BreakIterator::DONE)
            ++n;
        benchmark::DoNotOptimize(n);
    }
    utext_close(&ut);
    state.SetBytesProcessed(state.iterations() * bytes);
}

} // namespace

BENCHMARK(BM_Estimate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareIcuLoop)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    Ratios::run(argc, argv);
    Ratios::printRatio("Token estimate against the bare ICU character loop", "BM_Estimate", "BM_BareIcuLoop",
        "target <= 0.25, i.e. at least 4x the throughput");
    benchmark::Shutdown();
    return 0;
}
