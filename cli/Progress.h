#pragma once

#include <QString>

#include <cstdio>

namespace yz::cli {

// A one-line progress report on standard error, shown only while standard
// error is a terminal, and cleared before anything else is written there.
class Progress {
public:
    explicit Progress(std::FILE *stream);
    ~Progress() { clear(); }

    bool enabled() const { return m_enabled; }
    void show(const QString &domain, int ended, int started);
    void clear();

private:
    std::FILE *m_stream;
    bool m_enabled;
    bool m_shown = false;
};

} // namespace yz::cli
