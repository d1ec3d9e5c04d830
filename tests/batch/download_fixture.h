#pragma once

#include "batch/batch.h"
#include "batch/decode.h"
#include "batch/download.h"
#include "groups/newsgroups.h"
#include "headers/header_store.h"
#include "headers/item_key.h"
#include "headers/scan_activity.h"
#include "headers/scan_table.h"
#include "nntp/connections.h"
#include "support/articles.h"
#include "support/fake_nntp_server.h"
#include "support/ground.h"

#include <QDir>
#include <QTest>

// The batch download and the parts it drives over the ground services, against a scripted server
// that holds the articles of the posts a test makes.
struct DownloadParts {
    Ground t;
    FakeNntpServer server;
    Newsgroups groups { { t.log, t.prompts, t.window, t.path(QStringLiteral("favs.txt")) } };
    ScanTable scan { t.log };
    ViewTable view;
    Batch batch { { t.log, t.window, t.prompts, groups, view, scan, t.path(QStringLiteral("batch.twb")) } };
    EntryDecoder decoder { { t.log, t.settings, t.cues, t.window, groups, batch, t.yield } };
    Connections connections { { t.settings, t.log, t.clock, t.prompts, t.window } };
    ScanActivity activity;
    BatchDownload download { { t.settings, t.log, t.window, t.prompts, t.cues, t.clock, groups, batch, decoder,
        connections, activity } };
    quint8 key = 0;
    qint64 nextArticle = 100;

    explicit DownloadParts(const Delivery& delivery = Delivery::whole())
    {
        server.setDelivery(delivery);
        t.settings.News_Host = QStringLiteral("127.0.0.1");
        t.settings.News_Port = QString::number(server.port());
        t.settings.chkEnableLogging = 1;
        t.settings.Cache_Path = t.path(QStringLiteral("cache/"));
        t.settings.Download_Path = t.path(QStringLiteral("download/"));
        t.settings.chkMakeSubDirs = 0;
        groups.ngAddGroup("alt.test");
        key = groups.ngFindKeyByGroupName("alt.test");
        server.on(QStringLiteral("GROUP alt.test")).reply("211 900 100 999 alt.test\r\n");
        server.on(QStringLiteral("QUIT")).reply("205 bye\r\n").thenClose();
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

    QString downloaded(const QString& name) const { return t.path(QStringLiteral("download/") + name); }
    QString cached(qint64 article) const { return download.CachePartPath(key, article); }
    QStringList articleCommands() const { return server.commands().filter(QStringLiteral("ARTICLE")); }

    void runToEnd()
    {
        download.DownloadBatch();
        QTRY_VERIFY_WITH_TIMEOUT(!download.running(), 20000);
    }
};
