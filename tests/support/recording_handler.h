#pragma once

#include "nntp/connections.h"

#include <QList>
#include <QStringList>

// Records what the shared login hands to a connection's owner.
class RecordingHandler final : public ConnectionHandler {
public:
    void startWork() override { ++started; }
    void reply(const Reply& r) override { replies.append(r.statusLine); }
    void giveUp(bool) override { ++gaveUp; }
    void socketError(int, const QString& why) override { errors.append(why); }

    int started = 0;
    int gaveUp = 0;
    QList<QByteArray> replies;
    QStringList errors;
};
