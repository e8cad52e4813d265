#include "app/Form1.h"

#include "app/DrawPicture.h"
#include "app/Form2.h"
#include "app/Form3.h"
#include "app/GridLayout.h"
#include "app/HistoryDialog.h"
#include "app/LinkLabel.h"
#include "app/SongtiFont.h"
#include "app/Twips.h"
#include "app/WindowPlacement.h"
#include "net/ProgramVersion.h"
#include "parsers/ResultHandlers.h"
#include "query/ClickMap.h"
#include "query/RootDomain.h"
#include "services/HandlerNames.h"
#include "services/OpenableLink.h"
#include "services/VendorPaths.h"
#include "settings/DefaultDomain.h"
#include "settings/SettingsEdit.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QImageReader>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>

#include <algorithm>

namespace tw = yz::twips;
using yz::songti;

static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace {

// Left and top of the six news links, in twips; each starts 90 × 180 and is
// sized to its text.
constexpr QPoint kNewsLinkPlaces[6] = {{720, 4680}, {840, 4680}, {960, 4680}, {720, 5040}, {840, 5040}, {960, 5040}};

// Reads a PNG of our own with Qt's built-in reader alone. Left to guess the
// format, Qt loads every image-format plugin to ask it first.
QImage readPng(const QString &path)
{
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

} // namespace

Form1::Form1(const yz::ServiceHosts &hosts, QWidget *parent)
    : QWidget(parent)
    , m_vendor(m_engine.fetcher(), m_engine.hosts(), yz::kProgramVersion)
    , m_statistics(m_engine.fetcher(), m_engine.hosts())
    , m_rules(m_engine, m_statistics)
{
    initResources();
    m_engine.hosts() = hosts;
    createControls();
    m_engine.setDomainSource([this] { return dm->text(); });
    connect(&m_engine.sheet(), &yz::ResultSheet::cellChanged, this,
            [this](yz::Grid g, int row, int col, const QString &text) {
                if (QTableWidgetItem *item = grid(g)->item(row, col))
                    item->setText(text);
            });
    // Each result cell says in its tooltip why it holds its value, and what
    // it held before.
    connect(&m_engine.sheet(), &yz::ResultSheet::statusChanged, this,
            [this](yz::Grid g, int row, int col, const yz::CellStatus &) { showCellToolTip(g, row, col); });
    connect(&m_history, &yz::WindowHistory::notesChanged, this, [this] {
        for (int g = 0; g < yz::kGridCount; ++g) {
            const yz::GridShape s = yz::ResultSheet::shape(yz::Grid(g));
            for (int r = 1; r < s.rows; ++r)
                for (int c = 1; c < s.cols; ++c)
                    showCellToolTip(yz::Grid(g), r, c);
        }
    });
    // Once all of a press's answers are in, its record is kept.
    connect(&m_engine, &yz::QueryEngine::pressEnded, &m_history, &yz::WindowHistory::pressEnded);
    connect(&m_engine, &yz::QueryEngine::infoChanged, this, [this](yz::InfoText which, const QString &text) {
        const std::array<QLabel *, yz::kInfoTextCount> labels{dminfo, dminfo2, dminfo3};
        labels[size_t(which)]->setText(text);
    });
    messageBox = [this](const QString &title, const QString &text, const QString &details) {
        yz::showMessageBox(this, title, text, details);
    };
    connectLinks();
    connectServices();
    yz::addResultHandlers(m_engine, m_rules.rules());
    m_engine.handlers().addPicture(QString::fromUtf16(yz::rowFor(yz::Scraper::TrendPicture).handler),
                                   [this](qint16 err, const QByteArray &bytes) {
                                       if (err != 0)
                                           messageBox(QStringLiteral("提示"), QStringLiteral("图片下载出错"),
                                                      QString());
                                       else
                                           yz::drawPic(bytes, Picture1);
                                   });
    m_engine.handlers().add(QString::fromUtf16(yz::handler::kSuggestionSent),
                            yz::AnswerHandler([this](const yz::PageAnswer &answer) {
                                if (answer.notStarted())
                                    messageBox(QStringLiteral("提示"), QStringLiteral("建议提交失败"), QString());
                                else
                                    suggestOK(answer.err(), answer.html());
                            }));
    m_engine.handlers().add(QString::fromUtf16(yz::handler::kIgnore),
                            [this](qint16 err, const QString &html) { doNothing(err, html); });
}

Form1::~Form1() = default;

namespace {

void place(QWidget *w, const char *name, const QRect &r)
{
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(r);
}

QCheckBox *checkBox(QWidget *parent, const char *name, const QString &text, const QRect &r)
{
    auto *box = new QCheckBox(text, parent);
    place(box, name, r);
    return box;
}

LinkLabel *link(QWidget *parent, const char *name, const QString &text, const QRect &r, bool underlined = true)
{
    auto *label = new LinkLabel(text, parent, underlined);
    // Tall enough for the underline of the fallback font.
    place(label, name, r.adjusted(0, 0, 0, std::max(0, label->sizeHint().height() - r.height())));
    return label;
}

} // namespace

void Form1::createControls()
{
    setWindowTitle(QStringLiteral(" 砚舟站长工具"));
    setWindowIcon(QIcon(QPixmap::fromImage(readPng(QStringLiteral(":/icon16.png")))));
    setFixedSize(yz::twips::toPixels(kClientWidth), yz::twips::toPixels(kClientHeight));
    // One face for the whole window: controls without a font of their own
    // draw in 9-point 宋体 like the links, and no second font family is loaded.
    setFont(songti(9));
    // Created in this order, which is also the order they overlap in.
    createQueryBar();
    createResultGroups();
    createLinksAndList();

    setTabOrder(dm, GO);
    dm->setFocus();

    yz::prepareGrid(tb1, yz::Grid::Tb1, {});
    // The trend picture box covers the right end of tb2: its columns share
    // what shows left of the box.
    yz::prepareGrid(tb2, yz::Grid::Tb2, {{0, 0}, {1, 1100}, {3, 1000}}, Picture1->x() - tb2->x());
    yz::prepareGrid(tb3, yz::Grid::Tb3, {{1, 1100}, {3, 1000}});
}

// The domain box, its prefix, the drop-down button, 查询 and the links beside them.
void Form1::createQueryBar()
{
    dm = new QLineEdit(yz::kDefaultDomain, this);
    place(dm, "dm", tw::rect(2160, 360, 2895, 375));
    dm->setFont(songti(12));
    dm->setAccessibleName(QStringLiteral("域名"));
    dm->setToolTip(QStringLiteral("输入要查询的域名，例如 www.example.com（只写主机名，不带 http://）"));
    dm->installEventFilter(this);

    Text1 = new QLineEdit(QStringLiteral("http://"), this);
    place(Text1, "Text1", tw::rect(1250, 360, 920, 375));
    Text1->setFont(songti(12));
    Text1->setAccessibleName(QStringLiteral("网址前缀"));

    showdms = new QPushButton(QStringLiteral("▼"), this);
    place(showdms, "showdms", tw::rect(5040, 360, 375, 375));
    showdms->setAccessibleName(QStringLiteral("常用域名"));

    GO = new QPushButton(QStringLiteral("查询"), this);
    place(GO, "GO", tw::rect(5400, 360, 855, 375));
    GO->setFont(songti(10.5));
    connect(GO, &QPushButton::clicked, this, &Form1::GO_Click);

    dmset = link(this, "dmset", QStringLiteral("设置"), tw::rect(6330, 525, 495, 180));
    newVerShow = link(this, "newVerShow", QStringLiteral("有新版本下载"), tw::rect(6840, 120, 1095, 255));
    newVerShow->hide();
}

// The four groups' check boxes, the three grids, the domain-information line
// and the trend picture.
void Form1::createResultGroups()
{
    Check1 = checkBox(this, "Check1", QStringLiteral("常用查询"), tw::rect(840, 960, 1095, 255));
    Check4 = checkBox(this, "Check4", QStringLiteral("域名信息"), tw::rect(2280, 960, 1095, 255));
    dminfo = link(this, "dminfo", QString(), tw::rect(3390, 990, 2200, 180));
    dminfo2 = link(this, "dminfo2", QString(), tw::rect(5640, 1010, 555, 180), false);
    dminfo3 = link(this, "dminfo3", QString(), tw::rect(6240, 990, 1095, 180));

    tb1 = new QTableWidget(this);
    place(tb1, "tb1", tw::rect(840, 1320, 6375, 735));
    tb1->setAccessibleName(QStringLiteral("收录与外链"));

    Check2 = checkBox(this, "Check2", QStringLiteral("排名查询"), tw::rect(720, 2160, 1095, 255));
    tb2 = new QTableWidget(this);
    place(tb2, "tb2", tw::rect(720, 2520, 4575, 615));
    tb2->setAccessibleName(QStringLiteral("排名"));

    Picture1 = new QLabel(this);
    place(Picture1, "Picture1", tw::rect(4920, 2400, 2475, 1455));
    Picture1->setFrameShape(QFrame::StyledPanel);
    Picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Picture1->setAccessibleName(QStringLiteral("百度收录趋势图"));

    Check3 = checkBox(this, "Check3", QStringLiteral("近期收录"), tw::rect(720, 3120, 1095, 255));
    tb3 = new QTableWidget(this);
    place(tb3, "tb3", tw::rect(720, 3480, 3975, 735));
    tb3->setAccessibleName(QStringLiteral("近期收录"));

    trendGo = checkBox(this, "trendGo", QStringLiteral("百度收录趋势"), tw::rect(5040, 3960, 1373, 255));
    // The box is as wide as its caption needs, and the link starts after it.
    trendGo->resize(std::max(trendGo->width(), trendGo->sizeHint().width()), trendGo->height());
    djym = link(this, "djym", QStringLiteral("(登记域名)"), tw::rect(6370, 3990, 975, 255));
    djym->move(std::max(djym->x(), trendGo->geometry().right() + 3), djym->y());

    // Holds the waiting picture; never seen. The JPEG is decoded at its first
    // use, so a start-up without a trend press loads no JPEG decoder.
    Picture2 = new QLabel(this);
    place(Picture2, "Picture2", tw::rect(4560, 3600, 15, 15));
    Picture2->setScaledContents(false);
    Picture2->hide();
}

// The statistics line, the news links, the two links at the foot, and the
// frequent-domain list, created last so that it drops down over the rest.
void Form1::createLinksAndList()
{
    TJ = link(this, "TJ", QString(), tw::rect(720, 4335, 90, 180));
    for (int i = 0; i < int(AD.size()); ++i) {
        const QPoint at = kNewsLinkPlaces[i];
        AD[i] = link(this, "AD", QString(), tw::rect(at.x(), at.y(), 90, 180));
        AD[i]->setObjectName(QStringLiteral("AD_%1").arg(i));
    }
    Label1 = link(this, "Label1", QStringLiteral("建议"), tw::rect(6840, 5280, 375, 180));
    copyright = link(this, "copyright", QStringLiteral("砚舟网"), tw::rect(7320, 5280, 615, 180));

    List1 = new QListWidget(this);
    place(List1, "List1", tw::rect(2160, 720, 2895, 210));
    List1->setAccessibleName(QStringLiteral("常用域名列表"));
    // The list is sized at 210 twips an entry: each row is that tall, with no
    // frame or scroll bar taking from it.
    List1->setFrameShape(QFrame::NoFrame);
    List1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    List1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    List1->setUniformItemSizes(true);
    // The installed Chinese face is taller than the one the plan was drawn
    // for: the list's face steps down until a line fits its row.
    QFont listFont = List1->font();
    while (QFontMetrics(listFont).height() > yz::twips::toPixels(210) && listFont.pointSizeF() > 6)
        listFont.setPointSizeF(listFont.pointSizeF() - 0.5);
    List1->setFont(listFont);
    List1->hide();
    List1->installEventFilter(this);
}

QTableWidget *Form1::grid(yz::Grid g) const
{
    switch (g) {
    case yz::Grid::Tb1:
        return tb1;
    case yz::Grid::Tb2:
        return tb2;
    case yz::Grid::Tb3:
        return tb3;
    }
    return tb1;
}

void Form1::startUp()
{
    setWindowTitle(windowTitle() + QStringLiteral(" V") + QString::number(m_vendor.version()));
    yz::centreOnScreen(this);
    layoutGrids();
    show();

    const yz::SettingsRecord record = m_settings.readOrCreate();
    m_state = yz::WindowState::fromRecord(record);
    const yz::StoredBoxes boxes = yz::WindowState::boxesOf(record);
    trendGo->setChecked(boxes.trend);
    if (record.hasAccount()) {
        const QStringList account = record.accountParts();
        invokeTongji(account[0], account[1], account[2]);
    }
    Check1->setChecked(boxes.common);
    Check2->setChecked(boxes.rank);
    Check3->setChecked(boxes.recent);
    if (m_state.hasNew) {
        disableQuerying();
    } else {
        m_vendor.askVersion();
    }
    fillDomainList();
    m_vendor.askNews();
}

bool Form1::event(QEvent *event)
{
    // What start-up can leave until the window is on the screen: the
    // installed rules (the request for newer ones follows the news request).
    if (event->type() == QEvent::Paint && !std::exchange(m_painted, true))
        QTimer::singleShot(0, this, [this] { m_rules.askForNewer(); });
    return QWidget::event(event);
}

void Form1::connectServices()
{
    connect(&m_vendor, &yz::VendorChecks::newerVersion, this, &Form1::showNewerVersion);
    connect(&m_vendor, &yz::VendorChecks::news, this, &Form1::showNews);
    connect(&m_statistics, &yz::StatisticsLine::line, this, &Form1::showStatistics);
    connect(&m_statistics, &yz::StatisticsLine::failed, this,
            [this](const QString &message, const QString &page) { messageBox(QStringLiteral("提示"), message, page); });
}

void Form1::invokeTongji(const QString &type, const QString &siteId, const QString &password)
{
    m_rules.load(); // the statistics page is read with them
    m_state.tjType = yz::statisticsProvider(type);
    m_statistics.invokeTongji(m_state.tjType, siteId, password);
}

void Form1::showStatistics(const QString &caption)
{
    m_state.tjURL = m_statistics.loginUrl();
    TJ->setText(caption);
    TJ->adjustSize();
}

Form2 *Form1::settingsDialog() const
{
    return m_form2;
}

void Form1::applySettingsEdit(const yz::SettingsEdit &edit, const QString &typedId, const QString &typedPassword)
{
    List1->clear();
    for (const QString &domain : edit.entries)
        addListEntry(domain);
    List1->resize(List1->width(), yz::twips::toPixels(210 * edit.lineCount));
    if (edit.hasAccount)
        invokeTongji(QString::number(edit.type), typedId, typedPassword);
    m_state.tjStr = edit.account;
    m_state.dms = edit.joined;
    // The prefix test uses the new list at once.
    m_state.dms_arr = edit.entries;
    const QString failure = storeState();
    if (!failure.isEmpty() && m_form2)
        m_form2->saveFailed(failure);
}

QString Form1::storeState()
{
    m_state.lastdm = dm->text();
    QString reason;
    if (m_settings.write(m_state.toRecord(storedBoxes()), &reason))
        return QString();
    return m_settings.writeFailureMessage(reason);
}

Form3 *Form1::suggestionDialog() const
{
    return m_form3;
}

void Form1::suggestOK(qint16 err, const QString &html)
{
    if (err != 0) {
        // Not thanked: the user gets the text back to send again later.
        messageBox(QStringLiteral("提示"),
                   QStringLiteral("建议未能提交（状态 %1），请稍后再试。您的建议已保留在建议框中。").arg(html),
                   QString());
        openSuggestionDialog();
        m_form3->setSuggestion(m_lastSuggestion);
        return;
    }
    messageBox(QStringLiteral("提示"),
               QStringLiteral("您的建议已经提交成功，我会总结所有建议意见对功能进行更新，谢谢。"), QString());
}

void Form1::showNewerVersion()
{
    m_state.hasNew = true;
    disableQuerying();
    m_settings.markNewerVersion();
}

void Form1::disableQuerying()
{
    GO->setEnabled(false);
    GO->setToolTip(QStringLiteral("已有新版本，这个版本不再查询。请点击右上角的“有新版本下载”下载新版本。"));
    newVerShow->show();
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent *>(event)->key();
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    if (watched == dm) {
        if (enter) {
            if (GO->isEnabled())
                GO->click();
            return true;
        }
        if (key == Qt::Key_Down && List1->isVisible() && List1->count() > 0) {
            List1->setFocus();
            List1->setCurrentRow(0);
            return true;
        }
        if (key == Qt::Key_Escape && List1->isVisible()) {
            List1->hide();
            return true;
        }
    } else if (watched == List1) {
        if (enter) {
            List1_Click(List1->currentItem());
            dm->setFocus();
            return true;
        }
        if (key == Qt::Key_Escape) {
            List1->hide();
            dm->setFocus();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::showNews(const yz::NewsAnswer &news)
{
    m_state.newsLinkArr = news.links;
    for (int i = 0; i < int(news.titles.size()); ++i) {
        AD[i]->setText(news.titles[i]);
        AD[i]->adjustSize();
    }
    if (!news.layOut)
        return;
    // Each label 200 twips after the end of its left neighbour, in two rows.
    const int gap = yz::twips::toPixels(200);
    for (int i : {1, 2, 4, 5})
        AD[i]->move(AD[i - 1]->x() + AD[i - 1]->width() + gap, AD[i]->y());
}

void Form1::fillDomainList()
{
    dm->setText(m_state.lastdm);
    List1->hide();
    List1->clear();
    for (const QString &domain : std::as_const(m_state.dms_arr))
        if (!domain.isEmpty())
            addListEntry(domain);
    // One entry's height per element, empty ones included.
    List1->resize(List1->width(), yz::twips::toPixels(210 * int(m_state.dms_arr.size())));
}

yz::StoredBoxes Form1::storedBoxes() const
{
    const auto ticked = [](const QCheckBox *box) { return box->checkState() == Qt::Checked; };
    return {ticked(Check1), ticked(Check2), ticked(Check3), ticked(trendGo)};
}

void Form1::layoutGrids()
{
    for (yz::Grid g : {yz::Grid::Tb1, yz::Grid::Tb2, yz::Grid::Tb3}) {
        const yz::GridShape s = yz::ResultSheet::shape(g);
        for (int r = 0; r < s.rows; ++r)
            for (int c = 0; c < s.cols; ++c)
                grid(g)->item(r, c)->setText(m_engine.sheet().cell(g, r, c));
    }
}

void Form1::GO_Click()
{
    List1->hide();
    const auto ticked = [](const QCheckBox *box) { return box->checkState() == Qt::Checked; };
    yz::PressGroups groups;
    groups.common = ticked(Check1);
    groups.rank = ticked(Check2);
    groups.recent = ticked(Check3);
    groups.info = ticked(Check4);
    groups.trend = ticked(trendGo);
    yz::PressHooks hooks;
    // The message box of a failed test holds the press until it is closed.
    hooks.rootDomainTested = [this](const yz::RootDomainResult &result) { takeRootDomain(result); };
    hooks.trendStarting = [this] { yz::showPicture(Picture1, waitingPicture()); };
    m_rules.load();
    m_history.pressStarted(dm->text());
    m_engine.press(groups, hooks);
}

QString Form1::cellKey(yz::Grid g, int row, int col) const
{
    const yz::ResultSheet &sheet = m_engine.sheet();
    return yz::gridCellKey(g,
                           yz::gridCellName(yz::ResultSheet::shape(g).rows - 1, sheet.cell(g, row, 0),
                                            sheet.cell(g, 0, col)));
}

void Form1::showCellToolTip(yz::Grid g, int row, int col)
{
    QTableWidgetItem *item = grid(g)->item(row, col);
    const yz::CellStatus status = m_engine.sheet().status(g, row, col);
    if (!item)
        return;
    QString tip = status.toolTip();
    if (status.cause != yz::CellStatus::Cause::Waiting && status.cause != yz::CellStatus::Cause::Empty) {
        const QString note = m_history.note(cellKey(g, row, col), m_engine.sheet().cell(g, row, col), status.name());
        if (!note.isEmpty())
            tip += u'\n' + note;
    }
    item->setToolTip(tip);
}

void Form1::openHistory(const QString &key)
{
    const QString domain = yz::storedDomainOf(dm->text());
    if (domain.isEmpty()) {
        messageBox(QStringLiteral("提示"), QStringLiteral("请输入要查看历史的域名"), QString());
        return;
    }
    auto *dialog = new HistoryDialog(domain, key, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_history.readHistory(domain,
                          [dialog = QPointer<HistoryDialog>(dialog)](const QList<yz::StoredRun> &runs,
                                                                     const QString &problem) {
                              if (dialog)
                                  dialog->showRuns(runs, problem);
                          });
    dialog->show();
}

QPixmap Form1::waitingPicture()
{
    if (Picture2->pixmap().isNull())
        Picture2->setPixmap(QPixmap(QStringLiteral(":/waiting.jpg")));
    return Picture2->pixmap();
}

bool Form1::findRootDomain()
{
    return takeRootDomain(yz::findRootDomain(dm->text()));
}

bool Form1::takeRootDomain(const yz::RootDomainResult &result)
{
    if (!result.ok) {
        messageBox(yz::kRootDomainMessageTitle, result.message, QString());
        return false;
    }
    m_state.finalDomain = result.root;
    return true;
}

void Form1::connectLinks()
{
    connect(dm, &QLineEdit::textChanged, this, &Form1::dm_Change);
    connect(showdms, &QPushButton::clicked, this, &Form1::showdms_Click);
    connect(List1, &QListWidget::itemClicked, this, &Form1::List1_Click);

    const std::pair<QTableWidget *, yz::Grid> grids[] = {{tb1, yz::Grid::Tb1},
                                                         {tb2, yz::Grid::Tb2},
                                                         {tb3, yz::Grid::Tb3}};
    for (const auto &[widget, which] : grids) {
        connect(widget, &QTableWidget::cellClicked, this, [this, which = which](int row, int col) {
            linkto(yz::clickAddress(which, row, col, m_engine, dm->text()));
        });
        // A value cell's menu opens the domain's history at that metric.
        widget->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(widget, &QWidget::customContextMenuRequested, this,
                [this, widget = widget, which = which](const QPoint &at) {
                    const QModelIndex index = widget->indexAt(at);
                    if (!index.isValid() || index.row() < 1 || index.column() < 1)
                        return;
                    auto *menu = new QMenu(widget);
                    menu->setAttribute(Qt::WA_DeleteOnClose);
                    menu->addAction(QStringLiteral("查看历史…"), this,
                                    [this, key = cellKey(which, index.row(), index.column())] { openHistory(key); });
                    menu->popup(widget->viewport()->mapToGlobal(at));
                });
    }
    connect(TJ, &LinkLabel::clicked, this, [this] { linkto(m_state.tjURL); });
    connect(djym, &LinkLabel::clicked, this, [this] { openVendorPage(yz::vendor::kRegisterDomainPage); });
    connect(copyright, &LinkLabel::clicked, this, [this] { openVendorPage(yz::vendor::kHomePage); });
    connect(newVerShow, &LinkLabel::clicked, this, [this] { openVendorPage(yz::vendor::kUpdatePage); });
    connect(dminfo, &LinkLabel::clicked, this, [this] {
        if (!dminfo->text().isEmpty())
            linkto(yz::queryAddress(yz::rowFor(yz::Scraper::WhoisDates), m_engine.hosts(), m_state.finalDomain));
    });
    connect(dminfo3, &LinkLabel::clicked, this, [this] {
        if (!dminfo3->text().isEmpty())
            linkto(yz::queryAddress(yz::rowFor(yz::Scraper::FirstArchiveDate), m_engine.hosts(), dm->text()));
    });
    // One dialog of each at a time: a second click brings it up again.
    connect(dmset, &LinkLabel::clicked, this, [this] {
        if (!m_form2) {
            // The dialog's boxes go through this window's message box, whatever it is then.
            m_form2 = new Form2(
                    m_settings,
                    [this](const QString &title, const QString &text, const QString &details) {
                        messageBox(title, text, details);
                    },
                    this);
            connect(m_form2, &Form2::saved, this, &Form1::applySettingsEdit);
        }
        yz::bringUp(m_form2);
    });
    connect(Label1, &LinkLabel::clicked, this, [this] { openSuggestionDialog(); });
    for (int i = 0; i < int(AD.size()); ++i) {
        connect(AD[i], &LinkLabel::clicked, this, [this, i] {
            // Before the news has arrived there is nothing to open.
            if (i < m_state.newsLinkArr.size())
                linkto(m_state.newsLinkArr.at(i));
        });
    }
}

void Form1::openSuggestionDialog()
{
    if (!m_form3) {
        m_form3 = new Form3(this);
        connect(m_form3, &Form3::submitted, this, [this](const QString &text) {
            m_lastSuggestion = text;
            m_vendor.suggest(text);
        });
    }
    yz::bringUp(m_form3);
}

void Form1::addListEntry(const QString &domain)
{
    auto *item = new QListWidgetItem(domain, List1);
    item->setSizeHint(QSize(List1->width(), yz::twips::toPixels(210)));
}

void Form1::showList()
{
    List1->show();
    List1->raise(); // over the controls below the domain box
}

void Form1::openVendorPage(const char16_t *path)
{
    QString address = m_engine.hosts().base(yz::Service::Vendor);
    // The home page is the host alone.
    if (QStringView(path) != u"/")
        address += QStringView(path);
    linkto(address);
}

void Form1::dm_Change()
{
    const QString text = dm->text();
    for (const QString &domain : std::as_const(m_state.dms_arr)) {
        if (domain.left(text.size()) == text) {
            showList();
            return;
        }
        List1->hide();
    }
}

void Form1::showdms_Click()
{
    if (List1->isVisible())
        List1->hide();
    else
        showList();
}

void Form1::List1_Click(QListWidgetItem *item)
{
    if (item)
        dm->setText(item->text());
    List1->hide();
}

void Form1::linkto(const QString &url)
{
    if (const auto link = yz::openableLink(url))
        QDesktopServices::openUrl(*link);
}

void Form1::urlfetch(const QString &url, const QString &method, const QString &payload, const QString &charset,
                     const QString &handler)
{
    m_engine.fetcher().urlfetch(url, method, payload, charset, handler);
}

void Form1::tb1setvalue(int col, int row, const QString &value)
{
    m_engine.sheet().setValue(yz::Grid::Tb1, col, row, value);
}

void Form1::tb2setvalue(int col, int row, const QString &value)
{
    m_engine.sheet().setValue(yz::Grid::Tb2, col, row, value);
}

void Form1::tb3setvalue(int col, int row, const QString &value)
{
    m_engine.sheet().setValue(yz::Grid::Tb3, col, row, value);
}

void Form1::doNothing(qint16, const QString &) { }

void Form1::closeEvent(QCloseEvent *event)
{
    shutDown();
    event->accept();
}

void Form1::shutDown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    if (const QString failure = storeState(); !failure.isEmpty())
        messageBox(QStringLiteral("提示"), failure, QString());
    if (m_form3)
        m_form3->close();
    if (m_form2)
        m_form2->close();
}
