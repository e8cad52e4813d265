#pragma once

// Where the Debian package puts the service: its system user, the file of
// its settings and the database it uses unless told otherwise.
namespace yz::server::package {

inline constexpr char kServiceUser[] = "yanzhou-server";
inline constexpr char kDefaultsFile[] = "/etc/default/yanzhou-server";
inline constexpr char kDatabase[] = "/var/lib/yanzhou-server/yanzhou-server.sqlite";
// The line of the settings file naming the database.
inline constexpr char kDatabaseVariable[] = "YANZHOU_DB";

} // namespace yz::server::package
