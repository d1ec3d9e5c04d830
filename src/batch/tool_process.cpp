#include "batch/tool_process.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {

constexpr qsizetype kErrorTail = 16 * 1024;

} // namespace

ToolProcess::ToolProcess(QObject* parent)
    : QObject(parent)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { stop(m_name + QStringLiteral(" timed out")); });
}

ToolProcess::~ToolProcess()
{
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(1000);
        delete m_process;
    }
}

void ToolProcess::start(
    const QString& program, const QStringList& arguments, const QString& workingFolder, int timeoutMs)
{
    Q_ASSERT(!m_process);
    m_name = QFileInfo(program).fileName();
    m_failure.clear();
    m_error.clear();
    const QString path = program.contains(u'/') ? program : QStandardPaths::findExecutable(program);
    if (path.isEmpty() || !QFileInfo(path).isExecutable()) {
        // Reported from the event loop like every other ending, so callers connect after start().
        m_failure = m_name + QStringLiteral(" is not installed");
        QTimer::singleShot(0, this, [this] { emit finished(-1, {}, m_failure); });
        return;
    }
    m_process = new QProcess(this);
    m_process->setWorkingDirectory(workingFolder);
    connect(m_process, &QProcess::readyReadStandardOutput, this,
        [this] { emit standardOutput(m_process->readAllStandardOutput()); });
    connect(m_process, &QProcess::readyReadStandardError, this, [this] {
        m_error += m_process->readAllStandardError();
        if (m_error.size() > kErrorTail)
            m_error = m_error.right(kErrorTail);
    });
    connect(m_process, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
        if (status == QProcess::CrashExit && m_failure.isEmpty())
            m_failure = m_name + QStringLiteral(" stopped unexpectedly");
        end(exitCode);
    });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            m_failure = m_name + QStringLiteral(" is not installed");
            end(-1);
        }
    });
    m_process->start(path, arguments);
    // A tool that asks for a password reads end-of-file instead of waiting for one.
    m_process->closeWriteChannel();
    m_timer.start(timeoutMs);
}

void ToolProcess::cancel()
{
    stop(QStringLiteral("cancelled"));
}

void ToolProcess::stop(const QString& failure)
{
    if (!m_process || !m_failure.isEmpty())
        return;
    m_failure = failure;
    m_process->kill();
}

void ToolProcess::end(int exitCode)
{
    if (!m_process)
        return;
    m_timer.stop();
    m_process->disconnect(this);
    m_error += m_process->readAllStandardError();
    const QByteArray rest = m_process->readAllStandardOutput();
    m_process->deleteLater();
    m_process = nullptr;
    if (!rest.isEmpty())
        emit standardOutput(rest);
    emit finished(exitCode, m_error, m_failure);
}
