#pragma once

#include "headers/header_file.h"
#include "support/header_parts.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFileInfo>
#include <QScopedValueRollback>

// Header parts with one group "alt.test" (range 1000-2000).
struct ViewFixture {
    Ground t;
    HeaderParts ctx { t };
    HeaderView& view = ctx.headerView;
    QSet<QPair<qint64, int>>& batch = ctx.batch;
    QAbstractItemModelTester tester { &view, QAbstractItemModelTester::FailureReportingMode::QtTest };
    quint8 key = 0;

    ViewFixture()
    {
        t.settings.chkEnableLogging = 1;
        t.settings.Cache_Path = t.dir.path() + QStringLiteral("/cache/");
        key = addGroup("alt.test", 1000, 2000);
    }

    quint8 addGroup(const QByteArray& name, qint64 first, qint64 last)
    {
        ctx.groups.ngAddGroup(name);
        const quint8 k = ctx.groups.ngFindKeyByGroupName(name);
        const QScopedValueRollback noExpiry(ctx.settings.chkAutoExpire, 0);
        ctx.groups.ngUpdateRange(k, first, last);
        return k;
    }

    // An item whose parts have these articles; tails "(i/total)" unless given.
    static ItemRecord item(const QByteArray& key, qint16 total, QList<qint64> articles, qint32 bytes = 500'000,
        QList<QByteArray> tails = {})
    {
        ItemRecord r;
        r.key = key;
        r.totalParts = total;
        r.poster = "Poster <poster@example.com>";
        r.date = 37594.5; // 2002-12-04 12:00
        for (qsizetype i = 0; i < articles.size(); ++i) {
            const QByteArray tail = i < tails.size()
                ? tails[i]
                : " (" + QByteArray::number(i + 1) + '/' + QByteArray::number(total) + ')';
            r.parts.append({ tail, articles[i], "id" + QByteArray::number(articles[i]) + "@host", bytes });
        }
        return r;
    }

    int add(ItemRecord r, quint8 group = 0)
    {
        r.groupKey = group ? group : key;
        return ctx.view.table.appendRecord(r);
    }

    // Lists the view table as the group's, without loading it from a file.
    void show()
    {
        ctx.view.viewedKey = key;
        view.selectGroupEntry(QStringLiteral("alt.test"));
    }

    template <typename T = QString> [[nodiscard]] QList<T> column(int c, int role = Qt::DisplayRole) const
    {
        QList<T> out;
        for (int row = 0; row < view.rowCount(); ++row)
            out << view.index(row, c).data(role).template value<T>();
        return out;
    }
    [[nodiscard]] QList<int> listedSlots() const { return column<int>(0, HeaderView::SlotRole); }
    [[nodiscard]] QString status(int slot) const
    {
        const int row = view.rowOfSlot(slot);
        return row < 0 ? QString() : view.index(row, 0).data(HeaderView::StatusRole).toString();
    }

    void writeGroupFile(const QByteArray& group, const QList<ItemRecord>& records)
    {
        ItemTable table;
        for (const ItemRecord& r : records)
            table.appendRecord(r);
        const QString path = ctx.settings.Cache_Path + QString::fromLatin1(group) + QStringLiteral("/headers.twb");
        QDir().mkpath(QFileInfo(path).path());
        QString error;
        if (!twb::writeTable(path, table, &error))
            qFatal("cannot write %s", qPrintable(error));
    }
};
