#include "batch/nzb.h"

#include <QFile>
#include <QSaveFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <utility>

namespace {

constexpr qint64 kReadChunk = 64 * 1024;
constexpr qint64 kMiB = 1024 * 1024;
const QString kNamespace = QStringLiteral("http://www.newzbin.com/DTD/2003/nzb");

enum class Node { Nzb, Head, Meta, File, Groups, Group, Segments, Segment, Other };

// A message-id goes into a server command line as it is, so nothing may end or split that line.
bool usableMessageId(QStringView id)
{
    return std::none_of(id.begin(), id.end(),
        [](QChar c) { return c.isSpace() || c == u'<' || c == u'>' || c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

QString lineAndColumn(const QXmlStreamReader& xml)
{
    return QStringLiteral(" at line %1, column %2").arg(xml.lineNumber()).arg(xml.columnNumber());
}

QString tooLarge(qint64 maxBytes)
{
    const QString size = maxBytes % kMiB == 0 ? QStringLiteral("%1 MB").arg(maxBytes / kMiB)
                                              : QStringLiteral("%1 bytes").arg(maxBytes);
    return QStringLiteral("NZB file too large (over %1)").arg(size);
}

// Takes the tokens of one document and keeps what it understands, leaving unknown elements aside.
class Collector {
public:
    explicit Collector(const NzbLimits& limits)
        : m_limits(limits)
    {
    }

    // An error text, or an empty string while all is well.
    QString take(QXmlStreamReader& xml)
    {
        switch (xml.tokenType()) {
        case QXmlStreamReader::DTD:
            // Nothing a real NZB needs, and the way to blow a document up in memory.
            if (!xml.entityDeclarations().isEmpty())
                return QStringLiteral("NZB file declares entities") + lineAndColumn(xml);
            return {};
        case QXmlStreamReader::EntityReference:
            return QStringLiteral("NZB file refers to an unknown entity &%1;").arg(xml.name()) + lineAndColumn(xml);
        case QXmlStreamReader::StartElement:
            return start(xml);
        case QXmlStreamReader::Characters:
            if (!m_stack.empty()
                && (m_stack.back() == Node::Meta || m_stack.back() == Node::Group || m_stack.back() == Node::Segment))
                m_text += xml.text();
            return {};
        case QXmlStreamReader::EndElement:
            return end(xml);
        default:
            return {};
        }
    }

    NzbReadResult finish()
    {
        if (m_doc.files.empty())
            return { std::nullopt, QStringLiteral("NZB file lists no segments") };
        return { std::move(m_doc), {} };
    }

private:
    QString start(QXmlStreamReader& xml)
    {
        const QStringView name = xml.name();
        const QXmlStreamAttributes attributes = xml.attributes();
        const Node parent = m_stack.empty() ? Node::Other : m_stack.back();
        Node node = Node::Other;
        if (m_stack.empty()) {
            if (name != u"nzb")
                return QStringLiteral("Not an NZB file: the root element is <%1>").arg(name);
            node = Node::Nzb;
        } else if (parent == Node::Nzb && name == u"head") {
            node = Node::Head;
        } else if (parent == Node::Head && name == u"meta") {
            node = Node::Meta;
            m_metaType = attributes.value(QLatin1String("type")).toString();
        } else if (parent == Node::Nzb && name == u"file") {
            node = Node::File;
            m_file = NzbFile { attributes.value(QLatin1String("poster")).toString(),
                attributes.value(QLatin1String("date")).toLongLong(),
                attributes.value(QLatin1String("subject")).toString(), {}, {} };
        } else if (parent == Node::File && name == u"groups") {
            node = Node::Groups;
        } else if (parent == Node::Groups && name == u"group") {
            node = Node::Group;
        } else if (parent == Node::File && name == u"segments") {
            node = Node::Segments;
        } else if (parent == Node::Segments && name == u"segment") {
            node = Node::Segment;
            if (++m_segments > m_limits.maxSegments)
                return QStringLiteral("NZB file has too many segments (over %1)").arg(m_limits.maxSegments);
            m_segment = NzbSegment { std::max<qint64>(attributes.value(QLatin1String("bytes")).toLongLong(), 0),
                attributes.value(QLatin1String("number")).toInt(), {} };
        }
        // Text inside an unknown child still belongs to the element around it.
        if (node == Node::Meta || node == Node::Group || node == Node::Segment)
            m_text.clear();
        m_stack.push_back(node);
        return {};
    }

    QString end(QXmlStreamReader& xml)
    {
        const Node node = m_stack.back();
        m_stack.pop_back();
        switch (node) {
        case Node::Meta:
            m_doc.meta.append({ m_metaType, m_text.trimmed() });
            break;
        case Node::Group:
            if (const QString group = m_text.trimmed(); !group.isEmpty())
                m_file.groups.append(group);
            break;
        case Node::Segment: {
            QStringView id = QStringView(m_text).trimmed();
            if (id.size() >= 2 && id.startsWith(u'<') && id.endsWith(u'>'))
                id = id.sliced(1, id.size() - 2);
            if (id.isEmpty() || m_segment.number < 1)
                break;
            if (!usableMessageId(id))
                return QStringLiteral("NZB file has an unusable message-id") + lineAndColumn(xml);
            m_segment.messageId = id.toUtf8();
            m_file.segments.push_back(std::move(m_segment));
            break;
        }
        case Node::File: {
            auto& segments = m_file.segments;
            std::stable_sort(segments.begin(), segments.end(),
                [](const NzbSegment& a, const NzbSegment& b) { return a.number < b.number; });
            // The stable sort keeps the first of equal numbers in front, and unique keeps that one.
            segments.erase(std::unique(segments.begin(), segments.end(),
                               [](const NzbSegment& a, const NzbSegment& b) { return a.number == b.number; }),
                segments.end());
            if (!segments.empty())
                m_doc.files.push_back(std::move(m_file));
            m_file = {};
            break;
        }
        default:
            break;
        }
        return {};
    }

    const NzbLimits m_limits;
    std::vector<Node> m_stack;
    NzbDocument m_doc;
    NzbFile m_file;
    NzbSegment m_segment;
    QString m_metaType;
    QString m_text;
    qint64 m_segments = 0;
};

// XML 1.0 cannot carry every character a header may hold (control characters, lone surrogates).
QString xmlSafe(const QString& text)
{
    QString out = text;
    for (qsizetype i = 0; i < out.size(); ++i) {
        const char16_t c = std::as_const(out)[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < out.size() && std::as_const(out)[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        if (!(c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c < 0xD800) || (c >= 0xE000 && c <= 0xFFFD)))
            out[i] = QChar::ReplacementCharacter;
    }
    return out;
}

// The writer puts a carriage return into text as it is, and a reader turns that into a line feed.
void writeText(QXmlStreamWriter& xml, const QString& text)
{
    const QString safe = xmlSafe(text);
    qsizetype from = 0;
    for (qsizetype cr = safe.indexOf(u'\r'); cr >= 0; cr = safe.indexOf(u'\r', from)) {
        xml.writeCharacters(safe.sliced(from, cr - from));
        xml.writeEntityReference(QStringLiteral("#13"));
        from = cr + 1;
    }
    xml.writeCharacters(safe.sliced(from));
}

void writeTextElement(QXmlStreamWriter& xml, const QString& name, const QString& text)
{
    xml.writeStartElement(kNamespace, name);
    writeText(xml, text);
    xml.writeEndElement();
}

} // namespace

NzbReadResult readNzb(QIODevice& device, const NzbLimits& limits)
{
    if (!device.isSequential() && device.size() - device.pos() > limits.maxBytes)
        return { std::nullopt, tooLarge(limits.maxBytes) };
    // Fed in pieces, so a sequential device is bounded as well and never held whole.
    QXmlStreamReader xml;
    Collector collector(limits);
    qint64 fed = 0;
    bool atEnd = false;
    for (;;) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::Invalid) {
            if (xml.error() != QXmlStreamReader::PrematureEndOfDocumentError || atEnd)
                return { std::nullopt,
                    QStringLiteral("Malformed NZB file: %1").arg(xml.errorString()) + lineAndColumn(xml) };
            const QByteArray chunk = device.read(std::min(kReadChunk, limits.maxBytes - fed + 1));
            fed += chunk.size();
            if (fed > limits.maxBytes)
                return { std::nullopt, tooLarge(limits.maxBytes) };
            atEnd = chunk.isEmpty();
            xml.addData(chunk);
            continue;
        }
        if (token == QXmlStreamReader::EndDocument)
            break;
        if (QString error = collector.take(xml); !error.isEmpty())
            return { std::nullopt, std::move(error) };
    }
    return collector.finish();
}

NzbReadResult readNzb(const QString& path, const NzbLimits& limits)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return { std::nullopt, QStringLiteral("Cannot open NZB file %1: %2").arg(path, file.errorString()) };
    return readNzb(file, limits);
}

bool writeNzb(QIODevice& device, const NzbDocument& document)
{
    QXmlStreamWriter xml(&device);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(1);
    xml.writeStartDocument();
    xml.writeDTD(QStringLiteral("<!DOCTYPE nzb PUBLIC \"-//newzBin//DTD NZB 1.1//EN\" "
                                "\"http://www.newzbin.com/DTD/nzb/nzb-1.1.dtd\">"));
    xml.writeDefaultNamespace(kNamespace);
    xml.writeStartElement(kNamespace, QStringLiteral("nzb"));
    if (!document.meta.isEmpty()) {
        xml.writeStartElement(kNamespace, QStringLiteral("head"));
        for (const auto& [type, text] : document.meta) {
            xml.writeStartElement(kNamespace, QStringLiteral("meta"));
            xml.writeAttribute(QStringLiteral("type"), xmlSafe(type));
            writeText(xml, text);
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    for (const NzbFile& file : document.files) {
        xml.writeStartElement(kNamespace, QStringLiteral("file"));
        xml.writeAttribute(QStringLiteral("poster"), xmlSafe(file.poster));
        xml.writeAttribute(QStringLiteral("date"), QString::number(file.date));
        xml.writeAttribute(QStringLiteral("subject"), xmlSafe(file.subject));
        xml.writeStartElement(kNamespace, QStringLiteral("groups"));
        for (const QString& group : file.groups)
            writeTextElement(xml, QStringLiteral("group"), group);
        xml.writeEndElement();
        xml.writeStartElement(kNamespace, QStringLiteral("segments"));
        for (const NzbSegment& segment : file.segments) {
            xml.writeStartElement(kNamespace, QStringLiteral("segment"));
            xml.writeAttribute(QStringLiteral("bytes"), QString::number(segment.bytes));
            xml.writeAttribute(QStringLiteral("number"), QString::number(segment.number));
            writeText(xml, QString::fromUtf8(segment.messageId));
            xml.writeEndElement();
        }
        xml.writeEndElement();
        xml.writeEndElement();
    }
    xml.writeEndDocument();
    return !xml.hasError();
}

bool writeNzb(const QString& path, const NzbDocument& document)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && writeNzb(file, document) && file.commit();
}

qint64 nzbFileBytes(const NzbFile& file)
{
    qint64 total = 0;
    for (const NzbSegment& segment : file.segments)
        total += segment.bytes;
    return total;
}
