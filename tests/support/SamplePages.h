#pragma once

#include "tests/support/FakeServices.h"

#include <QByteArray>
#include <QString>

namespace yztest {

// GBK bytes of a text that only holds characters GB2312 has.
QByteArray gbk(const QString &text);

// A few tens of kilobytes of markup with decoy numbers around the marker.
QString realisticPage(const QString &marker);

FakeResponse ok(const QByteArray &body);

// The bytes served as the trend picture.
QByteArray sampleTrendPicture();

// Makes every service answer a press of all groups for example.com with
// pages in each service's real encoding: counts, refusal pages, pages with
// nothing found, the PageRank chain, whois, archive and the trend picture.
// The values they give are listed in the .cpp beside the pages.
void serveSamplePages(FakeServices &services);

// One cause per count engine, the same for both of its rows: Baidu's page
// saying nothing was found, Google resetting the connection, Yahoo never
// answering (a time-out), Sogou's refusal page, Youdao's 404, and a Soso page
// of a shape no pattern knows.
void serveEveryCause(FakeServices &services);

} // namespace yztest
