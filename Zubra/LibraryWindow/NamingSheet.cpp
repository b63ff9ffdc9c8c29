#include "Zubra/LibraryWindow/NamingSheet.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

NameSheet::NameSheet(const QString& title, const QString& actionTitle, const QString& name, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(title);
    setModal(true);
    setMinimumWidth(320);
    resize(360, sizeHint().height());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(14);

    auto* heading = new QLabel(title, this);
    heading->setTextFormat(Qt::PlainText);
    QFont headingFont = heading->font();
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.25);
    headingFont.setWeight(QFont::DemiBold);
    heading->setFont(headingFont);
    layout->addWidget(heading);

    m_field = new QLineEdit(name, this);
    m_field->setPlaceholderText(u"Name"_qs);
    m_field->setAccessibleName(u"Name"_qs); // a placeholder is only the field's description
    layout->addWidget(m_field);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_cancel = new QPushButton(u"Cancel"_qs, this);
    m_cancel->setAutoDefault(false);
    m_action = new QPushButton(actionTitle, this);
    m_action->setAutoDefault(false);
    m_action->setDefault(true);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_action);
    layout->addLayout(buttons);

    // The field's returnPressed is deliberately not connected: QLineEdit lets Return through to
    // the dialog, which clicks the default button. Two paths would commit twice.
    connect(m_field, &QLineEdit::textChanged, this, &NameSheet::updateAction);
    connect(m_field, &QLineEdit::textEdited, this, &NameSheet::nameEdited);
    connect(m_cancel, &QPushButton::clicked, this, &NameSheet::cancelRequested);
    connect(m_action, &QPushButton::clicked, this, &NameSheet::commitIfValid);
    updateAction();
}

QString NameSheet::name() const
{
    return m_field->text();
}

void NameSheet::setName(const QString& name)
{
    if (m_field->text() == name)
        return;
    m_field->setText(name);
}

bool NameSheet::isValidName(const QString& name)
{
    return !name.trimmed().isEmpty();
}

void NameSheet::dismiss()
{
    QDialog::done(QDialog::Rejected);
}

void NameSheet::reject()
{
    emit cancelRequested();
}

void NameSheet::accept()
{
    commitIfValid();
}

void NameSheet::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_field->setFocus(Qt::OtherFocusReason);
}

void NameSheet::commitIfValid()
{
    if (isValidName(m_field->text()))
        emit commitRequested();
}

void NameSheet::updateAction()
{
    m_action->setEnabled(isValidName(m_field->text()));
}
