#include "ZubraCore/Composition/PromptModel.h"

#include "ZubraCore/Composition/ContextComposer.h"
#include "ZubraCore/Text/TextMetrics.h"

#include <QHash>

using namespace Qt::StringLiterals;

namespace ContextComposer {

namespace {

inline char16_t lastOf(QLatin1StringView s)
{
    return char16_t(uchar(s.back().toLatin1()));
}
inline char16_t firstOf(QLatin1StringView s)
{
    return char16_t(uchar(s.front().toLatin1()));
}

// Builds the text.
class TextSink
{
public:
    void literal(QLatin1StringView s) { m_text.append(s); }
    void piece(const PromptPiece& p) { m_text.append(p.text()); }
    QString take() { return std::move(m_text); }

private:
    QString m_text;
};

// Counts characters from the cached piece counts. A piece is settled once the literal after it
// (or the end) is known, since a character may span either joint.
class CountSink
{
public:
    void literal(QLatin1StringView s)
    {
        settle(firstOf(s));
        m_total += s.size();
        m_last = lastOf(s);
    }
    void piece(const PromptPiece& p)
    {
        if (p.isEmpty())
            return;
        Q_ASSERT(!m_pending); // pieces are always separated by literals
        settle(0);
        m_pending = &p;
        m_before = m_last;
    }
    qint64 finish()
    {
        settle(0);
        return m_total;
    }

private:
    void settle(char16_t after)
    {
        if (!m_pending)
            return;
        m_total += m_pending->characters() + m_pending->jointAdjustment(m_before, after);
        m_pending = nullptr;
    }

    qint64 m_total = 0;
    char16_t m_last = 0;
    char16_t m_before = 0;
    const PromptPiece* m_pending = nullptr;
};

PromptPiece pieceOf(const std::optional<QString>& text, bool escape)
{
    if (!text)
        return {};
    return PromptPiece(escape ? xmlEscape(*text) : *text);
}

} // namespace

qint64 PromptPiece::characters() const
{
    if (m_characters < 0)
        m_characters = TextMetrics::count(m_text);
    return m_characters;
}

qint64 PromptPiece::jointAdjustment(char16_t before, char16_t after) const
{
    if (m_text.isEmpty())
        return 0;
    const char16_t first = m_text.front().unicode();
    const char16_t last = m_text.back().unicode();
    const bool leftClear = before == 0 || first < 0x80;
    const bool rightClear = after == 0 || (last < 0x80 && !(last == u'\r' && after == u'\n'));
    if (leftClear && rightClear)
        return 0;
    for (int i = 0; i < m_jointCount; ++i) {
        if (m_joints[i].before == before && m_joints[i].after == after)
            return m_joints[i].adjustment;
    }
    QString joined;
    joined.reserve(m_text.size() + 2);
    if (before)
        joined.append(QChar(before));
    joined.append(m_text);
    if (after)
        joined.append(QChar(after));
    const qint64 adjustment = TextMetrics::count(joined) - characters() - (before ? 1 : 0) - (after ? 1 : 0);
    if (m_jointCount < int(m_joints.size()))
        m_joints[m_jointCount++] = {before, after, adjustment};
    return adjustment;
}

PromptModel::EntryPieces PromptModel::piecesOf(const PreparedEntry& p, bool xml)
{
    EntryPieces pieces;
    pieces.body = PromptPiece(xml ? xmlEscape(p.body) : p.body);
    pieces.note = pieceOf(trimmedText(p.entry.note), xml);
    const QString line = sourceLine(p.selection);
    pieces.line = PromptPiece(xml ? xmlEscape(line) : line);
    return pieces;
}

PromptModel::PromptModel(
    const ContextDraft& draft, const QList<PreparedEntry>& prepared, const std::optional<QString>& preamble)
    : m_prepared(prepared)
    , m_layout(draft.templateKind())
{
    const bool xml = m_layout == ComposerTemplate::xml;
    m_task = pieceOf(trimmedText(draft.task), xml);
    if (m_layout != ComposerTemplate::plain)
        m_preamble = pieceOf(trimmedText(preamble), xml);

    QList<QString> keys;
    m_pieces.reserve(prepared.size());
    keys.reserve(prepared.size());
    for (const PreparedEntry& p : prepared) {
        m_pieces.push_back(piecesOf(p, xml));
        keys.append(groupKey(p.selection));
    }
    setKeys(keys);
}

PromptModel::PromptModel(const ContextDraft& draft, const QList<PreparedEntry>& prepared,
    const std::optional<QString>& preamble, std::vector<EntryPieces> pieces, const QList<QString>& keys)
    : m_prepared(prepared)
    , m_layout(draft.templateKind())
    , m_pieces(std::move(pieces))
{
    Q_ASSERT(qsizetype(m_pieces.size()) == prepared.size() && keys.size() == prepared.size());
    const bool xml = m_layout == ComposerTemplate::xml;
    m_task = pieceOf(trimmedText(draft.task), xml);
    if (m_layout != ComposerTemplate::plain)
        m_preamble = pieceOf(trimmedText(preamble), xml);
    setKeys(keys);
}

void PromptModel::setKeys(const QList<QString>& keys)
{
    QHash<QString, int> keyIDs;
    m_keys.clear();
    m_keys.reserve(keys.size());
    for (const QString& key : keys) {
        auto found = keyIDs.constFind(key);
        if (found == keyIDs.cend())
            found = keyIDs.insert(key, int(keyIDs.size()));
        m_keys.push_back(found.value());
    }
    m_slotOfKey.assign(keyIDs.size(), -1);
    m_next.assign(keys.size(), -1);
}

void PromptModel::group(qsizetype first, qsizetype last, bool grouped) const
{
    m_groups.clear();
    for (qsizetype p = first; p < last; ++p) {
        m_next[p] = -1;
        if (!grouped) {
            m_groups.push_back({p, p});
            continue;
        }
        int& slot = m_slotOfKey[m_keys[p]];
        if (slot < 0) {
            slot = int(m_groups.size());
            m_groups.push_back({p, p});
        } else {
            m_next[m_groups[slot].last] = p;
            m_groups[slot].last = p;
        }
    }
    if (grouped) {
        for (const Group& g : m_groups)
            m_slotOfKey[m_keys[g.first]] = -1;
    }
}

template <typename Sink>
void PromptModel::emitItems(
    Sink& sink, const Group& group, QLatin1StringView noteOpen, QLatin1StringView noteClose) const
{
    for (qsizetype p = group.first; p >= 0; p = m_next[p]) {
        if (p != group.first)
            sink.literal("\n\n"_L1);
        const EntryPieces& pieces = m_pieces[p];
        sink.piece(pieces.body);
        if (!pieces.note.isEmpty()) {
            sink.literal(noteOpen);
            sink.piece(pieces.note);
            if (!noteClose.isEmpty())
                sink.literal(noteClose);
        }
    }
}

template <typename Sink> void PromptModel::emitSections(Sink& sink) const
{
    if (!m_task.isEmpty()) {
        sink.literal("# Task\n\n"_L1);
        sink.piece(m_task);
    }
    if (m_preamble.isEmpty() && m_groups.empty())
        return;
    sink.literal(m_task.isEmpty() ? "# Context\n\n"_L1 : "\n\n# Context\n\n"_L1);
    bool firstBlock = true;
    if (!m_preamble.isEmpty()) {
        sink.literal("> "_L1);
        sink.piece(m_preamble);
        firstBlock = false;
    }
    for (const Group& g : m_groups) {
        sink.literal(firstBlock ? "## SOURCE: "_L1 : "\n\n---\n\n## SOURCE: "_L1);
        firstBlock = false;
        sink.piece(m_pieces[g.first].line);
        sink.literal("\n\n"_L1);
        emitItems(sink, g, "\n\n_Note: "_L1, "_"_L1);
    }
}

template <typename Sink> void PromptModel::emitXml(Sink& sink) const
{
    sink.literal("<context>"_L1);
    if (!m_task.isEmpty()) {
        sink.literal("\n<task>\n"_L1);
        sink.piece(m_task);
        sink.literal("\n</task>"_L1);
    }
    if (!m_preamble.isEmpty()) {
        sink.literal("\n<instruction>\n"_L1);
        sink.piece(m_preamble);
        sink.literal("\n</instruction>"_L1);
    }
    for (const Group& g : m_groups) {
        sink.literal("\n<source name=\""_L1);
        sink.piece(m_pieces[g.first].line);
        sink.literal("\">\n"_L1);
        emitItems(sink, g, "\n\n(_Note: "_L1, "_)"_L1);
        sink.literal("\n</source>"_L1);
    }
    sink.literal("\n</context>"_L1);
}

template <typename Sink> void PromptModel::emitPlain(Sink& sink) const
{
    bool firstPart = true;
    if (!m_task.isEmpty()) {
        sink.literal("TASK:\n"_L1);
        sink.piece(m_task);
        firstPart = false;
    }
    for (const Group& g : m_groups) {
        sink.literal(firstPart ? "SOURCE: "_L1 : "\n\n---\n\nSOURCE: "_L1);
        firstPart = false;
        sink.piece(m_pieces[g.first].line);
        sink.literal("\n\n"_L1);
        emitItems(sink, g, "\n\nNOTE: "_L1, QLatin1StringView());
    }
}

template <typename Sink> void PromptModel::walk(Sink& sink, qsizetype first, qsizetype last, bool grouped) const
{
    group(first, last, grouped);
    switch (m_layout) {
    case ComposerTemplate::sections:
        emitSections(sink);
        break;
    case ComposerTemplate::xml:
        emitXml(sink);
        break;
    case ComposerTemplate::plain:
        emitPlain(sink);
        break;
    }
}

qint64 PromptModel::characters(qsizetype first, qsizetype last, bool grouped) const
{
    CountSink sink;
    walk(sink, first, last, grouped);
    return sink.finish();
}

QString PromptModel::text(qsizetype first, qsizetype last, bool grouped) const
{
    TextSink sink;
    walk(sink, first, last, grouped);
    return sink.take();
}

} // namespace ContextComposer
