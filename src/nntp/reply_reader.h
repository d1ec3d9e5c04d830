#pragma once

#include <QByteArray>

#include <functional>
#include <optional>

// One server reply: the status line and, for multi-line replies, the un-stuffed body (CR LF
// line ends kept, the terminating "." line removed).
struct Reply {
    QByteArray statusLine; // without CR LF
    int code = 0;          // 0 when the line does not start with three digits
    QByteArray body;
    bool multiLine = false;

    // The first four characters, e.g. "211 ".
    [[nodiscard]] QByteArray codeText() const { return statusLine.left(4); }
};

// Frames replies out of the byte stream, however TCP splits or joins them: a status line only
// once its CR LF has arrived, a body only once its terminating "." line has. Bounded, so a
// hostile server cannot make it grow without limit.
class ReplyReader {
public:
    static constexpr qsizetype kMaxStatusLine = 4 * 1024;
    static constexpr qsizetype kMaxBody = 64 * 1024 * 1024;

    enum class Error { None, StatusLineTooLong, BodyTooLarge };

    // Whether a status code starts a multi-line reply (it depends on the command sent).
    using MultiLineRule = std::function<bool(int code)>;

    void append(QByteArrayView bytes);
    // The next complete reply, or nothing until more bytes arrive or after an error.
    [[nodiscard]] std::optional<Reply> next(const MultiLineRule& isMultiLine);

    [[nodiscard]] Error error() const { return m_error; }
    // Bytes received and not yet taken as a reply.
    [[nodiscard]] QByteArrayView pending() const;
    [[nodiscard]] bool pendingStartsLineWith(QByteArrayView prefix) const;
    void clear();

private:
    [[nodiscard]] std::optional<Reply> takeBody();
    void compact();

    QByteArray m_buffer;
    qsizetype m_pos = 0;         // start of unread bytes
    qsizetype m_searchFrom = -1; // where the body terminator search resumes, -1 outside a body
    Reply m_current;
    Error m_error = Error::None;
};

// Removes the extra leading dot of each dot-stuffed line of a body (one pass, its first line included).
[[nodiscard]] QByteArray DotUnstuff(QByteArrayView body);

// The server answers that end a connection's work: 400 and 500 to 503.
[[nodiscard]] inline bool isCriticalCode(int code) { return code == 400 || (code >= 500 && code <= 503); }

// Standard NNTP codes followed by a body; 211 only answers LISTGROUP with one.
[[nodiscard]] bool isMultiLineCode(int code);
