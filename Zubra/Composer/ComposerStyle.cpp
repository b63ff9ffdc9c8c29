#include "Zubra/Composer/ComposerStyle.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace ComposerStyle {

QColor red()
{
    return QColor(0xD7, 0x26, 0x1E);
}

QColor orange()
{
    return QColor(0xE0, 0x7B, 0x00);
}

QFont monospaced()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
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
    font.setPointSizeF(font.pointSizeF() * 0.85 * scale);
    label->setFont(font);
    setTextColor(label, std::nullopt);
    return label;
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

QWidget* symbolLabel(QStyle::StandardPixmap icon, const QString& text, const QColor& color)
{
    auto* holder = new QWidget;
    auto* row = new QHBoxLayout(holder);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    auto* image = new QLabel;
    image->setPixmap(QApplication::style()->standardIcon(icon).pixmap(12, 12));
    auto* label = captionLabel(text);
    QFont font = label->font();
    font.setWeight(QFont::DemiBold);
    label->setFont(font);
    setTextColor(label, color);
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

QToolButton* menuButton(const QString& text, QStyle::StandardPixmap icon)
{
    auto* button = new QToolButton;
    button->setText(text);
    button->setIcon(QApplication::style()->standardIcon(icon));
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

void setTextColor(QLabel* label, const std::optional<QColor>& color)
{
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, color ? *color : p.color(QPalette::PlaceholderText));
    label->setPalette(p);
}

} // namespace ComposerStyle
