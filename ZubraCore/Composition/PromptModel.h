#pragma once
// A prompt held as pieces of user text between fixed ASCII literals, each piece with its character
// count cached. The prompt holding any contiguous run of the prepared entries is counted in time
// linear in the run without building its text, and its text is built by the same walk.

#include "ZubraCore/Library/ComposerTemplate.h"
#include "ZubraCore/Composition/PreparedEntries.h"

#include <QLatin1StringView>
#include <QList>
#include <QString>
#include <array>
#include <optional>
#include <vector>

namespace ContextComposer {

// User text inside a prompt. Its contribution to the count is its own count, adjusted where a
// character spans the joint with the literal before or after it (a combining mark after a space,
// a carriage return before a line feed); literals never end or start with a carriage return, so
// only their edge characters matter.
class PromptPiece
{
public:
    PromptPiece() = default;
    explicit PromptPiece(QString text)
        : m_text(std::move(text))
    {
    }

    const QString& text() const { return m_text; }
    bool isEmpty() const { return m_text.isEmpty(); }
    qint64 characters() const;
    // Characters gained (a negative number) by joining the piece to `before` and `after`, two
    // ASCII literal characters other than a carriage return; 0 stands for the text's start or end.
    qint64 jointAdjustment(char16_t before, char16_t after) const;

private:
    struct Joint
    {
        char16_t before = 0;
        char16_t after = 0;
        qint64 adjustment = 0;
    };
    QString m_text;
    mutable qint64 m_characters = -1;
    mutable std::array<Joint, 4> m_joints {};
    mutable int m_jointCount = 0;
};

class PromptModel
{
public:
    struct EntryPieces
    {
        PromptPiece body;
        PromptPiece note;
        PromptPiece line; // the source line, shown when the entry heads its group
    };
    // The pieces one prepared entry contributes, escaped for the XML layout when `xml`.
    static EntryPieces piecesOf(const PreparedEntry& prepared, bool xml);

    // `prepared` must outlive the model.
    PromptModel(
        const ContextDraft& draft, const QList<PreparedEntry>& prepared, const std::optional<QString>& preamble);
    // The same from pieces made earlier with piecesOf() for this layout (their counts stay cached),
    // one per prepared entry, and each entry's source key (see groupKey()).
    PromptModel(const ContextDraft& draft, const QList<PreparedEntry>& prepared, const std::optional<QString>& preamble,
        std::vector<EntryPieces> pieces, const QList<QString>& keys);

    qsizetype size() const { return m_prepared.size(); }
    // Hands the entries' pieces back with whatever counts the model has cached in them.
    std::vector<EntryPieces> takePieces() { return std::move(m_pieces); }
    const PreparedEntry& entry(qsizetype i) const { return m_prepared[i]; }

    // The prompt holding the prepared entries [first, last), grouped by source or one group each.
    qint64 characters(qsizetype first, qsizetype last, bool grouped = true) const;
    QString text(qsizetype first, qsizetype last, bool grouped = true) const;

private:
    struct Group
    {
        qsizetype first; // the representative: the group's first entry
        qsizetype last;
    };
    void setKeys(const QList<QString>& keys);
    void group(qsizetype first, qsizetype last, bool grouped) const;
    template <typename Sink> void walk(Sink& sink, qsizetype first, qsizetype last, bool grouped) const;
    template <typename Sink> void emitSections(Sink& sink) const;
    template <typename Sink> void emitXml(Sink& sink) const;
    template <typename Sink> void emitPlain(Sink& sink) const;
    template <typename Sink>
    void emitItems(Sink& sink, const Group& group, QLatin1StringView noteOpen, QLatin1StringView noteClose) const;

    const QList<PreparedEntry>& m_prepared;
    ComposerTemplate m_layout;
    PromptPiece m_task;
    PromptPiece m_preamble; // empty when the layout shows none
    std::vector<EntryPieces> m_pieces;
    std::vector<int> m_keys; // source key id per prepared entry

    // Scratch of the grouping walk, reused between calls.
    mutable std::vector<int> m_slotOfKey;
    mutable std::vector<qsizetype> m_next;
    mutable std::vector<Group> m_groups;
};

} // namespace ContextComposer
