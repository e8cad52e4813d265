#pragma once

#include "services/ServiceHosts.h"
#include "tests/support/FakeHttpServer.h"

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
