#pragma once

#include "batch/batch.h"
#include "batch/decode.h"
#include "batch/download.h"
#include "batch/preview.h"
#include "batch/viewer.h"
#include "groups/newsgroups.h"
#include "headers/header_store.h"
#include "headers/item_key.h"
#include "headers/scan_activity.h"
#include "headers/scan_table.h"
#include "nntp/connections.h"
#include "support/articles.h"
#include "support/fake_nntp_server.h"
#include "support/ground.h"
#include "support/server_settings.h"

#include <QDir>
#include <QTest>

// The ground services and a scripted server of group alt.test (articles 100 to 999) that the
// settings point at, with the connections and the group list the batch's network parts share.
struct ServedGroup {
    Ground t;
    FakeNntpServer server;
    Newsgroups groups { { t.log, t.prompts, t.window, t.path(QStringLiteral("favs.txt")) } };
    Connections connections { { t.settings, t.log, t.clock, t.prompts, t.window } };
    quint8 key = 0;

    explicit ServedGroup(const Delivery& delivery)
    {
        server.setDelivery(delivery);
        pointAtServer(t.settings, server.port(), t);
        groups.ngAddGroup("alt.test");
        key = groups.ngFindKeyByGroupName("alt.test");
        server.on(QStringLiteral("GROUP alt.test")).reply("211 900 100 999 alt.test\r\n");
        server.on(QStringLiteral("QUIT")).reply("205 bye\r\n").thenClose();
    }
    QString cached(qint64 article) const { return t.path(QStringLiteral("cache/alt.test/%1.UUE").arg(article)); }
    // The connection ended after its owner was done with it.
    void waitClosed(Conn n) { QTRY_COMPARE_WITH_TIMEOUT(connections.state(n), 0, 10000); }
};

// The viewer and the preview.
struct ViewerParts : ServedGroup {
    ArticleViewer viewer { { t.settings, t.log, t.cues, t.prompts, groups, connections } };
    Mp3Preview preview { { t.settings, t.log, t.cues, t.prompts, groups, connections } };

    explicit ViewerParts(const Delivery& delivery = Delivery::whole())
        : ServedGroup(delivery)
    {
    }
    // An item of parts with these subject tails and articles 100, 101, ...; message-ids p100@x, ...
    ItemRecord item(const QByteArray& name, const QList<QByteArray>& tails, qint32 bytes = 5000) const
    {
        ItemRecord r { name, 0, {}, 0, {}, 0, key };
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
};

// The batch download and the parts it drives, with posts whose articles the server holds.
struct DownloadParts : ServedGroup {
    ScanTable scan { t.log };
    ViewTable view;
    Batch batch { { t.log, t.window, t.prompts, groups, view, scan, t.path(QStringLiteral("batch.twb")) } };
    EntryDecoder decoder { { t.log, t.settings, t.cues, t.window, groups, batch, t.yield } };
    ScanActivity activity;
    BatchDownload download { { t.settings, t.log, t.window, t.prompts, t.cues, t.clock, groups, batch, decoder,
        connections, activity } };
    qint64 nextArticle = 100;

    explicit DownloadParts(const Delivery& delivery = Delivery::whole())
        : ServedGroup(delivery)
    {
        t.settings.chkMakeSubDirs = 0;
        t.settings.Download_Connections = 1;
    }

    struct Post {
        int slot = 0;
        QList<QByteArray> ids; // with brackets
        QList<qint64> numbers;
        QList<QByteArray> articles; // as the cache stores them
    };

    // A post of the given bodies in the view table, its articles on the server unless `withheld`
    // names a 1-based part the server does not have.
    Post post(const QByteArray& name, const QList<QByteArray>& bodies, int withheld = 0, qint16 total = -1)
    {
        Post p;
        ItemRecord r;
        const qsizetype n = bodies.size();
        itemkey::make(r.key, name, total < 0 ? n : total);
        r.totalParts = static_cast<qint16>(total < 0 ? n : total);
        r.poster = "Poster <p@x>";
        r.groupKey = key;
        for (qsizetype i = 0; i < n; ++i) {
            const QByteArray counter = " (" + QByteArray::number(i + 1) + "/" + QByteArray::number(n) + ")";
            const QByteArray id = "p" + QByteArray::number(nextArticle) + "." + name.toHex().left(8) + "@x";
            const qint64 number = nextArticle++;
            const QByteArray text = articles::article(name + counter, "<" + id + ">", bodies[i]);
            r.parts.append({ counter, number, id, static_cast<qint32>(bodies[i].size()) });
            p.ids.append("<" + id + ">");
            p.numbers.append(number);
            p.articles.append(text);
            if (i + 1 != withheld)
                server.on(QStringLiteral("ARTICLE <%1>").arg(QString::fromLatin1(id)))
                    .reply(articles::articleReply(text));
        }
        p.slot = view.table.appendRecord(r);
        return p;
    }
    void queue(const Post& p) { batch.AddToBatch(p.slot, true); }
    // Files the post under another group, added to the list.
    void moveTo(const Post& p, const QByteArray& group)
    {
        groups.ngAddGroup(group);
        ItemRecord r = view.table.record(p.slot);
        r.groupKey = groups.ngFindKeyByGroupName(group);
        view.table.setRecord(p.slot, r);
    }

    QString downloaded(const QString& name) const { return t.path(QStringLiteral("download/") + name); }
    QStringList articleCommands() const { return server.commands().filter(QStringLiteral("ARTICLE")); }

    void runToEnd()
    {
        download.DownloadBatch();
        QTRY_VERIFY_WITH_TIMEOUT(!download.running(), 20000);
    }
};
