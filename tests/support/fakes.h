#pragma once

#include "app/clock.h"
#include "app/desktop.h"
#include "app/prompts.h"
#include "app/system_probe.h"

#include <QHash>
#include <QList>
#include <QStringList>

#include <algorithm>
#include <deque>

// A clock that moves only when told to.
class FakeClock final : public Clock {
public:
    QDateTime now() const override { return m_now.addMSecs(m_ms - kStartMs); }
    qint64 monotonicMs() const override { return m_ms; }
    void advance(qint64 ms) { m_ms += ms; }

private:
    static constexpr qint64 kStartMs = 1'000'000;
    QDateTime m_now{QDate(2026, 12, 7), QTime(14, 5, 9)};
    qint64 m_ms = kStartMs;
};

// Records every prompt; answers yes/no and input boxes from a script, then with defaults.
class ScriptedPrompts final : public Prompts {
public:
    struct Opened {
        AppWindow window;
        bool modal;
    };

    void message(const QString& text, PromptIcon) override { messages.append(text); }
    bool askYesNo(const QString& text, PromptIcon) override
    {
        questions.append(text);
        if (yesNoAnswers.empty())
            return false;
        const bool answer = yesNoAnswers.front();
        yesNoAnswers.pop_front();
        return answer;
    }
    std::optional<QString> input(const QString& prompt, const QString&, const QString&) override
    {
        questions.append(prompt);
        // A null string answers Cancel.
        const QString answer = inputAnswers.isEmpty() ? QString() : inputAnswers.takeFirst();
        if (answer.isNull())
            return std::nullopt;
        return answer;
    }
    void openWindow(AppWindow window, bool modal) override
    {
        opened.append({window, modal});
        if (onOpen)
            onOpen(window, modal);
    }
    void hideWindow(AppWindow) override { }
    [[nodiscard]] bool wasOpened(AppWindow window) const
    {
        return std::any_of(opened.cbegin(), opened.cend(), [&](const Opened& o) { return o.window == window; });
    }

    QStringList messages;
    QStringList questions;
    QList<Opened> opened;
    std::deque<bool> yesNoAnswers;
    QStringList inputAnswers; // a null entry answers Cancel
    std::function<void(AppWindow, bool)> onOpen;
};

class FakeDesktop final : public Desktop {
public:
    bool audioAvailable() const override { return true; }
    void playSound(const QString& path) override { played.append(path.section(u'/', -1)); }
    void openTarget(const QString& target, const QString&) override { openedTargets.append(target); }

    QStringList played; // file names only
    QStringList openedTargets;
};

// Free space per folder prefix and memory figures, as a test sets them.
class FakeProbe final : public SystemProbe {
public:
    Disk disk(const QString& path) const override
    {
        for (auto it = free.cbegin(); it != free.cend(); ++it) {
            if (path.startsWith(it.key()))
                return {it.value(), QStringLiteral("/")};
        }
        return {50'000LL * 1048576, QStringLiteral("/")};
    }
    QString tempFolder() const override { return temp; }
    Memory memory() const override { return mem; }

    QHash<QString, qint64> free;
    QString temp = QStringLiteral("/faketmp");
    Memory mem{512LL * 1048576, 1024LL * 1048576};
};
