#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

class Form1;

// The suggestion dialog: the text typed here is posted, form-encoded, to the
// vendor's web service, and the dialog closes at once.
class Form3 : public QWidget {
    Q_OBJECT
public:
    // Suggestions longer than this are cut to it.
    static constexpr int kMaxLength = 32767;

    explicit Form3(Form1 *main);

    QLabel *Label1;
    QPlainTextEdit *Text1;
    QPushButton *Command1;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void Command1_Click();

    Form1 *m_main;
};
