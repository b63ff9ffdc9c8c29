#pragma once
// The JSON object forms of the library records. Keys are exactly the field names, written in
// sorted order; optional fields are written only when present and read as absent when missing
// or null; a missing required key, a key that occurs twice or a value of the wrong type fails
// the record; other keys are ignored. Times use the IsoDate form, identifiers the upper-case 36-character form (read in
// either case), web addresses their text as given.
//
// Written with RapidJSON's pretty writer; read with simdjson's DOM parser, which checks UTF-8,
// unescaped control characters, surrogates and the structure over the whole text at several
// gigabytes a second.

#include "ZubraCore/Library/ContextDraft.h"
#include "ZubraCore/Library/Selection.h"
#include "ZubraCore/Library/SelectionGroup.h"
#include "ZubraCore/Library/SourceIdentity.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>
#include "ZubraCore/Library/RecordJsonConfig.h"
#include <memory>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>
#include <simdjson.h>
#include <vector>

namespace RecordJson {

using Writer = rapidjson::PrettyWriter<rapidjson::StringBuffer>;
using Value = simdjson::dom::element;

// Bytes the parser may read after the end of a text; a text followed by fewer is copied first.
constexpr qsizetype parsePadding = simdjson::SIMDJSON_PADDING;

// One parsed JSON text: the document owns the values `root` reaches (the parser's working
// buffers are gone once the parse is done). Nesting is bounded by the parser (1024 levels), so
// a deeply nested file cannot exhaust the stack.
struct ParsedJson
{
    simdjson::dom::document document;
    Value root;
    std::unique_ptr<simdjson::padded_string> copy; // the text, when it had to be copied
    QString error; // empty when the text parsed
};

// Parses a whole JSON text; `padding` readable bytes follow it (else it is copied). The text
// must outlive the parse. Sets `error` to why it is not JSON.
void parse(ParsedJson& parsed, QByteArrayView bytes, qsizetype padding = 0);

// Keeps the first failure of a decode, with where it happened ("selections[3].createdAt").
class DecodeContext
{
public:
    bool ok() const { return m_error.isEmpty(); }
    const QString& error() const { return m_error; }

    // Records the failure of the value under key (nullptr: the current value itself).
    void fail(const char* key, const QString& reason);

    void enter(const char* key) { m_path.push_back({key, -1}); }
    void enter(qsizetype index) { m_path.push_back({nullptr, index}); }
    void leave() { m_path.pop_back(); }

    // A short text that recurs from record to record (an application name, a bundle
    // identifier): one string shared by the records this context reads, not one each.
    QString shared(std::string_view text);

private:
    struct Recent
    {
        std::string bytes;
        QString text;
    };
    std::vector<Recent> m_recent; // most recently used last
    struct Segment
    {
        const char* key;
        qsizetype index;
    };
    std::vector<Segment> m_path;
    QString m_error;
};

// Each writer returns false, having written part of an object, when a value cannot be written
// (a time that is invalid or outside the years 1 to 9999).
bool write(Writer& writer, const Selection& selection);
bool write(Writer& writer, const SelectionGroup& group);
bool write(Writer& writer, const ContextDraftEntry& entry);
bool write(Writer& writer, const ContextDraft& draft);
bool write(Writer& writer, const SourceIdentity& identity);

// Each reader checks the value fully; it fills *out only when out is given, so a pass without
// out validates without building the record.
bool read(const Value& value, DecodeContext& context, Selection* out);
bool read(const Value& value, DecodeContext& context, SelectionGroup* out);
bool read(const Value& value, DecodeContext& context, ContextDraftEntry* out);
bool read(const Value& value, DecodeContext& context, ContextDraft* out);
bool read(const Value& value, DecodeContext& context, SourceIdentity* out);

// Records the failure of an object that names one key twice (the parser would keep only the
// first value, and the next save would drop the other); true when every key occurs once.
bool requireDistinctKeys(const Value& object, DecodeContext& context);

// An identifier in the 36-character form, hexadecimal digits in either case; nothing otherwise.
std::optional<QUuid> parseUuid(std::string_view text);

// A web address as the library accepts it: a non-empty text that parses as an address.
bool isWebAddress(const QString& text);

// One record as pretty-printed JSON text; nothing when it cannot be written.
template <typename Record> std::optional<QByteArray> toJson(const Record& record)
{
    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    if (!write(writer, record))
        return std::nullopt;
    return QByteArray(buffer.GetString(), qsizetype(buffer.GetSize()));
}

// One record from JSON text; nothing when the text is not JSON or the record does not decode.
template <typename Record> std::optional<Record> fromJson(const QByteArray& bytes, QString* error = nullptr)
{
    const auto parsed = std::make_unique<ParsedJson>();
    DecodeContext context;
    Record record;
    parse(*parsed, bytes);
    if (!parsed->error.isEmpty())
        context.fail(nullptr, parsed->error);
    else
        read(parsed->root, context, &record);
    if (!context.ok()) {
        if (error)
            *error = context.error();
        return std::nullopt;
    }
    return record;
}

} // namespace RecordJson
