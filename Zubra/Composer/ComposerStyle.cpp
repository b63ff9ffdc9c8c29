#include "Zubra/Composer/ComposerStyle.h"

#include "Zubra/Composer/ComposerAccessible.h"

#include <QApplication>
#include <QFocusFrame>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

class FocusRing final : public QFocusFrame
{
public:
    using QFocusFrame::QFocusFrame;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        ComposerStyle::paintFocusRing(painter, QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), palette());
    }
};

} // namespace

namespace ComposerStyle {

namespace {
constexpr double captionScale = 0.85; // of the body font
} // namespace

QColor red()
{
    return QColor(0xD7, 0x26, 0x1E);
}

QColor orange()
{
    return QColor(0xE0, 0x7B, 0x00);
}

QColor secondary(const QPalette& palette)
{
    return palette.color(QPalette::PlaceholderText);
}

QColor tertiary(const QPalette& palette)
{
    QColor color = secondary(palette);
    color.setAlphaF(0.7f);
    return color;
}

QFont monospaced()
{
    return monospaced(QFontDatabase::systemFont(QFontDatabase::FixedFont));
}

QFont monospaced(const QFont& desktopFixed)
{
    QFont font = desktopFixed;
    if (!QFontInfo(font).fixedPitch()) {
        font = QFont(u"monospace"_s);
        font.setStyleHint(QFont::Monospace);
        font.setFixedPitch(true);
    }
    font.setPixelSize(12);
    return font;
}

QLabel* headlineLabel(const QString& text)
{
    auto* label = new QLabel(text);
    QFont font = label->font();
    font.setWeight(QFont::DemiBold);
    label->setFont(font);
    return label;
}

QLabel* captionLabel(const QString& text, double scale)
{
    auto* label = new QLabel(text);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * captionScale * scale);
    label->setFont(font);
    setTextColor(label, std::nullopt);
    return label;
}

void useCaptionFont(QWidget* widget)
{
    QFont font = widget->font();
    font.setPointSizeF(font.pointSizeF() * captionScale);
    widget->setFont(font);
}

QLabel* secondaryLabel(const QString& text)
{
    auto* label = new QLabel(text);
    setTextColor(label, std::nullopt);
    return label;
}

QStackedWidget* paneStack(QWidget* pane, const QString& emptyText)
{
    auto* outer = new QVBoxLayout(pane);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* stack = new QStackedWidget;
    outer->addWidget(stack);
    auto* empty = secondaryLabel(emptyText);
    empty->setAlignment(Qt::AlignCenter);
    stack->addWidget(empty);
    return stack;
}

QTimer* coalescingTimer(QObject* owner, std::function<void()> refresh)
{
    auto* timer = new QTimer(owner);
    timer->setSingleShot(true);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, owner, std::move(refresh));
    return timer;
}

QWidget* symbolLabel(const QIcon& icon, const QString& text, const QColor& color)
{
    auto* holder = new QWidget;
    auto* row = new QHBoxLayout(holder);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    auto* image = new QLabel;
    auto* label = captionLabel(text);
    QFont font = label->font();
    font.setWeight(QFont::DemiBold);
    label->setFont(font);
    setTextColor(label, color);
    const int side = label->fontMetrics().height();
    image->setPixmap(icon.pixmap(QSize(side, side), holder->devicePixelRatioF()));
    row->addWidget(image);
    row->addWidget(label);
    return holder;
}

QPushButton* smallButton(const QString& text)
{
    auto* button = new QPushButton(text);
    QFont font = button->font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    button->setFont(font);
    button->setAutoDefault(false);
    return button;
}

QToolButton* menuButton(const QString& text)
{
    auto* button = new ComposerMenuButton(text);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setPopupMode(QToolButton::InstantPopup);
    QFont font = button->font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    button->setFont(font);
    return button;
}

QFrame* divider()
{
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    return line;
}

void paintFocusRing(QPainter& painter, const QRectF& rect, const QPalette& palette)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette.color(QPalette::Highlight), 2.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(rect.adjusted(1, 1, -1, -1), 4, 4);
    painter.restore();
}

void showFocusRings(QWidget* root, QList<QWidget*> exceptions)
{
    // The ring lives beside the control it marks, so it goes when that control's parent goes;
    // the next focus change makes a new one.
    auto ring = std::make_shared<QPointer<FocusRing>>();
    QObject::connect(qApp, &QApplication::focusChanged, root, [root, ring, exceptions](QWidget*, QWidget* now) {
        bool marked = now && root->isAncestorOf(now);
        for (QWidget* exception : exceptions)
            marked = marked && exception != now && !exception->isAncestorOf(now);
        if (!*ring && !marked)
            return;
        if (!*ring)
            *ring = new FocusRing(root);
        (*ring)->setWidget(marked ? now : nullptr);
    });
}

void setTextColor(QLabel* label, const std::optional<QColor>& color)
{
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, color ? *color : p.color(QPalette::PlaceholderText));
    label->setPalette(p);
}

} // namespace ComposerStyle
