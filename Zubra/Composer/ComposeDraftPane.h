#pragma once
// The composer's left pane for one draft: name and task, the Template menu and the import button,
// the count of included entries and sources, the entry list, and a footer with the composer's
// notice and the Cleanup menu. It presents the trim, import and save-template sheets. Editors are
// refreshed from the store only where their value differs, and write to the store only on the
// user's edits.

#include "Zubra/Composer/ClampedLabel.h"
#include "Zubra/Composer/ComposerSheets.h"
#include "Zubra/Composer/ComposerState.h"
#include "ZubraCore/Library/ContextDraft.h"
#include "ZubraCore/Library/ModelProfile.h"

#include <QPointer>
#include <QUuid>
#include <QWidget>
#include <optional>

class ComposeEntryList;
struct ComposeEntryActions;
class DraftEntriesModel;
class QBoxLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QStackedWidget;
class QTimer;
class QToolButton;
class Store;

class ComposeDraftPane final : public QWidget
{
    Q_OBJECT

public:
    ComposeDraftPane(Store& store, ComposerState& state, ComposerServices services, QWidget* parent = nullptr);

    void setDraftID(const QUuid& id);
    void refreshNow();

    // Parts and commands, for tests and the surface export.
    QLineEdit* nameField() const { return m_name; }
    QPlainTextEdit* taskField() const { return m_task; }
    QLabel* captionLabel() const { return m_caption; }
    ClampedLabel* noticeLabel() const { return m_notice; }
    QLabel* noticeSymbol() const { return m_noticeSymbol; }
    QLabel* emptySymbol() const { return m_emptySymbol; }
    ComposeEntryList* entryList() const { return m_list; }
    QMenu* templateMenu() const { return m_templateMenu; }
    QMenu* cleanupMenu() const { return m_cleanupMenu; }
    bool showsEmptyState() const;
    QString emptyHint() const;
    static QString captionText(qsizetype included, qsizetype sources);

    void openTrimSheet(const QUuid& entryID);
    void openImportSheet();
    void openSaveTemplateSheet();
    EntryTrimSheet* trimSheet() const { return m_trimSheet; }
    ImportSheet* importSheet() const { return m_importSheet; }
    SaveTemplateSheet* saveTemplateSheet() const { return m_saveTemplateSheet; }
    const std::optional<QUuid>& editingEntryID() const { return m_editingEntryID; }
    const QString& importText() const { return m_importText; }
    const QString& newTemplateName() const { return m_newTemplateName; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The steps of building the pane, top to bottom, then its connections.
    QWidget* buildHeader();
    QWidget* buildEntries();
    ComposeEntryActions rowActions();
    QWidget* buildFooter();
    void connectEditors();
    void followStore();
    void clearEachNoticeInTime();

    std::optional<ContextDraft> draft() const;
    void scheduleRefresh();
    void rebuildTemplateMenu();
    void updateFooter();
    void updateSymbols();
    void updateTaskHeight();
    void updateArrangement();
    void setNotice(const std::optional<QString>& notice);
    ModelProfile profile() const;

    Store& m_store;
    ComposerState& m_state;
    ComposerServices m_services;
    QUuid m_draftID;
    DraftEntriesModel* m_entries = nullptr;
    QTimer* m_refreshTimer = nullptr;
    bool m_writingTask = false;

    QStackedWidget* m_stack = nullptr;
    QLineEdit* m_name = nullptr;
    QPlainTextEdit* m_task = nullptr;
    QBoxLayout* m_headerRow = nullptr;
    QWidget* m_headerActions = nullptr;
    QToolButton* m_templateButton = nullptr;
    QToolButton* m_importButton = nullptr;
    QToolButton* m_cleanupButton = nullptr;
    QMenu* m_templateMenu = nullptr;
    QLabel* m_caption = nullptr;
    QStackedWidget* m_entriesStack = nullptr;
    ComposeEntryList* m_list = nullptr;
    QWidget* m_emptyState = nullptr;
    QLabel* m_emptySymbol = nullptr;
    QLabel* m_emptyHint = nullptr;
    QLabel* m_noticeSymbol = nullptr;
    ClampedLabel* m_notice = nullptr;
    QMenu* m_cleanupMenu = nullptr;
    QAction* m_removeDuplicates = nullptr;
    QAction* m_removeExcluded = nullptr;

    std::optional<QUuid> m_editingEntryID;
    QString m_editingText;
    QString m_importText;
    QString m_newTemplateName;
    QPointer<EntryTrimSheet> m_trimSheet;
    QPointer<ImportSheet> m_importSheet;
    QPointer<SaveTemplateSheet> m_saveTemplateSheet;
};
