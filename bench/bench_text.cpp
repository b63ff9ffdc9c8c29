// Token estimate throughput against the limit: a bare ICU character-iterator loop over the same text.
#include "ZubraCore/Composition/TokenEstimator.h"
#include "ZubraCore/Text/TextMetrics.h"

#include <QRandomGenerator>
#include <QString>
#include <benchmark/benchmark.h>
#include <unicode/brkiter.h>
#include <unicode/utext.h>

namespace {

// About 4 MB of UTF-8: English prose, source code, Chinese and Japanese text, emoji with modifiers,
// flags and combining accents, in paragraphs of random kinds.
const QString& mixedText()
{
    static const QString text = [] {
        const QStringList pieces {
            u"The quick brown fox jumps over the lazy dog while the committee reviews the quarterly report. "_qs,
            u"for (int i = 0; i < count; ++i) {\n    total += values[i] * weight;\n}\r\n"_qs,
            u"\u81EA\u7136\u8A00\u8A9E\u51E6\u7406\u306F\u3001\u4EBA\u9593\u306E\u8A00\u8449\u3092\u6271\u3046\u3002"_qs,
            u"Great work \U0001F44D\U0001F3FD \U0001F468\u200D\U0001F469\u200D\U0001F467 \U0001F1E9\U0001F1EA! "_qs,
            u"Caf\u00E9 cre\u0300me bru\u0302le\u0301e, na\u00EFve r\u00E9sum\u00E9s. "_qs,
            u"\u0915\u094D\u0937\u0924\u094D\u0930\u093F\u092F \u0939\u093F\u0928\u094D\u0926\u0940 "_qs,
        };
        QRandomGenerator rng(42);
        QString out;
        while (out.toUtf8().size() < 4 * 1024 * 1024) {
            QString chunk;
            for (int i = 0; i < 4096; ++i)
                chunk += pieces[rng.bounded(int(pieces.size()))];
            out += chunk;
        }
        return out;
    }();
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
BENCHMARK_MAIN();
