#include "zip/zipextractor.h"

#include "platform/untrustedtext.h"
#include "zip/destinationfolder.h"
#include "zip/ziparchive.h"
#include "zip/zipentrydecoder.h"
#include "zip/zipentryname.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr quint64 kMaxLinkTargetSize = 4095;
constexpr int kMaxLinkHops = 40;
constexpr int kMaxThreads = 4;
// Mapped input is handed back to the page cache after this much has been decoded.
constexpr quint64 kReleaseInputEvery = 16 << 20;
constexpr quint64 kLargeFile = 1 << 20;
constexpr quint64 kUnitBytes = 4 << 20;
constexpr size_t kUnitFiles = 256;

struct PlannedEntry {
    const ZipEntry *entry = nullptr;
    QStringList path;
    QString key; // the path joined with '/'
};

struct WorkUnit {
    size_t first = 0; // index into the files, which are grouped by folder
    size_t count = 0;
    quint64 bytes = 0;
};

struct Link {
    QStringList path;
    QStringList target;
    bool absolute = false;
};

bool writeAll(int fd, const char *data, qsizetype size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

// Follows a link's target the way the kernel will, through the archive's other links, and tells
// whether it stays inside the folder of the link's first `rootSize` components (the destination
// when 0). Unknown names count as plain folders.
bool staysInside(const QStringList &linkPath, const QStringList &target, bool absolute, qsizetype rootSize,
                 const QHash<QString, const Link *> &links) {
    if (absolute)
        return false;
    QStringList resolved = linkPath.first(linkPath.size() - 1);
    QStringList pending(target.crbegin(), target.crend()); // a stack: last element is next
    int hops = 0;
    while (!pending.isEmpty()) {
        const QString component = pending.takeLast();
        if (component.isEmpty() || component == u".")
            continue;
        if (component == u"..") {
            if (resolved.size() <= rootSize)
                return false;
            resolved.removeLast();
            continue;
        }
        resolved.append(component);
        const auto found = links.constFind(resolved.join(u'/'));
        if (found == links.cend())
            continue;
        if (++hops > kMaxLinkHops || found.value()->absolute)
            return false;
        resolved.removeLast();
        for (auto it = found.value()->target.crbegin(); it != found.value()->target.crend(); ++it)
            pending.append(*it);
    }
    return true;
}

class Extraction {
public:
    Extraction(int threadCount, int linkConfinement)
        : m_threadCount(threadCount)
        , m_linkConfinement(linkConfinement) {}

    bool run(const QString &archivePath, const QString &destination) {
        if (!m_archive.open(archivePath))
            return fail(m_archive.error());
        if (!plan() || !readLinks() || !m_destination.open(destination, &m_error.reason) || !checkSpace())
            return false;
        if (createDirectories() && writeFiles() && createLinks() && setDirectoryPermissions())
            return true;
        undo();
        return false;
    }

    const ZipError &error() const { return m_error; }

private:
    bool fail(const ZipError &error) {
        m_error = error;
        return false;
    }

    bool fail(const QString &reason, const ZipEntry *entry = nullptr) {
        return fail(ZipError{entry ? entry->name : QString(), reason});
    }

    // Checks every name and how the names fit together before anything is written: each path
    // names one thing, and no path passes through a file or a link of the archive.
    bool plan() {
        QHash<QString, const PlannedEntry *> byPath;
        std::vector<PlannedEntry> planned;
        planned.reserve(m_archive.entries().size());
        for (const ZipEntry &entry : m_archive.entries()) {
            ZipEntryName::Path path = ZipEntryName::parse(entry.name);
            if (!path.error.isEmpty())
                return fail(path.error, &entry);
            if (path.isDirectory && entry.kind != ZipEntry::Kind::Directory)
                return fail(u"the name ends with a slash but the entry is not a folder"_s, &entry);
            if (entry.kind == ZipEntry::Kind::Directory && entry.uncompressedSize != 0)
                return fail(u"the folder entry holds data"_s, &entry);
            if (path.components.isEmpty())
                continue; // "./": the destination itself
            planned.push_back({&entry, path.components, path.components.join(u'/')});
        }
        for (const PlannedEntry &item : planned) {
            const PlannedEntry *&slot = byPath[item.key];
            if (slot && (slot->entry->kind != ZipEntry::Kind::Directory ||
                         item.entry->kind != ZipEntry::Kind::Directory))
                return fail(u"the path occurs twice in the archive"_s, item.entry);
            if (!slot)
                slot = &item;
        }

        QSet<QString> directories;
        for (const PlannedEntry &item : planned) {
            QString prefix;
            for (qsizetype depth = 0; depth + 1 < item.path.size(); ++depth) {
                prefix = depth == 0 ? item.path[0] : prefix + u'/' + item.path[depth];
                const auto found = byPath.constFind(prefix);
                if (found != byPath.cend() && found.value()->entry->kind == ZipEntry::Kind::SymbolicLink)
                    return fail(u"the path passes through the symbolic link "_s +
                                    UntrustedText::elided(prefix),
                                item.entry);
                if (found != byPath.cend() && found.value()->entry->kind == ZipEntry::Kind::File)
                    return fail(u"the path passes through the file "_s + UntrustedText::elided(prefix),
                                item.entry);
                directories.insert(prefix);
            }
            switch (item.entry->kind) {
            case ZipEntry::Kind::Directory:
                directories.insert(item.key);
                break;
            case ZipEntry::Kind::File:
                m_files.push_back(item);
                break;
            case ZipEntry::Kind::SymbolicLink:
                m_links.push_back(item);
                break;
            }
        }
        // Sorted paths put every folder after its parent.
        QStringList sorted(directories.cbegin(), directories.cend());
        std::sort(sorted.begin(), sorted.end());
        for (const QString &key : sorted) {
            const PlannedEntry *explicitEntry = byPath.value(key);
            m_directories.push_back({explicitEntry ? explicitEntry->entry : nullptr, key.split(u'/'), key});
        }
        planWorkUnits();
        return true;
    }

    bool readLinks() {
        ZipEntryDecoder decoder;
        std::vector<Link> links;
        links.reserve(m_links.size());
        for (const PlannedEntry &item : m_links) {
            if (item.entry->uncompressedSize > kMaxLinkTargetSize)
                return fail(u"the symbolic link's target is too long"_s, item.entry);
            QByteArray target;
            const bool decoded =
                decoder.decode(m_archive, *item.entry, [&target](const char *data, qsizetype size) {
                    target.append(data, size);
                    return true;
                });
            if (!decoded)
                return fail(decoder.error(), item.entry);
            if (target.isEmpty() || target.contains('\0') || target.contains('\\'))
                return fail(u"the symbolic link's target is empty or malformed"_s, item.entry);
            m_linkTargets.push_back(target);
            links.push_back({item.path, QString::fromUtf8(target).split(u'/'), target.startsWith('/')});
        }
        QHash<QString, const Link *> byPath;
        for (const Link &link : links)
            byPath.insert(link.path.join(u'/'), &link);
        for (size_t i = 0; i < links.size(); ++i) {
            const qsizetype rootSize = std::min(qsizetype(m_linkConfinement), links[i].path.size() - 1);
            if (staysInside(links[i].path, links[i].target, links[i].absolute, rootSize, byPath))
                continue;
            const QString root = rootSize == 0
                                     ? u"the destination"_s
                                     : UntrustedText::elided(links[i].path.first(rootSize).join(u'/'));
            return fail(u"the symbolic link points outside "_s + root, m_links[i].entry);
        }
        return true;
    }

    // Refuses what cannot fit rather than filling the disk: the declared sizes are all a bomb
    // can claim, because decoding stops at them.
    bool checkSpace() {
        quint64 total = 0;
        for (const ZipEntry &entry : m_archive.entries())
            total =
                entry.uncompressedSize > ~quint64(0) - total ? ~quint64(0) : total + entry.uncompressedSize;
        const qint64 available = m_destination.availableBytes();
        if (available >= 0 && total > quint64(available))
            return fail(
                u"the archive unpacks to %1 bytes but only %2 bytes are free at the destination"_s.arg(total)
                    .arg(available));
        return true;
    }

    bool createDirectories() {
        DestinationFolder::Cursor cursor;
        for (const PlannedEntry &item : m_directories) {
            bool created = false;
            QString reason;
            if (!m_destination.makeDirectory(cursor, item.path, &created, &reason))
                return fail(ZipError{item.entry ? item.entry->name : item.key + u'/', reason});
            if (created)
                m_createdDirectories.push_back(&item);
        }
        return true;
    }

    // Files are written in units: one large file, or a run of small files of one folder. A unit
    // keeps a thread in one folder (its descriptor cached, no contention with the other threads
    // for the folder's lock), and taking the largest units first keeps the threads busy to the end.
    void planWorkUnits() {
        const auto folderOf = [](const PlannedEntry &file) {
            return QStringView(file.key).first(file.key.size() - file.path.last().size());
        };
        std::sort(m_files.begin(), m_files.end(), [&](const PlannedEntry &a, const PlannedEntry &b) {
            const QStringView folderA = folderOf(a);
            const QStringView folderB = folderOf(b);
            return folderA != folderB ? folderA < folderB : a.key < b.key;
        });
        for (size_t i = 0; i < m_files.size(); ++i) {
            const PlannedEntry &file = m_files[i];
            const quint64 size = file.entry->uncompressedSize;
            WorkUnit *last = m_units.empty() ? nullptr : &m_units.back();
            const bool joins = last && size < kLargeFile && last->bytes + size <= kUnitBytes &&
                               last->count < kUnitFiles && folderOf(m_files[last->first]) == folderOf(file);
            if (joins) {
                ++last->count;
                last->bytes += size;
            } else {
                m_units.push_back({i, 1, size});
            }
        }
        std::stable_sort(m_units.begin(), m_units.end(),
                         [](const WorkUnit &a, const WorkUnit &b) { return a.bytes > b.bytes; });
    }

    bool writeFiles() {
        std::atomic<size_t> next = 0;
        auto work = [this, &next](std::vector<const PlannedEntry *> *created) {
            ZipEntryDecoder decoder;
            decoder.setInputConsumed([this](quint64 bytes) { inputConsumed(bytes); });
            DestinationFolder::Cursor cursor;
            for (size_t u = next++; u < m_units.size(); u = next++) {
                for (size_t i = m_units[u].first; i < m_units[u].first + m_units[u].count; ++i) {
                    if (m_stopped.load(std::memory_order_relaxed) || !writeFile(decoder, cursor, m_files[i]))
                        return;
                    created->push_back(&m_files[i]);
                }
            }
        };
        const int threads = int(std::min<size_t>(size_t(m_threadCount), m_units.size()));
        std::vector<std::vector<const PlannedEntry *>> created(size_t(std::max(threads, 1)));
        std::vector<std::thread> helpers;
        for (int t = 1; t < threads; ++t)
            helpers.emplace_back(work, &created[size_t(t)]);
        work(&created[0]);
        for (std::thread &helper : helpers)
            helper.join();
        for (const auto &list : created)
            m_createdFiles.insert(m_createdFiles.end(), list.begin(), list.end());
        return !m_stopped;
    }

    bool writeFile(ZipEntryDecoder &decoder, DestinationFolder::Cursor &cursor, const PlannedEntry &item) {
        QString reason;
        const int fd = m_destination.createFile(cursor, item.path, item.entry->permissions, &reason);
        if (fd < 0)
            return stop(ZipError{item.entry->name, reason});
        int writeError = 0;
        const bool decoded =
            decoder.decode(m_archive, *item.entry, [fd, &writeError](const char *data, qsizetype size) {
                if (writeAll(fd, data, size))
                    return true;
                writeError = errno;
                return false;
            });
        bool done = decoded;
        if (::close(fd) != 0 && done) {
            done = false;
            writeError = errno;
        }
        if (done)
            return true;
        m_destination.remove(cursor, item.path, false);
        if (!decoder.error().isEmpty())
            reason = decoder.error();
        else
            reason = u"cannot write the file: "_s + QString::fromLocal8Bit(strerror(writeError));
        return stop(ZipError{item.entry->name, reason});
    }

    bool stop(const ZipError &error) {
        std::lock_guard lock(m_errorMutex);
        if (!m_stopped.exchange(true))
            m_error = error;
        return false;
    }

    void inputConsumed(quint64 bytes) {
        const quint64 before = m_consumed.fetch_add(bytes, std::memory_order_relaxed);
        if ((before + bytes) / kReleaseInputEvery != before / kReleaseInputEvery)
            m_archive.releaseMappedPages();
    }

    // Links come last, so no file of the archive can be written through one.
    bool createLinks() {
        DestinationFolder::Cursor cursor;
        for (size_t i = 0; i < m_links.size(); ++i) {
            QString reason;
            if (!m_destination.makeSymbolicLink(cursor, m_links[i].path, m_linkTargets[i], &reason))
                return fail(reason, m_links[i].entry);
            m_createdFiles.push_back(&m_links[i]);
        }
        return true;
    }

    bool setDirectoryPermissions() {
        DestinationFolder::Cursor cursor;
        for (const PlannedEntry *item : m_createdDirectories) {
            const quint32 permissions = item->entry ? item->entry->permissions : 0755;
            QString reason;
            if (permissions != 0700 &&
                !m_destination.setDirectoryPermissions(cursor, item->path, permissions, &reason))
                return fail(ZipError{item->entry ? item->entry->name : item->key + u'/', reason});
        }
        return true;
    }

    void undo() {
        DestinationFolder::Cursor cursor;
        for (const PlannedEntry *item : m_createdFiles)
            m_destination.remove(cursor, item->path, false);
        for (auto it = m_createdDirectories.crbegin(); it != m_createdDirectories.crend(); ++it)
            m_destination.remove(cursor, (*it)->path, true);
    }

    int m_threadCount;
    int m_linkConfinement;
    ZipArchive m_archive;
    DestinationFolder m_destination;
    std::vector<PlannedEntry> m_directories;
    std::vector<PlannedEntry> m_files;
    std::vector<PlannedEntry> m_links;
    std::vector<WorkUnit> m_units;
    std::vector<QByteArray> m_linkTargets;
    std::vector<const PlannedEntry *> m_createdDirectories;
    std::vector<const PlannedEntry *> m_createdFiles;
    std::atomic<quint64> m_consumed = 0;
    std::atomic<bool> m_stopped = false;
    std::mutex m_errorMutex;
    ZipError m_error;
};

} // namespace

bool ZipExtractor::extractAll(const QString &archivePath, const QString &destinationFolder) {
    int threads = m_threadCount;
    if (threads <= 0)
        threads = std::clamp(int(std::thread::hardware_concurrency()), 1, kMaxThreads);
    Extraction extraction(threads, m_linkConfinement);
    const bool done = extraction.run(archivePath, destinationFolder);
    m_error = done ? ZipError{} : extraction.error();
    return done;
}
