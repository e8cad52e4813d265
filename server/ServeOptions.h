#pragma once

#include "server/ConnectionGuard.h"
#include "server/VendorService.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QHostAddress>
#include <QList>

#include <optional>

namespace yz::server {

// "ADDRESS:PORT", the address of an IPv6 host in brackets.
struct ListenAddress {
    QString text;
    QHostAddress address;
    quint16 port = 0;
};
std::optional<ListenAddress> parseListen(const QString &text);

// What "serve" is told by its own options: where it listens, what it serves
// and its limits. The collector's and the log's options are read apart.
struct ServeSettings {
    ListenAddress listen;
    std::optional<ListenAddress> admin; // none unless asked for
    bool publicBaseGiven = false;
    ServiceConfig service;
    ConnectionLimits limits;
    int httpThreads = 1; // event loops answering the public listener
    bool collect = true;
};

// The options of "serve". The limits are rows of one table, each naming the
// setting it fills and its range; the help's defaults come from the
// settings' own defaults.
class ServeOptions {
public:
    ServeOptions();
    void addTo(QCommandLineParser &parser) const;
    // Reads the options into `settings` (the public base still to be
    // checked); refuses (CommandError) a bad value.
    void read(const QCommandLineParser &parser, ServeSettings *settings) const;
    // The public base given or made from the listening address; refused
    // when it is no http(s) address.
    void readPublicBase(const QCommandLineParser &parser, ServeSettings *settings) const;
    const QCommandLineOption &publicBase() const { return m_publicBase; }

private:
    QCommandLineOption m_listen, m_admin, m_publicBase, m_downloads;
    QList<QCommandLineOption> m_rows; // in the table's order
};

} // namespace yz::server
