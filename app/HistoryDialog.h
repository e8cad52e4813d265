#pragma once

#include "app/HistoryChart.h"
#include "results/HistoryTable.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QWidget>

// A domain's stored runs in a window of their own: a table of the runs,
// newest first, with the values that changed in bold and the failed queries
// greyed; a line chart of one metric over time; CSV export of the table.
class HistoryDialog : public QWidget {
    Q_OBJECT
public:
    // Opens on `key`'s metric ("tb1/收录/Baidu"); the runs follow with showRuns.
    HistoryDialog(const QString &domain, const QString &key, QWidget *parent);

    // The runs (oldest first) arrived, or why they could not be read.
    void showRuns(const QList<yz::StoredRun> &runs, const QString &problem);
    // Writes the table as CSV (as `yanzhou-cli history DOMAIN --csv` does).
    bool exportTo(const QString &path, QString *error) const;

private:
    void showMetric();
    void chooseExportFile();

    QString m_domain;
    QString m_key;
    QList<yz::StoredRun> m_runs;
    yz::HistoryTable m_table;

    QComboBox *metric;
    HistoryChart *chart;
    QTableWidget *table;
    QPushButton *exportCsv;
    QLabel *status;
};
