#pragma once

#include "app/program_folder.h"

#include <QString>

class Desktop;
struct Settings;

// Short sound cues from the "sfx" folder beside the program, and the shell's "open".
class Cues {
public:
    Cues(Settings& settings, Desktop& desktop, const ProgramFolder& folder);

    // Silent when sound is off, the file is missing or there is no audio device.
    void PlayCue(const QString& fileName);

    // At start-up: sound is offered only when the "sfx" folder exists, else switched off.
    void checkSoundFolder();

    void ShellOpen(const QString& target);

private:
    Settings& m_settings;
    Desktop& m_desktop;
    const ProgramFolder& m_folder;
};
