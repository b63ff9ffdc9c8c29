// The prompt composer on a draft of 2,000 entries of 2,000-character selections: opening it with
// every row shown, a keystroke in the task until the preview and the meter show it, and switching
// one entry's include. With TESSELLON_SNAPSHOT_DIR set it also writes a picture of the composer.

#include "Platform/Memory/MemoryPasteboard.h"
#include "Zubra/Composer/ComposeDraftPane.h"
#include "Zubra/Composer/ComposePreviewPane.h"
#include "Zubra/Composer/ComposeView.h"
#include "Zubra/Composer/DraftOperations.h"
#include "ZubraCore/Library/LibraryDocument.h"
#include "ZubraCore/Library/Store.h"
#include "support/ManualClock.h"

#include <QApplication>
#include <QFile>
#include <QLocale>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int entryCount = 2'000;
constexpr int selectionLength = 2'000;

QString paragraph(QRandomGenerator& random, int length)
{
    static const QStringList words {u"the"_s, u"model"_s, u"prompt"_s, u"context"_s, u"window"_s, u"token"_s,
        u"budget"_s, u"library"_s, u"capture"_s, u"source"_s, u"caf\u00e9"_s, u"na\u00efve"_s, u"data"_s, u"of"_s};
    QString text;
    text.reserve(length + 16);
    while (text.size() < length) {
        text += words[random.bounded(int(words.size()))];
        text += random.bounded(14) == 0 ? u".\n"_s : u" "_s;
    }
    text.truncate(length);
    return text;
}

// A library whose one draft refers to every selection.
struct Library
{
    Library()
    {
        QRandomGenerator random(7);
        StoreSnapshot snapshot;
        ContextDraft draft;
        draft.id = QUuid::createUuid();
        draft.name = u"Quarterly research"_s;
        draft.task = u"Summarize the findings."_s;
        draft.templateName = u"Sections"_s;
        draft.modelProfileID = u"gemini"_s;
        draft.createdAt = draft.updatedAt = QDateTime(QDate(2025, 1, 1), QTime(0, 0), Qt::UTC);
        for (int i = 0; i < entryCount; ++i) {
            Selection s;
            s.id = QUuid::createUuid();
            s.text = paragraph(random, selectionLength);
            s.setMarkdown(s.text);
            s.appName = u"Firefox"_s;
            s.sourceURL = u"https://site"_s + QString::number(i % 400) + u".example.org/article"_s;
            s.sourceTitle = u"Article "_s + QString::number(i % 400);
            s.createdAt = QDateTime(QDate(2025, 1, 1), QTime(0, 0), Qt::UTC).addSecs(i);
            snapshot.selections.prepend(s);
            ContextDraftEntry e;
            e.id = QUuid::createUuid();
            e.selectionID = s.id;
            draft.entries.append(e);
        }
        snapshot.drafts = QList<ContextDraft> {draft};
        snapshot.activeDraftID = draft.id;
        draftID = draft.id;
        QFile file(dir.filePath(u"Library.json"_s));
        file.open(QIODevice::WriteOnly);
        file.write(LibraryDocument::encode(snapshot).bytes);
        file.close();
        defaults = std::make_unique<QSettings>(dir.filePath(u"defaults.ini"_s), QSettings::IniFormat);
        store = std::make_unique<Store>(Store::Options {
            dir.filePath(u"Library.json"_s), defaults.get(), nullptr, std::make_shared<ManualClock>(), nullptr});
        services.pasteboard = &pasteboard;
        services.templateDefaults = defaults.get();
        services.hotkeyDisplay = [] { return u"Ctrl+Alt+Super+C"_s; };
    }

    // Shown and painted once, with every row laid out; a long preview's remainder follows on the
    // next turn of the event loop unless `complete`.
    std::unique_ptr<ComposeView> open(bool complete = true)
    {
        auto view = std::make_unique<ComposeView>(*store, services);
        view->resize(1120, 660);
        view->setDraftID(draftID);
        view->show();
        view->grab();
        if (complete)
            QCoreApplication::processEvents();
        return view;
    }

    QTemporaryDir dir;
    std::unique_ptr<QSettings> defaults;
    std::unique_ptr<Store> store;
    QUuid draftID;
    MemoryPasteboard pasteboard;
    ComposerServices services;
};

Library& library()
{
    static Library instance;
    return instance;
}

void BM_OpenDraft(benchmark::State& state)
{
    for (auto _ : state) {
        auto view = library().open(false);
        benchmark::DoNotOptimize(view.get());
        state.PauseTiming();
        view.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenDraft)->Unit(benchmark::kMillisecond)->Iterations(5);

// The same until the whole prompt is in the preview.
void BM_OpenDraftComplete(benchmark::State& state)
{
    for (auto _ : state) {
        auto view = library().open(true);
        benchmark::DoNotOptimize(view.get());
        state.PauseTiming();
        view.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenDraftComplete)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_TaskKeystroke(benchmark::State& state)
{
    auto view = library().open();
    QPlainTextEdit* task = view->draftPane()->taskField();
    for (auto _ : state) {
        task->moveCursor(QTextCursor::End);
        task->insertPlainText(u"x"_s);
        QCoreApplication::processEvents(); // the coalesced refresh of both panes
        benchmark::DoNotOptimize(view->previewPane()->meterText());
    }
}
BENCHMARK(BM_TaskKeystroke)->Unit(benchmark::kMillisecond)->Iterations(30);

void BM_ToggleInclude(benchmark::State& state)
{
    auto view = library().open();
    const QUuid entry = library().store->findDraft(library().draftID)->entries[entryCount / 2].id;
    for (auto _ : state) {
        DraftOperations::toggleInclude(*library().store, library().draftID, entry);
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(view->previewPane()->meterText());
    }
}
BENCHMARK(BM_ToggleInclude)->Unit(benchmark::kMillisecond)->Iterations(30);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QApplication app(argc, argv);
    if (const QByteArray dir = qgetenv("TESSELLON_SNAPSHOT_DIR"); !dir.isEmpty()) {
        auto view = library().open();
        view->grab().save(QString::fromLocal8Bit(dir) + u"/composer.png"_s);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
