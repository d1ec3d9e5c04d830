#include "batch/uu_library.h"

#include "app/text.h"

#include <QFile>

#include <cerrno>
#include <cstdio>

#include <sys/stat.h>
#include <unistd.h>

// Without PROTOTYPES the header declares its functions without parameters.
#define PROTOTYPES 1
extern "C" {
#include <uudeview.h>
}

namespace {

// The library's state is process-wide, and so is the claim on it.
bool g_sessionOpen = false;

static_assert(UuLibrary::Ok == UURET_OK && UuLibrary::IoError == UURET_IOERR && UuLibrary::IllegalValue == UURET_ILLVAL
    && UuLibrary::NoData == UURET_NODATA && UuLibrary::NoEnd == UURET_NOEND && UuLibrary::Exists == UURET_EXISTS);
static_assert(UuLibrary::MissingParts == UUFILE_MISPART && UuLibrary::NoBegin == UUFILE_NOBEGIN
    && UuLibrary::NoEndFound == UUFILE_NOEND && UuLibrary::NoValidData == UUFILE_NODATA
    && UuLibrary::Complete == UUFILE_OK);
static_assert(int(UuLibrary::Encoding::Uu) == UU_ENCODED && int(UuLibrary::Encoding::BinHex) == BH_ENCODED
    && int(UuLibrary::Encoding::PlainText) == PT_ENCODED && int(UuLibrary::Encoding::YEnc) == YENC_ENCODED);

QByteArray lastPathComponent(const char* name)
{
    const char* last = name;
    for (const char* p = name; *p; ++p) {
        if (*p == '/' || *p == '\\' || *p == ':')
            last = p + 1;
    }
    return QByteArray(last);
}

bool pathTaken(const QByteArray& path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0; // a dangling symbolic link counts
}

} // namespace

UuLibrary::UuLibrary()
{
    if (g_sessionOpen)
        return;
    if (UUInitialize() != UURET_OK) {
        UUCleanUp();
        return;
    }
    g_sessionOpen = true;
    m_ok = true;
    UUSetMsgCallback(this, &UuLibrary::onMessage);
    UUSetFNameFilter(this, &UuLibrary::onFilterName);
    char textValue[] = "0";
    UUSetOption(UUOPT_USETEXT, -1, textValue);
}

UuLibrary::~UuLibrary()
{
    if (!m_ok)
        return;
    UUCleanUp(); // deletes the temporary files of items still decoded there
    UUSetMsgCallback(nullptr, nullptr);
    UUSetFNameFilter(nullptr, nullptr);
    g_sessionOpen = false;
}

int UuLibrary::loadFile(const QString& path)
{
    if (!m_ok)
        return UURET_ILLVAL;
    QByteArray name = QFile::encodeName(path);
    return UULoadFile(name.data(), name.data(), 0);
}

int UuLibrary::itemCount() const
{
    if (!m_ok)
        return 0;
    int n = 0;
    while (UUGetFileListItem(n))
        ++n;
    return n;
}

UuLibrary::Item UuLibrary::item(int index) const
{
    const uulist* it = m_ok && index >= 0 ? UUGetFileListItem(index) : nullptr;
    if (!it)
        return {};
    return { QByteArray(it->filename), it->state, Encoding(it->uudet) };
}

int UuLibrary::decode(int index, const QString& outputPath)
{
    uulist* it = m_ok && index >= 0 ? UUGetFileListItem(index) : nullptr;
    if (!it || outputPath.isEmpty())
        return UURET_ILLVAL;
    // Checked before decoding so a taken path costs nothing; the link or copy checks again.
    if (pathTaken(QFile::encodeName(outputPath)))
        return UURET_EXISTS;
    const int r = UUDecodeToTemp(it);
    if (r != UURET_OK)
        return r;
    if (!it->binfile)
        return ioError(QStringLiteral("The decoder left no output for ") + outputPath);
    const int placed = placeOutput(QByteArray(it->binfile), outputPath);
    UURemoveTemp(it);
    return placed;
}

int UuLibrary::placeOutput(const QByteArray& from, const QString& to)
{
    const QByteArray target = QFile::encodeName(to);
    // A hard link is atomic and never replaces a file; other file systems need a copy.
    if (::link(from.constData(), target.constData()) == 0) {
        // The library's temporary file is private to its owner: give it a new file's mode.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::chmod(target.constData(), 0666 & ~mask);
        return UURET_OK;
    }
    if (errno == EEXIST)
        return UURET_EXISTS;
    return copyOutput(from, to);
}

int UuLibrary::copyOutput(const QByteArray& from, const QString& to)
{
    QFile in(QFile::decodeName(from));
    if (!in.open(QIODevice::ReadOnly))
        return ioError(QStringLiteral("Could not read the decoded file: ") + in.errorString());
    QFile out(to);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        if (pathTaken(QFile::encodeName(to)))
            return UURET_EXISTS;
        return ioError(QStringLiteral("Could not create ") + to + QStringLiteral(": ") + out.errorString());
    }
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in.read(buffer.data(), buffer.size());
        if (n == 0)
            break;
        if (n < 0 || out.write(buffer.constData(), n) != n)
            break;
    }
    const bool written = in.atEnd() && in.error() == QFileDevice::NoError && out.flush();
    out.close();
    if (!written || out.error() != QFileDevice::NoError) {
        const QString why = out.error() != QFileDevice::NoError ? out.errorString() : in.errorString();
        out.remove();
        return ioError(QStringLiteral("Could not write ") + to + QStringLiteral(": ") + why);
    }
    return UURET_OK;
}

int UuLibrary::ioError(const QString& text)
{
    m_lastMessage = { text, UUMSG_ERROR };
    return UURET_IOERR;
}

QByteArray UuLibrary::filterName(const QByteArray& name) const
{
    return lastPathComponent(name.constData());
}

void UuLibrary::onMessage(void* self, char* text, int severity)
{
    static_cast<UuLibrary*>(self)->m_lastMessage = { displayText(QByteArray(text)), severity };
}

char* UuLibrary::onFilterName(void* self, char* name)
{
    if (!name)
        return nullptr;
    auto* session = static_cast<UuLibrary*>(self);
    session->m_filtered = lastPathComponent(name);
    return session->m_filtered.data();
}

QString UuLibrary::returnCodeText(int code)
{
    switch (code) {
    case 0:
        return QStringLiteral("everything went fine");
    case 1:
        return QStringLiteral("I/O Error - examine errno");
    case 2:
        return QStringLiteral("not enough memory");
    case 3:
        return QStringLiteral("illegal value for operation");
    case 4:
        return QStringLiteral("decoder didn't find any data");
    case 5:
        return QStringLiteral("encoded data wasn't ended properly");
    case 6:
        return QStringLiteral("unsupported function (encoding)");
    case 7:
        return QStringLiteral("file exists (decoding)");
    case 8:
        return QStringLiteral("continue -- special from ScanPart");
    case 9:
        return QStringLiteral("operation cancelled");
    default:
        return {};
    }
}
