#pragma once

#include <QDateTime>
#include <QString>

namespace yz {

// Why a result cell holds its value, decided where the handler decides the
// value. The value itself never changes because of it.
struct CellStatus {
    enum class Cause {
        Empty, // nothing asked yet
        Waiting, // the request is under way
        Ok, // a value was read
        None, // the service said nothing was found ("0", "No")
        Refused, // a refusal page ("频")
        Unrecognised, // the page matched no pattern or marker ("X")
        Failed, // the request failed: an HTTP status or a transport status
    };

    Cause cause = Cause::Empty;
    int http = 0; // Failed with an HTTP answer: its status
    int transport = 0; // Failed without one: the status of the README's table
    QDateTime at; // when the answer arrived (UTC)

    // The cause of a value a handler wrote from (err, html).
    static CellStatus of(qint16 err, const QString &html, const QString &value);
    static CellStatus waiting();

    // A failed request's status number: the HTTP status, or without one the
    // transport status; 0 when the cell did not fail.
    int failureStatus() const { return cause != Cause::Failed ? 0 : http != 0 ? http : transport; }

    QString name() const; // "ok", "none", "refused", "unrecognised", "failed", "waiting", ""
    // The cause in Chinese, with the time of the answer: a cell's tooltip.
    QString description() const;
};

} // namespace yz
