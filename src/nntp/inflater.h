#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>

struct z_stream_s;

// The receiving half of a compressed NNTP connection: one raw deflate stream (no zlib header) that
// never ends. Inflates in bounded steps, so a few compressed bytes that expand enormously cost at
// most one step of memory before whoever reads the output can refuse it.
class Inflater {
public:
    static constexpr qsizetype kStep = 64 * 1024;

    Inflater();
    ~Inflater();
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // Queues compressed bytes as they came off the line.
    void append(QByteArrayView compressed);
    // Inflates up to maxBytes of what is queued. The view lasts until the next call; it is empty
    // when nothing more can be had yet, or once the stream is corrupt.
    [[nodiscard]] QByteArrayView inflate(qsizetype maxBytes = kStep);
    // Queued input, or output the last step had no room for, remains.
    [[nodiscard]] bool hasMore() const;
    [[nodiscard]] bool corrupt() const { return m_corrupt; }
    // What zlib said about a corrupt stream.
    [[nodiscard]] QString errorText() const { return m_errorText; }

private:
    std::unique_ptr<z_stream_s> m_zs;
    QByteArray m_input;
    qsizetype m_inputPos = 0;
    QByteArray m_output;
    bool m_outputFull = false;
    bool m_ended = false;
    bool m_corrupt = false;
    QString m_errorText;
};

// The sending half: each piece comes out compressed and flushed to a byte boundary, so the server
// can act on a command at once.
class Deflater {
public:
    Deflater();
    ~Deflater();
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    [[nodiscard]] QByteArray deflate(QByteArrayView bytes);

private:
    std::unique_ptr<z_stream_s> m_zs;
};
