#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

class QProcess;

// The programs post-processing runs and how long any one run may take.
struct PostTools {
    QString par2 = QStringLiteral("par2");
    QString lsar = QStringLiteral("lsar");
    QString unar = QStringLiteral("unar");
    // A repair of a large set takes long; a tool still running after this is stuck.
    int timeoutMs = 4 * 60 * 60 * 1000;
};

// One run of an external tool without blocking the event loop. Standard output is handed on as it
// comes; the run ends with one `finished`, also when the tool is missing, times out or is cancelled.
class ToolProcess : public QObject {
    Q_OBJECT
public:
    explicit ToolProcess(QObject* parent = nullptr);
    ~ToolProcess() override;

    void start(const QString& program, const QStringList& arguments, const QString& workingFolder, int timeoutMs);
    // Kills the tool; `finished` follows with the failure "cancelled".
    void cancel();
    [[nodiscard]] bool running() const { return m_process != nullptr; }

signals:
    void standardOutput(const QByteArray& chunk);
    // `failure` is empty when the tool ran to its end, whatever its exit code; `standardError` keeps
    // the last few kilobytes.
    void finished(int exitCode, const QByteArray& standardError, const QString& failure);

private:
    void stop(const QString& failure);
    void end(int exitCode);

    QProcess* m_process = nullptr;
    QTimer m_timer;
    QString m_name;
    QString m_failure;
    QByteArray m_error;
};
