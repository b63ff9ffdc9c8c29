#pragma once
// The prompt composer for one draft, shown in the main window's detail column: the draft pane and
// the preview pane side by side, over the four values both share. "Prompt not found" stands in
// while the draft does not exist; the draft pane is disabled while the library cannot be changed.

#include "Zubra/Composer/ComposerState.h"

#include <QUuid>
#include <QWidget>

class ComposeDraftPane;
class ComposePreviewPane;
class QSplitter;
class QStackedWidget;
class Store;

class ComposeView final : public QWidget
{
    Q_OBJECT

public:
    ComposeView(Store& store, ComposerServices services, QWidget* parent = nullptr);

    void setDraftID(const QUuid& id);
    const QUuid& draftID() const { return m_draftID; }

    ComposerState& state() { return *m_state; }
    ComposeDraftPane* draftPane() const { return m_draftPane; }
    ComposePreviewPane* previewPane() const { return m_previewPane; }
    QSplitter* splitter() const { return m_splitter; }
    bool showsNotFound() const;

private:
    void refresh();

    Store& m_store;
    QUuid m_draftID;
    ComposerState* m_state = nullptr;
    QStackedWidget* m_stack = nullptr;
    QSplitter* m_splitter = nullptr;
    ComposeDraftPane* m_draftPane = nullptr;
    ComposePreviewPane* m_previewPane = nullptr;
};
