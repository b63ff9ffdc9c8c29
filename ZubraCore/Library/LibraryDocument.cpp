#include "ZubraCore/Library/LibraryDocument.h"

#include "ZubraCore/Support/ParallelChunks.h"
#include "ZubraCore/Library/RecordJson.h"
#include "ZubraCore/Text/Uuids.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

using RecordJson::DecodeContext;

// The selections of a large document are parsed and read each from its own text, on several
// threads; the rest of the document (its "skeleton", with an empty "selections" array) is
// parsed whole. The selections are read once, on first need.
struct SelectionTexts
{
    std::vector<std::string_view> texts; // into the document's bytes
    bool read = false;
    bool built = false; // the records are in `records`
    QString notJson; // the first text that is not JSON: then the document is not JSON
    QString recordError; // the first record that does not read, by position
    QList<Selection> records;
    std::vector<std::array<quint64, 2>> ids;
};

struct ParsedLibraryDocument::Parsed
{
    QByteArray buffer; // keeps a text parsed in place alive
    std::shared_ptr<const void> owner; // the same, for bytes someone else holds (a mapped file)
    std::unique_ptr<simdjson::padded_string> copy; // the bytes, when too little padding followed them
    RecordJson::ParsedJson json; // the whole document, or its skeleton
    QByteArray skeleton;
    mutable std::optional<SelectionTexts> selections; // when split

    // Reads the selections' texts, building the records when asked (once).
    void readSelections(bool build) const;
    // The document is JSON: the whole, or the skeleton and every selection's text.
    const QString& jsonError() const
    {
        if (!json.error.isEmpty() || !selections)
            return json.error;
        readSelections(false);
        return selections->notJson;
    }
};

namespace {

constexpr const char* duplicateText = "an identifier is used twice";

// Whether no identifier occurs twice: sorted and compared with its neighbour, several times
// quicker than a hash set for a large library. Equal bytes are equal identifiers.
bool distinct(std::vector<std::array<quint64, 2>>& ids)
{
    std::sort(ids.begin(), ids.end());
    return std::adjacent_find(ids.begin(), ids.end()) == ids.end();
}

std::array<quint64, 2> bytesOf(const QUuid& id)
{
    static_assert(sizeof(QUuid) == sizeof(std::array<quint64, 2>));
    std::array<quint64, 2> bytes;
    std::memcpy(bytes.data(), &id, sizeof bytes);
    return bytes;
}

template <typename Record> bool distinctIds(const QList<Record>& records)
{
    std::vector<std::array<quint64, 2>> ids;
    ids.reserve(size_t(records.size()));
    for (const Record& record : records)
        ids.push_back(bytesOf(record.id));
    return distinct(ids);
}

// The elements of an array, for reading them in parallel (the parser's arrays are walked in order).
std::vector<RecordJson::Value> elementsOf(const RecordJson::Value& array)
{
    std::vector<RecordJson::Value> elements;
    simdjson::dom::array items = array.get_array().value_unsafe();
    elements.reserve(items.size());
    for (const RecordJson::Value item : items)
        elements.push_back(item);
    return elements;
}

// Every "id" of an array of objects already checked by the record readers.
bool distinctIds(const std::vector<RecordJson::Value>& records)
{
    std::vector<std::array<quint64, 2>> ids;
    ids.reserve(records.size());
    for (const RecordJson::Value& record : records)
        ids.push_back(bytesOf(*RecordJson::parseUuid(record.at_key("id").get_string().value_unsafe())));
    return distinct(ids);
}

std::optional<RecordJson::Value> optionalMember(const RecordJson::Value& object, const char* name)
{
    RecordJson::Value value;
    if (object.at_key(name).get(value) != simdjson::SUCCESS || value.is_null())
        return std::nullopt;
    return value;
}

// Reads the records of an array, in parallel chunks for large arrays, into list when given.
// The error of the first failing record, by position.
template <typename Record>
std::optional<QString> readRecords(const std::vector<RecordJson::Value>& array, const char* name, QList<Record>* list)
{
    const qsizetype count = qsizetype(array.size());
    const int chunks = ParallelChunks::chunkCount(count, 2048);
    Record* records = nullptr;
    if (list) {
        list->resize(count);
        records = list->data();
    }
    std::vector<QString> errors(static_cast<size_t>(chunks));
    ParallelChunks::run(count, chunks, [&](int chunk, qsizetype begin, qsizetype end) {
        DecodeContext context;
        context.enter(name);
        for (qsizetype i = begin; i < end; ++i) {
            context.enter(i);
            const bool ok = RecordJson::read(array[size_t(i)], context, records ? records + i : nullptr);
            context.leave();
            if (!ok) {
                errors[size_t(chunk)] = context.error();
                return;
            }
        }
    });
    for (const QString& error : errors)
        if (!error.isEmpty())
            return error;
    return std::nullopt;
}

// The selections after the first, encoded in parallel chunks, each by its own writer set at the
// depth of the "selections" array. Joined with commas after the first record, the texts are
// exactly what one writer would have written.
struct SelectionChunk
{
    rapidjson::StringBuffer text;
    size_t start = 0; // where the records begin in text
    bool written = false;
    std::string_view records() const { return {text.GetString() + start, text.GetSize() - start}; }
};

bool encodeFollowingSelections(const QList<Selection>& selections, std::vector<SelectionChunk>& chunks)
{
    const qsizetype rest = selections.size() - 1;
    chunks = std::vector<SelectionChunk>(static_cast<size_t>(ParallelChunks::chunkCount(rest, 4096)));
    ParallelChunks::run(rest, int(chunks.size()), [&](int index, qsizetype begin, qsizetype end) {
        SelectionChunk& chunk = chunks[size_t(index)];
        size_t estimate = 0;
        for (qsizetype i = begin; i < end; ++i)
            estimate += size_t(selections[i + 1].text.size() + selections[i + 1].markdownSize()) * 11 / 10 + 512;
        chunk.text.Reserve(estimate);
        RecordJson::Writer writer(chunk.text);
        writer.StartObject();
        writer.Key("selections");
        writer.StartArray();
        chunk.start = chunk.text.GetSize();
        for (qsizetype i = begin; i < end; ++i)
            if (!RecordJson::write(writer, selections[i + 1]))
                return;
        chunk.written = true;
    });
    return std::all_of(chunks.cbegin(), chunks.cend(), [](const SelectionChunk& chunk) { return chunk.written; });
}

} // namespace

void ParsedLibraryDocument::Parsed::readSelections(bool build) const
{
    SelectionTexts& in = *selections;
    if (in.read && (in.built || !build))
        return;
    const qsizetype count = qsizetype(in.texts.size());
    const int chunks = ParallelChunks::chunkCount(count, 2048);
    if (build) {
        in.records.resize(count);
        in.built = true;
    }
    Selection* records = build ? in.records.data() : nullptr;
    in.ids.resize(in.texts.size());
    std::vector<QString> notJson(static_cast<size_t>(chunks));
    std::vector<QString> errors(static_cast<size_t>(chunks));
    ParallelChunks::run(count, chunks, [&](int chunk, qsizetype begin, qsizetype end) {
        simdjson::dom::parser parser;
        DecodeContext context;
        context.enter("selections");
        for (qsizetype i = begin; i < end; ++i) {
            const std::string_view text = in.texts[size_t(i)];
            RecordJson::Value value;
            // Padding follows: the document's own bytes, then its padding.
            if (const auto code = parser.parse(text.data(), text.size(), false).get(value)) {
                notJson[size_t(chunk)] = QStringLiteral("The document is not valid JSON (")
                    + QString::fromUtf8(simdjson::error_message(code)) + u')';
                return;
            }
            if (!errors[size_t(chunk)].isEmpty())
                continue; // still checked as JSON
            context.enter(i);
            const bool ok = RecordJson::read(value, context, records ? records + i : nullptr);
            context.leave();
            if (!ok) {
                errors[size_t(chunk)] = context.error();
                continue;
            }
            in.ids[size_t(i)] = bytesOf(
                records ? records[i].id : *RecordJson::parseUuid(value.at_key("id").get_string().value_unsafe()));
        }
    });
    in.read = true;
    const auto first = [](const std::vector<QString>& found) {
        const auto it = std::find_if(found.cbegin(), found.cend(), [](const QString& e) { return !e.isEmpty(); });
        return it == found.cend() ? QString() : *it;
    };
    in.notJson = first(notJson);
    in.recordError = first(errors);
    if (!in.notJson.isEmpty() || !in.recordError.isEmpty()) {
        in.records.clear();
        in.built = build;
    }
}

namespace {

// simdjson's first stage is not part of its public interface: this is the one place that calls
// it, written against the simdjson of Debian 12. Another version may change it without notice:
// check this function (and the split parse's fuzz target) before moving the assertion on.
static_assert(simdjson::SIMDJSON_VERSION_MAJOR == 3 && simdjson::SIMDJSON_VERSION_MINOR == 0
        && simdjson::SIMDJSON_VERSION_REVISION == 1,
    "structuralIndex() calls simdjson's internal first stage as of simdjson 3.0.1");

// The offsets of a JSON text's structural characters (braces, brackets, colons, commas and the
// start of each scalar), once its UTF-8 and strings are checked. Nothing when they are not.
struct StructuralIndex
{
    std::unique_ptr<simdjson::internal::dom_parser_implementation> parser; // holds the offsets
    const uint32_t* at = nullptr;
    size_t count = 0;
};

std::optional<StructuralIndex> structuralIndex(const char* text, size_t length)
{
    StructuralIndex index;
    if (simdjson::get_active_implementation()->create_dom_parser_implementation(
            length, simdjson::DEFAULT_MAX_DEPTH, index.parser)
            != simdjson::SUCCESS
        || index.parser->stage1(reinterpret_cast<const uint8_t*>(text), length, simdjson::stage1_mode::regular)
            != simdjson::SUCCESS)
        return std::nullopt;
    index.at = index.parser->structural_indexes.get();
    index.count = index.parser->n_structural_indexes;
    return index;
}

// Finds the "selections" array of a document and the text of each of its elements from the
// structural index (which checks the UTF-8 and the strings of the whole text), then parses the
// rest of the document whole with that array emptied. Every element's text and the rest are
// checked as JSON when parsed. False when the document does not have that plain shape (or a key
// is escaped): it is then parsed whole, which reports what is wrong with it.
bool splitSelections(ParsedLibraryDocument::Parsed& parsed, const char* text, size_t length)
{
    std::optional<StructuralIndex> index = structuralIndex(text, length);
    if (!index)
        return false;
    const uint32_t* at = index->at;
    const size_t n = index->count;
    const auto token = [&](size_t i) { return i < n ? text[at[i]] : '\0'; };
    // Past a value starting at token i: a scalar, or an object or array with what it holds.
    const auto skip = [&](size_t i) {
        if (token(i) != '{' && token(i) != '[')
            return i + 1;
        size_t depth = 0;
        for (; i < n; ++i) {
            const char c = token(i);
            if (c == '{' || c == '[')
                ++depth;
            else if ((c == '}' || c == ']') && --depth == 0)
                return i + 1;
        }
        return n + 1;
    };
    if (token(0) != '{')
        return false;
    const char* open = nullptr; // the array's "[" and "]"
    const char* close = nullptr;
    std::vector<std::string_view> elements;
    size_t i = 1;
    if (token(i) == '}') {
        ++i;
    } else {
        for (;;) {
            // A key without escapes, a colon, then the value.
            if (token(i) != '"')
                return false;
            const char* key = text + at[i] + 1;
            const char* keyEnd = key;
            while (keyEnd < text + length && *keyEnd != '"' && *keyEnd != '\\')
                ++keyEnd;
            if (keyEnd == text + length || *keyEnd != '"' || token(i + 1) != ':')
                return false;
            i += 2;
            if (!open && std::string_view(key, size_t(keyEnd - key)) == "selections" && token(i) == '[') {
                open = text + at[i];
                ++i;
                if (token(i) == ']') {
                    close = text + at[i];
                    ++i;
                } else {
                    // Elements end at a comma or the closing bracket outside any nesting.
                    size_t begin = at[i];
                    size_t depth = 0;
                    for (; i < n; ++i) {
                        const char c = token(i);
                        if (c == '{' || c == '[') {
                            ++depth;
                        } else if (c == '}' || c == ']') {
                            if (depth-- == 0)
                                break;
                        } else if (c == ',' && depth == 0) {
                            elements.emplace_back(text + begin, at[i] - begin);
                            begin = i + 1 < n ? at[i + 1] : at[i];
                        }
                    }
                    if (token(i) != ']')
                        return false;
                    elements.emplace_back(text + begin, at[i] - begin);
                    close = text + at[i];
                    ++i;
                }
            } else {
                i = skip(i);
            }
            if (token(i) == ',') {
                ++i;
                continue;
            }
            if (token(i) != '}')
                return false;
            ++i;
            break;
        }
    }
    if (!open || i != n)
        return false;
    index.reset();
    // The skeleton, with zero padding after it within its allocation, parsed in place.
    const qsizetype before = qsizetype(open - text) + 1;
    const qsizetype after = qsizetype(text + length - close);
    QByteArray& skeleton = parsed.skeleton;
    skeleton.resize(before + after + RecordJson::parsePadding);
    std::memcpy(skeleton.data(), text, size_t(before));
    std::memcpy(skeleton.data() + before, close, size_t(after));
    std::memset(skeleton.data() + before + after, 0, size_t(RecordJson::parsePadding));
    skeleton.truncate(before + after);
    RecordJson::parse(parsed.json, skeleton, RecordJson::parsePadding);
    parsed.selections.emplace();
    parsed.selections->texts = std::move(elements);
    return true;
}

} // namespace

namespace {

// A library is one JSON object: anything else is turned down at its first bytes, without
// reading the rest (a large file of NUL bytes is the usual leftover of a crash).
QString screenHead(QByteArrayView bytes)
{
    qsizetype i = 0;
    while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\n' || bytes[i] == '\r' || bytes[i] == '\t'))
        ++i;
    if (i < bytes.size() && bytes[i] == '{')
        return {};
    const QString what = i == bytes.size() ? QStringLiteral("no object")
        : bytes[i] == '\0'                 ? QStringLiteral("a NUL byte")
                                           : QStringLiteral("not an object");
    return QStringLiteral("The document is not valid JSON (byte ") + QString::number(i) + QStringLiteral(": ") + what
        + u')';
}

void parseDocument(ParsedLibraryDocument::Parsed& parsed, QByteArrayView bytes, qsizetype padding, bool split = true)
{
    parsed.json.error = screenHead(bytes);
    if (!parsed.json.error.isEmpty())
        return;
    const char* text = bytes.data();
    if (padding < RecordJson::parsePadding) {
        parsed.copy = std::make_unique<simdjson::padded_string>(bytes.data(), size_t(bytes.size()));
        text = parsed.copy->data();
    }
    if (!split || !splitSelections(parsed, text, size_t(bytes.size())))
        RecordJson::parse(parsed.json, QByteArrayView(text, bytes.size()), RecordJson::parsePadding);
}

// Readable bytes after a byte array's end within its own allocation.
qsizetype spareCapacity(const QByteArray& bytes)
{
    return bytes.isNull() ? 0 : bytes.capacity() - bytes.size();
}

} // namespace

ParsedLibraryDocument::ParsedLibraryDocument(const QByteArray& bytes)
    : m_parsed(std::make_unique<Parsed>())
{
    m_parsed->buffer = bytes;
    parseDocument(*m_parsed, m_parsed->buffer, spareCapacity(m_parsed->buffer));
}

ParsedLibraryDocument::ParsedLibraryDocument(
    QByteArrayView bytes, qsizetype padding, std::shared_ptr<const void> owner)
    : m_parsed(std::make_unique<Parsed>())
{
    m_parsed->owner = std::move(owner);
    parseDocument(*m_parsed, bytes, padding);
}

ParsedLibraryDocument ParsedLibraryDocument::consuming(QByteArray bytes)
{
    return ParsedLibraryDocument(bytes);
}

ParsedLibraryDocument ParsedLibraryDocument::whole(const QByteArray& bytes)
{
    ParsedLibraryDocument document;
    document.m_parsed = std::make_unique<Parsed>();
    document.m_parsed->buffer = bytes;
    parseDocument(*document.m_parsed, document.m_parsed->buffer, spareCapacity(document.m_parsed->buffer), false);
    return document;
}

ParsedLibraryDocument::~ParsedLibraryDocument() = default;
ParsedLibraryDocument::ParsedLibraryDocument(ParsedLibraryDocument&&) noexcept = default;
ParsedLibraryDocument& ParsedLibraryDocument::operator=(ParsedLibraryDocument&&) noexcept = default;

std::optional<qint64> ParsedLibraryDocument::version() const
{
    const RecordJson::ParsedJson& json = m_parsed->json;
    int64_t version;
    if (!m_parsed->jsonError().isEmpty() || !json.root.is_object()
        || json.root.at_key("version").get_int64().get(version) != simdjson::SUCCESS)
        return std::nullopt;
    // A key named twice at the top (the version among them) is damage, which the full decode
    // reports: no version is read from such a document.
    DecodeContext context;
    if (!RecordJson::requireDistinctKeys(json.root, context))
        return std::nullopt;
    return version;
}

// The full decode; with out absent, the same checks without building the records.
static std::optional<DocumentError> decodeInto(
    const ParsedLibraryDocument::Parsed& parsed, std::optional<qint64> version, StoreSnapshot* out)
{
    if (version && !LibraryDocument::isReadableVersion(*version))
        return DocumentError {DocumentError::incompatibleVersion,
            QStringLiteral("The library has version ") + QString::number(*version)
                + QStringLiteral(", which this version of Tessellon cannot read.")};
    if (!parsed.jsonError().isEmpty())
        return DocumentError {DocumentError::malformed, parsed.jsonError()};

    const RecordJson::Value& document = parsed.json.root;
    DecodeContext context;
    const auto malformed = [&context] { return DocumentError {DocumentError::malformed, context.error()}; };
    if (!document.is_object()) {
        context.fail(nullptr, QStringLiteral("expected an object"));
        return malformed();
    }
    // The skeleton of a split parse keeps every top-level key (a second "selections" among them).
    if (!RecordJson::requireDistinctKeys(document, context))
        return malformed();
    RecordJson::Value versionValue;
    int64_t versionNumber = 0;
    if (document.at_key("version").get(versionValue) != simdjson::SUCCESS)
        context.fail("version", QStringLiteral("the key is missing"));
    else if (versionValue.get_int64().get(versionNumber) != simdjson::SUCCESS)
        context.fail("version", QStringLiteral("expected a whole number"));
    if (!context.ok())
        return malformed();

    StoreSnapshot snapshot;
    snapshot.version = versionNumber;
    const auto field = [&document, &context](const char* name) -> std::optional<std::vector<RecordJson::Value>> {
        RecordJson::Value found;
        if (document.at_key(name).get(found) != simdjson::SUCCESS) {
            context.fail(name, QStringLiteral("the key is missing"));
            return std::nullopt;
        }
        if (!found.is_array()) {
            context.fail(name, QStringLiteral("expected an array"));
            return std::nullopt;
        }
        return elementsOf(found);
    };
    // Reads each record of an array, into the list when building; a failure is reported as damage.
    const auto records = [out](const std::vector<RecordJson::Value>& array, const char* name, auto& list) {
        if (const std::optional<QString> error = readRecords(array, name, out ? &list : nullptr))
            return std::optional<DocumentError>(DocumentError {DocumentError::malformed, *error});
        return std::optional<DocumentError>();
    };

    const std::optional<std::vector<RecordJson::Value>> selections = field("selections");
    if (!selections)
        return malformed();
    if (parsed.selections) {
        parsed.readSelections(out != nullptr);
        if (!parsed.selections->recordError.isEmpty())
            return DocumentError {DocumentError::malformed, parsed.selections->recordError};
        if (out) {
            // Handed over, not shared: a later decode reads them again.
            snapshot.selections = std::move(parsed.selections->records);
            parsed.selections->built = false;
            parsed.selections->read = false;
        }
    } else if (std::optional<DocumentError> error = records(*selections, "selections", snapshot.selections)) {
        return error;
    }
    const std::optional<std::vector<RecordJson::Value>> groups = field("groups");
    if (!groups)
        return malformed();
    if (std::optional<DocumentError> error = records(*groups, "groups", snapshot.groups))
        return error;
    std::optional<std::vector<RecordJson::Value>> drafts;
    if (const std::optional<RecordJson::Value> draftsValue = optionalMember(document, "drafts")) {
        if (!draftsValue->is_array()) {
            context.fail("drafts", QStringLiteral("expected an array"));
            return malformed();
        }
        drafts = elementsOf(*draftsValue);
        snapshot.drafts.emplace();
        if (std::optional<DocumentError> error = records(*drafts, "drafts", *snapshot.drafts))
            return error;
    }
    if (const std::optional<RecordJson::Value> active = optionalMember(document, "activeDraftID")) {
        std::optional<QUuid> id;
        std::string_view text;
        if (active->get_string().get(text) == simdjson::SUCCESS)
            id = RecordJson::parseUuid(text);
        if (!id) {
            context.fail("activeDraftID", QStringLiteral("not an identifier"));
            return malformed();
        }
        snapshot.activeDraftID = id;
    }

    // Uniqueness: selections, groups, drafts, then the entries of each draft.
    const auto duplicate = [](const char* what) {
        return DocumentError {DocumentError::duplicateIdentity,
            QLatin1String(what) + QStringLiteral(": ") + QLatin1String(duplicateText)};
    };
    if (parsed.selections && !distinct(parsed.selections->ids))
        return duplicate("selections");
    if (out) {
        if (!parsed.selections && !distinctIds(snapshot.selections))
            return duplicate("selections");
        if (!distinctIds(snapshot.groups))
            return duplicate("groups");
        if (snapshot.drafts) {
            if (!distinctIds(*snapshot.drafts))
                return duplicate("drafts");
            for (const ContextDraft& draft : *snapshot.drafts)
                if (!distinctIds(draft.entries))
                    return duplicate("draft entries");
        }
        *out = std::move(snapshot);
    } else {
        if (!parsed.selections && !distinctIds(*selections))
            return duplicate("selections");
        if (!distinctIds(*groups))
            return duplicate("groups");
        if (drafts) {
            if (!distinctIds(*drafts))
                return duplicate("drafts");
            for (const RecordJson::Value& draft : *drafts)
                if (!distinctIds(elementsOf(draft.at_key("entries").value_unsafe())))
                    return duplicate("draft entries");
        }
    }
    return std::nullopt;
}

DocumentDecoding ParsedLibraryDocument::decode() const
{
    StoreSnapshot snapshot;
    if (std::optional<DocumentError> error = decodeInto(*m_parsed, version(), &snapshot))
        return {std::nullopt, std::move(error)};
    return {std::move(snapshot), std::nullopt};
}

std::optional<DocumentError> ParsedLibraryDocument::validate() const
{
    return decodeInto(*m_parsed, version(), nullptr);
}

namespace LibraryDocument {

bool isReadableVersion(qint64 version)
{
    return version == 1 || version == 2;
}

DocumentEncoding encode(const StoreSnapshot& snapshot)
{
    rapidjson::StringBuffer buffer;
    RecordJson::Writer writer(buffer);
    const auto failed = [] {
        return DocumentEncoding {{}, QStringLiteral("The library holds a time that cannot be written.")};
    };
    writer.StartObject();
    if (snapshot.activeDraftID) {
        writer.Key("activeDraftID");
        const QByteArray id = snapshot.activeDraftID->toByteArray(QUuid::WithoutBraces).toUpper();
        writer.String(id.constData(), rapidjson::SizeType(id.size()));
    }
    if (snapshot.drafts) {
        writer.Key("drafts");
        writer.StartArray();
        for (const ContextDraft& draft : *snapshot.drafts)
            if (!RecordJson::write(writer, draft))
                return failed();
        writer.EndArray();
    }
    writer.Key("groups");
    writer.StartArray();
    for (const SelectionGroup& group : snapshot.groups)
        if (!RecordJson::write(writer, group))
            return failed();
    writer.EndArray();
    writer.Key("selections");
    writer.StartArray();
    // The first selection goes through this writer, so that it closes the array as a non-empty
    // one; the others are spliced in after it.
    std::vector<SelectionChunk> chunks;
    size_t splice = 0;
    if (!snapshot.selections.isEmpty()) {
        if (!RecordJson::write(writer, snapshot.selections.first()))
            return failed();
        splice = buffer.GetSize();
        if (!encodeFollowingSelections(snapshot.selections, chunks))
            return failed();
    }
    writer.EndArray();
    writer.Key("version");
    writer.Int64(snapshot.version);
    writer.EndObject();

    // Where each chunk goes, after a comma: the head (up to the first selection) comes first,
    // the tail (the array's end and the version) last.
    const size_t head = splice;
    std::vector<size_t> at(chunks.size());
    size_t total = head;
    for (size_t i = 0; i < chunks.size(); ++i) {
        at[i] = total;
        total += chunks[i].records().empty() ? 0 : chunks[i].records().size() + 1;
    }
    const size_t tail = buffer.GetSize() - head;
    total += tail;
    // Zero padding after the end, within the allocation, lets the read-back check parse in place.
    QByteArray bytes(qsizetype(total) + RecordJson::parsePadding, Qt::Uninitialized);
    std::memset(bytes.data() + total, 0, size_t(RecordJson::parsePadding));
    bytes.truncate(qsizetype(total));
    char* const out = bytes.data();
    std::memcpy(out, buffer.GetString(), head);
    std::memcpy(out + total - tail, buffer.GetString() + head, tail);
    // The copy into fresh pages is as long as a third of the encoding: each chunk is copied by a
    // thread of its own, as it was written.
    if (!chunks.empty())
        ParallelChunks::run(qsizetype(chunks.size()), int(chunks.size()), [&](int, qsizetype begin, qsizetype end) {
            for (qsizetype i = begin; i < end; ++i) {
                const std::string_view records = chunks[size_t(i)].records();
                if (records.empty())
                    continue;
                out[at[size_t(i)]] = ',';
                std::memcpy(out + at[size_t(i)] + 1, records.data(), records.size());
            }
        });
    return {std::move(bytes), std::nullopt};
}

DocumentDecoding decode(const QByteArray& bytes)
{
    return ParsedLibraryDocument(bytes).decode();
}

} // namespace LibraryDocument
