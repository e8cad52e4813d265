#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <functional>

namespace yz {

// A page handler: err is 0 for HTTP status 200 (html is the decoded body) and
// 1 otherwise (html is the status as decimal digits).
using PageHandler = std::function<void(qint16 err, const QString &html)>;

// A picture handler: err 0 with the picture's byte buffer, or err 1 with the
// status as decimal digits.
using PictureHandler = std::function<void(qint16 err, const QByteArray &bytes)>;

// Finds handlers by their name when an answer is delivered.
class HandlerTable {
public:
    void add(const QString &name, PageHandler handler);
    bool contains(const QString &name) const { return m_handlers.contains(name); }

    // Calls the handler called `name`. An unknown name, or an exception thrown
    // by the handler, ends this one delivery quietly.
    void deliver(const QString &name, qint16 err, const QString &html) const;

    void addPicture(const QString &name, PictureHandler handler);
    void deliverPicture(const QString &name, qint16 err, const QByteArray &bytes) const;

private:
    QHash<QString, PageHandler> m_handlers;
    QHash<QString, PictureHandler> m_pictureHandlers;
};

} // namespace yz
