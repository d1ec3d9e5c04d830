// "TWHELK.INI" from a hostile disk. Changing one key rewrites that key's line alone (or adds it)
// and reads back; every value reads back trimmed and bounded; and the settings loaded from any
// file survive the program's own save and the next start.
#include "fuzz_support.h"

#include "app/profile.h"
#include "app/settings.h"
#include "app/settings_file.h"
#include "app/view_layout.h"

#include <QList>

namespace {

using fuzz::require;

struct Key {
    QByteArray section;
    QByteArray key;
};

// Every key the program reads or writes.
QList<Key> programKeys()
{
    QList<Key> keys;
    for (const char* k : { "Download_Path", "Cache_Path", "Rescan_Time", "sldTimeout", "chkAgressiveHeaderCrunch",
             "News_Host", "News_Port", "User_Name", "lastscandate", "chkSavePassword", "User_PWX", "User_Pass",
             "chkAuth", "chkMakeSubDirs", "chkSFX", "chkDisableStats", "chkSaveDecodes", "chkSaveDecodes2",
             "chkOldRenameStyle", "chkSlave", "chkModeReader", "sldXOVER", "chkAllowRestart", "chkRestart500",
             "chkAutodownload", "chkAutoExpire", "chkSysTray", "chkEnableWatch", "chkLogFile", "chkEnableLogging",
             "togtsComplete", "togtsText", "togtsUnknown", "togtsIncomplete", "togtsInBatch" })
        keys.append(Key { "Options", k });
    for (const char* k : { "WindowState", "Top", "Left", "Height", "Width" })
        keys.append(Key { "Sizing", k });
    for (int view = 0; view < ColumnLayouts::kViews; ++view) {
        for (qsizetype c = 1; c <= ColumnLayouts::columns(view).size(); ++c)
            keys.append(Key { ColumnLayouts::section(view), "C" + QByteArray::number(c) });
    }
    return keys;
}

// The file's lines as the profile sees them: LF ends a line, one CR before it belongs to the line end.
QList<QByteArray> linesOf(const QByteArray& content)
{
    QList<QByteArray> lines = content.split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// The program's keys, then every "key=" line under a "[section]" line of the file whose key could
// be the program's: one that starts with "[" would turn into a section once its value holds a "]".
QList<Key> candidateKeys(const QList<QByteArray>& lines)
{
    static const QList<Key> program = programKeys();
    QList<Key> keys = program;
    QByteArray section;
    bool inSection = false;
    for (const QByteArray& line : lines) {
        const QByteArray t = line.trimmed();
        if (t.startsWith('[') && t.contains(']')) {
            section = t.sliced(1, t.indexOf(']') - 1).trimmed();
            inSection = true;
        } else if (const qsizetype eq = line.indexOf('='); inSection && eq > 0 && !t.startsWith('[')
                   && !line.first(eq).trimmed().isEmpty()) {
            // A line " = x" names no key: the program never asks for an empty one.
            keys.append(Key { section, line.first(eq).trimmed() });
        }
    }
    return keys;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size(),
        "the settings file can be written");
}

// Sets one key through the profile: the key reads back as stored, and the file is the old file
// with that key's line rewritten, the key added to its section, or the section added at the end.
void changeOneKey(const QString& path, const QByteArray& content, const Key& k, const QByteArray& value)
{
    const QList<QByteArray> before = linesOf(content);
    const Profile original(path);
    for (const Key& any : candidateKeys(before)) {
        const QByteArray v = original.value(any.section, any.key);
        require(v.size() <= 255 && v == v.trimmed() && !v.contains('\n'), "a value reads trimmed and bounded");
    }
    Profile profile(path);
    profile.setValue(k.section, k.key, value);
    require(profile.save(), "the settings file saves");

    QByteArray oneLine = value;
    oneLine.replace('\r', ' ').replace('\n', ' ');
    require(Profile(path).value(k.section, k.key) == oneLine.trimmed().left(255).trimmed(), "the key reads back");

    const QByteArray saved = readFile(path);
    const QList<QByteArray> after = linesOf(saved);
    QByteArray joined;
    for (const QByteArray& line : after)
        joined += line + "\r\n";
    require(saved == joined, "every saved line ends in CR LF");

    qsizetype head = 0, tail = 0;
    while (head < before.size() && head < after.size() && before[head] == after[head])
        ++head;
    while (tail < before.size() - head && tail < after.size() - head
        && before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
        ++tail;
    const qsizetype removed = before.size() - head - tail, added = after.size() - head - tail;
    const QByteArray keyLine = k.key + '=' + oneLine;
    if (removed == 1 && added == 1) {
        const QByteArray& old = before[head];
        require(old.indexOf('=') > 0 && after[head] == old.first(old.indexOf('=') + 1) + oneLine,
            "only the key's own line changes, keeping its spelling");
    } else if (removed == 0 && added == 1) {
        require(after[head] == keyLine, "a new key is one added line");
    } else if (removed == 0 && added == 2) {
        require(tail == 0 && after[head] == '[' + k.section + ']' && after[head + 1] == keyLine,
            "a new section is added at the end");
    } else {
        require(removed == 0 && added == 0, "every other line stays byte for byte");
    }
}

struct Loaded {
    Settings settings;
    QString lastScan;
    WindowPlacement placement;
    ColumnLayouts columns;
};

// Starts the program on the file as its start-up does, then saves as its shutdown does.
Loaded loadAndSave(fuzz::Program& p, const QString& path)
{
    // Folders are created as the file names them: only ones inside the fuzz folder may be.
    static const QString download = p.dir.filePath(QStringLiteral("download/"));
    static const QString dl = p.dir.filePath(QStringLiteral("dl/"));
    static const QStringList safe { download, download + QStringLiteral("twcache/"), dl,
        p.dir.filePath(QStringLiteral("cache/")), dl + QStringLiteral("twcache/") };
    Profile profile(path);
    for (const char* key : { "Download_Path", "Cache_Path" }) {
        const QByteArray folder = profile.value("Options", key);
        if (!folder.isEmpty() && !safe.contains(QString::fromUtf8(folder)))
            profile.setValue("Options", key, safe[key[0] == 'D' ? 2 : 3].toUtf8());
    }
    Loaded l;
    p.ctx.window.setText(MainWindowState::Label::LastScan, {});
    SettingsFile file({ profile, l.settings, p.ctx.log, p.prompts, p.ctx.window, p.dir.path() });
    file.LoadOptions();
    l.lastScan = p.ctx.window.text(MainWindowState::Label::LastScan);
    l.placement = file.LoadWindowPlacement();
    l.columns = file.LoadColumnWidths();

    const Settings& s = l.settings;
    for (auto [value, range] : { std::pair { s.Rescan_Time, slider::kRescan },
             std::pair { s.sldTimeout, slider::kTimeout }, std::pair { s.sldXOVER, slider::kXover } })
        require(value >= range.minimum && value <= range.maximum, "a slider is within its range");
    for (int box : { s.chkAgressiveHeaderCrunch, s.chkSavePassword, s.chkAuth, s.chkMakeSubDirs, s.chkSFX,
             s.chkDisableStats, s.chkSaveDecodes, s.chkSaveDecodes2, s.chkOldRenameStyle, s.chkSlave, s.chkModeReader,
             s.chkAllowRestart, s.chkRestart500, s.chkAutodownload, s.chkAutoExpire, s.chkSysTray, s.chkEnableWatch,
             s.chkLogFile, s.chkEnableLogging })
        require(box >= 0 && box <= 2, "a check box is 0, 1 or 2");
    const int port = s.News_Port.toInt();
    require(port >= 1 && port <= 65535 && s.News_Port == QString::number(port), "the port is a port number");
    require(safe.contains(s.Download_Path) && safe.contains(s.Cache_Path), "the folders are the ones allowed");
    for (int view = 0; view < ColumnLayouts::kViews; ++view) {
        require(l.columns.widths[view].size() == ColumnLayouts::columns(view).size(), "every column has a width");
        for (int w : std::as_const(l.columns.widths[view]))
            require(w >= 1 && w <= 100000, "a column width is usable");
    }

    p.ctx.window.setText(MainWindowState::Label::LastScan, l.lastScan);
    file.SaveOptions();
    file.SaveWindowPlacement(l.placement);
    file.SaveColumnWidths(l.columns);
    return l;
}

// A text reads back as it was saved (trimmed, on one line), or as its start when it is longer
// than a value can hold.
void requireTextBack(const QString& saved, const QString& back)
{
    QByteArray stored = saved.trimmed().toUtf8();
    stored = stored.replace('\r', ' ').replace('\n', ' ').trimmed();
    if (stored.size() > 255)
        require(stored.startsWith(back.toUtf8()), "a long text setting reads back as its start");
    else
        require(back == QString::fromUtf8(stored), "a text setting reads back as saved");
}

// What the program saved from one start, the next start reads back.
void requireSameStart(const Loaded& a, const Loaded& b)
{
    const Settings &s = a.settings, &r = b.settings;
    require(s.Download_Path == r.Download_Path && s.Cache_Path == r.Cache_Path, "the folders read back");
    for (auto text : { &Settings::News_Host, &Settings::User_Name })
        requireTextBack(s.*text, r.*text);
    requireTextBack(a.lastScan, b.lastScan);
    require(s.News_Port == r.News_Port, "the port reads back");
    for (auto number : { &Settings::Rescan_Time, &Settings::sldTimeout, &Settings::chkAgressiveHeaderCrunch,
             &Settings::chkSavePassword, &Settings::chkAuth, &Settings::chkMakeSubDirs, &Settings::chkSFX,
             &Settings::chkDisableStats, &Settings::chkSaveDecodes, &Settings::chkSaveDecodes2,
             &Settings::chkOldRenameStyle, &Settings::chkSlave, &Settings::chkModeReader, &Settings::sldXOVER,
             &Settings::chkAllowRestart, &Settings::chkRestart500, &Settings::chkAutodownload, &Settings::chkAutoExpire,
             &Settings::chkSysTray, &Settings::chkEnableWatch, &Settings::chkLogFile, &Settings::chkEnableLogging })
        require(s.*number == r.*number, "a number or check box reads back");
    for (auto toggle : { &ViewToggles::togtsComplete, &ViewToggles::togtsText, &ViewToggles::togtsUnknown,
             &ViewToggles::togtsIncomplete, &ViewToggles::togtsInBatch })
        require(s.toggles.*toggle == r.toggles.*toggle, "a view toggle reads back");
    // The stored form takes two bytes a character and a value holds 255; an empty one lets an old
    // plain "User_Pass" in again.
    const QByteArray password = s.password.trimmed();
    if (s.chkSavePassword != 0 && !password.isEmpty() && password.size() <= 127)
        require(r.password == password, "a saved password reads back");
    require(a.columns.widths == b.columns.widths, "the column widths read back");
    // A window that is not in its normal state leaves the placement lines as they were.
    WindowPlacement w = a.placement;
    if (w.windowState == WindowPlacement::Normal) {
        for (std::optional<int>* side : { &w.top, &w.left, &w.width, &w.height })
            *side = side->value_or(0);
    }
    const WindowPlacement& back = b.placement;
    require(back.windowState == w.windowState && back.top == w.top && back.left == w.left && back.width == w.width
            && back.height == w.height,
        "the window placement reads back");
}

} // namespace

// Byte 0 picks the key to change; the value runs to the first NUL, the file follows it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    fuzz::Program& p = fuzz::Program::instance();
    static const QString path = p.dir.filePath(QStringLiteral("TWHELK.INI"));
    const QByteArray rest(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    const qsizetype nul = rest.indexOf('\0');
    const QByteArray value = nul < 0 ? QByteArray() : rest.first(nul);
    const QByteArray content = nul < 0 ? rest : rest.sliced(nul + 1);

    writeFile(path, content);
    const QList<Key> keys = candidateKeys(linesOf(content));
    changeOneKey(path, content, keys[data[0] % keys.size()], value);

    writeFile(path, content);
    const Loaded first = loadAndSave(p, path);
    requireSameStart(first, loadAndSave(p, path));
    p.prompts.messages.clear();
    p.prompts.opened.clear();
    return 0;
}
