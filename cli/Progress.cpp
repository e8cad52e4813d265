#include "cli/Progress.h"

#include "cli/ResultOutput.h"

#include <unistd.h>

namespace yz::cli {

Progress::Progress(std::FILE *stream)
    : m_stream(stream)
    , m_enabled(::isatty(::fileno(stream)) == 1)
{
}

void Progress::show(const QString &domain, int ended, int started)
{
    if (!m_enabled)
        return;
    const QString line = QStringLiteral("\r\x1b[K%1  %2/%3").arg(printable(domain)).arg(ended).arg(started);
    std::fputs(line.toUtf8().constData(), m_stream);
    std::fflush(m_stream);
    m_shown = true;
}

void Progress::clear()
{
    if (!m_shown)
        return;
    std::fputs("\r\x1b[K", m_stream);
    std::fflush(m_stream);
    m_shown = false;
}

} // namespace yz::cli
