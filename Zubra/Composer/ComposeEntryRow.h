#pragma once
// One row of the draft pane's entry list, painted: the include switch, headline and token
// estimate, source line, badges, drag handle and options menu; the note field is its editor.
// It also says what each control is called, for the help texts and assistive technology.

#include "Zubra/Composer/ComposerSymbols.h"
#include "ZubraCore/Library/ContextDraft.h"
#include "ZubraCore/Library/ModelProfile.h"
#include "ZubraCore/Library/Selection.h"

#include <QSet>
#include <QStyledItemDelegate>
#include <QUuid>
#include <functional>

// Paints one entry row and places its note field.
class ComposeEntryRow final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    // The row's controls, in focus order.
    enum class Part { none, checkbox, handle, menu };

    ComposeEntryRow(const QSet<QUuid>* notesShown, std::function<ModelProfile()> profile, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const override { }
    void updateEditorGeometry(
        QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Which control of the row at `rect` lies under `point`.
    Part partAt(const QRect& rect, const QPoint& point) const;
    // Where the control lies in the row at `rect`, for the note field's absence or presence alike.
    QRect partRect(const QRect& rect, Part part) const;
    // The badges that apply, in order.
    static QStringList badges(const ContextDraftEntry& entry);
    // The symbol drawn before a badge's word.
    static ComposerSymbols::Symbol badgeSymbol(const QString& badge);
    // Where the badges of `entry` go in the row at `rect` drawn in `font` (the row's base font):
    // each symbol before its word, left to right. A word that does not fit is elided; a badge
    // without room for a letter and the ellipsis gives way whole, with the badges after it.
    struct BadgePlace
    {
        QString badge;
        QString text; // the badge's word, or its elided start
        QRect symbol;
        QRect label; // as wide and tall as `text` in `font`
        QFont font;
    };
    QList<BadgePlace> badgePlaces(const QRect& rect, const ContextDraftEntry& entry, const QFont& font) const;
    // The control the current row's focus mark is on.
    void setFocusedPart(Part part) { m_focusedPart = part; }

    // What a control says to the user and to assistive technology, each on one line.
    static QString headline(const Selection& selection);
    static QString sourceLine(const Selection& selection);
    static QString includeLabel(const Selection& selection);
    static QString includeHelp(bool included);
    static QString includeValue(bool included);
    static QString handleHelp();
    static QString handleLabel();
    static QString menuHelp();
    static QString menuLabel(const Selection& selection);

signals:
    void noteEdited(const QUuid& entryID, const QString& note) const;

private:
    struct Geometry
    {
        QRect checkbox, content, handle, menu, note;
        int headlineHeight = 0, captionHeight = 0, badgeHeight = 0;
    };
    Geometry geometry(const QRect& rect, bool hasBadges, bool showsNote) const;
    bool showsNote(const QModelIndex& index) const;

    const QSet<QUuid>* m_notesShown;
    std::function<ModelProfile()> m_profile;
    Part m_focusedPart = Part::checkbox;
};
