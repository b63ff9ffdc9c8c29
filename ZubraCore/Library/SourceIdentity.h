#pragma once
// The source a selection came from: keyed by its web address, else its file path, else its
// application name; addresses and names in their composed form (NFC), file paths as they are.
// Derived on demand and never stored.

#include "ZubraCore/Library/RecordHash.h"

#include <QString>
#include <optional>

struct Selection;

struct SourceIdentity
{
    QString identifier;
    QString appName;
    std::optional<QString> bundleID;
    std::optional<QString> sourceURL; // present only when the key is the web address
    std::optional<QString> filePath; // present only when the key is the file path

    static SourceIdentity from(const Selection& selection);
    // The identifier from(selection) would have, without building the identity.
    static QString keyOf(const Selection& selection);

    // The text that names the source; also its sort key.
    QString display() const;
    // "Web · App" or "Document · App"; nothing for an application source.
    std::optional<QString> detail() const;

    // Equality covers all five fields; ordering goes by display, localized and ignoring case,
    // so two identities may be neither less nor greater and still differ.
    friend bool operator==(const SourceIdentity&, const SourceIdentity&) = default;
    friend bool operator<(const SourceIdentity& a, const SourceIdentity& b);
    friend bool operator>(const SourceIdentity& a, const SourceIdentity& b) { return b < a; }
    friend bool operator<=(const SourceIdentity& a, const SourceIdentity& b) { return !(b < a); }
    friend bool operator>=(const SourceIdentity& a, const SourceIdentity& b) { return !(a < b); }
};

size_t qHash(const SourceIdentity& s, size_t seed = 0) noexcept;
