#pragma once

#include <QByteArray>
#include <QString>

// One decoding session of the classic-encodings library (uuencode, xxencode, Base64, BinHex).
// The library keeps global state, so at most one session exists at a time; a second one reports
// itself unusable (ok() false) rather than disturbing the first.
//
// What the library does with the program's option set (text messages handled):
// - parts may be loaded in any order; items come out in the library's order;
// - a plain-text article (a header alone too, or a text part "0/n" of a post) is an item of its own
//   named "0001.txt", encoding PlainText; only an empty file gives no item;
// - a missing middle part: the item has MissingParts and decode() returns 5 (NoEnd) and writes
//   nothing; a missing first part: no file name, MissingParts | NoBegin, decode() returns 4;
//   a missing last part: NoEndFound, decode() returns 5;
// - file names keep only their last "/" or "\" component, but are otherwise raw (".." stays "..").
class UuLibrary {
public:
    // Return codes of the library.
    static constexpr int Ok = 0;
    static constexpr int IoError = 1;
    static constexpr int IllegalValue = 3;
    static constexpr int NoData = 4;
    static constexpr int NoEnd = 5;
    static constexpr int Exists = 7;

    // Item state flags, OR'ed.
    static constexpr int MissingParts = 1;
    static constexpr int NoBegin = 2;
    static constexpr int NoEndFound = 4;
    static constexpr int NoValidData = 8;
    static constexpr int Complete = 16;

    enum class Encoding { Unknown, Uu, Base64, Xx, BinHex, PlainText, QuotedPrintable, YEnc };

    // Initialises the library with text messages handled (option 16 = -1/"0").
    UuLibrary();
    // Cleans up the library and removes any temporary files it made.
    ~UuLibrary();
    UuLibrary(const UuLibrary&) = delete;
    UuLibrary& operator=(const UuLibrary&) = delete;

    [[nodiscard]] bool ok() const { return m_ok; }

    // Loads one stored article with its own path as file id, never deleting it. Library code 0-9.
    [[nodiscard]] int loadFile(const QString& path);

    // The recognised items, in the library's order.
    struct Item {
        QByteArray fileName; // raw, as the library found it; empty when it found none
        int state = 0;
        Encoding encoding = Encoding::Unknown;
    };
    [[nodiscard]] int itemCount() const;
    [[nodiscard]] Item item(int index) const;

    // Decodes item `index` to exactly `outputPath`, which must not exist yet (Exists otherwise, and
    // nothing is touched). The library decodes into its temporary folder ($TMPDIR); the result is
    // then linked or copied to outputPath without ever replacing a file. Library code 0-9; a failed move is
    // IoError with a lastMessage() saying why.
    [[nodiscard]] int decode(int index, const QString& outputPath);

    // The file-name filter installed in the library: the name's last path component ("/", "\" or
    // ":" separated). Not a full sanitiser: ".." and control characters pass.
    [[nodiscard]] QByteArray filterName(const QByteArray& name) const;

    // The last message the library reported during this session; empty when none.
    // Severity: 0 message, 1 note, 2 warning, 3 error, 4 fatal, 5 panic.
    struct Message {
        QString text;
        int severity = 0;
    };
    [[nodiscard]] Message lastMessage() const { return m_lastMessage; }

    // Text of a return code 0-9; empty for any other code.
    [[nodiscard]] static QString returnCodeText(int code);

private:
    static void onMessage(void* self, char* text, int severity);
    static char* onFilterName(void* self, char* name);
    int placeOutput(const QByteArray& from, const QString& to);
    int copyOutput(const QByteArray& from, const QString& to);
    int ioError(const QString& text);

    bool m_ok = false;
    Message m_lastMessage;
    mutable QByteArray m_filtered; // backs the pointer the filter callback returns
};
