#include "net/PageAnswer.h"

namespace yz {

PageAnswer PageAnswer::page(const QString &text, const QUrl &asked)
{
    PageAnswer answer;
    answer.outcome = Outcome::Read;
    answer.status = 200;
    answer.asked = answer.answered = asked;
    answer.text = text;
    answer.body = text.toUtf8();
    return answer;
}

PageAnswer PageAnswer::failed(int status, const QUrl &asked)
{
    PageAnswer answer;
    answer.outcome = status >= 100 && status < 1000 ? Outcome::Http : Outcome::Transport;
    answer.status = status;
    answer.asked = answer.answered = asked;
    return answer;
}

} // namespace yz
