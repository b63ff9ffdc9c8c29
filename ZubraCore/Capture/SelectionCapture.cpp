#include "ZubraCore/Capture/SelectionCapture.h"

#include "ZubraCore/Capture/BrowserScripting.h"
#include "ZubraCore/Capture/Clipboard.h"
#include "ZubraCore/Capture/LateCopyGuard.h"
#include "ZubraCore/Capture/MarkdownSerializer.h"
#include "ZubraCore/Support/Logging.h"
#include "ZubraCore/Text/TextMetrics.h"

#include <QSet>
#include <QUrl>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {
const QString unknownApp = QStringLiteral("Unknown App");

std::optional<QString> textOf(const AccessibleValue& value)
{
    if (value.kind == AccessibleValue::Kind::Text && !value.text.isEmpty())
        return value.text;
    return std::nullopt;
}
} // namespace

SelectionCapture::SelectionCapture(Services services)
    : m_services(services)
{
}

const QStringList& SelectionCapture::chromiumBundleIDs()
{
    return BrowserScripting::chromiumBundleIDs();
}

CaptureOutcome SelectionCapture::capture()
{
    if (!m_services.accessibility.isTrusted()) {
        Loggers::capture().error(QStringLiteral("Not trusted for accessibility"));
        return CaptureError::notTrusted();
    }
    const std::optional<Source> source = frontmostSource();
    if (!source) {
        Loggers::capture().error(QStringLiteral("No frontmost application"));
        return CaptureError::noFrontmostApp();
    }
    Loggers::capture().debug(QStringLiteral("Capturing from ") + source->appName + QStringLiteral(" (")
        + QString::number(source->pid) + QStringLiteral(")"));

    const AccessibleElementRef focused = focusedElement(source->pid);
    // A password field: neither the tree, nor PRIMARY, nor a copy may give its text.
    if (flagOf(focused, AccessibleAttribute::Protected))
        return refusedPassword(*source, u"the focused field holds a password"_s, false, {});
    // Nothing tells what a program without a tree shows: any mask character may be its mask.
    const bool treeless = !focused || flagOf(focused, AccessibleAttribute::StandIn);
    // A terminal where selecting is copying: a keystroke would reach the program running in it.
    const bool copyCommand = m_services.keys.hasCopyCommand();
    // The clipboard is saved before the application is asked for its selection: some take the
    // clipboard when their PRIMARY selection is read (AbiWord claims it, offering nothing).
    const Saved saved = copyCommand ? saveClipboard() : Saved {};
    // A clipboard that cannot be saved would be lost to the copy: none is made.
    const bool copying = copyCommand && saved.snapshot.complete;
    if (copyCommand && !saved.snapshot.complete)
        logMP(QStringLiteral("Capture: the clipboard could not be saved; no copy was made in ") + source->appName);

    const AXExtract ax = extractAX(focused);
    const Copy copy = copying ? copySelection(saved, *source) : Copy {saved.count, false};
    // A copy marked as a password (a password manager's): none of its text is read.
    const bool password = copy.changed && Clipboard::isMarkedAsPassword(m_services.pasteboard);
    const Copied copied = copy.changed && !password ? readCopy() : Copied {};
    const QStringList types = copy.changed ? Clipboard::availableTypes(m_services.pasteboard) : typesOf(saved.snapshot);

    // What the application put on the clipboard during the walk goes too.
    const bool takenDuringWalk = copy.preCount != saved.count;
    if ((copy.changed || takenDuringWalk) && !Clipboard::restore(saved.snapshot, m_services.pasteboard)) {
        logMP(QStringLiteral("Capture: clipboard restore failed; capture was not saved"));
        return CaptureError::clipboardRestoreFailed();
    }
    if (password)
        return refusedPassword(*source, u"the copy is marked as a password"_s, true, types);

    CaptureResult result = describedSource(*source, ax, copied);
    const qsizetype postCopyTextLength = copied.plain ? TextMetrics::count(*copied.plain) : -1;
    const QString diagnostic = diagnosticDetail(
        source->appName, source->pid, copy.changed, postCopyTextLength, ax.selectedText.has_value(), types);
    if (copy.changed)
        return refusingMask(
            withCopiedText(std::move(result), copied, ax, diagnostic), *source, {true, treeless}, types);
    if (ax.selectedText) {
        result.text = ax.selectedText->trimmed();
        return refusingMask(std::move(result), *source, {false, treeless}, types);
    }
    const QString browserID = source->bundleID.value_or(QString());
    const std::optional<QString> selection
        = BrowserSelectionProvider::currentSelectionText(browserID, m_services.scripts);
    if (selection && !selection->trimmed().isEmpty()) {
        logMP(QStringLiteral("Capture: using browser JS selection fallback for ") + source->appName);
        result.text = selection->trimmed();
        return refusingMask(std::move(result), *source, {false, treeless}, types);
    }
    logMP(QStringLiteral("Capture failed in ") + source->appName + QStringLiteral(": ") + diagnostic);
    if (copyCommand && !saved.snapshot.complete)
        return saved.snapshot.ownerSilent ? CaptureError::clipboardOwnerSilent() : CaptureError::clipboardTooLarge();
    const bool chromePDF = source->bundleID && chromiumBundleIDs().contains(*source->bundleID) && result.sourceURL
        && hasPdfPath(*result.sourceURL);
    if (chromePDF)
        return CaptureError::chromePDF();
    return CaptureError::noSelection(diagnostic);
}

std::optional<SelectionCapture::Source> SelectionCapture::frontmostSource()
{
    const std::optional<RunningApplication> app = m_services.workspace.frontmostApplication();
    if (!app)
        return std::nullopt;
    // Names and ids come from other programs' files and window properties: cut to a length no real
    // one reaches before they are stored or logged.
    Source source;
    source.pid = app->processIdentifier;
    source.appName = RunningApplication::boundedName(app->localizedName.value_or(unknownApp));
    if (app->bundleIdentifier)
        source.bundleID = RunningApplication::boundedName(*app->bundleIdentifier);
    return source;
}

SelectionCapture::Saved SelectionCapture::saveClipboard()
{
    Pasteboard& pasteboard = m_services.pasteboard;
    if (m_services.lateCopies)
        m_services.lateCopies->cancel(); // this capture's own snapshot takes over
    // A write by another program during the snapshot would make the snapshot older than the
    // count it is compared with, and the restore would overwrite the newer content: when the
    // count moved while the snapshot was taken, take it once more.
    Saved saved;
    const qint64 countBefore = Clipboard::changeCount(pasteboard);
    saved.snapshot = Clipboard::snapshot(pasteboard);
    saved.count = Clipboard::changeCount(pasteboard);
    if (saved.count != countBefore) {
        saved.snapshot = Clipboard::snapshot(pasteboard);
        saved.count = Clipboard::changeCount(pasteboard);
    }
    return saved;
}

SelectionCapture::Copy SelectionCapture::copySelection(const Saved& saved, const Source& source)
{
    Clock& clock = m_services.clock;
    // Only the copy counts as the copy, not a clipboard taken during the walk.
    Copy copy {Clipboard::changeCount(m_services.pasteboard), false};
    postCopyCommand();
    copy.changed = waitForPasteboardChange(copy.preCount, clock.now() + pollingPass);
    if (!copy.changed) {
        postCopyCommand();
        copy.changed = waitForPasteboardChange(copy.preCount, clock.now() + pollingPass);
    }
    // The application may still copy once it gets to the keystrokes: the user's clipboard must
    // not be left to that copy.
    if (!copy.changed && m_services.lateCopies)
        m_services.lateCopies->watch(saved.snapshot, copy.preCount, source.pid, source.appName);
    return copy;
}

SelectionCapture::Copied SelectionCapture::readCopy()
{
    Pasteboard& pasteboard = m_services.pasteboard;
    Copied copied;
    copied.plain = Clipboard::plainText(pasteboard);
    copied.rich = Clipboard::richAttributedString(pasteboard);
    copied.htmlTitle = Clipboard::htmlTitle(pasteboard);
    if ((!copied.plain || copied.plain->isEmpty()) && (!copied.rich || copied.rich->length() == 0)) {
        m_services.clock.sleep(rereadDelay);
        copied.plain = Clipboard::plainText(pasteboard);
        copied.rich = Clipboard::richAttributedString(pasteboard);
        copied.htmlTitle = Clipboard::htmlTitle(pasteboard);
    }
    copied.address = Clipboard::browserSourceURL(pasteboard);
    return copied;
}

QStringList SelectionCapture::typesOf(const Clipboard::PasteboardSnapshot& snapshot)
{
    // Unchanged, the clipboard still holds what the snapshot listed; its owner is not asked again.
    QStringList types;
    for (const auto& item : snapshot.items) {
        for (const auto& entry : item) {
            const QString type = entry.first.section(u'\n', 0, 0);
            if (!types.contains(type))
                types.append(type);
        }
    }
    return types;
}

CaptureResult SelectionCapture::describedSource(const Source& source, const AXExtract& ax, const Copied& copied)
{
    const QString browserID = source.bundleID.value_or(QString());
    CaptureResult result;
    result.appName = source.appName;
    result.bundleID = source.bundleID;
    result.sourceURL = ax.sourceURL;
    if (!result.sourceURL)
        result.sourceURL = copied.address;
    if (!result.sourceURL)
        result.sourceURL = BrowserURLProvider::currentURL(browserID, m_services.scripts);
    result.sourceTitle = copied.htmlTitle;
    if (!result.sourceTitle) {
        if (const auto windowTitle = m_services.workspace.activeWindowTitle())
            result.sourceTitle = BrowserWindow::pageTitle(*windowTitle);
    }
    if (!result.sourceTitle)
        result.sourceTitle = BrowserURLProvider::currentPageTitle(browserID, m_services.scripts);
    result.filePath = ax.filePath;
    if (!result.filePath)
        result.filePath = m_services.workspace.activeWindowDocument();
    return result;
}

CaptureOutcome SelectionCapture::withCopiedText(
    CaptureResult result, const Copied& copied, const AXExtract& ax, const QString& diagnostic)
{
    if (copied.plain && !copied.plain->isEmpty()) {
        result.text = copied.plain->trimmed();
    } else if (copied.rich && !copied.rich->text().trimmed().isEmpty()) {
        result.text = copied.rich->text().trimmed();
    } else if (ax.selectedText) {
        result.text = ax.selectedText->trimmed();
    } else {
        logMP(QStringLiteral("Capture: pasteboard changed but nothing readable on it: ") + diagnostic);
        return CaptureError::noSelection(diagnostic);
    }
    if (copied.rich && copied.rich->length() >= 1) {
        const QString md = MarkdownSerializer::convert(*copied.rich);
        if (!md.isEmpty()) {
            result.markdown = md;
            Loggers::capture().debug(QStringLiteral("Converted rich text to markdown"));
        }
    }
    return result;
}

CaptureOutcome SelectionCapture::refusingMask(
    CaptureOutcome outcome, const Source& source, MaskCheck check, const QStringList& types)
{
    const auto* result = std::get_if<CaptureResult>(&outcome);
    if (!result || !isPasswordMask(result->text, check.treeless))
        return outcome;
    return refusedPassword(source, u"the selection is a password field's mask"_s, check.changed, types);
}

CaptureError SelectionCapture::refusedPassword(
    const Source& source, const QString& why, bool changed, const QStringList& types)
{
    // Nothing of the text is logged, not even its length: it is the password's.
    logMP(u"Capture refused in "_s + source.appName + u": "_s + why);
    return CaptureError::passwordRefused(
        diagnosticDetail(source.appName, source.pid, changed, -1, false, types) + QStringLiteral(", protected=yes"));
}

bool SelectionCapture::isPasswordMask(const QString& text, bool treeless)
{
    static const QString masks
        = QStringLiteral("*\u00B7\u2022\u2217\u2219\u23FA\u25CF\u26AB\u2981\u2B24\u204E\u2731\uFF0A");
    const QList<uint> characters = text.trimmed().toUcs4();
    if (characters.size() < maskRepeats)
        return false;
    const uint first = characters.front();
    const bool maskCharacter
        = treeless ? isSymbolOrPunctuation(first) : first <= 0xFFFF && masks.contains(QChar(char16_t(first)));
    return maskCharacter && std::all_of(characters.cbegin(), characters.cend(), [first](uint c) { return c == first; });
}

bool SelectionCapture::isSymbolOrPunctuation(uint character)
{
    switch (QChar::category(char32_t(character))) {
    case QChar::Punctuation_Connector:
    case QChar::Punctuation_Dash:
    case QChar::Punctuation_Open:
    case QChar::Punctuation_Close:
    case QChar::Punctuation_InitialQuote:
    case QChar::Punctuation_FinalQuote:
    case QChar::Punctuation_Other:
    case QChar::Symbol_Math:
    case QChar::Symbol_Currency:
    case QChar::Symbol_Modifier:
    case QChar::Symbol_Other:
        return true;
    default:
        return false;
    }
}

AccessibleElementRef SelectionCapture::focusedElement(qint32 pid)
{
    const AccessibleElementRef application = m_services.accessibility.applicationElement(pid);
    if (!application)
        return {};
    const AccessibleValue focused = application->attribute(AccessibleAttribute::FocusedElement);
    if (focused.kind != AccessibleValue::Kind::Element)
        return {};
    return focused.element;
}

bool SelectionCapture::flagOf(const AccessibleElementRef& element, AccessibleAttribute attribute)
{
    if (!element)
        return false;
    const AccessibleValue flag = element->attribute(attribute);
    return flag.kind == AccessibleValue::Kind::Flag && flag.flag;
}

SelectionCapture::AXExtract SelectionCapture::extractAX(qint32 pid)
{
    const AccessibleElementRef focused = focusedElement(pid);
    if (flagOf(focused, AccessibleAttribute::Protected)) {
        AXExtract extract;
        extract.protectedContent = true;
        return extract;
    }
    return extractAX(focused);
}

SelectionCapture::AXExtract SelectionCapture::extractAX(const AccessibleElementRef& focused)
{
    AXExtract extract;
    if (!focused)
        return extract;
    // The first element that gives an address string settles it, even when it does not parse:
    // the address is then absent, and no ancestor is asked for another.
    std::optional<QString> urlText;
    AccessibleElementRef element = focused;
    for (int read = 1; element; ++read) {
        if (!extract.selectedText)
            extract.selectedText = textOf(element->attribute(AccessibleAttribute::SelectedText));
        if (!extract.filePath)
            extract.filePath = textOf(element->attribute(AccessibleAttribute::Document));
        if (!urlText)
            urlText = textOf(element->attribute(AccessibleAttribute::URL));
        if ((extract.selectedText && extract.filePath && urlText) || read >= maxWalkElements)
            break;
        const AccessibleValue parent = element->attribute(AccessibleAttribute::Parent);
        if (parent.kind != AccessibleValue::Kind::Element || !parent.element)
            break;
        element = parent.element;
    }
    if (urlText)
        extract.sourceURL = parsedURL(*urlText);
    return extract;
}

void SelectionCapture::postCopyCommand()
{
    m_services.keys.press(KeyInjector::Chord::Copy);
    m_services.clock.sleep(keyHold);
    m_services.keys.release(KeyInjector::Chord::Copy);
}

bool SelectionCapture::waitForPasteboardChange(qint64 preCount, Clock::TimePoint deadline)
{
    Clock& clock = m_services.clock;
    if (!(clock.now() < deadline))
        return false;
    do {
        if (Clipboard::changeCount(m_services.pasteboard) != preCount)
            return true;
        clock.sleep(pollInterval);
    } while (clock.now() < deadline);
    return false;
}

QString SelectionCapture::diagnosticTypeName(const QString& type)
{
    static const QSet<QString> known {
        PasteboardType::plainText,
        PasteboardType::utf8PlainText,
        PasteboardType::tabularText,
        PasteboardType::html,
        PasteboardType::rtf,
        PasteboardType::rtfAliases.value(0),
        PasteboardType::rtfAliases.value(1),
        PasteboardType::rtfd,
        QStringLiteral("application/pdf"),
        QStringLiteral("image/png"),
        QStringLiteral("image/tiff"),
        QStringLiteral("text/x-moz-url"),
        QStringLiteral("text/uri-list"),
    };
    return known.contains(type) ? type : QStringLiteral("other");
}

QString SelectionCapture::diagnosticDetail(const QString& appName, qint32 pid, bool changeOccurred,
    qsizetype postCopyTextLength, bool hasAXSelection, const QStringList& types)
{
    QStringList names;
    names.reserve(types.size());
    for (const QString& type : types)
        names.append(diagnosticTypeName(type));
    return QStringLiteral("app=") + appName + QStringLiteral(", pid=") + QString::number(pid)
        + QStringLiteral(", pasteboardChanged=") + (changeOccurred ? QStringLiteral("true") : QStringLiteral("false"))
        + QStringLiteral(", postCopyTextLength=") + QString::number(postCopyTextLength)
        + QStringLiteral(", axSelectedText=") + (hasAXSelection ? QStringLiteral("yes") : QStringLiteral("no"))
        + QStringLiteral(", pasteboardTypes=[") + names.join(QStringLiteral(", ")) + QStringLiteral("]");
}

std::optional<QString> SelectionCapture::parsedURL(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (text.isEmpty() || !url.isValid())
        return std::nullopt;
    return text;
}

bool SelectionCapture::hasPdfPath(const QString& url)
{
    const QString path = QUrl(url).path();
    const QString last = path.section(u'/', -1);
    const qsizetype dot = last.lastIndexOf(u'.');
    return dot > 0 && last.mid(dot + 1).toLower() == QLatin1String("pdf");
}
