#include "Zubra/SurfaceExport/SampleData.h"

#include "ZubraCore/Support/IsoDate.h"

#include <chrono>

namespace SampleData {

namespace {

using std::chrono::seconds;

const QString docsAddress
    = QStringLiteral("https://docs.swift.org/swift-book/documentation/the-swift-programming-language/concurrency/");
const QString layoutsAddress = QStringLiteral("https://developer.android.com/jetpack/compose/layouts/adaptive");

Selection sample(const QDateTime& now, seconds before, const QString& text, const std::optional<QString>& markdown,
    const QString& appName, const QString& bundleID, const std::optional<QString>& sourceURL = std::nullopt,
    const std::optional<QString>& sourceTitle = std::nullopt, const std::optional<QString>& filePath = std::nullopt)
{
    return Selection::make(QUuid::createUuid(), text, markdown, appName, bundleID, sourceURL, sourceTitle, filePath,
        {}, now.addSecs(-before.count()));
}

} // namespace

QDateTime screenshotReferenceDate()
{
    static const QDateTime reference = iso(QStringLiteral("2026-09-01T10:30:00Z"));
    return reference;
}

QDateTime iso(const QString& text)
{
    return IsoDate::parse(text).value_or(QDateTime::currentDateTimeUtc());
}

QList<Selection> sampleSelections(const QDateTime& now)
{
    const QString swiftText = QStringLiteral("concurrency makes asynchronous code both safer and more readable. Actors "
                                             "isolate shared mutable state and guarantee that only one task can access "
                                             "it at a time.");
    const QString adaptive = QStringLiteral("## Adaptive layouts\n\nUse `WindowSizeClass` to choose the arrangement of "
                                            "content across screens.");
    return {
        sample(now, seconds(720), QStringLiteral("Swift ") + swiftText, QStringLiteral("**Swift** ") + swiftText,
            QStringLiteral("Safari"), QStringLiteral("com.apple.Safari"), docsAddress,
            QStringLiteral("The Swift Programming Language \u2014 Concurrency")),
        sample(now, seconds(2520),
            QStringLiteral("git rebase -i HEAD~3\n# then force-push only if you understand the implications"),
            std::nullopt, QStringLiteral("Terminal"), QStringLiteral("com.apple.Terminal"), std::nullopt, std::nullopt,
            QStringLiteral("/Users/example/Projects/context-notes")),
        sample(now, seconds(10800),
            QStringLiteral(
                "Action items: ship the hotkey capture, add grouped views, document the architecture."),
            std::nullopt, QStringLiteral("Notes"), QStringLiteral("com.apple.Notes")),
        sample(now, seconds(93600),
            QStringLiteral("Server-driven UI rules: keep the JSON contract stable, version aggressively, and always "
                           "ship a fallback."),
            std::nullopt, QStringLiteral("Google Chrome"), QStringLiteral("com.google.Chrome"), layoutsAddress),
        sample(now, seconds(97200), adaptive, adaptive, QStringLiteral("Google Chrome"),
            QStringLiteral("com.google.Chrome"), layoutsAddress),
        sample(now, seconds(172800),
            QStringLiteral("The meandering path to peak performance: branch prediction, cache coherence, and why "
                           "benchmarks lie."),
            std::nullopt, QStringLiteral("PDF Expert"), QStringLiteral("com.readdle.PDFExpert-Mac"), std::nullopt,
            std::nullopt, QStringLiteral("/Users/example/Documents/papers/performance-notes.pdf")),
    };
}

} // namespace SampleData
