// "Split & Add" of the import sheet: a pasted text of N paragraphs becomes N chunks, each a new
// selection and an entry of the prompt open in the composer. Timed until the composer has shown
// the change; the time should grow with N, not with its square.

#include "Platform/Memory/MemoryPasteboard.h"
#include "Zubra/Composer/ComposeView.h"
#include "Zubra/Composer/DraftOperations.h"
#include "ZubraCore/Library/Store.h"
#include "support/ManualClock.h"

#include <QApplication>
#include <QLocale>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace Qt::StringLiterals;

namespace {

QString pastedText(int paragraphs)
{
    QString text;
    for (int i = 0; i < paragraphs; ++i)
        text += u"Paragraph "_s + QString::number(i)
            + u" of the pasted report, with a few words about the budget and the model.\n\n"_s;
    return text;
}

void BM_SplitAndAdd(benchmark::State& state)
{
    const int chunks = int(state.range(0));
    const QString text = pastedText(chunks);
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        QSettings defaults(dir.filePath(u"defaults.ini"_s), QSettings::IniFormat);
        Store store(Store::Options {
            dir.filePath(u"Library.json"_s), &defaults, nullptr, std::make_shared<ManualClock>(), nullptr});
        const QUuid draftID = store.ensureActiveDraft().id;
        MemoryPasteboard pasteboard;
        ComposerServices services;
        services.pasteboard = &pasteboard;
        services.templateDefaults = &defaults;
        auto view = std::make_unique<ComposeView>(store, services);
        view->resize(1120, 660);
        view->setDraftID(draftID);
        view->show();
        QCoreApplication::processEvents();
        state.ResumeTiming();

        const DraftOperations::ImportOutcome outcome = DraftOperations::addImported(store, draftID, text);
        QCoreApplication::processEvents();

        state.PauseTiming();
        if (outcome.imported != chunks || store.findDraft(draftID)->entries.size() != chunks)
            state.SkipWithError("not every chunk was added");
        view.reset();
        state.ResumeTiming();
    }
    state.counters["chunks"] = chunks;
}
BENCHMARK(BM_SplitAndAdd)->Arg(10'000)->Arg(40'000)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
