#include "Zubra/Shell/WelcomeView.h"

#include "Zubra/Shell/BrandMark.h"
#include "Zubra/Widgets/FocusRing.h"
#include "Zubra/Widgets/ShellActions.h"
#include "Zubra/Widgets/Symbols.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int markSide = 44;
constexpr int symbolColumn = 28;
constexpr int symbolSide = 20;

QFont sized(const QFont& base, int pixelSize, QFont::Weight weight)
{
    QFont font = base;
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

QLabel* label(const QString& text, const QFont& font, bool secondary, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    if (secondary) {
        QPalette pal = label->palette();
        QColor color = pal.color(QPalette::WindowText);
        color.setAlphaF(0.68f);
        pal.setColor(QPalette::WindowText, color);
        label->setPalette(pal);
    }
    return label;
}
} // namespace

WelcomeView::WelcomeView(bool needsAccessibility, const QString& hotkeyDisplay, ShellActions* shell, QWidget* parent)
    : QWidget(parent)
    , m_shell(shell)
{
    setObjectName(QStringLiteral("WelcomeView"));
    setMinimumWidth(sheetMinimumWidth);
    const QFont base = font();

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(20);

    auto* header = new QHBoxLayout;
    header->setSpacing(12);
    header->addWidget(new TessellonMarkView(markSide, this), 0, Qt::AlignVCenter);
    auto* greeting = new QVBoxLayout;
    greeting->setSpacing(3);
    greeting->addWidget(label(title, sized(base, 17, QFont::DemiBold), false, this));
    greeting->addWidget(label(subtitle, sized(base, 12, QFont::Normal), true, this));
    header->addLayout(greeting, 1);
    column->addLayout(header);

    column->addWidget(step(accessStepTitle, accessStepDetail, int(Symbols::Symbol::handRaised), needsAccessibility));
    column->addWidget(
        step(captureStepTitle, captureStepDetail(hotkeyDisplay), int(Symbols::Symbol::textViewfinder), false));
    column->addWidget(step(composeStepTitle, composeStepDetail, int(Symbols::Symbol::textBubble), false));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_getStarted = new QPushButton(getStartedTitle, this);
    m_getStarted->setDefault(true);
    m_getStarted->setAutoDefault(true);
    // The prominent button: filled with the accent colour.
    QPalette accent = m_getStarted->palette();
    accent.setColor(QPalette::Button, accent.color(QPalette::Highlight));
    accent.setColor(QPalette::ButtonText, accent.color(QPalette::HighlightedText));
    m_getStarted->setPalette(accent);
    buttons->addWidget(m_getStarted);
    column->addLayout(buttons);
    column->addStretch(1);

    // The accent filling hides the style's own focus mark: a ring around the focused control.
    new FocusRing(this);

    connect(m_getStarted, &QPushButton::clicked, this, [this] {
        emit dismissRequested();
        if (auto* dialog = qobject_cast<QDialog*>(window()))
            dialog->accept();
    });
    if (m_accessibility)
        connect(m_accessibility, &QPushButton::clicked, this, [this] {
            if (m_shell)
                m_shell->openAccessibilitySettings();
        });
    resize(sheetIdealWidth, heightForWidth(sheetIdealWidth));
}

namespace {
// Keeps the keyboard on the sheet: whenever its window becomes active (a window manager may
// activate the window after the sheet, or on a click), the sheet is activated in its place.
class SheetFocus final : public QObject
{
public:
    SheetFocus(QWidget* window, QDialog* sheet)
        : QObject(sheet)
        , m_sheet(sheet)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::WindowActivate && m_sheet->isVisible()) {
            QTimer::singleShot(0, m_sheet, [sheet = m_sheet] {
                sheet->raise();
                sheet->activateWindow();
            });
        }
        return false;
    }

private:
    QDialog* m_sheet;
};
} // namespace

QDialog* WelcomeView::presentSheet(QWidget* window, ShellActions& shell, std::function<void()> dismissed)
{
    static const QString sheetName = QStringLiteral("WelcomeSheet");
    for (QDialog* open : window->findChildren<QDialog*>(sheetName, Qt::FindDirectChildrenOnly)) {
        if (open->isVisible()) {
            open->raise();
            open->activateWindow();
            return open;
        }
    }
    auto* sheet = new QDialog(window);
    sheet->setObjectName(sheetName);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowTitle(title);
    auto* layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* welcome = new WelcomeView(!shell.isTrusted(), shell.hotkeyDisplay(), &shell, sheet);
    layout->addWidget(welcome);
    // "Get Started" accepts the sheet itself.
    QObject::connect(sheet, &QDialog::finished, sheet, [dismissed = std::move(dismissed)] {
        if (dismissed)
            dismissed();
    });
    // The ideal width, and every wrapped text gets the lines it needs (a new window would
    // otherwise be held to two thirds of a small or scaled screen), inside the screen's
    // available area.
    const int width = qMax(sheet->sizeHint().width(), WelcomeView::sheetIdealWidth);
    QSize size(width, sheet->layout()->totalHeightForWidth(width));
    if (const QScreen* screen = window->screen())
        size = size.boundedTo(screen->availableGeometry().size());
    sheet->resize(size);
    new SheetFocus(window, sheet);
    sheet->open();
    welcome->getStartedButton()->setFocus(Qt::ActiveWindowFocusReason);
    sheet->raise();
    sheet->activateWindow();
    return sheet;
}

QString WelcomeView::captureStepDetail(const QString& hotkeyDisplay)
{
    return QStringLiteral("Select text in another app, then press ") + hotkeyDisplay
        + QStringLiteral(" to save it with its source when available.");
}

QWidget* WelcomeView::step(const QString& stepTitle, const QString& detail, int symbol, bool withButton)
{
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);

    QColor symbolColor = palette().color(QPalette::WindowText);
    symbolColor.setAlphaF(0.68f);
    auto* icon = new QLabel(row);
    icon->setFixedWidth(symbolColumn);
    icon->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    icon->setPixmap(Symbols::icon(Symbols::Symbol(symbol), symbolColor).pixmap(symbolSide, symbolSide));
    layout->addWidget(icon, 0, Qt::AlignTop);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    texts->addWidget(label(stepTitle, sized(font(), 13, QFont::Bold), false, row));
    texts->addWidget(label(detail, sized(font(), 12, QFont::Normal), true, row));
    if (withButton) {
        m_accessibility = new QPushButton(Symbols::icon(Symbols::Symbol::arrowUpForward), accessButtonTitle, row);
        m_accessibility->setAutoDefault(false);
        m_accessibility->setFont(sized(font(), 11, QFont::Normal));
        m_accessibility->setIconSize(QSize(12, 12));
        texts->addSpacing(2);
        texts->addWidget(m_accessibility, 0, Qt::AlignLeft);
    }
    layout->addLayout(texts, 1);
    return row;
}

void WelcomeView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        m_getStarted->click();
        return;
    }
    QWidget::keyPressEvent(event);
}
