#pragma once
// The composer over a real store with one draft, shown on its own, with an in-memory pasteboard
// and a file chooser that answers what the test says.

#include "DraftFixture.h"
#include "Platform/Memory/MemoryPasteboard.h"
#include "Zubra/Composer/ComposeDraftPane.h"
#include "Zubra/Composer/ComposePreviewPane.h"
#include "Zubra/Composer/ComposeView.h"
#include "ZubraCore/Capture/Clipboard.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;

namespace {

class FakeChooser final : public ExportFileChooser
{
public:
    std::optional<QString> chooseFile(QWidget*, const QString& title, const QString& suggestedName) override
    {
        lastTitle = title;
        lastSuggestion = suggestedName;
        return answer;
    }
    void exported(const QString& path) override { exportedPaths.append(path); }
    std::optional<QString> answer;
    QStringList exportedPaths; // what the pane reported as written
    QString lastTitle;
    QString lastSuggestion;
};

struct Composer : DraftFixture
{
    QString hotkey = u"Ctrl+Alt+Super+C"_s; // what the shell answers for the shortcut
    explicit Composer(const QStringList& texts = {})
        : DraftFixture(texts)
    {
        services.pasteboard = &pasteboard;
        services.files = harness.files;
        services.chooser = chooser;
        services.templateDefaults = &harness.defaults;
        services.hotkeyDisplay = [this] { return hotkey; };
        view = std::make_unique<ComposeView>(store(), services);
        view->state().noticeLifetime = std::chrono::milliseconds(30);
        view->state().copiedLifetime = std::chrono::milliseconds(30);
        view->setDraftID(draftID);
        view->resize(1000, 640);
        view->show();
    }
    ComposeDraftPane* pane() { return view->draftPane(); }
    ComposePreviewPane* preview() { return view->previewPane(); }
    void settle()
    {
        QCoreApplication::processEvents();
        pane()->refreshNow();
        preview()->refreshNow();
    }
    QString clipboardText() { return Clipboard::plainText(pasteboard).value_or(QString()); }

    MemoryPasteboard pasteboard;
    std::shared_ptr<FakeChooser> chooser = std::make_shared<FakeChooser>();
    ComposerServices services;
    std::unique_ptr<ComposeView> view;
};

} // namespace
