#pragma once
// The shortcut row of the settings: a button naming the capture shortcut; pressed, it waits for
// the next key press of the application and offers it to the hotkey manager. Escape cancels; a
// key without Ctrl, Alt, Shift or Super, and a modifier key pressed on its own, keep it waiting.
// While it waits it holds the keyboard, so that no key reaches anything else, in this program
// or another one: a combination another program has taken comes here and is refused as taken.
// Combinations that cannot be the capture shortcut (HotKeyCombo::whyUnusable) are refused with
// the reason. Alt+F4, which the held keyboard keeps from the window manager, closes the window
// as it would anywhere else.

#include "Zubra/Widgets/HotKeyCombo.h"

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class KeyLayout;
class QKeyEvent;
class QLabel;
class QPushButton;
class QStackedWidget;

class ShortcutRecorder final : public QWidget
{
    Q_OBJECT

public:
    static constexpr quint32 escapeKeyCode = 53;
    static constexpr quint32 recordedModifiers
        = HotKeyCombo::control | HotKeyCombo::option | HotKeyCombo::shift | HotKeyCombo::command;

    // What one key press does while recording.
    enum class Decision { cancel, closeWindow, keepWaiting, offer };
    static Decision decide(int qtKey, std::optional<quint32> virtualKeyCode, quint32 modsCarbon);
    static constexpr quint32 f4KeyCode = 118;

    // tryCombo: offers a combination, true when it was taken. buttonTitle: a fixed title instead
    // of the combination's display (the off-screen export).
    ShortcutRecorder(HotKeyCombo combo, std::function<bool(const HotKeyCombo&)> tryCombo,
        std::shared_ptr<KeyLayout> layout, std::optional<QString> buttonTitle = std::nullopt,
        QWidget* parent = nullptr);
    ~ShortcutRecorder() override;

    HotKeyCombo combo() const { return m_combo; }
    bool isRecording() const { return m_recording; }
    std::optional<QString> signError() const { return m_signError; }
    QPushButton* button() const { return m_button; }

    void startRecording();
    void stopRecording();

signals:
    void signErrorChanged();
    void comboChanged(const HotKeyCombo& combo);
    void recordingChanged(bool recording);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void handleKeyPress(QKeyEvent* event);
    void refreshButton();

    HotKeyCombo m_combo;
    std::function<bool(const HotKeyCombo&)> m_tryCombo;
    std::shared_ptr<KeyLayout> m_layout;
    std::optional<QString> m_buttonTitle;
    std::optional<QString> m_signError;
    bool m_recording = false;
    QStackedWidget* m_stack = nullptr;
    QPushButton* m_button = nullptr;
};
