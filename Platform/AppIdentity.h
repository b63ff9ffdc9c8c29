#pragma once
// Who this program is to the desktop: one home for the identifiers that name it.

namespace AppIdentity {

// Bundle identifier, desktop-entry id and system-log identifier.
inline constexpr char bundleIdentifier[] = "com.vesk.tessellon";
// The settings scope: organisation and application of the native settings file.
inline constexpr char organisation[] = "vesk";
inline constexpr char applicationName[] = "Tessellon";
// The earlier product's settings scope, read once by the adoption of its data.
inline constexpr char legacyApplicationName[] = "Zubra";

} // namespace AppIdentity
