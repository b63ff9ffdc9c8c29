#include "Zubra/Composer/ComposerSheets.h"

#include "Zubra/Composer/ComposerStyle.h"
#include "Zubra/Composer/DraftOperations.h"
#include "Zubra/Composer/PastedTextEdit.h"
#include "ZubraCore/Composition/TextImport.h"
#include "ZubraCore/Composition/TokenEstimator.h"
#include "ZubraCore/Text/TextMetrics.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QLabel* captionLabel(const QString& text = QString())
{
    auto* label = new QLabel(text);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    label->setFont(font);
    label->setForegroundRole(QPalette::PlaceholderText);
    label->setWordWrap(true);
    return label;
}

PastedTextEdit* sheetEditor(const QString& text, const QString& name, int minimumHeight)
{
    auto* editor = new PastedTextEdit;
    editor->setFont(ComposerStyle::monospaced());
    editor->setMinimumHeight(minimumHeight);
    editor->setAccessibleName(name);
    editor->setText(text);
    return editor;
}

QString pluralS(qsizetype n)
{
    return n == 1 ? QString() : u"s"_s;
}

} // namespace

ComposerSheet::ComposerSheet(
    const QString& title, int spacing, const QString& confirmTitle, Confirmed confirmed, QWidget* parent)
    : QDialog(parent)
    , m_confirmed(std::move(confirmed))
{
    setWindowModality(Qt::WindowModal);
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(spacing);
    auto* heading = new QLabel(title);
    QFont font = heading->font();
    font.setPointSizeF(font.pointSizeF() * 1.25);
    font.setWeight(QFont::DemiBold);
    heading->setFont(font);
    layout->addWidget(heading);
    m_content = new QVBoxLayout;
    m_content->setSpacing(spacing);
    layout->addLayout(m_content, 1);
    m_bottom = new QHBoxLayout;
    m_cancel = new QPushButton(u"Cancel"_s);
    m_confirm = new QPushButton(confirmTitle);
    m_confirm->setDefault(true);
    m_confirm->setAutoDefault(true);
    m_cancel->setAutoDefault(false);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_confirm, &QPushButton::clicked, this, &ComposerSheet::confirm);
    layout->addLayout(m_bottom);
}

void ComposerSheet::setSizes(QSize minimum, QSize ideal)
{
    // What the content needs at the narrowest width wins over the given sizes: a larger font or
    // scale makes the sheet taller, never its button row overlap the editor.
    layout()->activate();
    const int minimumWidth = std::max(minimum.width(), layout()->minimumSize().width());
    const int minimumHeight = std::max({minimum.height(), layout()->minimumSize().height(),
        layout()->hasHeightForWidth() ? layout()->minimumHeightForWidth(minimumWidth) : 0});
    setMinimumSize(minimumWidth, minimumHeight);
    m_idealSize = QSize(std::max(ideal.width(), minimumWidth), 0);
    const int idealHeight
        = layout()->hasHeightForWidth() ? layout()->heightForWidth(m_idealSize.width()) : layout()->sizeHint().height();
    m_idealSize.setHeight(std::max({ideal.height(), minimumHeight, idealHeight}));
    resize(m_idealSize);
}

void ComposerSheet::confirm()
{
    if (m_confirm->isEnabled() && m_confirmed)
        m_confirmed();
}

TextEditorSheet::TextEditorSheet(const QString& title, const QString& confirmTitle, const QString& explanation,
    const QString& text, const QString& editorName, int editorHeight, TextChanged textChanged, Confirmed confirmed,
    QWidget* parent)
    : ComposerSheet(title, 12, confirmTitle, std::move(confirmed), parent)
    , m_textChanged(std::move(textChanged))
{
    content()->addWidget(captionLabel(explanation));
    m_editor = sheetEditor(text, editorName, editorHeight);
    m_text = m_editor->text();
    content()->addWidget(m_editor, 1);
    m_counter = captionLabel();
    m_counter->setWordWrap(false);
    bottomRow()->addWidget(m_counter);
    bottomRow()->addStretch(1);
    bottomRow()->addWidget(cancelButton());
    bottomRow()->addWidget(confirmButton());
    connect(m_editor, &QPlainTextEdit::textChanged, this, [this] {
        m_text = m_editor->text();
        if (m_textChanged)
            m_textChanged(m_text);
        refresh();
    });
    m_editor->setFocus();
}

void TextEditorSheet::refresh()
{
    m_counter->setText(counterText());
}

EntryTrimSheet::EntryTrimSheet(
    const ModelProfile& profile, const QString& text, TextChanged textChanged, Confirmed onApply, QWidget* parent)
    : TextEditorSheet(u"Trim this source"_s, u"Apply Trim"_s,
        u"Edit the text exactly as it should appear in the prompt. Deleting everything goes back to the captured "
        u"source; applying an unchanged copy keeps what you had."_s,
        text, u"Text of this source"_s, 220, std::move(textChanged), std::move(onApply), parent)
    , m_profile(profile)
{
    setSizes({440, 320}, {520, 380});
    refresh();
}

QString EntryTrimSheet::counterText() const
{
    return TokenEstimator::format(TokenEstimator::estimate(text(), m_profile)) + u" tokens \u00B7 "_s
        + QString::number(TextMetrics::count(text())) + u" chars"_s;
}

ImportSheet::ImportSheet(const QString& text, TextChanged textChanged, Confirmed onAdd, QWidget* parent)
    : TextEditorSheet(u"Import text"_s, u"Split && Add"_s,
        u"Paste a document, chat log, or notes. Tessellon splits it by paragraphs. It splits long blocks further "
        u"and adds each chunk to this prompt as a selectable source."_s,
        text, u"Text to import"_s, 260, std::move(textChanged), std::move(onAdd), parent)
{
    setSizes({460, 360}, {540, 420});
    refresh();
}

QString ImportSheet::counterText() const
{
    const qsizetype n = TextImport::chunks(text(), DraftOperations::importChunkLength).size();
    return QString::number(n) + u" chunk"_s + pluralS(n) + u" ready"_s;
}

void ImportSheet::refresh()
{
    TextEditorSheet::refresh();
    confirmButton()->setEnabled(!text().trimmed().isEmpty());
}

SaveTemplateSheet::SaveTemplateSheet(const QString& name, TextChanged nameChanged, Confirmed onSave, QWidget* parent)
    : ComposerSheet(u"Save Task Template"_s, 14, u"Save"_s, std::move(onSave), parent)
    , m_nameChanged(std::move(nameChanged))
{
    m_field = new QLineEdit(name);
    m_field->setPlaceholderText(u"Template name"_s);
    content()->addWidget(m_field);
    bottomRow()->addStretch(1);
    bottomRow()->addWidget(cancelButton());
    bottomRow()->addWidget(confirmButton());
    setSizes({320, 0}, {360, 0});
    connect(m_field, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (m_nameChanged)
            m_nameChanged(text);
        update();
    });
    // Return reaches the default button only: one save per press.
    update();
    m_field->setFocus();
}

bool SaveTemplateSheet::canSave() const
{
    for (QChar c : m_field->text())
        if (!c.isSpace() || c == u'\n' || c == u'\r')
            return true;
    return false;
}

void SaveTemplateSheet::update()
{
    confirmButton()->setEnabled(canSave());
}
