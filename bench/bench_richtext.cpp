// Rich clipboard content to Markdown, and Markdown to its HTML rendition, at 1 MiB each.
// Target on the development machine: each at most 40 ms (median). The Markdown rendition is
// printed against md4c's md_html alone with the same flags (target: at most 1.2 times as long).

#include "ZubraCore/Capture/MarkdownHtml.h"
#include "ZubraCore/Capture/MarkdownSerializer.h"
#include "ZubraCore/Capture/OfflineHTMLConverter.h"
#include "ZubraCore/Capture/RtfReader.h"
#include "support/Ratios.h"
#include "support/RichTextSamples.h"

#include <QByteArray>
#include <QString>
#include <benchmark/benchmark.h>
#include <md4c-html.h>
#include <string>

using namespace RichTextSamples;

namespace {

void htmlToMarkdown(benchmark::State& state)
{
    const QByteArray html = articleHtml();
    if (!OfflineHTMLConverter::convert(html)) {
        state.SkipWithError("the article does not convert");
        return;
    }
    for (auto _ : state) {
        const std::optional<AttributedText> text = OfflineHTMLConverter::convert(html);
        benchmark::DoNotOptimize(MarkdownSerializer::convert(*text));
    }
    state.SetBytesProcessed(state.iterations() * html.size());
}
BENCHMARK(htmlToMarkdown)->Unit(benchmark::kMillisecond);

void rtfToMarkdown(benchmark::State& state)
{
    const QByteArray rtf = articleRtf();
    if (!RtfReader::read(rtf)) {
        state.SkipWithError("the document does not read");
        return;
    }
    for (auto _ : state) {
        const std::optional<AttributedText> text = RtfReader::read(rtf);
        benchmark::DoNotOptimize(MarkdownSerializer::convert(*text));
    }
    state.SetBytesProcessed(state.iterations() * rtf.size());
}
BENCHMARK(rtfToMarkdown)->Unit(benchmark::kMillisecond);

void markdownToHtml(benchmark::State& state)
{
    const QString markdown = articleMarkdown();
    for (auto _ : state)
        benchmark::DoNotOptimize(MarkdownHtml::htmlDocument(markdown));
    state.SetBytesProcessed(state.iterations() * markdown.toUtf8().size());
}
BENCHMARK(markdownToHtml)->Unit(benchmark::kMillisecond);

// The limit: md4c's renderer over the same UTF-8 bytes with the same flags, appending its output.
void md4cAlone(benchmark::State& state)
{
    const QByteArray input = articleMarkdown().toUtf8();
    auto append
        = [](const MD_CHAR* text, MD_SIZE size, void* out) { static_cast<std::string*>(out)->append(text, size); };
    for (auto _ : state) {
        std::string out;
        out.reserve(size_t(input.size()) * 5 / 4);
        md_html(input.constData(), MD_SIZE(input.size()), append, &out,
            MD_FLAG_TABLES | MD_FLAG_STRIKETHROUGH | MD_FLAG_NOHTML, MD_HTML_FLAG_SKIP_UTF8_BOM);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(state.iterations() * input.size());
}
BENCHMARK(md4cAlone)->Unit(benchmark::kMillisecond);

// The parts of the first two, to see where the time goes.
void htmlConvertOnly(benchmark::State& state)
{
    const QByteArray html = articleHtml();
    for (auto _ : state)
        benchmark::DoNotOptimize(OfflineHTMLConverter::convert(html));
}
BENCHMARK(htmlConvertOnly)->Unit(benchmark::kMillisecond);

void rtfReadOnly(benchmark::State& state)
{
    const QByteArray rtf = articleRtf();
    for (auto _ : state)
        benchmark::DoNotOptimize(RtfReader::read(rtf));
}
BENCHMARK(rtfReadOnly)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    Ratios::run(argc, argv);
    Ratios::printRatio("Markdown to HTML against md4c alone", "markdownToHtml", "md4cAlone", "target <= 1.2");
    benchmark::Shutdown();
    return 0;
}
