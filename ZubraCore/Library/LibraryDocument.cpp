#include "ZubraCore/Library/LibraryDocument.h"

#include "ZubraCore/Support/ParallelChunks.h"
#include "ZubraCore/Library/RecordJson.h"
#include "ZubraCore/Text/Uuids.h"

#include <QSet>
#include <algorithm>
#include <cstring>
#include <string_view>

using RecordJson::DecodeContext;

struct ParsedLibraryDocument::Parsed
{
    QByteArray buffer; // the text an in-place parse points into; outlives the document
    rapidjson::Document document;
    QString parseError; // empty when the bytes parsed
};

namespace {

constexpr const char* duplicateText = "an identifier is used twice";

template <typename Record> bool distinctIds(const QList<Record>& records)
{
    QSet<QUuid> seen;
    seen.reserve(records.size());
    for (const Record& record : records)
        seen.insert(record.id);
    return seen.size() == records.size();
}

// Every "id" of an array of objects already checked by the record readers.
bool distinctIds(const RecordJson::Value& array)
{
    QSet<QUuid> seen;
    seen.reserve(array.Size());
    for (const RecordJson::Value& record : array.GetArray()) {
        const RecordJson::Value& id = record["id"];
        seen.insert(QUuid::fromString(QLatin1StringView(id.GetString(), id.GetStringLength())));
    }
    return seen.size() == qsizetype(array.Size());
}

const RecordJson::Value* optionalMember(const RecordJson::Value& object, const char* name)
{
    const auto found = object.FindMember(name);
    return found == object.MemberEnd() || found->value.IsNull() ? nullptr : &found->value;
}

// Reads the records of an array, in parallel chunks for large arrays, into list when given.
// The error of the first failing record, by position.
template <typename Record>
std::optional<QString> readRecords(const RecordJson::Value& array, const char* name, QList<Record>* list)
{
    const qsizetype count = qsizetype(array.Size());
    const int chunks = ParallelChunks::chunkCount(count, 4096);
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
            const bool ok = RecordJson::read(array[rapidjson::SizeType(i)], context, records ? records + i : nullptr);
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
            estimate += size_t(selections[i + 1].text.size() + selections[i + 1].markdown.size()) * 11 / 10 + 512;
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

ParsedLibraryDocument::ParsedLibraryDocument(const QByteArray& bytes)
    : m_parsed(std::make_unique<Parsed>())
{
    m_parsed->parseError = RecordJson::parse(m_parsed->document, bytes);
}

ParsedLibraryDocument ParsedLibraryDocument::consuming(QByteArray bytes)
{
    ParsedLibraryDocument parsed;
    parsed.m_parsed = std::make_unique<Parsed>();
    parsed.m_parsed->buffer = std::move(bytes);
    parsed.m_parsed->parseError = RecordJson::parseInPlace(parsed.m_parsed->document, parsed.m_parsed->buffer);
    return parsed;
}

ParsedLibraryDocument::~ParsedLibraryDocument() = default;
ParsedLibraryDocument::ParsedLibraryDocument(ParsedLibraryDocument&&) noexcept = default;
ParsedLibraryDocument& ParsedLibraryDocument::operator=(ParsedLibraryDocument&&) noexcept = default;

std::optional<qint64> ParsedLibraryDocument::version() const
{
    const rapidjson::Document& document = m_parsed->document;
    if (!m_parsed->parseError.isEmpty() || !document.IsObject())
        return std::nullopt;
    const auto found = document.FindMember("version");
    if (found == document.MemberEnd() || !found->value.IsInt64())
        return std::nullopt;
    return found->value.GetInt64();
}

// The full decode; with out absent, the same checks without building the records.
static std::optional<DocumentError> decodeInto(
    const ParsedLibraryDocument::Parsed& parsed, std::optional<qint64> version, StoreSnapshot* out)
{
    if (version && !LibraryDocument::isReadableVersion(*version))
        return DocumentError {DocumentError::incompatibleVersion,
            QStringLiteral("The library has version ") + QString::number(*version)
                + QStringLiteral(", which this version of Tessellon cannot read.")};
    if (!parsed.parseError.isEmpty())
        return DocumentError {DocumentError::malformed, parsed.parseError};

    const rapidjson::Document& document = parsed.document;
    DecodeContext context;
    const auto malformed = [&context] { return DocumentError {DocumentError::malformed, context.error()}; };
    if (!document.IsObject()) {
        context.fail(nullptr, QStringLiteral("expected an object"));
        return malformed();
    }
    const auto versionValue = document.FindMember("version");
    if (versionValue == document.MemberEnd())
        context.fail("version", QStringLiteral("the key is missing"));
    else if (!versionValue->value.IsInt64())
        context.fail("version", QStringLiteral("expected a whole number"));
    if (!context.ok())
        return malformed();

    StoreSnapshot snapshot;
    snapshot.version = versionValue->value.GetInt64();
    const auto field = [&document, &context](const char* name) -> const RecordJson::Value* {
        const auto found = document.FindMember(name);
        if (found == document.MemberEnd()) {
            context.fail(name, QStringLiteral("the key is missing"));
            return nullptr;
        }
        if (!found->value.IsArray()) {
            context.fail(name, QStringLiteral("expected an array"));
            return nullptr;
        }
        return &found->value;
    };
    // Reads each record of an array, into the list when building; a failure is reported as damage.
    const auto records = [out](const RecordJson::Value& array, const char* name, auto& list) {
        if (const std::optional<QString> error = readRecords(array, name, out ? &list : nullptr))
            return std::optional<DocumentError>(DocumentError {DocumentError::malformed, *error});
        return std::optional<DocumentError>();
    };

    const RecordJson::Value* selections = field("selections");
    if (!selections)
        return malformed();
    if (std::optional<DocumentError> error = records(*selections, "selections", snapshot.selections))
        return error;
    const RecordJson::Value* groups = field("groups");
    if (!groups)
        return malformed();
    if (std::optional<DocumentError> error = records(*groups, "groups", snapshot.groups))
        return error;
    const RecordJson::Value* drafts = optionalMember(document, "drafts");
    if (drafts) {
        if (!drafts->IsArray()) {
            context.fail("drafts", QStringLiteral("expected an array"));
            return malformed();
        }
        snapshot.drafts.emplace();
        if (std::optional<DocumentError> error = records(*drafts, "drafts", *snapshot.drafts))
            return error;
    }
    if (const RecordJson::Value* active = optionalMember(document, "activeDraftID")) {
        std::optional<QUuid> id;
        if (active->IsString() && active->GetStringLength() == 36)
            id = Uuids::parse(QString::fromLatin1(active->GetString(), 36));
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
    if (out) {
        if (!distinctIds(snapshot.selections))
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
        if (!distinctIds(*selections))
            return duplicate("selections");
        if (!distinctIds(*groups))
            return duplicate("groups");
        if (drafts) {
            if (!distinctIds(*drafts))
                return duplicate("drafts");
            for (const RecordJson::Value& draft : drafts->GetArray())
                if (!distinctIds(draft["entries"]))
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

    size_t total = buffer.GetSize();
    for (const SelectionChunk& chunk : chunks)
        total += chunk.records().empty() ? 0 : chunk.records().size() + 1;
    QByteArray bytes(qsizetype(total), Qt::Uninitialized);
    char* out = bytes.data();
    const auto put = [&out](const char* data, size_t length) {
        std::memcpy(out, data, length);
        out += length;
    };
    put(buffer.GetString(), splice);
    for (const SelectionChunk& chunk : chunks) {
        if (chunk.records().empty())
            continue;
        put(",", 1);
        put(chunk.records().data(), chunk.records().size());
    }
    put(buffer.GetString() + splice, buffer.GetSize() - splice);
    return {std::move(bytes), std::nullopt};
}

DocumentDecoding decode(const QByteArray& bytes)
{
    return ParsedLibraryDocument(bytes).decode();
}

} // namespace LibraryDocument
