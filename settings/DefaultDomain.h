#pragma once

#include <QString>

namespace yz {

// The domain the domain box shows before anything is stored, and the one the
// default settings record holds.
inline const QString kDefaultDomain = QStringLiteral("www.example.com");

} // namespace yz
