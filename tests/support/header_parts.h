#pragma once

#include "groups/newsgroups.h"
#include "headers/expiry.h"
#include "headers/header_store.h"
#include "headers/header_view.h"
#include "headers/queue_lookup.h"
#include "headers/scan_activity.h"
#include "headers/scan_table.h"
#include "headers/search.h"
#include "support/ground.h"

#include <QSet>

#include <functional>

// The header parts over the ground services, connected as the program connects them; the batch
// is a set the view asks through its queue lookup.
struct HeaderParts : QueueLookup {
    explicit HeaderParts(Ground& g)
        : settings(g.settings)
        , window(g.window)
        , log(g.log)
        , groups({ g.log, g.prompts, g.window, g.path(QStringLiteral("favs.txt")) })
        , scan(g.log)
        , headers({ g.log, g.settings, groups, g.window, g.prompts, [&g] { g.yield.yieldToEvents(); }, activity },
              scan, view)
        , expiry({ g.log, g.settings, groups, scan })
        , headerView({ g.log, g.settings, g.window, g.prompts, g.yield, groups, headers, view, scan, activity, *this })
        , headerSearch({ g.log, g.prompts, g.cues, g.yield, groups, headers, view, headerView, activity })
    {
        QObject::connect(&headers, &HeaderStore::viewCountChanged, &headerView, &HeaderView::UpdateViewLabel);
        QObject::connect(&groups, &Newsgroups::rangeArrived, &expiry, &AutoExpiry::AutoExpire);
        QObject::connect(&expiry, &AutoExpiry::groupExpired, &headerView, &HeaderView::groupExpired);
        QObject::connect(&headerSearch, &HeaderSearch::searchingChanged, &headerView, &HeaderView::setSearchRunning);
    }
    bool InBatch(qint64 article, quint8 group) const override
    {
        return inBatch ? inBatch(article, group) : batch.contains({ article, group });
    }

    Settings& settings;
    MainWindowState& window;
    OpsLog& log;
    QSet<QPair<qint64, int>> batch;
    // Replaces the set when a test needs to act while the view asks.
    std::function<bool(qint64 article, quint8 group)> inBatch;
    Newsgroups groups;
    ScanTable scan;
    ViewTable view;
    ScanActivity activity;
    HeaderStore headers;
    AutoExpiry expiry;
    HeaderView headerView;
    HeaderSearch headerSearch;
};

