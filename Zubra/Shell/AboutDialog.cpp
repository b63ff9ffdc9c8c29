#include "Zubra/Shell/AboutDialog.h"

#include "Zubra/Shell/AppIcon.h"
#include "Zubra/Shell/BundleInfo.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int iconSide = 64;
constexpr int textWidth = 320;
} // namespace

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("TessellonAboutDialog"));
    setWindowTitle(windowTitleText);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 20, 24, 16);
    column->setSpacing(8);

    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon::icon().pixmap(QSize(iconSide, iconSide), devicePixelRatioF()));
    icon->setAlignment(Qt::AlignHCenter);
    column->addWidget(icon);

    const auto line = [this, column](const QString& text, qreal scale, bool bold, bool wrap) {
        auto* label = new QLabel(text, this);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignHCenter);
        label->setWordWrap(wrap);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        QFont font = label->font();
        if (font.pointSizeF() > 0)
            font.setPointSizeF(font.pointSizeF() * scale);
        else
            font.setPixelSize(qRound(font.pixelSize() * scale));
        font.setBold(bold);
        label->setFont(font);
        if (wrap)
            label->setFixedWidth(textWidth);
        column->addWidget(label, 0, Qt::AlignHCenter);
        return label;
    };
    line(QStringLiteral("Tessellon"), 1.5, true, false)->setObjectName(QStringLiteral("name"));
    line(versionLine(), 1.0, false, false)->setObjectName(QStringLiteral("version"));
    column->addSpacing(4);
    line(summary, 1.0, false, true)->setObjectName(QStringLiteral("summary"));
    column->addSpacing(4);
    line(copyright, 0.9, false, false)->setObjectName(QStringLiteral("copyright"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    buttons->button(QDialogButtonBox::Close)->setDefault(true);
    column->addSpacing(8);
    column->addWidget(buttons);
    // Wide enough for the title bar to show the whole title; a fixed size, so the window
    // manager offers no maximise button.
    setMinimumWidth(textWidth + 48);
    column->setSizeConstraint(QLayout::SetFixedSize);
}

QString AboutDialog::versionLine()
{
    return QStringLiteral("Version ") + BundleInfo::shortVersionString + QStringLiteral(" (")
        + BundleInfo::bundleVersion + QLatin1Char(')');
}
