#pragma once

#include "zip/zipentry.h"
#include "zip/ziperror.h"

#include <QString>

#include <vector>

// Reads and checks the structure of a ZIP archive: the end records (ZIP64 included), the
// central directory and every local header, before a single byte of data is decoded. Whatever
// does not add up (sizes, offsets, counts, overlapping entries, names the local header spells
// differently) is an error, because an extractor that guesses can be steered by hostile input.
//
// The archive is memory-mapped when opened from a file, or borrowed when given as bytes.
class ZipArchive {
public:
    ZipArchive() = default;
    ~ZipArchive();
    ZipArchive(const ZipArchive &) = delete;
    ZipArchive &operator=(const ZipArchive &) = delete;

    bool open(const QString &path);
    // The bytes must outlive the archive.
    bool openBytes(const uchar *data, qint64 size);

    const ZipError &error() const { return m_error; }
    const std::vector<ZipEntry> &entries() const { return m_entries; }
    const uchar *data() const { return m_data; }
    qint64 size() const { return m_size; }

    // Gives the mapped pages back to the page cache: read-only file pages can always be read
    // again, and without this a large archive would count fully against resident memory.
    void releaseMappedPages() const;

private:
    bool read();
    bool readEndRecords(quint64 *centralOffset, quint64 *centralSize, quint64 *entryCount);
    bool readCentralDirectory(quint64 offset, quint64 size, quint64 count);
    bool readLocalHeader(ZipEntry &entry, quint64 dataLimit);
    bool checkOverlaps(quint64 dataLimit);
    bool fail(const QString &reason, const QString &entryName = {});
    void unmap();

    const uchar *m_data = nullptr;
    qint64 m_size = 0;
    bool m_mapped = false;
    std::vector<ZipEntry> m_entries;
    ZipError m_error;
};
