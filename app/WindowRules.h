#pragma once

#include "parsers/InstalledRules.h"
#include "parsers/StatisticsLine.h"
#include "query/QueryEngine.h"

#include <QObject>

#include <optional>

// The rules the window reads pages with: the installed published rules over
// the built-in ones. At start-up it asks the vendor once for newer ones and
// takes them up from the next press; a failure is silent, as for the news.
// Without a vendor key built in, nothing is asked and the built-in rules stay.
class WindowRules : public QObject {
    Q_OBJECT
public:
    WindowRules(yz::QueryEngine &engine, yz::StatisticsLine &statistics, QObject *parent = nullptr);

    // What the result handlers read with; replaced in place when newer rules arrive.
    const yz::ScrapeRules &rules() const { return m_rules; }

    // Loads the installed rules once (the engine's hosts must be set by
    // then): after the window is painted, or before whatever needs them first.
    void load();
    // The one request for newer rules (the installed ones loaded first).
    void askForNewer();

private:
    void take(const yz::PageAnswer &answer);
    void use(const yz::InstalledRules &installed);

    yz::QueryEngine &m_engine;
    yz::StatisticsLine &m_statistics;
    yz::ScrapeRules m_rules;
    qint64 m_version = 0;
    std::optional<yz::InstalledRules> m_installed; // once loaded
};
