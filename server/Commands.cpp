#include "server/Commands.h"

#include "net/ProgramVersion.h"

#include "net/PrintableText.h"
#include "server/DaemonCommands.h"
#include "server/DomainCommands.h"
#include "server/RulesCommands.h"
#include "server/StoreCommands.h"

namespace yz::server {
namespace {

// Every command: its words, what follows them, what it does, and the
// function that runs it. The dispatcher and --help are made from this.
// A command takes from `least` to `most` positional arguments and the
// options `declare` adds (--db, --db-password-file and --help come with
// every command); `use` says how it uses the database --db names.
struct CommandEntry {
    QString words;
    QString synopsis;
    QString help;
    int (*run)(CommandCall &);
    qsizetype least = 0;
    qsizetype most = 0;
    DatabaseUse use = DatabaseUse::None;
    void (*declare)(QCommandLineParser &) = nullptr;
};

const QList<CommandEntry> &commands()
{
    using enum DatabaseUse;
    static const QList<CommandEntry> table = {
            {QStringLiteral("serve"), QStringLiteral("[--listen ADDR:PORT] [--admin-listen ADDR:PORT] [options]"),
             QStringLiteral("serve the window's requests and the pages, and collect (unless --no-collect)"),
             serveCommand, 0, 0, None, declareServe},
            {QStringLiteral("version set"), QStringLiteral("N"),
             QStringLiteral("set the version number the window compares its own with"), versionSet, 1, 1, Writes},
            {QStringLiteral("version show"), {}, QStringLiteral("print the version number"), versionShow, 0, 0, Reads},
            {QStringLiteral("news add"), QStringLiteral("TITLE ADDRESS"),
             QStringLiteral("add a news item at the end; prints its ID"), newsAdd, 2, 2, Writes},
            {QStringLiteral("news list"),
             {},
             QStringLiteral("print position, ID, title and address of each item"),
             newsList,
             0,
             0,
             Reads},
            {QStringLiteral("news remove"), QStringLiteral("ID"), QStringLiteral("remove a news item"), newsRemove, 1,
             1, Writes},
            {QStringLiteral("news move"), QStringLiteral("ID POSITION"), QStringLiteral("move a news item"), newsMove,
             2, 2, Writes},
            {QStringLiteral("suggestions"), QStringLiteral("[--since YYYY-MM-DD] [--json]"),
             QStringLiteral("print the suggestions received"), suggestionsList, 0, 0, Reads, declareSuggestions},
            {QStringLiteral("ranks import"), QStringLiteral("FILE|- [--top N] [--allow-empty] [--force]"),
             QStringLiteral("replace the ranks table with a host-ranks file (tab-separated, reversed names) or a "
                            "top-sites rank,domain CSV, told apart by itself"),
             ranksImport, 1, 1, Writes, declareRanksImport},
            {QStringLiteral("backup"), QStringLiteral("FILE"),
             QStringLiteral("write a consistent copy of a SQLite database while the service runs"), backup, 1, 1,
             Reads},
            {QStringLiteral("history add"), QStringLiteral("DOMAIN YYYY-MM-DD COUNT"),
             QStringLiteral("store a day's indexed-page count of a domain"), historyAdd, 3, 3, Writes},
            {QStringLiteral("domains add"), QStringLiteral("DOMAIN"),
             QStringLiteral("have the collector follow a domain, ahead of those others asked for"), domainsAdd, 1, 1,
             Writes},
            {QStringLiteral("domains list"), QStringLiteral("[--after NAME] [--limit N] [--json]"),
             QStringLiteral("print the followed domains, their last count and status"), domainsList, 0, 0, Reads,
             declareDomainsList},
            {QStringLiteral("collect"), QStringLiteral("[--once] [collect options]"),
             QStringLiteral("collect indexed-page counts without serving"), collectCommand, 0, 0, Writes,
             declareCollect},
            {QStringLiteral("rules keygen"), QStringLiteral("--out KEYFILE"),
             QStringLiteral("make the key pair that signs published rules"), rulesKeygen, 0, 0, None,
             declareRulesKeygen},
            {QStringLiteral("rules publish"), QStringLiteral("FILE --key KEYFILE"),
             QStringLiteral("sign a rules file and serve it to every client"), rulesPublish, 1, 1, Writes,
             declareRulesPublish},
            {QStringLiteral("rules sign"), QStringLiteral("FILE --key KEYFILE --version N --out SIGNED"),
             QStringLiteral("check and sign a rules file away from the service, touching no database"), rulesSign, 1, 1,
             None, declareRulesSign},
            {QStringLiteral("rules import"), QStringLiteral("SIGNED"),
             QStringLiteral("serve a signed rules file, its signature checked against the trusted keys"), rulesImport,
             1, 1, Writes},
            {QStringLiteral("rules list"), {}, QStringLiteral("print the published versions"), rulesList, 0, 0, Reads},
            {QStringLiteral("rules show"), QStringLiteral("[N]"),
             QStringLiteral("print a published rules file (the newest without N)"), rulesShow, 0, 1, Reads},
            {QStringLiteral("rules health"), QStringLiteral("[--hours H]"),
             QStringLiteral("how each of the collector's rules read its answers"), rulesHealth, 0, 0, Reads,
             declareRulesHealth},
    };
    return table;
}

const CommandEntry *findCommand(const QString &words)
{
    for (const CommandEntry &entry : commands())
        if (entry.words == words)
            return &entry;
    return nullptr;
}

// The synopses of the commands that begin with `first`, for a wrong second word.
QString groupUsage(const QString &first)
{
    QStringList lines;
    for (const CommandEntry &entry : commands())
        if (entry.words.section(u' ', 0, 0) == first)
            lines.append(commandLine(entry.words, entry.synopsis));
    return lines.join(QStringLiteral(" | "));
}

// Parses what follows the command's words and runs the command; its
// options first, then those every command takes. --help prints the
// command's help instead.
int runEntry(const CommandEntry &entry, const QStringList &arguments)
{
    QCommandLineParser parser;
    if (entry.declare)
        entry.declare(parser);
    parser.addOption(databaseOption());
    parser.addOption(databasePasswordFileOption());
    const QCommandLineOption help(QStringLiteral("help"), QStringLiteral("show this help"));
    parser.addOption(help);
    const QString usageLine = commandLine(entry.words, entry.synopsis);
    if (!parser.parse(arguments))
        refuse(QStringLiteral("%1; see yanzhou-server %2 --help").arg(parser.errorText(), entry.words));
    if (parser.isSet(help)) {
        const QString text = parser.helpText();
        write(stdout,
              QStringLiteral("Usage: yanzhou-server %1\n%2\n").arg(usageLine, entry.help)
                      + text.mid(text.indexOf(QLatin1String("\nOptions:"))));
        return kExitOk;
    }
    const qsizetype given = parser.positionalArguments().size();
    if (given < entry.least || given > entry.most)
        refuse(QStringLiteral("usage: yanzhou-server %1 (see --help)").arg(usageLine));
    CommandCall call(parser, entry.use);
    return entry.run(call);
}

} // namespace

QString usageText()
{
    QString text = QStringLiteral("Usage: yanzhou-server COMMAND [--db URL] ...\n\n");
    for (const CommandEntry &entry : commands())
        text += QStringLiteral("  %1\n      %2\n").arg(commandLine(entry.words, entry.synopsis), entry.help);
    text += QStringLiteral("\nyanzhou-server COMMAND --help shows a command's options.\n"
                           "--db is a SQLite file or postgresql://user@host[:port]/database; run as the package's\n"
                           "service user, it defaults to the package's database.\n"
                           "Exit status: 0 done, 1 the database or network failed, 2 bad arguments or input.\n");
    return text;
}

int runCommand(const QStringList &arguments)
{
    // The command words come first; what follows them goes to the parser
    // (which wants the program name in front).
    QStringList words;
    qsizetype i = 1;
    for (; i < arguments.size() && words.size() < 2 && !arguments[i].startsWith(u'-'); ++i)
        words.append(arguments[i]);
    if (words.isEmpty()) {
        if (arguments.contains(QStringLiteral("--help"))) {
            write(stdout, usageText());
            return kExitOk;
        }
        if (arguments.contains(QStringLiteral("--version")) || arguments.contains(QStringLiteral("-v"))) {
            write(stdout, QStringLiteral("yanzhou-server %1\n").arg(kProgramVersion));
            return kExitOk;
        }
        return report({ErrorKind::Usage, QStringLiteral("no command given; yanzhou-server --help lists them")});
    }
    const CommandEntry *entry = findCommand(words.join(u' '));
    if (!entry && words.size() == 2) {
        // A command of one word gives the second back as its argument.
        entry = findCommand(words.first());
        if (entry) {
            words.removeLast();
            --i;
        }
    }
    if (!entry) {
        const QString group = groupUsage(words.first());
        return report({ErrorKind::Usage,
                       group.isEmpty() ? QStringLiteral("no command %1; yanzhou-server --help lists them")
                                                 .arg(printable(words.first()))
                                       : QStringLiteral("usage: %1").arg(group)});
    }
    const QStringList rest = QStringList{arguments.value(0)} + arguments.mid(i);
    try {
        return runEntry(*entry, rest);
    } catch (const CommandError &error) {
        return report(error);
    }
}

} // namespace yz::server
