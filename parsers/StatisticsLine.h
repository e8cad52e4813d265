#pragma once

#include "net/PageFetcher.h"
#include "parsers/StatisticsRules.h"
#include "services/ServiceHosts.h"

#include <QObject>

#include <optional>

namespace yz {

// The statistics line of the user's own site: logs in to the provider's
// report and reads today's and yesterday's counts from it. Its answer reaches
// the handler "Tongji".
class StatisticsLine : public QObject {
    Q_OBJECT
public:
    // Registers the handler with the fetcher's table.
    StatisticsLine(PageFetcher &fetcher, const ServiceHosts &hosts, QObject *parent = nullptr);

    // Requests the provider's report with the ID and password inserted as
    // typed, and reports the loading caption. An unknown provider keeps the
    // previous login address.
    void invokeTongji(std::optional<StatisticsProvider> type, const QString &siteId, const QString &password);
    // The handler: reports the line, or why there is none.
    void Tongji(qint16 err, const QString &html);

    // The rules the report page is read with (the built-in ones until set).
    void setRules(const StatisticsRules &rules) { m_rules = rules; }

    // The login address of the last request; a click on the line opens it.
    const QString &loginUrl() const { return m_url; }

Q_SIGNALS:
    // The caption the line shows now.
    void line(const QString &text);
    // A page the program cannot read: the message for the user and, when the
    // message holds only its beginning, the whole page.
    void failed(const QString &message, const QString &page);

private:
    PageFetcher &m_fetcher;
    const ServiceHosts &m_hosts;
    std::optional<StatisticsProvider> m_type;
    StatisticsRules m_rules;
    QString m_url;
};

} // namespace yz
