#pragma once
// The small modal sheet in which the user types one name (a new group, a renamed group).
// The sheet only edits the text: the presenter owns the name, judges it and closes the sheet.
// Return reaches the confirming button only (the default button), so one press commits once;
// Escape and the window's close button ask the presenter to cancel instead of closing.

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

class NameSheet : public QDialog
{
    Q_OBJECT

public:
    NameSheet(const QString& title, const QString& actionTitle, const QString& name, QWidget* parent = nullptr);

    QString name() const;
    // Replaces the text (the presenter's copy changed); no nameEdited() follows.
    void setName(const QString& name);

    // A name is valid when something is left after trimming white space and line breaks.
    static bool isValidName(const QString& name);

    QLineEdit* field() const { return m_field; }
    QPushButton* cancelButton() const { return m_cancel; }
    QPushButton* actionButton() const { return m_action; }

    // Closes the sheet; only the presenter calls this.
    void dismiss();

    // Escape and the window's close button land here: they ask, the presenter decides.
    void reject() override;
    // accept() is not used: the confirming button goes through commitIfValid().
    void accept() override;

signals:
    void nameEdited(const QString& name);
    void cancelRequested();
    void commitRequested();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void commitIfValid();
    void updateAction();

    QLineEdit* m_field = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_action = nullptr;
};
