#include "Zubra/Shell/SettingsView.h"

#include "Platform/KeyLayout.h"
#include "Platform/LoginItems.h"
#include "Zubra/Shell/BundleInfo.h"
#include "Zubra/Shell/HotKeyManager.h"
#include "Zubra/Shell/ShortcutRecorder.h"
#include "Zubra/Widgets/FocusRing.h"
#include "Zubra/Widgets/WrappedLines.h"
#include "ZubraCore/Support/Logging.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTextLayout>
#include <QVBoxLayout>

namespace {

// A path shown in at most two lines, wrapped by the layout (never by inserted line breaks) and
// cut in the middle when longer, and selectable: a copy gives the path's own characters,
// those the cut hides included.
class PathLabel final : public QPlainTextEdit
{
public:
    PathLabel(const QString& path, QWidget* parent)
        : QPlainTextEdit(parent)
        , m_path(path)
    {
        setObjectName(QStringLiteral("libraryPath"));
        setReadOnly(true);
        setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        setFrameShape(QFrame::NoFrame);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        setContextMenuPolicy(Qt::DefaultContextMenu);
        document()->setDocumentMargin(0);
        viewport()->setAutoFillBackground(false);
        setBackgroundVisible(false);
        setToolTip(path);
        setMinimumWidth(120);
        QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
        setPlainText(path);
        recolour();
    }

    QSize sizeHint() const override { return {320, heightForWidth(320)}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override
    {
        return fontMetrics().lineSpacing() * (linesAt(m_path, width) > 1 ? 2 : 1) + 2;
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QPlainTextEdit::resizeEvent(event);
        lay(viewport()->width());
    }

    void changeEvent(QEvent* event) override
    {
        QPlainTextEdit::changeEvent(event);
        if (event->type() == QEvent::FontChange)
            lay(viewport()->width());
        if (event->type() == QEvent::PaletteChange && !m_recolouring)
            recolour();
    }

    QMimeData* createMimeDataFromSelection() const override
    {
        const QTextCursor cursor = textCursor();
        auto* data = new QMimeData;
        data->setText(m_path.mid(pathPosition(cursor.selectionStart()),
            pathPosition(cursor.selectionEnd()) - pathPosition(cursor.selectionStart())));
        return data;
    }

private:
    // The lines the text takes in that width.
    int linesAt(const QString& text, int width) const { return wrappedLineCount(text, font(), width, 2); }

    // Where a position of the text shown falls in the path.
    qsizetype pathPosition(qsizetype shown) const
    {
        if (m_cut == 0 || shown <= m_head)
            return shown;
        return qMin(m_path.size(), shown - 1 + m_cut); // past the ellipsis, which stands for m_cut + 1 characters
    }

    void lay(int width)
    {
        // The fewest middle characters to drop so that two lines hold the rest (more dropped
        // never needs more lines).
        const auto shownWith = [this](qsizetype cut) {
            const qsizetype head = (m_path.size() - cut) / 2;
            return cut == 0 ? m_path : m_path.left(head) + QStringLiteral("\u2026") + m_path.mid(head + cut);
        };
        qsizetype cut = 0;
        if (linesAt(m_path, width) > 2) {
            qsizetype low = 1, high = m_path.size();
            while (low < high) {
                const qsizetype middle = (low + high) / 2;
                if (linesAt(shownWith(middle), width) > 2)
                    low = middle + 1;
                else
                    high = middle;
            }
            cut = low;
        }
        const qsizetype head = cut == 0 ? m_path.size() : (m_path.size() - cut) / 2;
        const QString shown = shownWith(cut);
        m_cut = cut;
        m_head = head;
        if (shown != toPlainText())
            setPlainText(shown);
        updateGeometry();
    }

    // The secondary text colour of whatever palette it is given (the export sets its own).
    void recolour()
    {
        m_recolouring = true;
        QPalette secondary = palette();
        secondary.setColor(QPalette::Text, secondary.color(QPalette::PlaceholderText));
        setPalette(secondary);
        m_recolouring = false;
    }

    QString m_path;
    bool m_recolouring = false;
    qsizetype m_head = 0;
    qsizetype m_cut = 0; // characters the ellipsis hides
};

QLabel* caption(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    label->setFont(font);
    label->setForegroundRole(QPalette::PlaceholderText);
    label->setWordWrap(true);
    return label;
}

// A caption led by a small icon.
QWidget* iconCaption(QLabel* label, QStyle::StandardPixmap icon, QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    auto* image = new QLabel(row);
    const int side = label->fontMetrics().height();
    image->setPixmap(row->style()->standardIcon(icon).pixmap(side, side));
    layout->addWidget(image, 0, Qt::AlignTop);
    layout->addWidget(label, 1);
    return row;
}

} // namespace

SettingsView::Inputs SettingsView::live(HotKeyManager& hotKeys, LoginItems& loginItems, const QString& libraryPath,
    std::optional<QString> settingsProblem)
{
    Inputs inputs;
    inputs.hotKeys = &hotKeys;
    inputs.loginItems = &loginItems;
    inputs.libraryPath = libraryPath;
    inputs.settingsProblem = std::move(settingsProblem);
    return inputs;
}

std::optional<QString> SettingsView::settingsProblemText() const
{
    if (!m_settingsProblem || m_settingsProblem->parentWidget()->isHidden())
        return std::nullopt;
    return m_settingsProblem->text();
}

SettingsView::Inputs SettingsView::snapshotOf(const SnapshotValues& values)
{
    Inputs inputs;
    inputs.snapshot = values;
    return inputs;
}

QString SettingsView::bundleVersionLine()
{
    const QString shortVersion
        = BundleInfo::shortVersionString.isEmpty() ? QStringLiteral("1.0") : BundleInfo::shortVersionString;
    const QString build = BundleInfo::bundleVersion.isEmpty() ? QStringLiteral("1") : BundleInfo::bundleVersion;
    return shortVersion + QStringLiteral(" (") + build + QLatin1Char(')');
}

QString SettingsView::versionString() const
{
    return m_inputs.snapshot ? m_inputs.snapshot->version : bundleVersionLine();
}

SettingsView::SettingsView(Inputs inputs, QWidget* parent)
    : QWidget(parent)
    , m_inputs(std::move(inputs))
{
    const bool snapshot = m_inputs.snapshot.has_value();
    if (!m_inputs.layout)
        m_inputs.layout = std::make_shared<UsKeyLayout>();
    const HotKeyCombo combo = snapshot ? HotKeyCombo::defaultCombo() : m_inputs.hotKeys->currentCombo();
    const bool launchAtLogin = snapshot ? m_inputs.snapshot->launchAtLogin
                                        : m_inputs.loginItems->status() == LoginItems::Status::enabled;
    m_libraryPath = snapshot ? m_inputs.snapshot->libraryPath : m_inputs.libraryPath;

    setMinimumSize(440, 300);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(12, 12, 12, 12);

    // Capture.
    auto* captureBox = new QGroupBox(QStringLiteral("Capture"), this);
    auto* captureForm = new QFormLayout(captureBox);
    HotKeyManager* hotKeys = m_inputs.hotKeys;
    m_recorder = new ShortcutRecorder(
        combo,
        [hotKeys](const HotKeyCombo& offered) { return hotKeys && hotKeys->registerCombo(offered); },
        m_inputs.layout, snapshot ? std::optional<QString>(m_inputs.snapshot->shortcut) : std::nullopt, captureBox);
    captureForm->addRow(QStringLiteral("Global shortcut"), m_recorder);
    m_signError = caption({}, captureBox);
    QPalette red = m_signError->palette();
    red.setColor(QPalette::WindowText, QColor(0xd0, 0x30, 0x30));
    m_signError->setPalette(red);
    m_signError->setForegroundRole(QPalette::WindowText);
    QWidget* signErrorRow = iconCaption(m_signError, QStyle::SP_MessageBoxWarning, captureBox);
    signErrorRow->setObjectName(QStringLiteral("signErrorRow"));
    captureForm->addRow(signErrorRow);
    captureForm->addRow(caption(QStringLiteral("While Tessellon is running, this shortcut saves the selected text to "
                                               "your library. Press Escape to cancel recording."),
        captureBox));
    connect(m_recorder, &ShortcutRecorder::signErrorChanged, this, &SettingsView::refreshSignError);
    if (hotKeys) {
        // The current shortcut lets go of its keys while a new one is recorded.
        connect(m_recorder, &ShortcutRecorder::recordingChanged, hotKeys,
            [hotKeys](bool recording) { recording ? hotKeys->pause() : hotKeys->resume(); });
    }
    outer->addWidget(captureBox);

    // General.
    auto* generalBox = new QGroupBox(QStringLiteral("General"), this);
    auto* generalForm = new QFormLayout(generalBox);
    m_launchToggle = new QCheckBox(QStringLiteral("Launch Tessellon at login"), generalBox);
    m_launchToggle->setChecked(launchAtLogin);
    generalForm->addRow(m_launchToggle);
    m_launchNoteLabel = caption({}, generalBox);
    QWidget* noteRow = iconCaption(m_launchNoteLabel, QStyle::SP_MessageBoxInformation, generalBox);
    noteRow->setObjectName(QStringLiteral("launchNoteRow"));
    generalForm->addRow(noteRow);
    auto* path = new PathLabel(m_libraryPath, generalBox);
    path->setFont(m_signError->font());
    generalForm->addRow(QStringLiteral("Library"), path);
    // Settings that are not kept: said here, since nothing else shows that changes are lost.
    m_settingsProblem = caption(m_inputs.settingsProblem.value_or(QString()), generalBox);
    m_settingsProblem->setPalette(red);
    m_settingsProblem->setForegroundRole(QPalette::WindowText);
    QWidget* problemRow = iconCaption(m_settingsProblem, QStyle::SP_MessageBoxWarning, generalBox);
    problemRow->setObjectName(QStringLiteral("settingsProblemRow"));
    problemRow->setVisible(!snapshot && m_inputs.settingsProblem.has_value());
    generalForm->addRow(problemRow);
    auto* versionLabel = new QLabel(QStringLiteral("Version"), generalBox);
    auto* versionValue = new QLabel(versionString(), generalBox);
    versionLabel->setForegroundRole(QPalette::PlaceholderText);
    versionValue->setForegroundRole(QPalette::PlaceholderText);
    generalForm->addRow(versionLabel, versionValue);
    outer->addWidget(generalBox);
    outer->addStretch();

    // Only the live view acts on the toggle.
    if (!snapshot)
        connect(m_launchToggle, &QCheckBox::toggled, this, &SettingsView::applyLaunchAtLogin);
    refreshSignError();
    setLaunchNote(std::nullopt);
    // The style marks a focused button faintly: a ring shows where the keyboard is.
    new FocusRing(this);
}

void SettingsView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The window opens with the keyboard on its first control, marked.
    QWidget* focus = window()->focusWidget();
    if (!focus || !isAncestorOf(focus))
        m_recorder->button()->setFocus(Qt::TabFocusReason);
}

void SettingsView::refreshSignError()
{
    const auto error = m_recorder->signError();
    m_signError->setText(error.value_or(QString()));
    m_signError->parentWidget()->setVisible(error.has_value());
}

void SettingsView::setLaunchNote(std::optional<QString> note)
{
    m_launchNote = std::move(note);
    m_launchNoteLabel->setText(m_launchNote.value_or(QString()));
    m_launchNoteLabel->parentWidget()->setVisible(m_launchNote.has_value());
}

void SettingsView::applyLaunchAtLogin(bool on)
{
    LoginItems* items = m_inputs.loginItems;
    if (!items)
        return;
    const LoginItems::Status status = items->status();
    std::optional<QString> failure;
    if (on) {
        if (status == LoginItems::Status::enabled)
            return;
        failure = items->registerMainApp();
        if (!failure) {
            setLaunchNote(items->status() == LoginItems::Status::requiresApproval ? std::optional(approvalNote)
                                                                                  : std::nullopt);
            return;
        }
    } else {
        if (status == LoginItems::Status::enabled || status == LoginItems::Status::requiresApproval)
            failure = items->unregisterMainApp();
        if (!failure) {
            setLaunchNote(std::nullopt);
            return;
        }
    }
    logMP(QStringLiteral("Launch at login update failed: ") + *failure);
    setLaunchNote(loginFailureNote);
}
