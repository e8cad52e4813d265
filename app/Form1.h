#pragma once

#include "app/MessageBox.h"
#include "app/WindowHistory.h"
#include "app/WindowRules.h"
#include "parsers/StatisticsLine.h"
#include "query/QueryEngine.h"
#include "services/VendorChecks.h"
#include "settings/SettingsFile.h"
#include "settings/WindowState.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QWidget>

#include <array>

class LinkLabel;
class Form2;
class Form3;
namespace yz {
struct SettingsEdit;
struct NewsAnswer;
} // namespace yz

// The main window: the domain box, the group switches, the three result grids
// and the links, over the query engine that does the work. It holds the
// controls, their layout, their wiring and the drawing; what the answers mean
// is decided by the engine's classes.
class Form1 : public QWidget {
    Q_OBJECT
public:
    // The client area, in twips.
    static constexpr int kClientWidth = 8055;
    static constexpr int kClientHeight = 5550;

    explicit Form1(const yz::ServiceHosts &hosts = yz::ServiceHosts(), QWidget *parent = nullptr);
    ~Form1() override;

    // Runs the start-up sequence: title, centring, grid layout, shown, then
    // the steps that restore the stored state and ask the vendor's service.
    void startUp();

    yz::QueryEngine &engine() { return m_engine; }
    // The window variables, for reading.
    const yz::WindowState &state() const { return m_state; }

    // Public operations the handlers and tests call.
    void urlfetch(const QString &url, const QString &method, const QString &payload, const QString &charset,
                  const QString &handler);
    void tb1setvalue(int col, int row, const QString &value);
    void tb2setvalue(int col, int row, const QString &value);
    void tb3setvalue(int col, int row, const QString &value);
    void doNothing(qint16 err, const QString &html);
    // Logs in to the statistics provider of the type ("0" CNZZ, "1" 51LA)
    // and shows the loading caption.
    void invokeTongji(const QString &type, const QString &siteId, const QString &password);
    void suggestOK(qint16 err, const QString &html);
    // The suggestion dialog while it is open.
    Form3 *suggestionDialog() const;
    // The settings dialog while it is open.
    Form2 *settingsDialog() const;
    // The stored runs of the domain in the box, opened at one metric's chart
    // ("tb1/收录/Baidu"); a result cell's menu calls it.
    void openHistory(const QString &key);
    // Opens a web address in the user's browser; anything that is not an
    // http(s) address with a host is ignored.
    void linkto(const QString &url);
    // Reduces the domain box's text to its root domain into finalDomain, or
    // shows why it cannot.
    bool findRootDomain();
    // Keeps a successful test's root domain in finalDomain, or shows the
    // failure's message.
    bool takeRootDomain(const yz::RootDomainResult &result);
    // The picture shown while the trend loads, held by Picture2.
    QPixmap waitingPicture();

    // Every message box of the window goes through here; tests replace it.
    // The default shows a modal box with the title, the text and one OK button;
    // non-empty details go into the box's expandable part.
    yz::MessageBoxFn messageBox;

protected:
    void closeEvent(QCloseEvent *event) override;
    // The first paint lets the work that can wait begin (installed rules).
    bool event(QEvent *event) override;
    // Keys of the domain box and its list: Enter queries or takes the entry,
    // Down moves into the list, Escape hides it.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void createQueryBar();
    void createResultGroups();
    void createLinksAndList();
    void layoutGrids();
    void GO_Click();
    void connectLinks();
    void connectServices();
    void dm_Change();
    void showdms_Click();
    void List1_Click(QListWidgetItem *item);
    void openVendorPage(const char16_t *path);
    void showList();
    void addListEntry(const QString &domain);
    void openSuggestionDialog();
    void shutDown();
    void fillDomainList();
    void applySettingsEdit(const yz::SettingsEdit &edit, const QString &typedId, const QString &typedPassword);
    void showNewerVersion();
    void disableQuerying();
    void showNews(const yz::NewsAnswer &news);
    void showStatistics(const QString &caption);
    yz::StoredBoxes storedBoxes() const;
    // Writes the record of the window's state; the message for the user when
    // it cannot be written, empty when it was.
    QString storeState();
    QTableWidget *grid(yz::Grid g) const;

    // Controls
    QLineEdit *dm;
    QLineEdit *Text1;
    QPushButton *showdms;
    QPushButton *GO;
    QListWidget *List1;
    LinkLabel *dmset;
    LinkLabel *newVerShow;
    QCheckBox *Check1;
    QCheckBox *Check4;
    LinkLabel *dminfo;
    LinkLabel *dminfo2;
    LinkLabel *dminfo3;
    QTableWidget *tb1;
    QCheckBox *Check2;
    QTableWidget *tb2;
    QLabel *Picture1;
    QCheckBox *Check3;
    QTableWidget *tb3;
    QCheckBox *trendGo;
    LinkLabel *djym;
    QLabel *Picture2;
    LinkLabel *TJ;
    std::array<LinkLabel *, 6> AD;
    LinkLabel *Label1;
    LinkLabel *copyright;

    // A result cell's key in the results database, and its tooltip: the
    // cause, and the value it held before.
    QString cellKey(yz::Grid g, int row, int col) const;
    void showCellToolTip(yz::Grid g, int row, int col);

    yz::QueryEngine m_engine;
    yz::VendorChecks m_vendor;
    yz::StatisticsLine m_statistics;
    WindowRules m_rules;
    yz::WindowHistory m_history;
    yz::SettingsFile m_settings;
    yz::WindowState m_state;
    bool m_shutDown = false;
    bool m_painted = false;
    QPointer<Form3> m_form3;
    QString m_lastSuggestion; // as sent, kept for another try after a failure
    QPointer<Form2> m_form2;
};
