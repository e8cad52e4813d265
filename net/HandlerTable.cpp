#include "net/HandlerTable.h"

namespace yz {
namespace {

// Calls the handler called `name`, if there is one; a handler's exception
// must not take the event loop or other requests with it.
template <typename Table, typename... Args> void callByName(const Table &table, const QString &name, Args &&...args)
{
    const auto it = table.constFind(name);
    if (it == table.constEnd() || !*it)
        return;
    try {
        (*it)(std::forward<Args>(args)...);
    } catch (...) {
    }
}

} // namespace

void HandlerTable::add(const QString &name, AnswerHandler handler)
{
    m_handlers.insert(name, std::move(handler));
}

void HandlerTable::add(const QString &name, PageHandler handler)
{
    if (!handler)
        return;
    add(name, AnswerHandler([handler = std::move(handler)](const PageAnswer &answer) {
            handler(answer.err(), answer.html());
        }));
}

void HandlerTable::addPicture(const QString &name, PictureHandler handler)
{
    m_pictureHandlers.insert(name, std::move(handler));
}

void HandlerTable::deliverPicture(const QString &name, qint16 err, const QByteArray &bytes) const
{
    callByName(m_pictureHandlers, name, err, bytes);
}

void HandlerTable::deliver(const QString &name, const PageAnswer &answer) const
{
    if (m_observer) {
        try {
            m_observer(name, answer);
        } catch (...) {
        }
    }
    callByName(m_handlers, name, answer);
}

} // namespace yz
