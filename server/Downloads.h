#pragma once

#include <QString>

namespace yz::server {

// Orders two Debian version strings as dpkg does (epochs aside): runs of
// non-digits compare character by character, "~" before everything, letters
// before other marks; runs of digits compare as numbers. <0, 0 or >0.
int compareDebianVersions(const QString &a, const QString &b);

// The package file to offer from a downloads directory: the one named
// yanzhou_VERSION_amd64.deb with the highest VERSION (a plain
// yanzhou_amd64.deb counts as the lowest); empty when there is none.
QString newestPackage(const QString &directory);

} // namespace yz::server
