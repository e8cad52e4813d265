#pragma once

#include "app/MessageBox.h"
#include "settings/SettingsEdit.h"
#include "settings/SettingsFile.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

// The settings dialog: the frequent domains, one per line, and the
// statistics account, loaded from the settings file. A save that can be
// stored is reported through saved(); the window that opened the dialog
// applies it.
class Form2 : public QWidget {
    Q_OBJECT
public:
    Form2(const yz::SettingsFile &file, yz::MessageBoxFn messageBox, QWidget *parent);

    // The opener could not store the save: the box says why, and the dialog
    // stays open with what was typed.
    void saveFailed(const QString &message);

Q_SIGNALS:
    // The user saved: what to store, and the ID and password as typed.
    void saved(const yz::SettingsEdit &edit, const QString &typedId, const QString &typedPassword);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void load();
    void Command1_Click();

    yz::SettingsFile m_file;
    yz::MessageBoxFn m_messageBox;
    bool m_saveFailed = false;

    // Controls
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
    QLineEdit *proxyCaption;
    QLineEdit *proxyv; // the window's own setting, kept beside the settings record
};
