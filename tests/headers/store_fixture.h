#pragma once

#include "groups/newsgroups.h"
#include "headers/header_store.h"
#include "headers/scan_activity.h"
#include "headers/scan_table.h"
#include "support/ground.h"

// A header store over the ground services, with one group in the list.
struct StoreFixture : Ground {
    explicit StoreFixture(const QByteArray& group)
    {
        settings.chkEnableLogging = 1;
        settings.Cache_Path = dir.path() + QStringLiteral("/cache/");
        groups.ngAddGroup(group);
        key = groups.ngFindKeyByGroupName(group);
    }

    Newsgroups groups{{log, prompts, window, path(QStringLiteral("favs.txt"))}};
    ScanTable scan{log};
    ViewTable view;
    ScanActivity activity;
    HeaderStore store{{log, settings, groups, window, prompts, {}, activity}, scan, view};
    quint8 key = 0;
};
