// Any bytes as the library file: the parse that splits the selections out and reads each on its
// own agrees with the parse of the whole document, with the same records or the same error.

#include "ZubraCore/Library/LibraryDocument.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void disagree(const char* what, const DocumentDecoding& split, const DocumentDecoding& whole)
{
    const auto describe = [](const DocumentDecoding& d) {
        return d.error ? QString::number(int(d.error->kind)) + u' ' + d.error->description : QStringLiteral("records");
    };
    std::fprintf(stderr, "split and whole parse differ in %s:\n  split: %s\n  whole: %s\n", what,
        qPrintable(describe(split)), qPrintable(describe(whole)));
    std::abort();
}

// The same error: the same kind and description, except that which of simdjson's reasons a text
// that is not JSON gets depends on the piece it was parsed in.
bool sameError(const DocumentError& a, const DocumentError& b)
{
    static const QString notJson = QStringLiteral("The document is not valid JSON (");
    if (a.kind != b.kind)
        return false;
    if (a.description.startsWith(notJson) || b.description.startsWith(notJson))
        return a.description.startsWith(notJson) && b.description.startsWith(notJson);
    return a.description == b.description;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const ParsedLibraryDocument split(bytes);
    const ParsedLibraryDocument whole = ParsedLibraryDocument::whole(bytes);
    const DocumentDecoding splitDecoding = split.decode();
    const DocumentDecoding wholeDecoding = whole.decode();
    if (splitDecoding.error.has_value() != wholeDecoding.error.has_value())
        disagree("outcome", splitDecoding, wholeDecoding);
    if (splitDecoding.error && !sameError(*splitDecoding.error, *wholeDecoding.error))
        disagree("error", splitDecoding, wholeDecoding);
    if (splitDecoding.snapshot != wholeDecoding.snapshot)
        disagree("records", splitDecoding, wholeDecoding);
    if (split.version() != whole.version())
        disagree("version", splitDecoding, wholeDecoding);
    // The checks without the records reach the same verdict as the full decode.
    const std::optional<DocumentError> validated = ParsedLibraryDocument(bytes).validate();
    if (validated.has_value() != splitDecoding.error.has_value()
        || (validated && !sameError(*validated, *splitDecoding.error)))
        disagree("validation", splitDecoding, wholeDecoding);
    return 0;
}
