#include "app/cues.h"

#include "app/desktop.h"
#include "app/settings.h"

#include <QFileInfo>

Cues::Cues(Settings& settings, Desktop& desktop, const ProgramFolder& folder)
    : m_settings(settings)
    , m_desktop(desktop)
    , m_folder(folder)
{
}

void Cues::PlayCue(const QString& fileName)
{
    if (!m_settings.chkSFX || !m_desktop.audioAvailable())
        return;
    const QString path = m_folder.file(QStringLiteral("sfx/") + fileName);
    if (!QFileInfo(path).isFile())
        return;
    m_desktop.playSound(path);
}

void Cues::checkSoundFolder()
{
    m_settings.sfxAvailable = QFileInfo(m_folder.file(QStringLiteral("sfx"))).isDir();
    if (!m_settings.sfxAvailable)
        m_settings.chkSFX = 0;
}

void Cues::ShellOpen(const QString& target) { m_desktop.openTarget(target, m_folder.path); }
