#pragma once
// The composer's three modal sheets. Each edits a text its presenter owns (handed back on every
// change, so Escape or Cancel leave the typed text with the presenter) and reports confirmation
// through a callback; the presenter judges the text and closes the sheet.

#include "ZubraCore/Library/ModelProfile.h"

#include <QDialog>
#include <functional>

class QHBoxLayout;
class QLabel;
class QLineEdit;
class PastedTextEdit;
class QPushButton;
class QVBoxLayout;

// The frame the sheets share: a title, the sheet's own content, a bottom row with "Cancel" on
// Escape and the confirming button on Return.
class ComposerSheet : public QDialog
{
    Q_OBJECT

public:
    using TextChanged = std::function<void(const QString&)>;
    using Confirmed = std::function<void()>;

    QPushButton* confirmButton() const { return m_confirm; }
    QPushButton* cancelButton() const { return m_cancel; }
    // The size the sheet opens at: the ideal size, or what its content needs where that is more.
    QSize sizeHint() const override { return m_idealSize.isValid() ? m_idealSize : QDialog::sizeHint(); }

protected:
    ComposerSheet(const QString& title, int spacing, const QString& confirmTitle, Confirmed confirmed, QWidget* parent);
    QVBoxLayout* content() const { return m_content; }
    QHBoxLayout* bottomRow() const { return m_bottom; }
    void confirm();
    // The smallest and the ideal size, each grown to what the content needs (0: the content's own).
    void setSizes(QSize minimum, QSize ideal);

private:
    QSize m_idealSize;
    QVBoxLayout* m_content = nullptr;
    QHBoxLayout* m_bottom = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_confirm = nullptr;
    Confirmed m_confirmed;
};

// A sheet around one plain-text editor with a live count below it; every change of the text, as
// pasted or typed, is handed to the presenter and refreshes the count.
class TextEditorSheet : public ComposerSheet
{
    Q_OBJECT

public:
    PastedTextEdit* editor() const { return m_editor; }
    // The editor's text, as the presenter is given it.
    const QString& text() const { return m_text; }
    virtual QString counterText() const = 0;

protected:
    TextEditorSheet(const QString& title, const QString& confirmTitle, const QString& explanation, const QString& text,
        const QString& editorName, int editorHeight, TextChanged textChanged, Confirmed confirmed, QWidget* parent);
    // Shows the count; the finished sheet calls it once itself.
    virtual void refresh();

private:
    PastedTextEdit* m_editor = nullptr;
    QString m_text;
    QLabel* m_counter = nullptr;
    TextChanged m_textChanged;
};

// Edits the text one source contributes to the prompt, with a live token and character count.
class EntryTrimSheet final : public TextEditorSheet
{
    Q_OBJECT

public:
    EntryTrimSheet(const ModelProfile& profile, const QString& text, TextChanged textChanged, Confirmed onApply,
        QWidget* parent = nullptr);
    QString counterText() const override;

private:
    ModelProfile m_profile;
};

// Pasted text, split into sources by paragraphs, with a live count of the pieces.
class ImportSheet final : public TextEditorSheet
{
    Q_OBJECT

public:
    ImportSheet(const QString& text, TextChanged textChanged, Confirmed onAdd, QWidget* parent = nullptr);
    QString counterText() const override;

private:
    void refresh() override;
};

// Names the current task as a custom template.
class SaveTemplateSheet final : public ComposerSheet
{
    Q_OBJECT

public:
    SaveTemplateSheet(const QString& name, TextChanged nameChanged, Confirmed onSave, QWidget* parent = nullptr);
    QLineEdit* field() const { return m_field; }

private:
    bool canSave() const;
    void update();

    QLineEdit* m_field = nullptr;
    TextChanged m_nameChanged;
};
