#pragma once

#include "net/PageAnswer.h"

#include <QDateTime>
#include <QString>

namespace yz {

struct Scraped;

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
    int http = 0; // the HTTP status of the answer, when one came
    int transport = 0; // Failed without one: the status of the README's table
    QDateTime at; // when the answer arrived (UTC)
    QString address; // the address asked
    qint64 bytes = -1; // the size of the body as received; -1 without an answer
    qint64 ms = -1; // how long the request took; -1 without an answer
    QString reason; // Unrecognised: what more is known, e.g. a pattern gave up on the page

    // The cause of a value a handler read from an answer: the answer's
    // failure, or else what the scraper said about the page.
    static CellStatus of(const PageAnswer &answer, const Scraped &scraped);
    static CellStatus waiting();

    // A failed request's status number: the HTTP status, or without one the
    // transport status; 0 when the cell did not fail.
    int failureStatus() const { return cause != Cause::Failed ? 0 : http != 0 ? http : transport; }

    QString name() const; // "ok", "none", "refused", "unrecognised", "failed", "waiting", ""
    // The name with what more is known: "failed 404", "unrecognised <reason>".
    QString summary() const;
    // The cause in Chinese, with the time of the answer.
    QString description() const;
    // A cell's tooltip: the description, and under it the address asked.
    QString toolTip() const;
};

} // namespace yz
