#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

class Form1;

// The settings dialog: the frequent domains, one per line, and the
// statistics account. Saving updates the main window and the settings file.
class Form2 : public QWidget {
    Q_OBJECT
public:
    explicit Form2(Form1 *main);

    QPlainTextEdit *dmsbox;
    QLabel *Label1;
    QPushButton *Command1;
    QRadioButton *Option1; // 51LA
    QRadioButton *Option2; // CNZZ
    QLineEdit *tongjid;
    QLineEdit *tongjiidv;
    QLineEdit *tongjipass;
    QLineEdit *tongjipassv;
    QPlainTextEdit *tongjiIntro;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void load();
    void Command1_Click();

    Form1 *m_main;
};
