#include "Zubra/Shell/ShortcutRecorder.h"

#include "Platform/KeyLayout.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>

namespace {

bool isModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Control:
    case Qt::Key_Shift:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
        return true;
    default:
        return false;
    }
}

} // namespace

ShortcutRecorder::ShortcutRecorder(HotKeyCombo combo, std::function<bool(const HotKeyCombo&)> tryCombo,
    std::shared_ptr<KeyLayout> layout, std::optional<QString> buttonTitle, QWidget* parent)
    : QWidget(parent)
    , m_combo(combo)
    , m_tryCombo(std::move(tryCombo))
    , m_layout(std::move(layout))
    , m_buttonTitle(std::move(buttonTitle))
{
    m_stack = new QStackedWidget(this);
    m_button = new QPushButton(m_stack);
    m_button->setToolTip(QStringLiteral("Click, then press your new shortcut"));
    connect(m_button, &QPushButton::clicked, this, &ShortcutRecorder::startRecording);
    m_stack->addWidget(m_button);

    auto* waiting = new QWidget(m_stack);
    auto* row = new QHBoxLayout(waiting);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    auto* spinner = new QProgressBar(waiting);
    spinner->setRange(0, 0);
    spinner->setTextVisible(false);
    spinner->setFixedSize(48, 10);
    auto* prompt = new QLabel(QStringLiteral("Press a shortcut\u2026"), waiting);
    prompt->setForegroundRole(QPalette::PlaceholderText);
    row->addWidget(spinner, 0, Qt::AlignVCenter);
    row->addWidget(prompt, 0, Qt::AlignVCenter);
    row->addStretch();
    m_stack->addWidget(waiting);

    // The row keeps the button's own size, however wide the form is.
    m_button->setMinimumWidth(160);
    m_stack->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_stack->setFixedHeight(m_button->sizeHint().height());
    auto* layoutBox = new QHBoxLayout(this);
    layoutBox->setContentsMargins(0, 0, 0, 0);
    layoutBox->addWidget(m_stack);
    layoutBox->addStretch();
    refreshButton();
}

ShortcutRecorder::~ShortcutRecorder()
{
    stopRecording();
}

ShortcutRecorder::Decision ShortcutRecorder::decide(
    int qtKey, std::optional<quint32> virtualKeyCode, quint32 modsCarbon)
{
    if (qtKey == Qt::Key_Escape || virtualKeyCode == escapeKeyCode)
        return Decision::cancel;
    // The window manager's close key, whatever the layout calls it.
    if ((qtKey == Qt::Key_F4 || virtualKeyCode == f4KeyCode) && (modsCarbon & recordedModifiers) == HotKeyCombo::option)
        return Decision::closeWindow;
    if (isModifierKey(qtKey) || !virtualKeyCode || (modsCarbon & recordedModifiers) == 0)
        return Decision::keepWaiting;
    return Decision::offer;
}

void ShortcutRecorder::refreshButton()
{
    m_button->setText(m_buttonTitle ? *m_buttonTitle : m_combo.display(*m_layout));
    m_stack->setCurrentIndex(m_recording ? 1 : 0);
}

void ShortcutRecorder::startRecording()
{
    m_recording = true;
    if (m_signError) {
        m_signError.reset();
        emit signErrorChanged();
    }
    qApp->installEventFilter(this);
    grabKeyboard();
    refreshButton();
    emit recordingChanged(true);
}

void ShortcutRecorder::stopRecording()
{
    if (!m_recording)
        return;
    releaseKeyboard();
    qApp->removeEventFilter(this);
    m_recording = false;
    refreshButton();
    emit recordingChanged(false);
}

bool ShortcutRecorder::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_recording)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // Accepted, the press comes to the focus widget as a key press (filtered below)
        // instead of triggering a menu shortcut.
        event->accept();
        return true;
    case QEvent::KeyPress:
        handleKeyPress(static_cast<QKeyEvent*>(event));
        return true;
    case QEvent::KeyRelease:
        return true;
    default:
        return QWidget::eventFilter(watched, event);
    }
}

void ShortcutRecorder::handleKeyPress(QKeyEvent* event)
{
    const std::optional<quint32> code = m_layout->virtualKeyCode(event->nativeScanCode());
    const quint32 mods = HotKeyCombo::carbonMods(event->modifiers());
    switch (decide(event->key(), code, mods)) {
    case Decision::cancel:
        stopRecording();
        return;
    case Decision::closeWindow:
        stopRecording();
        window()->close();
        return;
    case Decision::keepWaiting:
        return;
    case Decision::offer:
        break;
    }
    const HotKeyCombo offered {*code, mods & recordedModifiers};
    if (const auto why = offered.whyUnusable(*m_layout)) {
        m_signError = *why;
        emit signErrorChanged();
    } else if (m_tryCombo(offered)) {
        m_combo = offered;
        emit comboChanged(offered);
    } else {
        m_signError = QString::fromUtf16(u"\u201c") + offered.display(*m_layout)
            + QString::fromUtf16(u"\u201d is already in use by another app.");
        emit signErrorChanged();
    }
    stopRecording();
}

void ShortcutRecorder::hideEvent(QHideEvent* event)
{
    stopRecording();
    QWidget::hideEvent(event);
}
