#include "cli/DomainInput.h"

#include "net/HostName.h"

#include <QRegularExpression>
#include <QStringDecoder>

namespace yz::cli {
namespace {

void addPiece(const QString &piece, int line, DomainInput *input)
{
    QString reason;
    const std::optional<QString> domain = normalizeHostName(piece, &reason);
    if (!domain)
        input->rejected.append({line, piece, reason});
    else if (!input->domains.contains(*domain))
        input->domains.append(*domain);
}

// The pieces of a line: separated by blanks (full-width ones too) or commas.
QStringList piecesOf(const QString &line)
{
    static const QRegularExpression separators(QStringLiteral("[\\s,，、]+"));
    return line.split(separators, Qt::SkipEmptyParts);
}

} // namespace

void addArgumentDomains(const QStringList &arguments, DomainInput *input)
{
    for (const QString &argument : arguments)
        for (const QString &piece : piecesOf(argument))
            addPiece(piece, 0, input);
}

void addTextDomains(const QString &text, DomainInput *input)
{
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        for (const QString &piece : piecesOf(line))
            addPiece(piece, int(i + 1), input);
    }
}

std::optional<QString> decodeInputFile(const QByteArray &bytes, QString *error)
{
    const QByteArray body = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    const QList<QByteArray> lines = body.split('\n');
    QString text;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString line = decoder(lines[i]);
        if (decoder.hasError()) {
            *error = QStringLiteral("域名文件不是 UTF-8 文本（第 %1 行）；GBK 等编码的文件请先转换，"
                                    "例如 iconv -f GBK -t UTF-8")
                             .arg(i + 1);
            return std::nullopt;
        }
        if (i > 0)
            text += u'\n';
        text += line;
    }
    return text;
}

} // namespace yz::cli
