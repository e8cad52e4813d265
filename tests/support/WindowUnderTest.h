#pragma once

// The windows as tests, benchmarks and tools see them: their controls found
// by object name, as a user's assistive tools would find them.
#include "app/Form1.h"
#include "app/Form2.h"
#include "app/Form3.h"
#include "app/LinkLabel.h"
#include "tests/support/FakeServices.h"

#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include <array>

namespace yztest {

// The direct child of `parent` with this object name; a missing control ends
// the test program, since every check after it would be meaningless.
template <class T> T *control(const QObject *parent, const char *name)
{
    T *found = parent->findChild<T *>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
    if (!found)
        qFatal("no control %s of the expected type", name);
    return found;
}

// The main window with its controls.
struct WindowUnderTest : Form1 {
    explicit WindowUnderTest(const yz::ServiceHosts &hosts = yz::ServiceHosts())
        : Form1(hosts)
    {
    }

    QLineEdit *const dm = control<QLineEdit>(this, "dm");
    QLineEdit *const Text1 = control<QLineEdit>(this, "Text1");
    QPushButton *const showdms = control<QPushButton>(this, "showdms");
    QPushButton *const GO = control<QPushButton>(this, "GO");
    QListWidget *const List1 = control<QListWidget>(this, "List1");
    LinkLabel *const dmset = control<LinkLabel>(this, "dmset");
    LinkLabel *const newVerShow = control<LinkLabel>(this, "newVerShow");
    QCheckBox *const Check1 = control<QCheckBox>(this, "Check1");
    QCheckBox *const Check2 = control<QCheckBox>(this, "Check2");
    QCheckBox *const Check3 = control<QCheckBox>(this, "Check3");
    QCheckBox *const Check4 = control<QCheckBox>(this, "Check4");
    LinkLabel *const dminfo = control<LinkLabel>(this, "dminfo");
    LinkLabel *const dminfo2 = control<LinkLabel>(this, "dminfo2");
    LinkLabel *const dminfo3 = control<LinkLabel>(this, "dminfo3");
    QTableWidget *const tb1 = control<QTableWidget>(this, "tb1");
    QTableWidget *const tb2 = control<QTableWidget>(this, "tb2");
    QTableWidget *const tb3 = control<QTableWidget>(this, "tb3");
    QLabel *const Picture1 = control<QLabel>(this, "Picture1");
    QLabel *const Picture2 = control<QLabel>(this, "Picture2");
    QCheckBox *const trendGo = control<QCheckBox>(this, "trendGo");
    LinkLabel *const djym = control<LinkLabel>(this, "djym");
    LinkLabel *const TJ = control<LinkLabel>(this, "TJ");
    const std::array<LinkLabel *, 6> AD = {control<LinkLabel>(this, "AD_0"), control<LinkLabel>(this, "AD_1"),
                                           control<LinkLabel>(this, "AD_2"), control<LinkLabel>(this, "AD_3"),
                                           control<LinkLabel>(this, "AD_4"), control<LinkLabel>(this, "AD_5")};
    LinkLabel *const Label1 = control<LinkLabel>(this, "Label1");
    LinkLabel *const copyright = control<LinkLabel>(this, "copyright");
};

// The main window over fake services, its message boxes recorded as
// "title:text".
struct WindowRig {
    FakeServices services;
    WindowUnderTest window{services.hosts()};
    QStringList messages;

    WindowRig()
    {
        window.messageBox = [this](const QString &t, const QString &m, const QString &) { messages << t + u':' + m; };
    }

    // Presses 查询 and waits until every request has been delivered.
    bool press(int timeoutMs = 30000)
    {
        QTest::mouseClick(window.GO, Qt::LeftButton);
        return settle(timeoutMs);
    }

    // Waits in a real event loop (QTest::qWaitFor sleeps between passes,
    // and deliveries take one pass each).
    bool settle(int timeoutMs = 30000)
    {
        QSignalSpy idle(&window.engine().fetcher(), &yz::PageFetcher::idle);
        return window.engine().fetcher().inFlight() == 0 || idle.wait(timeoutMs);
    }
};

// The settings dialog with its controls.
struct SettingsDialogUnderTest {
    explicit SettingsDialogUnderTest(Form2 *dialog)
        : form(dialog)
    {
    }

    Form2 *const form;
    QPlainTextEdit *const dmsbox = control<QPlainTextEdit>(form, "dmsbox");
    QLabel *const Label1 = control<QLabel>(form, "Label1");
    QPushButton *const Command1 = control<QPushButton>(form, "Command1");
    QRadioButton *const Option1 = control<QRadioButton>(form, "Option1");
    QRadioButton *const Option2 = control<QRadioButton>(form, "Option2");
    QLineEdit *const tongjiidv = control<QLineEdit>(form, "tongjiidv");
    QLineEdit *const tongjipassv = control<QLineEdit>(form, "tongjipassv");
    QPlainTextEdit *const tongjiIntro = control<QPlainTextEdit>(form, "tongjiIntro");
};

// The suggestion dialog with its controls.
struct SuggestionDialogUnderTest {
    explicit SuggestionDialogUnderTest(Form3 *dialog)
        : form(dialog)
    {
    }

    Form3 *const form;
    QLabel *const Label1 = control<QLabel>(form, "Label1");
    QPlainTextEdit *const Text1 = control<QPlainTextEdit>(form, "Text1");
    QPushButton *const Command1 = control<QPushButton>(form, "Command1");
};

} // namespace yztest
