// The library window's sidebar and detail over a library of 50,000 selections from 5,000 sources:
// a capture reaching the sidebar (model update and the repaint of what shows), and opening the
// detail of a 1 MB selection (header, provenance and the first screen of the rendered passage),
// and opening hostile passages (a Markdown table of 5,000 rows by 300 cells; one line of 400,000
// characters of NUL, U+FFFF and '>'): the first paint, then the longest turn of the event loop
// while the rest renders, both meant to stay under 100 ms.

#include "support/ManualClock.h"
#include "Zubra/LibraryWindow/LibraryEnvironment.h"
#include "Zubra/LibraryWindow/PassageRenderer.h"
#include "Zubra/LibraryWindow/SelectionDetailView.h"
#include "Zubra/LibraryWindow/SidebarView.h"
#include "ZubraCore/Library/LibraryDocument.h"
#include "ZubraCore/Library/Store.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

constexpr int librarySize = 50'000;
constexpr int sourceCount = 5'000;

Selection makeSelection(int n, const QString& text, const QString& markdown)
{
    Selection s;
    s.id = QUuid::createUuid();
    s.text = text;
    s.setMarkdown(markdown);
    static const QStringList apps {u"Firefox"_qs, u"Chromium"_qs, u"Text Editor"_qs, u"Terminal"_qs, u"Reader"_qs};
    s.appName = apps[n % apps.size()];
    const int source = n % sourceCount;
    if (source % 2 == 0)
        s.sourceURL = u"https://site"_qs + QString::number(source) + u".example/page"_qs;
    else
        s.filePath = u"/home/user/notes/file"_qs + QString::number(source) + u".md"_qs;
    s.createdAt = QDateTime(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC).addSecs(qint64(n) * 60);
    return s;
}

// A store over a written library of 50,000 selections; saves never run.
struct Library
{
    Library()
    {
        StoreSnapshot snapshot;
        snapshot.selections.reserve(librarySize);
        for (int n = librarySize - 1; n >= 0; --n) {
            const QString text = u"Captured passage number "_qs + QString::number(n) + u" with some words."_qs;
            snapshot.selections.append(makeSelection(n, text, text));
        }
        for (int g = 0; g < 20; ++g) {
            snapshot.groups.append(SelectionGroup {QUuid::createUuid(), u"Group "_qs + QString::number(g),
                u"#4F8EF7"_qs, QDateTime(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC)});
        }
        for (int n = 0; n < librarySize; n += 7)
            snapshot.selections[n].groupIDs.append(snapshot.groups[n % 20].id);
        QFile file(dir.filePath(u"Library.json"_qs));
        file.open(QIODevice::WriteOnly);
        file.write(LibraryDocument::encode(snapshot).bytes);
        file.close();
        Store::Options options;
        options.storeURL = file.fileName();
        options.defaults = &defaults;
        options.saveClock = clock;
        store = std::make_unique<Store>(std::move(options));
    }

    QTemporaryDir dir;
    QSettings defaults {dir.filePath(u"defaults.ini"_qs), QSettings::IniFormat};
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::unique_ptr<Store> store;
};

Library& library()
{
    static Library shared;
    return shared;
}

LibraryEnvironment environment()
{
    LibraryEnvironment out;
    out.icon = [](const Selection&) { return QIcon(); };
    out.locale = QLocale(QLocale::English, QLocale::UnitedStates);
    out.timeZone = QTimeZone::utc();
    return out;
}

void BM_CaptureUpdatesSidebar(benchmark::State& state)
{
    Store& store = *library().store;
    const LibraryEnvironment env = environment();
    SidebarView sidebar(store, env, {});
    sidebar.resize(240, 660);
    sidebar.setAttribute(Qt::WA_DontShowOnScreen);
    sidebar.show();
    QApplication::processEvents();
    int n = librarySize;
    for (auto _ : state) {
        const QString text = u"A new capture "_qs + QString::number(n);
        store.add(makeSelection(n++, text, text));
        QApplication::processEvents();
        sidebar.viewport()->repaint();
    }
    state.counters["sources"] = double(sidebar.model()->rowCount(
        sidebar.model()->sectionIndex(SidebarModel::Section::sources)));
}
BENCHMARK(BM_CaptureUpdatesSidebar)->Unit(benchmark::kMillisecond)->Iterations(30)->Repetitions(3)
    ->ReportAggregatesOnly(true);

void BM_OpenLargeDetail(benchmark::State& state)
{
    Store& store = *library().store;
    const LibraryEnvironment env = environment();
    QList<Selection> large;
    for (int variant = 0; variant < 2; ++variant) {
        QString markdown;
        markdown.reserve(1 << 20);
        for (int i = 0; markdown.size() < (1 << 20); ++i) {
            markdown += u"Paragraph "_qs + QString::number(i) + u" of a long page, with **bold**, _emphasis_ and a "_qs
                + u"[link](https://example.com/"_qs + QString::number(variant) + u").\n\n"_qs;
            if (i % 40 == 0)
                markdown += u"## Section "_qs + QString::number(i) + u"\n\n- one\n- two\n\n"_qs;
        }
        large.append(makeSelection(variant, markdown, markdown));
    }
    SelectionDetailView detail(store, env);
    detail.resize(420, 660);
    detail.setAttribute(Qt::WA_DontShowOnScreen);
    detail.show();
    QApplication::processEvents();
    int turn = 0;
    for (auto _ : state) {
        detail.setSelection(large[turn++ % 2]);
        detail.repaint();
    }
}
BENCHMARK(BM_OpenLargeDetail)->Unit(benchmark::kMillisecond)->Iterations(20)->Repetitions(3)
    ->ReportAggregatesOnly(true);

QString hostileMarkdown(int variant)
{
    QString out;
    if (variant == 0) {
        constexpr int rows = 5'000;
        constexpr int cells = 300;
        out.reserve(rows * cells * 6);
        for (int row = 0; row < rows + 2; ++row) {
            for (int cell = 0; cell < cells; ++cell) {
                out += u"| "_qs;
                out += row == 1 ? u"---"_qs : QString::number(cell);
                out += u' ';
            }
            out += u"|\n"_qs;
        }
        return out;
    }
    constexpr int length = 400'000;
    const QChar pattern[] = {QChar(0), QChar(0xFFFF), QChar(u'>')};
    out.reserve(length);
    for (int i = 0; i < length; ++i)
        out += pattern[i % 3];
    return out;
}

// Iteration time: showing the passage and the first paint. Counter: the longest turn of the
// event loop while the rest of the passage renders.
void BM_OpenHostileDetail(benchmark::State& state)
{
    Store& store = *library().store;
    const LibraryEnvironment env = environment();
    const QString markdown = hostileMarkdown(int(state.range(0)));
    const Selection hostile = makeSelection(1, markdown, markdown);
    const Selection small = makeSelection(2, u"short"_qs, u"short"_qs);
    SelectionDetailView detail(store, env);
    detail.resize(420, 660);
    detail.setAttribute(Qt::WA_DontShowOnScreen);
    detail.show();
    QApplication::processEvents();
    double longestTurn = 0;
    for (auto _ : state) {
        detail.setSelection(hostile);
        detail.repaint();
        state.PauseTiming();
        QElapsedTimer finishing;
        finishing.start();
        while (!detail.passage()->isComplete() && finishing.elapsed() < 120'000) {
            QElapsedTimer turn;
            turn.start();
            QApplication::processEvents();
            detail.repaint();
            longestTurn = std::max(longestTurn, double(turn.nsecsElapsed()) / 1e6);
        }
        detail.setSelection(small);
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["longestTurn_ms"] = longestTurn;
}
BENCHMARK(BM_OpenHostileDetail)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
