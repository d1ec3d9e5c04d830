#include "ui/qt_desktop.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

QtDesktop::QtDesktop() = default;
QtDesktop::~QtDesktop() = default;

bool QtDesktop::audioAvailable() const { return !QMediaDevices::audioOutputs().isEmpty(); }

void QtDesktop::playSound(const QString& path)
{
    if (!m_effect)
        m_effect = std::make_unique<QSoundEffect>();
    m_effect->stop();
    m_effect->setSource(QUrl::fromLocalFile(path));
    m_effect->play();
}

void QtDesktop::openTarget(const QString& target, const QString& workingFolder)
{
    const QUrl asUrl(target, QUrl::StrictMode);
    if (asUrl.isValid() && !asUrl.scheme().isEmpty() && asUrl.scheme().size() > 1) {
        QDesktopServices::openUrl(asUrl);
        return;
    }
    const QString path = QFileInfo(target).isRelative() ? QDir(workingFolder).filePath(target) : target;
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
