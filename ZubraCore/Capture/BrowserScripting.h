#pragma once
// Asks a known web browser, through the system's script runner, for its front tab's address and
// title and for the text selected in it. The browser is chosen by the frontmost application's
// bundle identifier; for any other identifier nothing runs.

#include "Platform/ScriptRunner.h"

#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>

namespace BrowserScripting {
// The Chromium-family browsers, in the order the choosers test them.
const QStringList& chromiumBundleIDs();
// A script may run this long before it is ended.
inline constexpr std::chrono::milliseconds scriptLimit {1500};
} // namespace BrowserScripting

namespace BrowserURLProvider {
// The front tab's address exactly as the browser printed it (trimmed); no value when there is no
// script, no output, or the text is not a valid address.
std::optional<QString> currentURL(const QString& bundleID, ScriptRunner& runner);
// The front tab's title, trimmed; no value when there is no script or nothing but white space.
std::optional<QString> currentPageTitle(const QString& bundleID, ScriptRunner& runner);
// The address and title scripts for a browser.
std::optional<QString> script(const QString& bundleID);
std::optional<QString> titleScript(const QString& bundleID);
// Runs one script: its standard output when that is non-empty valid UTF-8, the empty text when
// the script printed nothing; no value when it could not run, timed out, printed invalid UTF-8
// or too much.
std::optional<QString> runOSAScript(const QString& script, ScriptRunner& runner);
} // namespace BrowserURLProvider

namespace BrowserSelectionProvider {
// The text selected in the front tab, trimmed; no value when there is none.
std::optional<QString> currentSelectionText(const QString& bundleID, ScriptRunner& runner);
// The selection script for a browser (none for Firefox).
std::optional<QString> script(const QString& bundleID);
} // namespace BrowserSelectionProvider

// Where no script runner can ask a browser (Linux), its window says which page is in front:
// browsers title their windows with the page's title followed by their own name.
namespace BrowserWindow {
// The page title in a browser window's title: the window title without the browser's own
// suffix, trimmed; no value when the title ends with no known browser's suffix or nothing is
// left of it.
std::optional<QString> pageTitle(const QString& windowTitle);
} // namespace BrowserWindow
