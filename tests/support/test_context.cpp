#include "support/test_context.h"

TestContext::TestContext()
{
    restart();
}

AppContext& TestContext::restart()
{
    ctx.reset();
    ctx = std::make_unique<AppContext>(ProgramFolder::at(dir.path()), AppServices{clock, prompts, desktop, probe});
    return *ctx;
}

int TestContext::logCount(const QString& text) const
{
    return static_cast<int>(ctx->log.entries().stringList().filter(text).size());
}

bool TestContext::logged(const QString& text) const
{
    const QStringList entries = ctx->log.entries().stringList();
    return std::any_of(entries.cbegin(), entries.cend(), [&](const QString& l) { return l.endsWith(text); });
}
