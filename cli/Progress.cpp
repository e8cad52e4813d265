#include "cli/Progress.h"

#include "cli/BatchRun.h"
#include "cli/ResultOutput.h"

#include <unistd.h>

#include <algorithm>

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
    for (const HostGate::HostSummary &host : state.refusing)
        text += QStringLiteral("  %1 拒绝中，%2 秒一次")
                        .arg(printable(host.host))
                        .arg(double(std::max(host.delayMs, 1)) / 1000.0, 0, 'f', 1);
    if (state.remainingMs >= 0 && state.done < state.total)
        text += QStringLiteral("  剩余约 %1").arg(clock(state.remainingMs));
    return text;
}

QString Progress::hostSummary(const QList<HostGate::HostSummary> &hosts, bool always)
{
    const bool troubled = std::any_of(hosts.cbegin(), hosts.cend(), [](const HostGate::HostSummary &h) {
        return h.refusals > 0 || h.failures > 0 || h.givenUp;
    });
    if (!troubled && !always)
        return {};
    QString text = QStringLiteral("各主机：\n");
    for (const HostGate::HostSummary &h : hosts)
        text += QStringLiteral("  %1  请求 %2，拒绝 %3，失败 %4%5\n")
                        .arg(printable(h.host))
                        .arg(h.requests)
                        .arg(h.refusals)
                        .arg(h.failures)
                        .arg(h.givenUp ? QStringLiteral("，已放弃") : QString());
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
