#include "nntp/inflater.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace {

// Negative: raw deflate, as the NNTP compression extension sends it.
constexpr int kWindowBits = -15;

Bytef* bytes(const char* p)
{
    return reinterpret_cast<Bytef*>(const_cast<char*>(p));
}

} // namespace

Inflater::Inflater()
    : m_zs(std::make_unique<z_stream_s>())
{
    if (inflateInit2(m_zs.get(), kWindowBits) != Z_OK) {
        m_corrupt = true;
        m_errorText = QStringLiteral("zlib would not start");
    }
}

Inflater::~Inflater()
{
    inflateEnd(m_zs.get());
}

void Inflater::append(QByteArrayView compressed)
{
    if (m_corrupt || compressed.isEmpty())
        return;
    if (m_inputPos == m_input.size()) {
        m_input.clear();
        m_inputPos = 0;
    }
    m_input.append(compressed);
}

bool Inflater::hasMore() const
{
    return !m_corrupt && (m_inputPos < m_input.size() || m_outputFull);
}

QByteArrayView Inflater::inflate(qsizetype maxBytes)
{
    m_outputFull = false;
    if (m_corrupt || maxBytes <= 0)
        return {};
    if (m_ended) {
        // The server never ends its stream; bytes after an end are not ours to guess at.
        if (m_inputPos < m_input.size()) {
            m_corrupt = true;
            m_errorText = QStringLiteral("data after the end of the stream");
        }
        return {};
    }
    if (m_output.size() < maxBytes)
        m_output.resize(maxBytes);
    const qsizetype available = m_input.size() - m_inputPos;
    z_stream_s& zs = *m_zs;
    zs.next_in = bytes(m_input.constData() + m_inputPos);
    zs.avail_in = static_cast<uInt>(std::min<qsizetype>(available, UINT_MAX));
    zs.next_out = bytes(m_output.data());
    zs.avail_out = static_cast<uInt>(std::min<qsizetype>(maxBytes, UINT_MAX));
    const uInt inBefore = zs.avail_in;
    const int rc = ::inflate(&zs, Z_SYNC_FLUSH);
    m_inputPos += inBefore - zs.avail_in;
    const qsizetype produced = std::min<qsizetype>(maxBytes, UINT_MAX) - zs.avail_out;
    switch (rc) {
    case Z_OK:
    case Z_BUF_ERROR: // no progress possible until more input arrives
        break;
    case Z_STREAM_END:
        m_ended = true;
        // Said at once, not only when the next step is asked for: a caller that stops at an
        // empty step would otherwise miss it until more data arrives.
        if (m_inputPos < m_input.size()) {
            m_corrupt = true;
            m_errorText = QStringLiteral("data after the end of the stream");
            return {};
        }
        break;
    default:
        m_corrupt = true;
        m_errorText = QString::fromLatin1(zs.msg ? zs.msg : "corrupt data");
        return {};
    }
    m_outputFull = zs.avail_out == 0;
    if (m_inputPos == m_input.size()) {
        m_input.clear();
        m_inputPos = 0;
    } else if (m_inputPos > kStep && m_inputPos > m_input.size() / 2) {
        m_input.remove(0, m_inputPos);
        m_inputPos = 0;
    }
    return QByteArrayView(m_output.constData(), produced);
}

Deflater::Deflater()
    : m_zs(std::make_unique<z_stream_s>())
{
    deflateInit2(m_zs.get(), Z_DEFAULT_COMPRESSION, Z_DEFLATED, kWindowBits, 8, Z_DEFAULT_STRATEGY);
}

Deflater::~Deflater()
{
    deflateEnd(m_zs.get());
}

QByteArray Deflater::deflate(QByteArrayView in)
{
    z_stream_s& zs = *m_zs;
    QByteArray out;
    out.resize(static_cast<qsizetype>(deflateBound(&zs, static_cast<uLong>(in.size()))) + 16);
    zs.next_in = bytes(in.data());
    zs.avail_in = static_cast<uInt>(in.size());
    qsizetype used = 0;
    do {
        if (used == out.size())
            out.resize(out.size() * 2);
        zs.next_out = bytes(out.data() + used);
        zs.avail_out = static_cast<uInt>(out.size() - used);
        ::deflate(&zs, Z_SYNC_FLUSH);
        used = out.size() - zs.avail_out;
    } while (zs.avail_out == 0);
    out.truncate(used);
    return out;
}
