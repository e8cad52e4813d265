#include "app/Form3.h"

#include "app/Twips.h"
#include "app/WindowPlacement.h"

#include <QSignalBlocker>
#include <QTextCursor>

namespace tw = yz::twips;

Form3::Form3(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Form3"));
    setAttribute(Qt::WA_DeleteOnClose);
    // Drawn in the main window's face rather than the desktop's default.
    setAttribute(Qt::WA_WindowPropagation);
    setWindowTitle(QStringLiteral("建议意见"));
    setFixedSize(tw::toPixels(4680), tw::toPixels(3195));

    Label1 = new QLabel(QStringLiteral("提交您的意见或建议(比如您需要的功能):"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(tw::rect(240, 240, 3735, 180).adjusted(0, 0, 0, 4));
    Text1 = new QPlainTextEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(tw::rect(240, 600, 4215, 1815));
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setAccessibleName(QStringLiteral("意见或建议"));
    // The box holds at most kMaxLength characters, typed or pasted.
    connect(Text1, &QPlainTextEdit::textChanged, this, [this] {
        const QString text = Text1->toPlainText();
        if (text.size() <= kMaxLength)
            return;
        const QSignalBlocker blocker(Text1);
        Text1->setPlainText(text.left(kMaxLength));
        Text1->moveCursor(QTextCursor::End);
    });
    Command1 = new QPushButton(QStringLiteral("提交"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(tw::rect(1560, 2640, 1335, 375));
    connect(Command1, &QPushButton::clicked, this, &Form3::Command1_Click);
}

void Form3::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    yz::centreOnScreen(this);
}

void Form3::Command1_Click()
{
    // The text box of the original platform gave CR LF for a line break.
    QString text = Text1->toPlainText().left(kMaxLength);
    text.replace(u'\n', QStringLiteral("\r\n"));
    Q_EMIT submitted(text);
    close();
}

void Form3::setSuggestion(const QString &text)
{
    Text1->setPlainText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    Text1->moveCursor(QTextCursor::End);
}
