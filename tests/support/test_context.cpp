#include "support/test_context.h"

#include <QDir>
#include <QFile>

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

void TestContext::writeFile(const QString& name, const QByteArray& content) const
{
    const QString full = path(name);
    QDir().mkpath(QFileInfo(full).path());
    QFile f(full);
    if (f.open(QIODevice::WriteOnly))
        f.write(content);
}

QByteArray TestContext::readFile(const QString& name) const
{
    QFile f(path(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
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
