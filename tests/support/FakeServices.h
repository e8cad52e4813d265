#pragma once

#include "services/ServiceHosts.h"
#include "tests/support/FakeHttpServer.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <array>
#include <memory>

namespace yztest {

// One fake server per outside service, each on its own loopback port, and the
// host table that points the engine at them.
class FakeServices {
public:
    FakeServices()
    {
        for (int i = 0; i < yz::kServiceCount; ++i) {
            m_servers[size_t(i)] = std::make_unique<FakeHttpServer>();
            m_hosts.setBase(yz::Service(i), m_servers[size_t(i)]->base());
        }
    }

    FakeHttpServer &operator[](yz::Service s) { return *m_servers[size_t(s)]; }
    const yz::ServiceHosts &hosts() const { return m_hosts; }

    void setResponseForAll(const FakeResponse &response)
    {
        for (auto &server : m_servers)
            server->setResponse(response);
    }

    void clearAll()
    {
        for (auto &server : m_servers)
            server->clear();
    }

    // The host table as the command line's endpoints file reads it.
    QJsonObject endpoints() const
    {
        QJsonObject o;
        for (int i = 0; i < yz::kServiceCount; ++i)
            o.insert(yz::ServiceHosts::serviceName(yz::Service(i)), m_hosts.base(yz::Service(i)));
        return o;
    }

    // Writes endpoints() to `path` and returns the path.
    QString writeEndpointsFile(const QString &path) const
    {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(QJsonDocument(endpoints()).toJson());
        return path;
    }

    int requestCount() const
    {
        int n = 0;
        for (const auto &server : m_servers)
            n += int(server->requests().size());
        return n;
    }

private:
    std::array<std::unique_ptr<FakeHttpServer>, yz::kServiceCount> m_servers;
    yz::ServiceHosts m_hosts;
};

} // namespace yztest
