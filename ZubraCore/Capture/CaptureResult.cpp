#include "ZubraCore/Capture/CaptureResult.h"

QString CaptureError::errorDescription() const
{
    switch (m_code) {
    case Code::noSelection:
        return QStringLiteral("No text was selected in the frontmost application.");
    case Code::notTrusted:
        return QStringLiteral("Tessellon needs Accessibility permission to read selected text.");
    case Code::noFrontmostApp:
        return QStringLiteral("No frontmost application found.");
    case Code::chromePDF:
        return QString::fromUtf16(
            u"Chrome\u2019s built-in PDF viewer can\u2019t be captured programmatically. Open the PDF in "
            u"Preview (or use right-click \u2192 Copy inside Chrome), then capture again.");
    case Code::clipboardRestoreFailed:
        return QStringLiteral("Capture was not saved because Tessellon could not restore your clipboard. Copy the "
                              "original content again.");
    case Code::clipboardOwnerSilent:
        return QStringLiteral("Capture was not saved because the application that owns your clipboard is not "
                              "responding. Copy something else, then capture again.");
    case Code::clipboardTooLarge:
        return QStringLiteral("Capture was not saved because your clipboard holds more than Tessellon can save and "
                              "put back. Copy something else, then capture again.");
    case Code::passwordRefused:
        return QStringLiteral("A password field was refused. Tessellon never captures passwords.");
    }
    return {};
}
