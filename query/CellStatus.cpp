#include "query/CellStatus.h"

#include "net/TransportStatus.h"
#include "query/Scraped.h"

namespace yz {

CellStatus CellStatus::of(const PageAnswer &answer, const Scraped &scraped)
{
    CellStatus status;
    status.at = QDateTime::currentDateTimeUtc();
    status.address = answer.asked.toString(QUrl::FullyEncoded);
    status.bytes = answer.body.size();
    status.ms = answer.elapsedMs;
    status.http = answer.httpStatus();
    switch (answer.outcome) {
    case PageAnswer::Outcome::Http:
        status.cause = Cause::Failed;
        return status;
    case PageAnswer::Outcome::Transport:
        status.cause = Cause::Failed;
        status.transport = answer.status != 0 ? answer.status : transport::kNotStarted;
        if (status.transport == transport::kHostGivenUp) {
            status.cause = Cause::Refused; // refused before: not asked again this run
            status.reason = QStringLiteral("连续拒绝，本次不再查询");
        }
        return status;
    case PageAnswer::Outcome::Read:
        break;
    }
    status.cause = scraped.cause;
    if (scraped.cause == Cause::Unrecognised)
        status.reason = scraped.reason;
    return status;
}

CellStatus CellStatus::waiting()
{
    CellStatus status;
    status.cause = Cause::Waiting;
    return status;
}

QString CellStatus::name() const
{
    switch (cause) {
    case Cause::Empty:
        return {};
    case Cause::Waiting:
        return QStringLiteral("waiting");
    case Cause::Ok:
        return QStringLiteral("ok");
    case Cause::None:
        return QStringLiteral("none");
    case Cause::Refused:
        return QStringLiteral("refused");
    case Cause::Unrecognised:
        return QStringLiteral("unrecognised");
    case Cause::Failed:
        return QStringLiteral("failed");
    }
    return {};
}

QString CellStatus::summary() const
{
    if (const int status = failureStatus(); status != 0)
        return name() + u' ' + QString::number(status);
    return reason.isEmpty() ? name() : name() + u' ' + reason;
}

QString CellStatus::description() const
{
    QString text;
    switch (cause) {
    case Cause::Empty:
        return {};
    case Cause::Waiting:
        return QStringLiteral("查询中");
    case Cause::Ok:
        text = QStringLiteral("已读取");
        break;
    case Cause::None:
        text = QStringLiteral("服务表示没有找到");
        break;
    case Cause::Refused:
        text = QStringLiteral("服务拒绝自动查询");
        if (!reason.isEmpty())
            text += QStringLiteral("：") + reason;
        break;
    case Cause::Unrecognised:
        text = QStringLiteral("未识别的页面");
        if (!reason.isEmpty())
            text += QStringLiteral("：") + reason;
        break;
    case Cause::Failed:
        if (http == 0 && transport == 0 && !reason.isEmpty()) {
            text = reason; // settled when its press ended without an answer
            break;
        }
        if (http != 0) {
            text = QStringLiteral("HTTP %1").arg(http);
            break;
        }
        switch (transport) {
        case transport::kTimedOut:
            text = QStringLiteral("超时");
            break;
        case transport::kNameNotResolved:
            text = QStringLiteral("找不到服务器");
            break;
        case transport::kCannotConnect:
            text = QStringLiteral("连接被拒绝");
            break;
        case transport::kConnectionAborted:
            text = QStringLiteral("连接中断");
            break;
        case transport::kInvalidResponse:
            text = QStringLiteral("不是 HTTP 应答");
            break;
        case transport::kProxyFailed:
            text = QStringLiteral("代理服务器无法连接或拒绝转发（服务本身没有被询问）");
            break;
        default:
            text = QStringLiteral("请求未能发出");
        }
        if (!reason.isEmpty())
            text += QStringLiteral("：") + reason;
        break;
    }
    return at.isValid()
            ? text + QStringLiteral("（") + at.toLocalTime().toString(QStringLiteral("HH:mm:ss")) + QStringLiteral("）")
            : text;
}

QString CellStatus::toolTip() const
{
    const QString text = description();
    return address.isEmpty() || text.isEmpty() ? text : text + u'\n' + address;
}

} // namespace yz
