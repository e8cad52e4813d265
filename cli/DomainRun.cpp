#include "cli/DomainRun.h"

#include "parsers/ResultHandlers.h"

#include <QDir>
#include <QEventLoop>
#include <QSaveFile>

namespace yz::cli {
namespace {

void saveTrendPicture(DomainResult &result, const QString &dir, qint16 err, const QByteArray &bytes)
{
    if (err != 0) {
        result.trendProblem = QStringLiteral("图片下载出错");
        return;
    }
    // The picture handler's buffer holds one zero byte past the announced
    // length; the file gets the picture as it was served.
    const QByteArray picture = bytes.isEmpty() ? bytes : bytes.chopped(1);
    const QString path = trendFilePath(dir, result.domain);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(picture) != picture.size() || !file.commit()) {
        result.trendProblem = QStringLiteral("无法写入 %1：%2").arg(path, file.errorString());
        result.trendWriteFailed = true;
        return;
    }
    result.trendFile = path;
    result.trendProblem.clear();
}

} // namespace

QString trendFilePath(const QString &dir, const QString &domain)
{
    QString name;
    for (QChar c : domain) {
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'.'
                || c == u'-' || c == u'_' || (c.unicode() > 0x7F && c.isLetterOrNumber());
        name += plain ? c : u'_';
    }
    // A leading dot would hide the file, and ".." must never name a parent.
    if (name.startsWith(u'.'))
        name.prepend(u'_');
    return QDir(dir).filePath(name + QStringLiteral("_bd1.jpg"));
}

DomainResult runDomain(const ServiceHosts &hosts, const PressGroups &groups, const QString &domain,
                       const QString &trendDir, const ProgressFn &progress)
{
    DomainResult result;
    result.domain = domain;
    result.groups = groups;

    QueryEngine engine;
    engine.hosts() = hosts;
    engine.setDomainSource([&domain] { return domain; });
    addResultHandlers(engine);
    engine.handlers().addPicture(QString::fromUtf16(rowFor(Scraper::TrendPicture).handler),
                                 [&](qint16 err, const QByteArray &bytes) {
                                     saveTrendPicture(result, trendDir, err, bytes);
                                 });
    if (groups.trend)
        result.trendProblem = QStringLiteral("图片下载出错"); // until a picture arrives

    PageFetcher &fetcher = engine.fetcher();
    QEventLoop loop;
    QObject::connect(&fetcher, &PageFetcher::idle, &loop, &QEventLoop::quit);
    if (progress) {
        auto report = [&] { progress(fetcher.finishedCount(), fetcher.startedCount()); };
        QObject::connect(&fetcher, &PageFetcher::requestStarted, &loop, report);
        QObject::connect(&fetcher, &PageFetcher::requestFinished, &loop, report);
    }

    PressHooks hooks;
    hooks.rootDomainTested = [&](const RootDomainResult &root) {
        if (root.ok)
            result.finalDomain = root.root;
        else
            result.rootMessage = root.message;
    };
    engine.press(groups, hooks);
    if (fetcher.inFlight() > 0)
        loop.exec();

    for (int g = 0; g < kGridCount; ++g) {
        const GridShape shape = ResultSheet::shape(Grid(g));
        for (int r = 0; r < shape.rows; ++r) {
            QStringList row;
            QList<CellStatus> causes;
            for (int c = 0; c < shape.cols; ++c) {
                row << engine.sheet().cell(Grid(g), r, c);
                causes << engine.sheet().status(Grid(g), r, c);
            }
            result.grids[size_t(g)] << row;
            result.statuses[size_t(g)] << causes;
        }
    }
    for (int i = 0; i < kInfoTextCount; ++i)
        result.info[size_t(i)] = engine.info(InfoText(i));
    result.started = fetcher.startedCount();
    result.answered = fetcher.answeredCount();
    return result;
}

} // namespace yz::cli
