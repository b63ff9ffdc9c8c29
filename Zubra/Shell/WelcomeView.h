#pragma once
// The first-run sheet: the brand mark with a greeting, three steps (grant access, capture,
// compose) and "Get Started". It keeps no state: the library window builds it anew each time.

#include <QString>
#include <QWidget>
#include <functional>

class QDialog;
class QLabel;
class QPushButton;
class ShellActions;

class WelcomeView final : public QWidget
{
    Q_OBJECT

public:
    static inline const QString title = QStringLiteral("Welcome to Tessellon");
    static inline const QString subtitle
        = QStringLiteral("Capture useful text with its source, then compose focused prompts.");
    static inline const QString accessStepTitle = QStringLiteral("Grant access");
    static inline const QString accessStepDetail
        = QStringLiteral("Turn on your desktop's accessibility support so Tessellon can read selected text.");
    static inline const QString accessButtonTitle = QStringLiteral("Turn On Accessibility");
    static inline const QString captureStepTitle = QStringLiteral("Select and capture");
    static inline const QString composeStepTitle = QStringLiteral("Compose prompts");
    static inline const QString composeStepDetail = QStringLiteral(
        "Choose a capture in your library and click Add to Prompt. Choose Prompt in the sidebar, then Copy Prompt "
        "or Export. Tessellon estimates tokens.");
    static inline const QString getStartedTitle = QStringLiteral("Get Started");
    // The sheet's width: it opens at the ideal one and gives way down to the minimum.
    static constexpr int sheetMinimumWidth = 440;
    static constexpr int sheetIdealWidth = 500;

    // needsAccessibility: the access step offers its button. The shell may be nullptr (the
    // off-screen export), and the button then does nothing.
    WelcomeView(bool needsAccessibility, const QString& hotkeyDisplay, ShellActions* shell, QWidget* parent = nullptr);

    // Presents the sheet on the window (window-modal), or brings forward the one already open
    // there: a window never shows two. The sheet has the keyboard, so Return answers "Get
    // Started". dismissed runs when the sheet closes.
    static QDialog* presentSheet(QWidget* window, ShellActions& shell, std::function<void()> dismissed);

    // "Select text in another app, then press " + the shortcut + " to save it with its source
    // when available."
    static QString captureStepDetail(const QString& hotkeyDisplay);

    QPushButton* getStartedButton() const { return m_getStarted; }
    // nullptr when access is not needed.
    QPushButton* accessibilityButton() const { return m_accessibility; }

signals:
    // "Get Started" was pressed: the presenter closes the sheet.
    void dismissRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* step(const QString& title, const QString& detail, int symbol, bool withButton);

    ShellActions* m_shell;
    QPushButton* m_getStarted = nullptr;
    QPushButton* m_accessibility = nullptr;
};
