#pragma once
// The library file's document: a StoreSnapshot as one pretty-printed JSON object with sorted
// keys, its version screen and its uniqueness checks.

#include "ZubraCore/Library/StoreSnapshot.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

struct DocumentError
{
    enum Kind {
        malformed, // not JSON, a missing key, a key named twice, a wrong type, a bad date, identifier or address
        incompatibleVersion, // a version other than 1 or 2
        duplicateIdentity, // two records of one kind share an identifier
    };
    Kind kind;
    QString description;
};

struct DocumentDecoding
{
    std::optional<StoreSnapshot> snapshot; // present exactly when error is absent
    std::optional<DocumentError> error;
};

struct DocumentEncoding
{
    QByteArray bytes;
    std::optional<QString> error; // a value that cannot be written (an invalid time)
};

// One parse of a document's bytes, shared by the version screen and the full decode so that a
// file is parsed once.
class ParsedLibraryDocument
{
public:
    // Parses the bytes, in place when readable padding follows them within their allocation
    // (as after encode()), else from a padded copy.
    explicit ParsedLibraryDocument(const QByteArray& bytes);
    // Parses bytes someone else holds, in place when `padding` readable bytes follow them;
    // `owner` keeps them alive (a mapped file) for as long as the document lives.
    ParsedLibraryDocument(QByteArrayView bytes, qsizetype padding, std::shared_ptr<const void> owner);
    // The same as the first constructor; the bytes are kept by the document.
    static ParsedLibraryDocument consuming(QByteArray bytes);
    // Parsed whole, never split into its selections: what the split parse must agree with.
    static ParsedLibraryDocument whole(const QByteArray& bytes);
    ~ParsedLibraryDocument();
    ParsedLibraryDocument(ParsedLibraryDocument&&) noexcept;
    ParsedLibraryDocument& operator=(ParsedLibraryDocument&&) noexcept;

    // The top-level integer "version"; nothing when the bytes are not a JSON object, have no
    // integer there or name a top-level key twice (which the full decode then reports as damage).
    std::optional<qint64> version() const;
    // The full decode: version screen, every record, then the uniqueness checks.
    DocumentDecoding decode() const;
    // The same checks as decode() without building the records; the error when one fails.
    std::optional<DocumentError> validate() const;

    struct Parsed; // the parsed JSON, opaque outside the document code

private:
    ParsedLibraryDocument() = default;
    std::unique_ptr<Parsed> m_parsed;
};

namespace LibraryDocument {

// Bytes larger than this are not read as a library (about 30 times a large real library).
constexpr qint64 maxBytes = qint64(2) << 30;

bool isReadableVersion(qint64 version);

// Pretty-printed, keys sorted, the same bytes for the same snapshot.
DocumentEncoding encode(const StoreSnapshot& snapshot);
DocumentDecoding decode(const QByteArray& bytes);

} // namespace LibraryDocument
