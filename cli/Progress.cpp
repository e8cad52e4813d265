#include "cli/Progress.h"

#include "cli/BatchRun.h"
#include "cli/ResultOutput.h"

#include <unistd.h>

namespace yz::cli {
namespace {

constexpr qint64 kRedrawMs = 100;

QString clock(qint64 ms)
{
    const qint64 s = (ms + 999) / 1000;
    return s >= 3600 ? QStringLiteral("%1:%2:%3")
                               .arg(s / 3600)
                               .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
                               .arg(s % 60, 2, 10, QLatin1Char('0'))
                     : QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

Progress::Progress(std::FILE *stream)
    : m_stream(stream)
    , m_enabled(::isatty(::fileno(stream)) == 1)
{
}

QString Progress::line(const BatchState &state)
{
    QString text =
            QStringLiteral("已完成 %1/%2  请求 %3 进行中").arg(state.done).arg(state.total).arg(state.requestsInFlight);
    if (state.requestsWaiting > 0)
        text += QStringLiteral("，%1 排队").arg(state.requestsWaiting);
    if (!state.slowestHost.isEmpty())
        text += QStringLiteral("  最慢 %1 %2 秒")
                        .arg(printable(state.slowestHost))
                        .arg(double(state.slowestMeanMs) / 1000.0, 0, 'f', 1);
    if (state.remainingMs >= 0 && state.done < state.total)
        text += QStringLiteral("  剩余约 %1").arg(clock(state.remainingMs));
    return text;
}

void Progress::show(const BatchState &state, bool now)
{
    if (!m_enabled)
        return;
    if (!now && m_lastDrawn.isValid() && m_lastDrawn.elapsed() < kRedrawMs)
        return;
    m_lastDrawn.start();
    std::fputs((QStringLiteral("\r\x1b[K") + line(state)).toUtf8().constData(), m_stream);
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
