// Clipboard work on the capture's path: the page-title parser at its 1 MiB limit, UTF-16 HTML
// turned into UTF-8, and a snapshot with restore of a large clipboard.

#include "Platform/Memory/MemoryPasteboard.h"
#include "ZubraCore/Capture/Clipboard.h"

#include <QStringEncoder>
#include <benchmark/benchmark.h>

namespace {

// A page just under the title parser's limit whose title sits at the very end.
QString largePage()
{
    const QString tail = QStringLiteral("<title> The &amp; title\n of it </title></html>");
    QString page = QStringLiteral("<html><body>");
    const QString paragraph = QStringLiteral("<p>Lorem ipsum dolor sit amet, caf\u00e9 &lt;x&gt;.</p>\n");
    while (page.toUtf8().size() + paragraph.toUtf8().size() + tail.size() < Clipboard::maxTitleHtmlBytes)
        page += paragraph;
    return page + tail;
}

void BM_parsePageTitleAtLimit(benchmark::State& state)
{
    const QString page = largePage();
    for (auto _ : state)
        benchmark::DoNotOptimize(Clipboard::parsePageTitle(page));
    state.SetBytesProcessed(state.iterations() * page.toUtf8().size());
}
BENCHMARK(BM_parsePageTitleAtLimit)->Unit(benchmark::kMicrosecond);

void BM_htmlUtf16ToUtf8(benchmark::State& state)
{
    QStringEncoder encoder(QStringConverter::Utf16LE, QStringEncoder::Flag::WriteBom);
    const QByteArray utf16 = encoder.encode(largePage());
    for (auto _ : state)
        benchmark::DoNotOptimize(Clipboard::htmlAsUtf8(utf16));
    state.SetBytesProcessed(state.iterations() * utf16.size());
}
BENCHMARK(BM_htmlUtf16ToUtf8)->Unit(benchmark::kMicrosecond);

// Snapshot and restore of a clipboard holding text, HTML and a 16 MiB image.
void BM_snapshotAndRestore(benchmark::State& state)
{
    const QList<Pasteboard::ItemData> items
        = {{{PasteboardType::plainText, QByteArray(100000, 't')}, {PasteboardType::html, QByteArray(300000, 'h')},
            {QStringLiteral("image/png"), QByteArray(16 * 1024 * 1024, 'p')}}};
    MemoryPasteboard pasteboard(items);
    for (auto _ : state) {
        const auto saved = Clipboard::snapshot(pasteboard);
        Clipboard::writePlain(QStringLiteral("copied"), pasteboard);
        benchmark::DoNotOptimize(Clipboard::restore(saved, pasteboard));
    }
}
BENCHMARK(BM_snapshotAndRestore)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
