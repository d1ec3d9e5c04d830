#include "support/program_run.h"

#include "headers/header_file.h"
#include "program/app_context.h"

#include <QFile>
#include <QProcess>
#include <QTest>

namespace {
constexpr int kExitWaitMs = 10'000;
constexpr const char* kFilterToggles[]
    = { "btnsComplete", "btnsIncomplete", "btnsUnknown", "btnsText", "btnsComplete_bp" };
} // namespace

bool runProgram(const QString& executable, const QString& home, const QString& option,
    const std::function<bool()>& done, int timeoutMs)
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TIDEWHELK_HOME"), home);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(executable, { option });
    if (!program.waitForStarted())
        return false;
    const bool finished
        = QTest::qWaitFor([&] { return done() || program.state() == QProcess::NotRunning; }, timeoutMs) && done();
    program.terminate();
    if (!program.waitForFinished(kExitWaitMs)) {
        program.kill();
        program.waitForFinished(kExitWaitMs);
    }
    return finished;
}

bool scanWithProgram(const QString& executable, const QString& home, int timeoutMs, const std::function<bool()>& also)
{
    const auto done = [&] {
        QFile file(home + QStringLiteral("/OPSLOG.TXT"));
        const QByteArray log = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        return log.contains("Scan Complete.") && log.contains("Connection Closed") && (!also || also());
    };
    return runProgram(executable, home, QStringLiteral("/SCAN"), done, timeoutMs);
}

QList<QByteArray> queueBinaries(AppContext& ctx, const QString& group)
{
    for (const char* toggle : kFilterToggles)
        ctx.headerView.setToggle(toggle, true);
    ctx.headerView.selectGroupEntry(group);
    QList<int> binaries;
    QList<QByteArray> keys;
    for (int row = 0; row < ctx.headerView.rowCount(); ++row) {
        const QModelIndex index = ctx.headerView.index(row, 0);
        if (index.data(HeaderView::StatusRole).toString() == QLatin1String("text"))
            continue;
        const int slot = index.data(HeaderView::SlotRole).toInt();
        binaries.append(slot);
        keys.append(ctx.view.table.str(ctx.view.table.item(slot).key).toByteArray());
    }
    ctx.batch.AddSelectedToBatch(binaries);
    return keys;
}

int batchFileEntries(const QString& path)
{
    const twb::RecordReader reader(path);
    return reader.status() == twb::RecordReader::Status::Missing ? 0 : reader.count();
}
