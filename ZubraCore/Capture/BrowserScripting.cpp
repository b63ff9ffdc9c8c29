#include "ZubraCore/Capture/BrowserScripting.h"

#include "ZubraCore/Text/Utf8.h"

#include "ZubraCore/Support/Logging.h"

#include <QUrl>

namespace {

const QString safari = QStringLiteral("com.apple.Safari");
const QString firefox = QStringLiteral("org.mozilla.firefox");

QString joinLines(std::initializer_list<QString> lines)
{
    QStringList list(lines);
    return list.join(QLatin1Char('\n'));
}

// The frame shared by the Chromium-family scripts and Firefox's: only the first line (which
// application) and the fourth (what to return) differ.
QString windowScript(const QString& tellLine, const QString& returnLine)
{
    return joinLines({
        tellLine,
        QStringLiteral("    if (count of windows) > 0 then"),
        QStringLiteral("        try"),
        QStringLiteral("            ") + returnLine,
        QStringLiteral("        on error"),
        QStringLiteral("            return \"\""),
        QStringLiteral("        end try"),
        QStringLiteral("    end if"),
        QStringLiteral("end tell"),
    });
}

QString chromiumTell(const QString& bundleID)
{
    return QStringLiteral("tell application id \"") + bundleID + QStringLiteral("\"");
}

const QString firefoxTell = QStringLiteral("tell application \"Firefox\"");
const QString urlLine = QStringLiteral("return URL of active tab of front window");
const QString titleLine = QStringLiteral("return title of active tab of front window");

// The trimmed output, absent when blank.
std::optional<QString> runTrimmed(const std::optional<QString>& script, ScriptRunner& runner)
{
    if (!script)
        return std::nullopt;
    const auto output = BrowserURLProvider::runOSAScript(*script, runner);
    if (!output)
        return std::nullopt;
    QString trimmed = output->trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    return trimmed;
}

} // namespace

const QStringList& BrowserScripting::chromiumBundleIDs()
{
    static const QStringList ids = {
        QStringLiteral("com.google.Chrome"),
        QStringLiteral("com.brave.Browser"),
        QStringLiteral("com.microsoft.edgemac"),
        QStringLiteral("com.vivaldi.Vivaldi"),
        QStringLiteral("com.operasoftware.Opera"),
        QStringLiteral("com.operasoftware.OperaGX"),
        QStringLiteral("company.thebrowser.Browser"),
        QStringLiteral("com.github.Electron.Chromium"),
        QStringLiteral("org.chromium.Chromium"),
        QStringLiteral("com.naver.Whale"),
    };
    return ids;
}

std::optional<QString> BrowserURLProvider::script(const QString& bundleID)
{
    if (bundleID == safari) {
        return joinLines({
            QStringLiteral("tell application \"Safari\""),
            QStringLiteral("    if (count of documents) > 0 then"),
            QStringLiteral("        return URL of front document"),
            QStringLiteral("    end if"),
            QStringLiteral("end tell"),
        });
    }
    if (BrowserScripting::chromiumBundleIDs().contains(bundleID))
        return windowScript(chromiumTell(bundleID), urlLine);
    if (bundleID == firefox)
        return windowScript(firefoxTell, urlLine);
    return std::nullopt;
}

std::optional<QString> BrowserURLProvider::titleScript(const QString& bundleID)
{
    if (bundleID == safari) {
        return joinLines({
            QStringLiteral("tell application \"Safari\""),
            QStringLiteral("    if (count of documents) > 0 then"),
            QStringLiteral("        try"),
            QStringLiteral("            return name of front document"),
            QStringLiteral("        on error"),
            QStringLiteral("            return \"\""),
            QStringLiteral("        end try"),
            QStringLiteral("    end if"),
            QStringLiteral("end tell"),
        });
    }
    if (BrowserScripting::chromiumBundleIDs().contains(bundleID))
        return windowScript(chromiumTell(bundleID), titleLine);
    if (bundleID == firefox)
        return windowScript(firefoxTell, titleLine);
    return std::nullopt;
}

std::optional<QString> BrowserSelectionProvider::script(const QString& bundleID)
{
    if (BrowserScripting::chromiumBundleIDs().contains(bundleID)) {
        return windowScript(chromiumTell(bundleID),
            QStringLiteral("return (execute active tab of front window javascript "
                           "\"window.getSelection().toString()\")"));
    }
    if (bundleID == safari) {
        return joinLines({
            QStringLiteral("tell application \"Safari\""),
            QStringLiteral("    try"),
            QStringLiteral("        return (do JavaScript \"window.getSelection().toString()\" in front document)"),
            QStringLiteral("    on error"),
            QStringLiteral("        return \"\""),
            QStringLiteral("    end try"),
            QStringLiteral("end tell"),
        });
    }
    return std::nullopt;
}

std::optional<QString> BrowserURLProvider::runOSAScript(const QString& script, ScriptRunner& runner)
{
    const ScriptRunner::Outcome outcome = runner.run(script, BrowserScripting::scriptLimit);
    switch (outcome.status) {
    case ScriptRunner::Status::unavailable:
        return std::nullopt;
    case ScriptRunner::Status::failedToStart:
        Loggers::capture().error(QStringLiteral("osascript failed to launch: ") + outcome.errorText);
        return std::nullopt;
    case ScriptRunner::Status::timedOut:
        Loggers::capture().error(QStringLiteral("osascript timed out for browser URL"));
        return std::nullopt;
    case ScriptRunner::Status::finished:
        break;
    }
    if (outcome.outputTooLarge) {
        // A cut answer would be a wrong address or a partial selection: drop it.
        Loggers::capture().error(QStringLiteral("osascript output too large"));
        return std::nullopt;
    }
    const auto output = Utf8::decodeStrict(outcome.standardOutput);
    if (output && !output->isEmpty())
        return output;
    const auto errorOutput = Utf8::decodeStrict(outcome.standardError);
    if (errorOutput && !errorOutput->isEmpty())
        Loggers::capture().debug(QStringLiteral("osascript: ") + *errorOutput);
    return output;
}

std::optional<QString> BrowserURLProvider::currentURL(const QString& bundleID, ScriptRunner& runner)
{
    const auto text = runTrimmed(script(bundleID), runner);
    if (!text || !QUrl(*text, QUrl::StrictMode).isValid())
        return std::nullopt;
    return text;
}

std::optional<QString> BrowserURLProvider::currentPageTitle(const QString& bundleID, ScriptRunner& runner)
{
    return runTrimmed(titleScript(bundleID), runner);
}

std::optional<QString> BrowserSelectionProvider::currentSelectionText(const QString& bundleID, ScriptRunner& runner)
{
    return runTrimmed(script(bundleID), runner);
}

std::optional<QString> BrowserWindow::pageTitle(const QString& windowTitle)
{
    // Firefox joins with an em dash (older versions with a hyphen), the Chromium family with a
    // hyphen.
    static const QStringList suffixes = {
        QStringLiteral(" \u2014 Mozilla Firefox"),
        QStringLiteral(" - Mozilla Firefox"),
        QStringLiteral(" \u2014 Mozilla Firefox Private Browsing"),
        QStringLiteral(" - Mozilla Firefox Private Browsing"),
        QStringLiteral(" \u2014 Firefox Developer Edition"),
        QStringLiteral(" - Chromium"),
        QStringLiteral(" - Google Chrome"),
        QStringLiteral(" - Brave"),
        QStringLiteral(" - Microsoft Edge"),
        QStringLiteral(" - Vivaldi"),
        QStringLiteral(" - Opera"),
    };
    for (const QString& suffix : suffixes) {
        if (!windowTitle.endsWith(suffix))
            continue;
        const QString title = windowTitle.chopped(suffix.size()).trimmed();
        if (title.isEmpty())
            return std::nullopt;
        return title;
    }
    return std::nullopt;
}
