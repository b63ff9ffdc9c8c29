#pragma once
// The build's own values: the version line and the update settings.

#include <QString>

namespace BundleInfo {

// The version the user reads ("1.0.0") and the build number, an integer counted per release.
inline const QString shortVersionString = QStringLiteral(TESSELLON_VERSION);
inline const QString bundleVersion = QStringLiteral("1");

// Where releases are published: the feed, the archives (the prefix ends in "/") and the site.
inline const QString updateFeedAddress = QStringLiteral("https://downloads.tessellon.app/appcast.xml");
inline const QString downloadLocation = QStringLiteral("https://downloads.tessellon.app/releases/");
inline const QString webDomain = QStringLiteral("tessellon.app");
// The updater's public signing key (Base64 of 32 bytes); this build has none.
inline const QString updatePublicKey;

} // namespace BundleInfo
