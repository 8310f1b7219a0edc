#include "zip/ziparchive.h"

#include "zip/zipentryname.h"

#include <QFile>

#include <algorithm>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr quint32 kLocalHeaderSignature = 0x04034b50;
constexpr quint32 kCentralHeaderSignature = 0x02014b50;
constexpr quint32 kEndSignature = 0x06054b50;
constexpr quint32 kZip64EndSignature = 0x06064b50;
constexpr quint32 kZip64LocatorSignature = 0x07064b50;
constexpr quint32 kDescriptorSignature = 0x08074b50;

constexpr quint64 kEndRecordSize = 22;
constexpr quint64 kMaxCommentSize = 0xFFFF;
constexpr quint64 kZip64LocatorSize = 20;
constexpr quint64 kZip64EndRecordSize = 56;
constexpr quint64 kCentralHeaderSize = 46;
constexpr quint64 kLocalHeaderSize = 30;
constexpr quint16 kZip64ExtraId = 0x0001;

constexpr quint16 kFlagEncrypted = 0x0001;
constexpr quint16 kFlagDataDescriptor = 0x0008;
constexpr quint16 kFlagStrongEncryption = 0x0040;
constexpr quint16 kFlagUtf8 = 0x0800;

constexpr quint16 kMethodStored = 0;
constexpr quint16 kMethodDeflated = 8;

constexpr quint8 kHostMsDos = 0;
constexpr quint8 kHostUnix = 3;
constexpr quint8 kHostDarwin = 19;

constexpr quint32 kUnixTypeMask = 0170000;
constexpr quint32 kUnixRegular = 0100000;
constexpr quint32 kUnixDirectory = 0040000;
constexpr quint32 kUnixSymbolicLink = 0120000;
constexpr quint32 kDosReadOnly = 0x01;
constexpr quint32 kDosDirectory = 0x10;

quint16 le16(const uchar *p) {
    return quint16(p[0] | p[1] << 8);
}

quint32 le32(const uchar *p) {
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

quint64 le64(const uchar *p) {
    return quint64(le32(p)) | quint64(le32(p + 4)) << 32;
}

// The data of extra field `id` inside an extra block, or an empty view. A malformed tail ends
// the search: some writers pad the block, and a missing field is reported by whoever needs it.
QByteArrayView findExtraField(QByteArrayView extra, quint16 id) {
    const auto *p = reinterpret_cast<const uchar *>(extra.data());
    qsizetype pos = 0;
    while (extra.size() - pos >= 4) {
        const quint16 fieldId = le16(p + pos);
        const quint16 fieldSize = le16(p + pos + 2);
        pos += 4;
        if (fieldSize > extra.size() - pos)
            break;
        if (fieldId == id)
            return extra.sliced(pos, fieldSize);
        pos += fieldSize;
    }
    return {};
}

QString hex(quint64 value) {
    return u"0x"_s + QString::number(value, 16).toUpper();
}

} // namespace

ZipArchive::~ZipArchive() {
    unmap();
}

void ZipArchive::unmap() {
    if (m_mapped && m_data)
        munmap(const_cast<uchar *>(m_data), size_t(m_size));
    m_data = nullptr;
    m_size = 0;
    m_mapped = false;
    m_entries.clear();
    m_error = {};
}

bool ZipArchive::open(const QString &path) {
    unmap();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return fail(u"cannot open the archive: "_s + QString::fromLocal8Bit(strerror(errno)));
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return fail(u"the archive is not a regular file"_s);
    }
    if (info.st_size == 0) {
        ::close(fd);
        return fail(u"not a ZIP archive: the file is empty"_s);
    }
    void *mapping = mmap(nullptr, size_t(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (mapping == MAP_FAILED)
        return fail(u"cannot map the archive: "_s + QString::fromLocal8Bit(strerror(errno)));
    madvise(mapping, size_t(info.st_size), MADV_WILLNEED);
    m_data = static_cast<const uchar *>(mapping);
    m_size = info.st_size;
    m_mapped = true;
    return read();
}

bool ZipArchive::openBytes(const uchar *data, qint64 size) {
    unmap();
    m_data = data;
    m_size = size;
    return read();
}

void ZipArchive::releaseMappedPages() const {
    if (m_mapped)
        madvise(const_cast<uchar *>(m_data), size_t(m_size), MADV_DONTNEED);
}

bool ZipArchive::fail(const QString &reason, const QString &entryName) {
    m_error = {entryName, reason}; // before clearing: the name may belong to an entry
    m_entries.clear();
    return false;
}

bool ZipArchive::read() {
    quint64 centralOffset = 0;
    quint64 centralSize = 0;
    quint64 entryCount = 0;
    if (!readEndRecords(&centralOffset, &centralSize, &entryCount))
        return false;
    if (!readCentralDirectory(centralOffset, centralSize, entryCount))
        return false;
    // Each header touched maps a few neighbouring pages too: give them back as we go.
    constexpr size_t kReleaseEvery = 512;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (!readLocalHeader(m_entries[i], centralOffset))
            return false;
        if (i % kReleaseEvery == kReleaseEvery - 1)
            releaseMappedPages();
    }
    releaseMappedPages();
    return checkOverlaps(centralOffset);
}

bool ZipArchive::readEndRecords(quint64 *centralOffset, quint64 *centralSize, quint64 *entryCount) {
    const auto size = quint64(m_size);
    if (size < kEndRecordSize)
        return fail(u"not a ZIP archive: the file is too short"_s);

    // The last end record counts. One whose comment runs past the end of the file is an error,
    // not a reason to look for an earlier record: that earlier one may describe other entries.
    const quint64 lowest =
        size - kEndRecordSize > kMaxCommentSize ? size - kEndRecordSize - kMaxCommentSize : 0;
    quint64 endPos = size - kEndRecordSize;
    while (le32(m_data + endPos) != kEndSignature) {
        if (endPos == lowest)
            return fail(u"not a ZIP archive: no end of central directory record"_s);
        --endPos;
    }
    const uchar *end = m_data + endPos;
    if (endPos + kEndRecordSize + le16(end + 20) > size)
        return fail(u"the archive is truncated: its comment runs past the end of the file"_s);

    quint64 disk = le16(end + 4);
    quint64 centralDisk = le16(end + 6);
    quint64 entriesOnDisk = le16(end + 8);
    quint64 entries = le16(end + 10);
    quint64 cdSize = le32(end + 12);
    quint64 cdOffset = le32(end + 16);
    quint64 centralEnd = endPos;

    // Only a marker value sends the reader to the ZIP64 records: stray bytes that happen to
    // spell the locator's signature do not make an archive ZIP64.
    const bool zip64 = disk == 0xFFFF || centralDisk == 0xFFFF || entriesOnDisk == 0xFFFF ||
                       entries == 0xFFFF || cdSize == 0xFFFFFFFF || cdOffset == 0xFFFFFFFF;
    if (zip64) {
        if (endPos < kZip64LocatorSize || le32(end - kZip64LocatorSize) != kZip64LocatorSignature)
            return fail(u"the ZIP64 end of central directory locator is missing"_s);
        const quint64 locatorPos = endPos - kZip64LocatorSize;
        const uchar *locator = m_data + locatorPos;
        const quint64 recordPos = le64(locator + 8);
        if (le32(locator + 4) != 0 || le32(locator + 16) > 1)
            return fail(u"archives split over several disks are not supported"_s);
        if (locatorPos < kZip64EndRecordSize || recordPos > locatorPos - kZip64EndRecordSize ||
            le32(m_data + recordPos) != kZip64EndSignature)
            return fail(u"the ZIP64 end of central directory record is missing"_s);
        const uchar *record = m_data + recordPos;
        if (le64(record + 4) > locatorPos - recordPos - 12)
            return fail(u"the ZIP64 end of central directory record is inconsistent"_s);
        disk = le32(record + 16);
        centralDisk = le32(record + 20);
        entriesOnDisk = le64(record + 24);
        entries = le64(record + 32);
        cdSize = le64(record + 40);
        cdOffset = le64(record + 48);
        centralEnd = recordPos;
    }
    if (disk != 0 || centralDisk != 0)
        return fail(u"archives split over several disks are not supported"_s);
    if (entriesOnDisk != entries)
        return fail(u"the end record is inconsistent: it counts %1 entries on this disk and %2 in all"_s
                        .arg(entriesOnDisk)
                        .arg(entries));
    // The directory must end exactly where the end records begin. This refuses prefixed archives
    // and wrong directory sizes alike instead of guessing a base offset.
    if (cdOffset > centralEnd || cdSize != centralEnd - cdOffset)
        return fail(
            u"the central directory is inconsistent: its offset and size do not meet the end record"_s);
    if (entries > cdSize / kCentralHeaderSize)
        return fail(
            u"the central directory is inconsistent: %1 entries cannot fit in %2 bytes"_s.arg(entries).arg(
                cdSize));
    *centralOffset = cdOffset;
    *centralSize = cdSize;
    *entryCount = entries;
    return true;
}

bool ZipArchive::readCentralDirectory(quint64 offset, quint64 size, quint64 count) {
    m_entries.reserve(size_t(count));
    const quint64 end = offset + size;
    quint64 pos = offset;
    for (quint64 index = 0; index < count; ++index) {
        if (end - pos < kCentralHeaderSize || le32(m_data + pos) != kCentralHeaderSignature)
            return fail(u"the central directory is inconsistent: record %1 is damaged"_s.arg(index + 1));
        const uchar *h = m_data + pos;
        const quint16 nameSize = le16(h + 28);
        const quint16 extraSize = le16(h + 30);
        const quint16 commentSize = le16(h + 32);
        if (end - pos - kCentralHeaderSize < quint64(nameSize) + extraSize + commentSize)
            return fail(
                u"the central directory is inconsistent: record %1 runs past its end"_s.arg(index + 1));

        ZipEntry entry;
        const quint16 versionMadeBy = le16(h + 4);
        entry.flags = le16(h + 8);
        entry.method = le16(h + 10);
        entry.crc32 = le32(h + 16);
        entry.compressedSize = le32(h + 20);
        entry.uncompressedSize = le32(h + 24);
        quint64 startDisk = le16(h + 34);
        const quint32 externalAttributes = le32(h + 38);
        entry.localHeaderOffset = le32(h + 42);
        entry.rawName = QByteArray(reinterpret_cast<const char *>(h + kCentralHeaderSize), nameSize);
        bool invalidName = false;
        entry.name = ZipEntryName::decode(entry.rawName, entry.flags & kFlagUtf8, &invalidName);
        if (invalidName)
            return fail(u"the name is flagged as UTF-8 but is not valid UTF-8"_s, entry.name);

        // ZIP64 values appear in a fixed order, each only when its 32-bit field holds the marker.
        const QByteArrayView extra(reinterpret_cast<const char *>(h + kCentralHeaderSize + nameSize),
                                   extraSize);
        const QByteArrayView zip64 = findExtraField(extra, kZip64ExtraId);
        qsizetype zip64Pos = 0;
        auto widen = [&](quint64 &field, quint64 marker, int width) {
            if (field != marker)
                return true;
            if (zip64.size() - zip64Pos < width)
                return false;
            const auto *p = reinterpret_cast<const uchar *>(zip64.data() + zip64Pos);
            field = width == 8 ? le64(p) : le32(p);
            zip64Pos += width;
            return true;
        };
        if (!widen(entry.uncompressedSize, 0xFFFFFFFF, 8) || !widen(entry.compressedSize, 0xFFFFFFFF, 8) ||
            !widen(entry.localHeaderOffset, 0xFFFFFFFF, 8) || !widen(startDisk, 0xFFFF, 4))
            return fail(u"a size or offset holds the ZIP64 marker but the entry has no ZIP64 value for it"_s,
                        entry.name);
        if (startDisk != 0)
            return fail(u"archives split over several disks are not supported"_s, entry.name);

        const quint8 host = versionMadeBy >> 8;
        const quint32 unixMode = externalAttributes >> 16;
        const bool endsWithSlash = entry.rawName.endsWith('/');
        if ((host == kHostUnix || host == kHostDarwin) && unixMode != 0) {
            switch (unixMode & kUnixTypeMask) {
            case kUnixSymbolicLink:
                entry.kind = ZipEntry::Kind::SymbolicLink;
                break;
            case kUnixDirectory:
                entry.kind = ZipEntry::Kind::Directory;
                break;
            case kUnixRegular:
            case 0:
                entry.kind = endsWithSlash ? ZipEntry::Kind::Directory : ZipEntry::Kind::File;
                break;
            default:
                return fail(u"devices, pipes and sockets are not supported"_s, entry.name);
            }
            entry.permissions = unixMode & 0777;
        } else {
            const bool directory =
                endsWithSlash || (host == kHostMsDos && (externalAttributes & kDosDirectory));
            entry.kind = directory ? ZipEntry::Kind::Directory : ZipEntry::Kind::File;
            entry.permissions = directory ? 0755 : 0644;
            if (!directory && (externalAttributes & kDosReadOnly))
                entry.permissions = 0444;
        }
        if (entry.kind == ZipEntry::Kind::Directory)
            entry.permissions |= 0700; // the caller must be able to fill, move and remove it

        if (entry.flags & (kFlagEncrypted | kFlagStrongEncryption))
            return fail(u"the entry is encrypted, which is not supported"_s, entry.name);
        if (entry.method != kMethodStored && entry.method != kMethodDeflated)
            return fail(u"compression method %1 is not supported"_s.arg(entry.method), entry.name);
        if (entry.method == kMethodStored && entry.compressedSize != entry.uncompressedSize)
            return fail(u"the stored entry declares %1 bytes of data but a size of %2 bytes"_s
                            .arg(entry.compressedSize)
                            .arg(entry.uncompressedSize),
                        entry.name);

        m_entries.push_back(std::move(entry));
        pos += kCentralHeaderSize + nameSize + extraSize + commentSize;
    }
    if (pos != end)
        return fail(u"the central directory is inconsistent: it holds more than its %1 records"_s.arg(count));
    return true;
}

bool ZipArchive::readLocalHeader(ZipEntry &entry, quint64 dataLimit) {
    if (entry.localHeaderOffset > dataLimit || dataLimit - entry.localHeaderOffset < kLocalHeaderSize)
        return fail(u"the local header lies outside the archive's data"_s, entry.name);
    const uchar *h = m_data + entry.localHeaderOffset;
    if (le32(h) != kLocalHeaderSignature)
        return fail(u"the local header is missing"_s, entry.name);
    const quint16 flags = le16(h + 6);
    const quint16 method = le16(h + 8);
    const quint16 nameSize = le16(h + 26);
    const quint16 extraSize = le16(h + 28);
    const quint64 headerEnd = entry.localHeaderOffset + kLocalHeaderSize + nameSize + extraSize;
    if (headerEnd > dataLimit)
        return fail(u"the local header runs past the archive's data"_s, entry.name);
    // Another reader may trust the local header; both must tell the same story.
    const QByteArrayView localName(reinterpret_cast<const char *>(h + kLocalHeaderSize), nameSize);
    if (method != entry.method || (flags & kFlagDataDescriptor) != (entry.flags & kFlagDataDescriptor) ||
        localName != QByteArrayView(entry.rawName))
        return fail(u"the local header does not match the central directory"_s, entry.name);
    if (!(flags & kFlagDataDescriptor) && le32(h + 14) != entry.crc32)
        return fail(u"the local header's CRC-32 does not match the central directory"_s, entry.name);

    entry.dataOffset = headerEnd;
    if (entry.compressedSize > dataLimit - entry.dataOffset)
        return fail(u"the entry's data runs past the end of the archive's data: the archive is truncated or "
                    u"inconsistent"_s,
                    entry.name);
    const quint64 dataEnd = entry.dataOffset + entry.compressedSize;
    entry.endOffset = dataEnd;
    if (!(flags & kFlagDataDescriptor))
        return true;

    // The descriptor's signature is optional and its sizes are 4 or 8 bytes wide; whichever
    // layout is used, it must repeat what the central directory says.
    const quint64 available = dataLimit - dataEnd;
    const uchar *d = m_data + dataEnd;
    const bool zip64 =
        !findExtraField(
             QByteArrayView(reinterpret_cast<const char *>(h + kLocalHeaderSize + nameSize), extraSize),
             kZip64ExtraId)
             .isEmpty();
    const quint64 sizeWidth = zip64 ? 8 : 4;
    quint64 skip = 0;
    if (available >= 4 && le32(d) == kDescriptorSignature)
        skip = entry.crc32 != kDescriptorSignature || (available >= 8 && le32(d + 4) == entry.crc32) ? 4 : 0;
    const quint64 length = skip + 4 + 2 * sizeWidth;
    if (available < length)
        return fail(u"the data descriptor is truncated"_s, entry.name);
    const uchar *fields = d + skip;
    const quint64 compressed = zip64 ? le64(fields + 4) : le32(fields + 4);
    const quint64 uncompressed = zip64 ? le64(fields + 12) : le32(fields + 8);
    if (le32(fields) != entry.crc32)
        return fail(u"the data descriptor's CRC-32 %1 does not match the central directory's %2"_s.arg(
                        hex(le32(fields)), hex(entry.crc32)),
                    entry.name);
    if (compressed != entry.compressedSize || uncompressed != entry.uncompressedSize)
        return fail(u"the data descriptor's sizes do not match the central directory"_s, entry.name);
    entry.endOffset = dataEnd + length;
    return true;
}

bool ZipArchive::checkOverlaps(quint64 dataLimit) {
    std::vector<const ZipEntry *> byOffset;
    byOffset.reserve(m_entries.size());
    for (const ZipEntry &entry : m_entries)
        byOffset.push_back(&entry);
    std::sort(byOffset.begin(), byOffset.end(), [](const ZipEntry *a, const ZipEntry *b) {
        return a->localHeaderOffset < b->localHeaderOffset;
    });
    for (size_t i = 1; i < byOffset.size(); ++i) {
        if (byOffset[i - 1]->endOffset > byOffset[i]->localHeaderOffset)
            return fail(u"its data overlaps the entry "_s + UntrustedText::elided(byOffset[i - 1]->name),
                        byOffset[i]->name);
    }
    Q_ASSERT(byOffset.empty() || byOffset.back()->endOffset <= dataLimit);
    Q_UNUSED(dataLimit);
    return true;
}
