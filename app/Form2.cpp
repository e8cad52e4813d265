#include "app/Form2.h"

#include "net/ProxyChoice.h"
#include "settings/ProxySetting.h"

#include "app/Twips.h"
#include "app/WindowPlacement.h"

#include <algorithm>

namespace tw = yz::twips;

namespace {

// A read-only text box that serves as a caption.
QLineEdit *captionBox(const QString &text, QWidget *parent)
{
    auto *box = new QLineEdit(text, parent);
    box->setReadOnly(true);
    box->setFocusPolicy(Qt::NoFocus);
    box->setFrame(false);
    box->setStyleSheet(QStringLiteral("background: palette(button);"));
    return box;
}

} // namespace

Form2::Form2(const yz::SettingsFile &file, yz::MessageBoxFn messageBox, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_file(file)
    , m_messageBox(std::move(messageBox))
{
    setObjectName(QStringLiteral("Form2"));
    setAttribute(Qt::WA_DeleteOnClose);
    // Drawn in the main window's face rather than the desktop's default.
    setAttribute(Qt::WA_WindowPropagation);
    setWindowTitle(QStringLiteral("设置"));
    setFixedSize(tw::toPixels(6030), tw::toPixels(4605));

    auto place = [](QWidget *w, const char *name, const QRect &r) {
        w->setObjectName(QString::fromLatin1(name));
        w->setGeometry(r);
    };
    dmsbox = new QPlainTextEdit(this);
    place(dmsbox, "dmsbox", tw::rect(360, 120, 2655, 3375));
    dmsbox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    dmsbox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    dmsbox->setAccessibleName(QStringLiteral("常查询的域名"));
    Label1 = new QLabel(QStringLiteral("设置常查询的域名，一行一个"), this);
    place(Label1, "Label1", tw::rect(480, 3600, 2415, 255));
    Command1 = new QPushButton(QStringLiteral("保存"), this);
    place(Command1, "Command1", tw::rect(2760, 3960, 1095, 375));
    Option1 = new QRadioButton(QStringLiteral("51LA"), this);
    place(Option1, "Option1", tw::rect(4560, 360, 735, 255));
    Option2 = new QRadioButton(QStringLiteral("CNZZ"), this);
    place(Option2, "Option2", tw::rect(3840, 360, 735, 255));
    Option2->setChecked(true);
    // Each option as wide as its caption needs; 51LA starts after CNZZ.
    for (QRadioButton *option : {Option2, Option1})
        option->resize(std::max(option->width(), option->sizeHint().width()), option->height());
    Option1->move(std::max(Option1->x(), Option2->geometry().right() + 6), Option1->y());
    tongjid = captionBox(QStringLiteral("统计ID"), this);
    place(tongjid, "tongjid", tw::rect(3360, 720, 825, 270));
    tongjiidv = new QLineEdit(this);
    place(tongjiidv, "tongjiidv", tw::rect(4200, 720, 1455, 270));
    tongjiidv->setAccessibleName(QStringLiteral("统计ID"));
    tongjipass = captionBox(QStringLiteral("查看密码"), this);
    place(tongjipass, "tongjipass", tw::rect(3360, 1005, 825, 270));
    tongjipassv = new QLineEdit(this);
    place(tongjipassv, "tongjipassv", tw::rect(4200, 1005, 1455, 270));
    tongjipassv->setAccessibleName(QStringLiteral("查看密码"));
    // The notice wraps at the box's edge (its text once broke lines for a
    // narrower face), and the box is tall enough for all of it.
    tongjiIntro = new QPlainTextEdit(QStringLiteral("注意：启用该功能必须在您的统计的后台设置独立查看密码，上面设置中"
                                                    "的查看密码就是您的统计独立查看密码。"),
                                     this);
    place(tongjiIntro, "tongjiIntro", tw::rect(3360, 1320, 2295, 1575));
    tongjiIntro->setFrameShape(QFrame::NoFrame);
    tongjiIntro->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    tongjiIntro->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    tongjiIntro->setReadOnly(true);
    tongjiIntro->setFocusPolicy(Qt::NoFocus);
    tongjiIntro->setStyleSheet(QStringLiteral("background: palette(button);"));

    // Below the statistics notice, in space the dialog had free: the proxy
    // the window's requests go through (empty: the desktop's).
    proxyCaption = captionBox(QStringLiteral("代理"), this);
    place(proxyCaption, "proxyCaption", tw::rect(3360, 3000, 825, 270));
    proxyv = new QLineEdit(this);
    place(proxyv, "proxyv", tw::rect(4200, 3000, 1455, 270));
    proxyv->setAccessibleName(QStringLiteral("代理"));
    proxyv->setPlaceholderText(QStringLiteral("http://主机:端口"));
    proxyv->setToolTip(QStringLiteral("经代理发出查询：http://[用户:密码@]主机:端口 或 socks5://主机:端口；"
                                      "空着则用桌面的代理设置与 http_proxy、all_proxy"));

    setTabOrder(dmsbox, Command1);
    setTabOrder(Command1, Option1);
    setTabOrder(Option1, Option2);
    setTabOrder(Option2, tongjiidv);
    setTabOrder(tongjiidv, tongjipassv);
    setTabOrder(tongjipassv, proxyv);
    connect(Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
    load();
}

void Form2::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    yz::centreOnScreen(this);
}

void Form2::load()
{
    // The file, not the window, so that the dialog shows what was last saved.
    const yz::SettingsRecord record = m_file.readOrCreate();
    const QStringList account = record.accountParts();
    if (account.size() == 3) {
        if (account[0] == u"0")
            Option2->setChecked(true);
        else if (account[0] == u"1")
            Option1->setChecked(true);
        tongjiidv->setText(account[1]);
        tongjipassv->setText(account[2]);
    }
    dmsbox->setPlainText(QString(record.dms).replace(u',', u'\n'));
    proxyv->setText(yz::storedProxy());
}

void Form2::Command1_Click()
{
    const yz::SettingsEdit edit =
            yz::makeSettingsEdit(dmsbox->toPlainText(), tongjiidv->text(), tongjipassv->text(), Option2->isChecked());
    if (!edit.ok) {
        m_messageBox(QStringLiteral("提示"), edit.error, QString());
        return;
    }
    // The proxy is checked and taken up at once, for the next requests.
    QString error;
    std::optional<QNetworkProxy> proxy;
    if (!proxyv->text().trimmed().isEmpty() && !(proxy = yz::parseProxyUrl(proxyv->text().trimmed(), &error))) {
        m_messageBox(QStringLiteral("提示"), error, QString());
        return;
    }
    if (proxyv->text().trimmed() != yz::storedProxy()) {
        if (!yz::storeProxy(proxyv->text(), &error)) {
            m_messageBox(QStringLiteral("提示"), error, QString());
            return;
        }
        yz::ProxyChoice::install(proxy);
    }
    m_saveFailed = false;
    Q_EMIT saved(edit, tongjiidv->text(), tongjipassv->text());
    if (!m_saveFailed)
        close();
}

void Form2::saveFailed(const QString &message)
{
    m_saveFailed = true;
    m_messageBox(QStringLiteral("提示"), message, QString());
}
