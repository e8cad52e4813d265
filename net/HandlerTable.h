#pragma once

#include "net/PageAnswer.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <functional>

namespace yz {

// A page handler: the whole answer of its request.
using AnswerHandler = std::function<void(const PageAnswer &answer)>;

// The shape of the window's named operations: err is 0 for HTTP status 200
// (html is the decoded body) and 1 otherwise (html is the status as digits).
using PageHandler = std::function<void(qint16 err, const QString &html)>;

// A picture handler: err 0 with the picture's byte buffer, or err 1 with the
// status as decimal digits.
using PictureHandler = std::function<void(qint16 err, const QByteArray &bytes)>;

// Finds handlers by their name when an answer is delivered.
class HandlerTable {
public:
    void add(const QString &name, AnswerHandler handler);
    // A handler of the window's shape, given the (err, html) view of each answer.
    void add(const QString &name, PageHandler handler);
    bool contains(const QString &name) const { return m_handlers.contains(name); }

    // Calls the handler called `name`. An unknown name, or an exception thrown
    // by the handler, ends this one delivery quietly.
    void deliver(const QString &name, const PageAnswer &answer) const;

    // Sees every answer delivered by name, before its handler (the command
    // line saves the pages behind its cells).
    using Observer = std::function<void(const QString &name, const PageAnswer &answer)>;
    void setObserver(Observer observer) { m_observer = std::move(observer); }

    void addPicture(const QString &name, PictureHandler handler);
    void deliverPicture(const QString &name, qint16 err, const QByteArray &bytes) const;

private:
    QHash<QString, AnswerHandler> m_handlers;
    Observer m_observer;
    QHash<QString, PictureHandler> m_pictureHandlers;
};

} // namespace yz
