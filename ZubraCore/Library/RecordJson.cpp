#include "ZubraCore/Library/RecordJson.h"

#include "ZubraCore/Support/IsoDate.h"
#include "ZubraCore/Text/Uuids.h"

#include <QUrl>
#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace RecordJson {

QString DecodeContext::shared(std::string_view text)
{
    // A handful of recent texts, looked through in order: records of one source come in runs.
    constexpr size_t keep = 8;
    constexpr size_t longest = 96;
    if (text.size() > longest)
        return QString::fromUtf8(text.data(), qsizetype(text.size()));
    for (size_t i = m_recent.size(); i-- > 0;) {
        if (m_recent[i].bytes == text) {
            QString found = m_recent[i].text;
            if (i + 1 != m_recent.size())
                std::rotate(m_recent.begin() + qsizetype(i), m_recent.begin() + qsizetype(i) + 1, m_recent.end());
            return found;
        }
    }
    if (m_recent.size() == keep)
        m_recent.erase(m_recent.begin());
    m_recent.push_back({std::string(text), QString::fromUtf8(text.data(), qsizetype(text.size()))});
    return m_recent.back().text;
}

void DecodeContext::fail(const char* key, const QString& reason)
{
    if (!m_error.isEmpty())
        return;
    QString path;
    for (const Segment& segment : m_path) {
        if (segment.key)
            path += (path.isEmpty() ? QString() : QStringLiteral(".")) + QLatin1String(segment.key);
        else
            path += u'[' + QString::number(segment.index) + u']';
    }
    if (key)
        path += (path.isEmpty() ? QString() : QStringLiteral(".")) + QLatin1String(key);
    m_error = (path.isEmpty() ? QStringLiteral("the document") : path) + QStringLiteral(": ") + reason;
}

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::optional<QUuid> parseUuid(std::string_view text)
{
    if (text.size() != 36)
        return std::nullopt;
    uchar bytes[16];
    int byte = 0;
    for (size_t i = 0; i < 36;) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i++] != '-')
                return std::nullopt;
            continue;
        }
        const int high = hexValue(text[i]), low = hexValue(text[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes[byte++] = uchar(high << 4 | low);
        i += 2;
    }
    return QUuid::fromRfc4122(QByteArrayView(reinterpret_cast<const char*>(bytes), 16));
}

void parse(ParsedJson& parsed, QByteArrayView bytes, qsizetype padding)
{
    const char* text = bytes.data();
    if (padding < parsePadding) {
        parsed.copy = std::make_unique<simdjson::padded_string>(bytes.data(), size_t(bytes.size()));
        text = parsed.copy->data();
    }
    // A parser of its own, freed with its structural index as soon as the document is built.
    simdjson::dom::parser parser;
    const simdjson::error_code code
        = parser.parse_into_document(parsed.document, text, size_t(bytes.size()), false).get(parsed.root);
    parsed.error = code == simdjson::SUCCESS ? QString()
                                             : QStringLiteral("The document is not valid JSON (")
            + QString::fromUtf8(simdjson::error_message(code)) + u')';
}

bool requireDistinctKeys(const Value& object, DecodeContext& context)
{
    simdjson::dom::object members;
    if (object.get_object().get(members) != simdjson::SUCCESS)
        return true;
    // A record has about ten keys: compared pairwise in place; a larger object is sorted.
    constexpr size_t few = 16;
    std::array<std::string_view, few> some;
    std::vector<std::string_view> many;
    size_t count = 0;
    std::optional<std::string_view> repeated;
    for (const simdjson::dom::key_value_pair member : members) {
        if (count < few) {
            for (size_t i = 0; i < count && !repeated; ++i)
                if (some[i] == member.key)
                    repeated = member.key;
            some[count] = member.key;
        } else {
            if (many.empty())
                many.assign(some.begin(), some.end());
            many.push_back(member.key);
        }
        ++count;
        if (repeated)
            break;
    }
    if (!repeated && !many.empty()) {
        std::sort(many.begin(), many.end());
        if (const auto twice = std::adjacent_find(many.begin(), many.end()); twice != many.end())
            repeated = *twice;
    }
    if (!repeated)
        return true;
    // The key as the log shows it: a hostile file may name a long one.
    constexpr size_t shown = 64;
    const QString name = QString::fromUtf8(repeated->data(), qsizetype(std::min(repeated->size(), shown)))
        + (repeated->size() > shown ? QStringLiteral("\u2026") : QString());
    context.fail(nullptr, QStringLiteral("the key \"") + name + QStringLiteral("\" occurs twice"));
    return false;
}

bool isWebAddress(const QString& text)
{
    return !text.isEmpty() && QUrl(text, QUrl::TolerantMode).isValid();
}

namespace {

// ---- writing ----

void key(Writer& writer, const char* name)
{
    writer.Key(name, rapidjson::SizeType(std::strlen(name)));
}

void string(Writer& writer, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    writer.String(utf8.constData(), rapidjson::SizeType(utf8.size()));
}

void stringField(Writer& writer, const char* name, const QString& text)
{
    key(writer, name);
    string(writer, text);
}

void optionalStringField(Writer& writer, const char* name, const std::optional<QString>& text)
{
    if (text)
        stringField(writer, name, *text);
}

void uuidField(Writer& writer, const char* name, const QUuid& id)
{
    key(writer, name);
    const QByteArray text = id.toByteArray(QUuid::WithoutBraces).toUpper();
    writer.String(text.constData(), rapidjson::SizeType(text.size()));
}

bool dateField(Writer& writer, const char* name, const QDateTime& time)
{
    char text[20];
    const int length = IsoDate::toUtf8(time, text);
    if (length == 0)
        return false;
    key(writer, name);
    writer.String(text, rapidjson::SizeType(length));
    return true;
}

void boolField(Writer& writer, const char* name, bool value)
{
    key(writer, name);
    writer.Bool(value);
}

// ---- reading ----

using simdjson::dom::element_type;

const Value* member(const Value& object, const char* name, Value& slot)
{
    if (object.at_key(name).get(slot) != simdjson::SUCCESS)
        return nullptr;
    return &slot;
}

QString text(std::string_view view)
{
    return QString::fromUtf8(view.data(), qsizetype(view.size()));
}

bool requireObject(const Value& value, DecodeContext& context)
{
    if (value.is_object())
        return requireDistinctKeys(value, context);
    context.fail(nullptr, QStringLiteral("expected an object"));
    return false;
}

// The value under a required key, else a recorded failure.
const Value* required(const Value& object, const char* name, DecodeContext& context, Value& slot)
{
    const Value* value = member(object, name, slot);
    if (!value)
        context.fail(name, QStringLiteral("the key is missing"));
    return value;
}

// The value under an optional key; nullptr for a missing key or null.
const Value* optional(const Value& object, const char* name, Value& slot)
{
    const Value* value = member(object, name, slot);
    return value && !value->is_null() ? value : nullptr;
}

bool wrongType(DecodeContext& context, const char* name, const char* expected)
{
    context.fail(name, QStringLiteral("expected ") + QLatin1String(expected));
    return false;
}

bool readString(const Value* value, const char* name, DecodeContext& context, QString* out)
{
    std::string_view view;
    if (value->get_string().get(view) != simdjson::SUCCESS)
        return wrongType(context, name, "a string");
    if (out)
        *out = text(view);
    return true;
}

// A required string read through the context's pool of recurring texts.
bool requiredSharedString(const Value& object, const char* name, DecodeContext& context, QString* out)
{
    Value slot;
    const Value* value = required(object, name, context, slot);
    std::string_view view;
    if (!value)
        return false;
    if (value->get_string().get(view) != simdjson::SUCCESS)
        return wrongType(context, name, "a string");
    if (out)
        *out = context.shared(view);
    return true;
}

bool optionalSharedString(const Value& object, const char* name, DecodeContext& context, std::optional<QString>* out)
{
    Value slot;
    const Value* value = optional(object, name, slot);
    if (!value)
        return true;
    std::string_view view;
    if (value->get_string().get(view) != simdjson::SUCCESS)
        return wrongType(context, name, "a string");
    if (out)
        *out = context.shared(view);
    return true;
}

// The text and the markdown of a selection; a markdown equal to the text shares its string.
bool textAndMarkdown(const Value& object, DecodeContext& context, Selection* out)
{
    Value textSlot;
    Value markdownSlot;
    const Value* text = required(object, "text", context, textSlot);
    std::string_view textView;
    if (!text)
        return false;
    if (text->get_string().get(textView) != simdjson::SUCCESS)
        return wrongType(context, "text", "a string");
    const Value* markdown = required(object, "markdown", context, markdownSlot);
    std::string_view markdownView;
    if (!markdown)
        return false;
    if (markdown->get_string().get(markdownView) != simdjson::SUCCESS)
        return wrongType(context, "markdown", "a string");
    if (out) {
        out->text = RecordJson::text(textView);
        out->setMarkdown(markdownView == textView ? out->text : RecordJson::text(markdownView));
    }
    return true;
}

bool requiredString(const Value& object, const char* name, DecodeContext& context, QString* out)
{
    Value slot;
    const Value* value = required(object, name, context, slot);
    return value && readString(value, name, context, out);
}

bool optionalString(const Value& object, const char* name, DecodeContext& context, std::optional<QString>* out)
{
    Value slot;
    const Value* value = optional(object, name, slot);
    if (!value)
        return true;
    QString result;
    if (!readString(value, name, context, out ? &result : nullptr))
        return false;
    if (out)
        *out = std::move(result);
    return true;
}

bool optionalWebAddress(const Value& object, const char* name, DecodeContext& context, std::optional<QString>* out)
{
    Value slot;
    const Value* value = optional(object, name, slot);
    if (!value)
        return true;
    QString address;
    if (!readString(value, name, context, &address))
        return false;
    if (!isWebAddress(address)) {
        context.fail(name, QStringLiteral("not a web address"));
        return false;
    }
    if (out)
        *out = std::move(address);
    return true;
}

bool readUuid(const Value& value, const char* name, DecodeContext& context, QUuid* out)
{
    std::string_view view;
    if (value.get_string().get(view) != simdjson::SUCCESS)
        return wrongType(context, name, "an identifier");
    const std::optional<QUuid> id = parseUuid(view);
    if (!id) {
        context.fail(name, QStringLiteral("not an identifier"));
        return false;
    }
    if (out)
        *out = *id;
    return true;
}

bool requiredUuid(const Value& object, const char* name, DecodeContext& context, QUuid* out)
{
    Value slot;
    const Value* value = required(object, name, context, slot);
    return value && readUuid(*value, name, context, out);
}

bool uuidArray(const Value& object, const char* name, DecodeContext& context, QList<QUuid>* out)
{
    Value slot;
    const Value* value = required(object, name, context, slot);
    if (!value)
        return false;
    simdjson::dom::array array;
    if (value->get_array().get(array) != simdjson::SUCCESS)
        return wrongType(context, name, "an array");
    context.enter(name);
    qsizetype i = 0;
    for (const Value item : array) {
        QUuid id;
        context.enter(i++);
        const bool read = readUuid(item, nullptr, context, &id);
        context.leave();
        if (!read) {
            context.leave();
            return false;
        }
        if (out)
            out->append(id);
    }
    context.leave();
    return true;
}

bool requiredDate(const Value& object, const char* name, DecodeContext& context, QDateTime* out)
{
    Value slot;
    const Value* value = required(object, name, context, slot);
    if (!value)
        return false;
    std::string_view view;
    if (value->get_string().get(view) != simdjson::SUCCESS)
        return wrongType(context, name, "a date");
    const std::optional<QDateTime> time = IsoDate::parseUtf8(view.data(), view.size());
    if (!time) {
        context.fail(name, QStringLiteral("not a date of the form 2025-03-14T09:26:53Z"));
        return false;
    }
    if (out)
        *out = *time;
    return true;
}

bool requiredBool(const Value& object, const char* name, DecodeContext& context, bool* out)
{
    Value slot;
    const Value* value = required(object, name, context, slot);
    if (!value)
        return false;
    bool flag;
    if (value->get_bool().get(flag) != simdjson::SUCCESS)
        return wrongType(context, name, "true or false");
    if (out)
        *out = flag;
    return true;
}

// Reads an array of records of one kind, each under its index.
template <typename Record>
bool recordArray(const Value& object, const char* name, DecodeContext& context, QList<Record>* out)
{
    Value slot;
    const Value* value = required(object, name, context, slot);
    if (!value)
        return false;
    simdjson::dom::array array;
    if (value->get_array().get(array) != simdjson::SUCCESS)
        return wrongType(context, name, "an array");
    context.enter(name);
    bool ok = true;
    qsizetype i = 0;
    for (const Value item : array) {
        context.enter(i++);
        if (out) {
            out->emplace_back();
            ok = read(item, context, &out->back());
        } else {
            ok = read(item, context, static_cast<Record*>(nullptr));
        }
        context.leave();
        if (!ok)
            break;
    }
    context.leave();
    return ok;
}

} // namespace

bool write(Writer& writer, const Selection& s)
{
    writer.StartObject();
    stringField(writer, "appName", s.appName);
    optionalStringField(writer, "bundleID", s.bundleID);
    if (!dateField(writer, "createdAt", s.createdAt))
        return false;
    optionalStringField(writer, "filePath", s.filePath);
    key(writer, "groupIDs");
    writer.StartArray();
    for (const QUuid& id : s.groupIDs) {
        const QByteArray text = id.toByteArray(QUuid::WithoutBraces).toUpper();
        writer.String(text.constData(), rapidjson::SizeType(text.size()));
    }
    writer.EndArray();
    uuidField(writer, "id", s.id);
    stringField(writer, "markdown", s.markdown());
    optionalStringField(writer, "sourceTitle", s.sourceTitle);
    optionalStringField(writer, "sourceURL", s.sourceURL);
    stringField(writer, "text", s.text);
    writer.EndObject();
    return true;
}

bool write(Writer& writer, const SelectionGroup& g)
{
    writer.StartObject();
    stringField(writer, "colorHex", g.colorHex);
    if (!dateField(writer, "createdAt", g.createdAt))
        return false;
    uuidField(writer, "id", g.id);
    stringField(writer, "name", g.name);
    writer.EndObject();
    return true;
}

bool write(Writer& writer, const ContextDraftEntry& e)
{
    writer.StartObject();
    optionalStringField(writer, "customText", e.customText);
    uuidField(writer, "id", e.id);
    boolField(writer, "include", e.include);
    optionalStringField(writer, "note", e.note);
    boolField(writer, "pin", e.pin);
    uuidField(writer, "selectionID", e.selectionID);
    boolField(writer, "verbatim", e.verbatim);
    writer.EndObject();
    return true;
}

bool write(Writer& writer, const ContextDraft& d)
{
    writer.StartObject();
    if (!dateField(writer, "createdAt", d.createdAt))
        return false;
    key(writer, "entries");
    writer.StartArray();
    for (const ContextDraftEntry& entry : d.entries)
        write(writer, entry);
    writer.EndArray();
    uuidField(writer, "id", d.id);
    stringField(writer, "modelProfileID", d.modelProfileID);
    stringField(writer, "name", d.name);
    stringField(writer, "task", d.task);
    stringField(writer, "template", d.templateName);
    if (!dateField(writer, "updatedAt", d.updatedAt))
        return false;
    writer.EndObject();
    return true;
}

bool write(Writer& writer, const SourceIdentity& i)
{
    writer.StartObject();
    stringField(writer, "appName", i.appName);
    optionalStringField(writer, "bundleID", i.bundleID);
    optionalStringField(writer, "filePath", i.filePath);
    stringField(writer, "identifier", i.identifier);
    optionalStringField(writer, "sourceURL", i.sourceURL);
    writer.EndObject();
    return true;
}

bool read(const Value& value, DecodeContext& c, Selection* out)
{
    return requireObject(value, c) && requiredUuid(value, "id", c, out ? &out->id : nullptr)
        && textAndMarkdown(value, c, out)
        && requiredSharedString(value, "appName", c, out ? &out->appName : nullptr)
        && optionalSharedString(value, "bundleID", c, out ? &out->bundleID : nullptr)
        && optionalWebAddress(value, "sourceURL", c, out ? &out->sourceURL : nullptr)
        && optionalString(value, "sourceTitle", c, out ? &out->sourceTitle : nullptr)
        && optionalString(value, "filePath", c, out ? &out->filePath : nullptr)
        && uuidArray(value, "groupIDs", c, out ? &out->groupIDs : nullptr)
        && requiredDate(value, "createdAt", c, out ? &out->createdAt : nullptr);
}

bool read(const Value& value, DecodeContext& c, SelectionGroup* out)
{
    return requireObject(value, c) && requiredUuid(value, "id", c, out ? &out->id : nullptr)
        && requiredString(value, "name", c, out ? &out->name : nullptr)
        && requiredString(value, "colorHex", c, out ? &out->colorHex : nullptr)
        && requiredDate(value, "createdAt", c, out ? &out->createdAt : nullptr);
}

bool read(const Value& value, DecodeContext& c, ContextDraftEntry* out)
{
    return requireObject(value, c) && requiredUuid(value, "id", c, out ? &out->id : nullptr)
        && requiredUuid(value, "selectionID", c, out ? &out->selectionID : nullptr)
        && requiredBool(value, "include", c, out ? &out->include : nullptr)
        && requiredBool(value, "pin", c, out ? &out->pin : nullptr)
        && requiredBool(value, "verbatim", c, out ? &out->verbatim : nullptr)
        && optionalString(value, "note", c, out ? &out->note : nullptr)
        && optionalString(value, "customText", c, out ? &out->customText : nullptr);
}

bool read(const Value& value, DecodeContext& c, ContextDraft* out)
{
    return requireObject(value, c) && requiredUuid(value, "id", c, out ? &out->id : nullptr)
        && requiredString(value, "name", c, out ? &out->name : nullptr)
        && requiredString(value, "task", c, out ? &out->task : nullptr)
        && requiredString(value, "template", c, out ? &out->templateName : nullptr)
        && requiredString(value, "modelProfileID", c, out ? &out->modelProfileID : nullptr)
        && requiredDate(value, "createdAt", c, out ? &out->createdAt : nullptr)
        && requiredDate(value, "updatedAt", c, out ? &out->updatedAt : nullptr)
        && recordArray(value, "entries", c, out ? &out->entries : nullptr);
}

bool read(const Value& value, DecodeContext& c, SourceIdentity* out)
{
    return requireObject(value, c) && requiredString(value, "identifier", c, out ? &out->identifier : nullptr)
        && requiredString(value, "appName", c, out ? &out->appName : nullptr)
        && optionalString(value, "bundleID", c, out ? &out->bundleID : nullptr)
        && optionalWebAddress(value, "sourceURL", c, out ? &out->sourceURL : nullptr)
        && optionalString(value, "filePath", c, out ? &out->filePath : nullptr);
}

} // namespace RecordJson
