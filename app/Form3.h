#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

// The suggestion dialog: the text typed here is handed on through
// submitted() (the window posts it to the vendor's web service), and the
// dialog closes at once.
class Form3 : public QWidget {
    Q_OBJECT
public:
    // Suggestions longer than this are cut to it.
    static constexpr int kMaxLength = 32767;

    explicit Form3(QWidget *parent);

    // Fills the box with a suggestion as it was sent (line breaks CR LF).
    void setSuggestion(const QString &text);

Q_SIGNALS:
    // The suggestion as typed, at most kMaxLength characters, line breaks as CR LF.
    void submitted(const QString &text);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void Command1_Click();

    // Controls
    QLabel *Label1;
    QPlainTextEdit *Text1;
    QPushButton *Command1;
};
