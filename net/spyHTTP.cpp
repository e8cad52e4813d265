#include "net/spyHTTP.h"

#include "net/HandlerTable.h"
#include "net/TextDecoding.h"
#include "net/TransportStatus.h"

#include <QNetworkReply>

namespace yz {

// Qt does not always flag a connection that closed before the announced
// Content-Length had arrived; a body cut short must not pass for a page.
bool isCutShort(const QNetworkReply &reply, const QByteArray &body)
{
    if (!reply.rawHeader("Content-Encoding").isEmpty())
        return false; // the length counts compressed bytes
    bool ok = false;
    const qint64 announced = reply.rawHeader("Content-Length").trimmed().toLongLong(&ok);
    return ok && body.size() < announced;
}

spyHTTP::spyHTTP(QNetworkReply *request, const QString &handler, const QString &charset, const HandlerTable &handlers,
                 DeliveryQueue &deliveries, int timeoutMs, qint64 byteLimit, QObject *parent)
    : WatchedRequest(request, deliveries, timeoutMs, byteLimit, parent)
    , sFunc(handler)
    , sCharset(charset)
    , m_handlers(handlers)
    , m_asked(request->url())
{
    m_clock.start();
    connect(request, &QNetworkReply::finished, this, &spyHTTP::spy);
}

void spyHTTP::spy()
{
    int status = 0;
    QNetworkReply *reply = takeCompleted(&status);
    if (!reply)
        return;
    PageAnswer answer = PageAnswer::failed(status, m_asked);
    answer.answered = reply->url();
    answer.elapsedMs = m_clock.elapsed();
    if (answer.outcome == PageAnswer::Outcome::Http || status == 200)
        answer.body = takeBody(reply);
    if (status == 200) {
        if (isCutShort(*reply, answer.body)) {
            answer.outcome = PageAnswer::Outcome::Transport;
            answer.status = transport::kConnectionAborted;
        } else {
            answer.outcome = PageAnswer::Outcome::Read;
        }
    }
    // Decoding and scraping a long page takes a while: each answer gets an
    // event-loop pass of its own.
    postDelivery([this, answer = std::move(answer)]() mutable { deliver(std::move(answer)); });
}

void spyHTTP::deliver(PageAnswer answer)
{
    if (answer.read())
        answer.text = decodePage(answer.body, sCharset);
    m_handlers.deliver(sFunc, answer);
    finishDelivery(answer.read());
}

QString decodePage(const QByteArray &body, const QString &charset)
{
    if (!charset.isEmpty())
        return decodeByLabel(body, charset);
    const QString gbk = decodeByLabel(body, QStringLiteral("gb2312"));
    return declaresUtf8(gbk) ? decodeByLabel(body, QStringLiteral("utf-8")) : gbk;
}

bool declaresUtf8(QStringView text)
{
    // Equivalent to a search for "<meta[^>]+charset=utf-8", ignoring case, but
    // linear: the "[^>]+" of every "<meta" ends at the next ">", so each
    // stretch up to a ">" is searched once, however many "<meta" it holds.
    static const QString open = QStringLiteral("<meta");
    static const QString declaration = QStringLiteral("charset=utf-8");
    qsizetype from = 0;
    for (;;) {
        const qsizetype tag = text.indexOf(open, from, Qt::CaseInsensitive);
        if (tag < 0)
            return false;
        const qsizetype inside = tag + open.size() + 1; // "[^>]+" takes at least one character
        qsizetype close = text.indexOf(u'>', tag + open.size());
        if (close < 0)
            close = text.size();
        if (inside < close && text.sliced(inside, close - inside).contains(declaration, Qt::CaseInsensitive))
            return true;
        from = close;
    }
}

} // namespace yz
