#include "net/HandlerTable.h"

namespace yz {

void HandlerTable::add(const QString &name, PageHandler handler)
{
    m_handlers.insert(name, std::move(handler));
}

void HandlerTable::addPicture(const QString &name, PictureHandler handler)
{
    m_pictureHandlers.insert(name, std::move(handler));
}

void HandlerTable::deliverPicture(const QString &name, qint16 err, const QByteArray &bytes) const
{
    const auto it = m_pictureHandlers.constFind(name);
    if (it == m_pictureHandlers.constEnd() || !*it)
        return;
    try {
        (*it)(err, bytes);
    } catch (...) {
    }
}

void HandlerTable::deliver(const QString &name, qint16 err, const QString &html) const
{
    const auto it = m_handlers.constFind(name);
    if (it == m_handlers.constEnd() || !*it)
        return;
    try {
        (*it)(err, html);
    } catch (...) {
        // A failing handler must not take the event loop or other requests with it.
    }
}

} // namespace yz
