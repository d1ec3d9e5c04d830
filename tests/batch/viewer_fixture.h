#pragma once

#include "batch/preview.h"
#include "batch/viewer.h"
#include "groups/newsgroups.h"
#include "headers/item_table.h"
#include "nntp/connections.h"
#include "support/articles.h"
#include "support/fake_nntp_server.h"
#include "support/ground.h"

#include <QTest>

// The viewer and the preview over the ground services, against a scripted server of group alt.test.
struct ViewerParts {
    Ground t;
    FakeNntpServer server;
    Newsgroups groups { { t.log, t.prompts, t.window, t.path(QStringLiteral("favs.txt")) } };
    Connections connections { { t.settings, t.log, t.clock, t.prompts, t.window } };
    ArticleViewer viewer { { t.settings, t.log, t.cues, t.prompts, groups, connections } };
    Mp3Preview preview { { t.settings, t.log, t.cues, t.prompts, groups, connections } };
    quint8 key = 0;

    explicit ViewerParts(const Delivery& delivery = Delivery::whole())
    {
        server.setDelivery(delivery);
        t.settings.News_Host = QStringLiteral("127.0.0.1");
        t.settings.News_Port = QString::number(server.port());
        t.settings.chkEnableLogging = 1;
        t.settings.Cache_Path = t.path(QStringLiteral("cache/"));
        groups.ngAddGroup("alt.test");
        key = groups.ngFindKeyByGroupName("alt.test");
        server.on(QStringLiteral("GROUP alt.test")).reply("211 900 100 999 alt.test\r\n");
        server.on(QStringLiteral("QUIT")).reply("205 bye\r\n").thenClose();
    }

    // An item of parts with these subject tails and articles 100, 101, ...; message-ids p100@x, ...
    ItemRecord item(const QByteArray& key, const QList<QByteArray>& tails, qint32 bytes = 5000) const
    {
        ItemRecord r;
        r.key = key;
        r.groupKey = this->key;
        for (qsizetype i = 0; i < tails.size(); ++i)
            r.parts.append({ tails[i], 100 + i, "p" + QByteArray::number(100 + i) + "@x", bytes });
        return r;
    }
    // The server holds `article` under both the message-id and the number of article 100 + i.
    void serve(qsizetype i, const QByteArray& text)
    {
        const QByteArray reply = articles::articleReply(text);
        server.on(QStringLiteral("ARTICLE <p%1@x>").arg(100 + i)).reply(reply);
        server.on(QStringLiteral("ARTICLE %1").arg(100 + i)).reply(reply);
    }
    QString cached(qint64 article) const { return t.path(QStringLiteral("cache/alt.test/%1.UUE").arg(article)); }
    // The connection ended after the viewer or preview was done with it.
    void waitClosed(Conn n) { QTRY_COMPARE_WITH_TIMEOUT(connections.state(n), 0, 10000); }
};
