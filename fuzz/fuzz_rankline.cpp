// Lines of a ranks file, as a damaged or hostile download could hold them.
#include "FuzzInput.h"
#include "server/RanksFile.h"

#include <QList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = yzfuzz::bytesOf(data, size);
    for (const QByteArray &line : bytes.split('\n')) {
        yz::server::RankRow row;
        QString error;
        const yz::server::RankLine kind = yz::server::parseRankLine(line, &row, &error);
        if (kind == yz::server::RankLine::Row) {
            yzfuzz::check(row.position > 0, "positions start at 1");
            yzfuzz::check(!row.name.isEmpty() && row.name.size() <= 253, "a name of a host's length");
        }
        if (kind == yz::server::RankLine::Bad)
            yzfuzz::check(!error.isEmpty(), "a bad line says why");
    }
    return 0;
}
