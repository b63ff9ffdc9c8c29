#include "ZubraCore/Library/LibraryDocument.h"

#include "ZubraCore/Library/RecordJson.h"
#include "ZubraCore/Text/Uuids.h"

#include <QSet>
#include <rapidjson/error/en.h>

using RecordJson::DecodeContext;

struct ParsedLibraryDocument::Parsed
{
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

} // namespace

ParsedLibraryDocument::ParsedLibraryDocument(const QByteArray& bytes)
    : m_parsed(std::make_unique<Parsed>())
{
    rapidjson::Document& document = m_parsed->document;
    document.Parse<RecordJson::parseFlags>(bytes.constData(), size_t(bytes.size()));
    if (document.HasParseError())
        m_parsed->parseError = QStringLiteral("not valid JSON at byte ") + QString::number(document.GetErrorOffset())
            + QStringLiteral(": ") + QString::fromUtf8(rapidjson::GetParseError_En(document.GetParseError()));
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
            QStringLiteral("the library has version ") + QString::number(*version)
                + QStringLiteral(", which this version of Tessellon cannot read")};
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
    // Reads each record of an array, into the list when building.
    const auto records = [&context, out](const RecordJson::Value& array, const char* name, auto& list) {
        using Record = typename std::remove_reference_t<decltype(list)>::value_type;
        context.enter(name);
        if (out)
            list.reserve(array.Size());
        bool ok = true;
        for (rapidjson::SizeType i = 0; ok && i < array.Size(); ++i) {
            context.enter(qsizetype(i));
            if (out) {
                list.emplace_back();
                ok = RecordJson::read(array[i], context, &list.back());
            } else {
                ok = RecordJson::read(array[i], context, static_cast<Record*>(nullptr));
            }
            context.leave();
        }
        context.leave();
        return ok;
    };

    const RecordJson::Value* selections = field("selections");
    if (!selections || !records(*selections, "selections", snapshot.selections))
        return malformed();
    const RecordJson::Value* groups = field("groups");
    if (!groups || !records(*groups, "groups", snapshot.groups))
        return malformed();
    const RecordJson::Value* drafts = optionalMember(document, "drafts");
    if (drafts) {
        if (!drafts->IsArray()) {
            context.fail("drafts", QStringLiteral("expected an array"));
            return malformed();
        }
        snapshot.drafts.emplace();
        if (!records(*drafts, "drafts", *snapshot.drafts))
            return malformed();
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
    for (const Selection& selection : snapshot.selections)
        if (!RecordJson::write(writer, selection))
            return failed();
    writer.EndArray();
    writer.Key("version");
    writer.Int64(snapshot.version);
    writer.EndObject();
    return {QByteArray(buffer.GetString(), qsizetype(buffer.GetSize())), std::nullopt};
}

DocumentDecoding decode(const QByteArray& bytes)
{
    return ParsedLibraryDocument(bytes).decode();
}

} // namespace LibraryDocument
