#pragma once

#include "program/app_context.h"
#include "support/fakes.h"
#include "support/temp_folder.h"

#include <memory>

// A program folder in a fresh temporary directory and a context wired to fakes.
class TestContext : public TempFolder {
public:
    TestContext();

    // Whether a log list entry ends with the text (entries start with the time).
    [[nodiscard]] bool logged(const QString& text) const;
    // How many log list entries contain the text.
    [[nodiscard]] int logCount(const QString& text) const;
    // Builds a fresh context on the same folder, as a restart of the program would.
    AppContext& restart();
    // A restart that loads the settings, the group list and the batch, as the program's start does.
    AppContext& reload();
    // Lists the records as the rows of `group`, which joins the group list, as the viewed group's
    // header rows; answers the group's key.
    quint8 showItems(const QByteArray& group, QList<ItemRecord> records);

    FakeClock clock;
    ScriptedPrompts prompts;
    FakeDesktop desktop;
    FakeProbe probe;
    std::unique_ptr<AppContext> ctx;
};
