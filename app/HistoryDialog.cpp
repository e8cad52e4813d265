#include "app/HistoryDialog.h"

#include "results/CsvText.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QSaveFile>
#include <QVBoxLayout>

HistoryDialog::HistoryDialog(const QString &domain, const QString &key, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_domain(domain)
    , m_key(key)
    , metric(new QComboBox(this))
    , chart(new HistoryChart(this))
    , table(new QTableWidget(this))
    , exportCsv(new QPushButton(QStringLiteral("导出 CSV…"), this))
    , status(new QLabel(QStringLiteral("正在读取…"), this))
{
    setWindowTitle(QStringLiteral("%1 的历史").arg(domain));
    metric->setObjectName(QStringLiteral("metric"));
    chart->setObjectName(QStringLiteral("chart"));
    table->setObjectName(QStringLiteral("runs"));
    exportCsv->setObjectName(QStringLiteral("exportCsv"));
    status->setObjectName(QStringLiteral("status"));
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    exportCsv->setEnabled(false);

    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("指标"), this));
    top->addWidget(metric, 1);
    top->addWidget(exportCsv);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(chart, 2);
    layout->addWidget(table, 3);
    layout->addWidget(status);
    resize(760, 560);

    connect(metric, &QComboBox::currentIndexChanged, this, &HistoryDialog::showMetric);
    connect(exportCsv, &QPushButton::clicked, this, &HistoryDialog::chooseExportFile);
}

void HistoryDialog::showRuns(const QList<yz::StoredRun> &runs, const QString &problem)
{
    m_runs = runs;
    m_table = yz::historyTable(runs);
    if (!problem.isEmpty())
        status->setText(QStringLiteral("无法读取结果：") + problem);
    else if (runs.isEmpty())
        status->setText(QStringLiteral("还没有 %1 的记录：查询一次后才有").arg(m_domain));
    else
        status->setText(
                QStringLiteral("共 %1 次查询，最近一次 %2").arg(runs.size()).arg(yz::localTimeText(runs.last().at)));
    exportCsv->setEnabled(!runs.isEmpty());

    const QStringList fixed{QStringLiteral("时间"), QStringLiteral("来源")};
    table->clear();
    table->setColumnCount(int(fixed.size() + m_table.keys.size()));
    table->setRowCount(int(m_table.lines.size()));
    QStringList headings = fixed;
    for (const QString &key : m_table.keys)
        headings.append(yz::metricHeading(key));
    table->setHorizontalHeaderLabels(headings);
    for (qsizetype i = 0; i < m_table.lines.size(); ++i) {
        const yz::HistoryLine &line = m_table.lines[m_table.lines.size() - 1 - i]; // newest first
        const int row = int(i);
        table->setItem(row, 0, new QTableWidgetItem(yz::localTimeText(line.run.at)));
        table->setItem(row, 1, new QTableWidgetItem(yz::sourceText(line.run.source)));
        for (qsizetype k = 0; k < m_table.keys.size(); ++k) {
            const QString &key = m_table.keys[k];
            const yz::StoredCell *cell = line.run.cell(key);
            auto *item = new QTableWidgetItem(cell ? cell->value : QString());
            for (const yz::ValueChange &change : line.changes)
                if (change.key == key) {
                    QFont bold = item->font();
                    bold.setBold(true);
                    item->setFont(bold);
                    item->setToolTip(QStringLiteral("原为 %1").arg(change.before));
                }
            if (line.failed.contains(key)) {
                item->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
                item->setToolTip(QStringLiteral("查询失败（%1）").arg(cell->status));
            }
            table->setItem(row, int(fixed.size() + k), item);
        }
    }
    table->resizeColumnsToContents();

    const QSignalBlocker quiet(metric);
    metric->clear();
    for (const QString &key : m_table.keys)
        metric->addItem(yz::metricHeading(key), key);
    metric->setCurrentIndex(std::max(0, metric->findData(m_key)));
    showMetric();
}

void HistoryDialog::showMetric()
{
    if (metric->currentIndex() >= 0)
        m_key = metric->currentData().toString();
    chart->setPoints(yz::countSeries(m_runs, m_key),
                     m_runs.isEmpty() ? QStringLiteral("没有记录") : QStringLiteral("这一指标没有可画的数字"));
}

bool HistoryDialog::exportTo(const QString &path, QString *error) const
{
    QSaveFile file(path);
    const QByteArray csv = yz::historyCsv(m_table);
    if (file.open(QIODevice::WriteOnly) && file.write(csv) == csv.size() && file.commit())
        return true;
    *error = file.errorString();
    return false;
}

void HistoryDialog::chooseExportFile()
{
    auto *dialog = new QFileDialog(this, QStringLiteral("导出 CSV"), m_domain + QStringLiteral(".csv"),
                                   QStringLiteral("CSV (*.csv)"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString &path) {
        QString error;
        status->setText(exportTo(path, &error) ? QStringLiteral("已导出到 %1").arg(path)
                                               : QStringLiteral("无法写入 %1：%2").arg(path, error));
    });
    dialog->open();
}
