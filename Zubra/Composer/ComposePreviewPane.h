#pragma once
// The composer's right pane: the draft rendered into prompt text, its layout and model pickers, the
// token meter against the model's budget with the two remedies when it is over, and the copy and
// export commands. It keeps no copy of the draft: it looks the draft up in the store whenever the
// draft, the library or the preamble switch changes, and writes only from the user's actions.

#include "Zubra/Composer/ComposerState.h"
#include "ZubraCore/Composition/ComposedContext.h"
#include "ZubraCore/Composition/CompositionSession.h"
#include "ZubraCore/Library/ContextDraft.h"

#include <QPointer>
#include <QUuid>
#include <QWidget>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QMessageBox;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTimer;
class Store;

class ComposePreviewPane final : public QWidget
{
    Q_OBJECT

public:
    ComposePreviewPane(Store& store, ComposerState& state, ComposerServices services, QWidget* parent = nullptr);

    void setDraftID(const QUuid& id);

    // The commands, also for tests.
    void copyPrompt();
    void reduceToFit();
    void copySplit();
    void exportPrompt();

    // What the pane shows, for tests and the surface export.
    std::optional<ComposedContext> composed() const { return m_composed; }
    const std::optional<QString>& budgetFeedback() const { return m_budgetFeedback; }
    bool isOverBudget() const;
    QString meterText() const;
    QComboBox* templatePicker() const { return m_templatePicker; }
    QComboBox* modelPicker() const { return m_modelPicker; }
    QPlainTextEdit* previewText() const { return m_preview; }
    QPushButton* copyButton() const { return m_copyButton; }
    QPushButton* exportButton() const { return m_exportButton; }
    QPushButton* reduceButton() const { return m_reduceButton; }
    QPushButton* splitButton() const { return m_splitButton; }
    QLabel* exportErrorLabel() const { return m_exportErrorLabel; }
    // Composes now instead of on the next turn of the event loop.
    void refreshNow();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void scheduleRefresh();
    std::optional<ContextDraft> draft() const;
    std::optional<QString> preamble() const;
    void flashCopied();
    void fitCopyButton();
    QIcon copyIcon(bool copied) const;
    void showBudgetFeedback(const QString& text);
    void showText(const QString& text);
    void updatePickers(const ContextDraft& draft);
    void updateMeter();
    void updateActions();
    void updateArrangement();
    QWidget* buildControls();
    void arrangeControls(bool narrow);

    Store& m_store;
    ComposerState& m_state;
    ComposerServices m_services;
    QUuid m_draftID;
    ContextComposer::CompositionSession m_session;
    std::optional<ComposedContext> m_composed;
    QString m_shownText; // what the preview holds
    qint64 m_budget = 0;
    std::optional<QString> m_budgetFeedback;
    QPointer<QMessageBox> m_alert;
    QTimer* m_refreshTimer = nullptr;

    QStackedWidget* m_stack = nullptr;
    QWidget* m_controls = nullptr;
    class QGridLayout* m_controlsGrid = nullptr;
    bool m_narrow = false;
    int m_labelledPreambleWidth = 0; // the switch with its label, as the wide arrangement shows it
    QLabel* m_templateTitle = nullptr;
    QLabel* m_modelTitle = nullptr;
    QLabel* m_preambleTitle = nullptr;
    QComboBox* m_templatePicker = nullptr;
    QComboBox* m_modelPicker = nullptr;
    QCheckBox* m_preambleBox = nullptr;
    QLabel* m_countLabel = nullptr;
    QWidget* m_overBudget = nullptr;
    QProgressBar* m_bar = nullptr;
    QWidget* m_remedies = nullptr;
    QPushButton* m_reduceButton = nullptr;
    QPushButton* m_splitButton = nullptr;
    QPlainTextEdit* m_preview = nullptr;
    QPushButton* m_copyButton = nullptr;
    QPushButton* m_exportButton = nullptr;
    QLabel* m_exportErrorLabel = nullptr;
};
