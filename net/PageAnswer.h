#pragma once

#include "net/TransportStatus.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

namespace yz {

// Everything known about one page request once it has ended: how it ended,
// which address was asked and which answered, the body exactly as received
// and its decoded text, and how long it took. Handlers read this; nothing is
// encoded into text and parsed back.
struct PageAnswer {
    enum class Outcome {
        Read, // HTTP 200: the body is the page
        Http, // another HTTP status
        Transport, // no usable HTTP answer (refused, reset, timed out, cut short, never sent)
    };

    Outcome outcome = Outcome::Transport;
    int status = 0; // the HTTP status, or the transport status without one
    QUrl asked; // the address requested
    QUrl answered; // the address that answered, after redirects
    QByteArray body; // as received (empty without an HTTP answer)
    QString text; // the body decoded by the request's charset label (Read only)
    qint64 elapsedMs = 0; // from sending to the end of the answer

    bool read() const { return outcome == Outcome::Read; }
    int httpStatus() const { return outcome == Outcome::Transport ? 0 : status; }
    // The request could not be made at all (its address is not one to request).
    bool notStarted() const { return outcome == Outcome::Transport && status == transport::kNotStarted; }

    // The (err, html) view the window's named operations take: err 0 with
    // the page text for HTTP 200, else err 1 with the status as digits.
    qint16 err() const { return read() ? 0 : 1; }
    QString html() const { return read() ? text : QString::number(status); }

    // An answer made without a request: the page text as read, or a failure
    // status (HTTP below 1000, transport from 12000).
    static PageAnswer page(const QString &text, const QUrl &asked = {});
    static PageAnswer failed(int status, const QUrl &asked = {});
};

} // namespace yz
