#include "transferjournal.h"

#include "platform/atomicfile.h"
#include "platform/console.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

TransferJournal::FileSync::FileSync(int fd)
    : m_fd(::dup(fd)) {
}

TransferJournal::FileSync::~FileSync() {
    if (m_fd >= 0)
        ::close(m_fd);
}

void TransferJournal::FileSync::flushToDisk() const {
    if (m_fd >= 0)
        ::fdatasync(m_fd);
}

TransferJournal::TransferJournal(const QString &folder)
    : m_folder(folder)
    , m_path(folder + u"/journal.json"_s)
    , m_bootId(currentBootId()) {
    m_writer.setMaxThreadCount(1);
    QDir().mkpath(folder);
}

TransferJournal::~TransferJournal() {
    waitForPendingWrites();
}

QList<TransferJournal::Entry> TransferJournal::load() const {
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QJsonParseError parsing;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parsing);
    if (!document.isObject()) {
        printLine(u"Dropped the unreadable transfer journal "_s + m_path);
        return {};
    }
    QList<Entry> entries;
    const QJsonObject journal = document.object();
    const QByteArray bootId = journal.value(u"bootId"_s).toString().toLatin1();
    const bool sameBoot = !bootId.isEmpty() && bootId == m_bootId;
    const QJsonArray tasks = journal.value(u"tasks"_s).toArray();
    for (const QJsonValue &value : tasks) {
        const QJsonObject object = value.toObject();
        Entry entry;
        entry.url = QUrl(object.value(u"url"_s).toString(), QUrl::StrictMode);
        entry.running = object.value(u"state"_s).toString() == u"running"_s;
        entry.partialFileName = object.value(u"partialFile"_s).toString();
        entry.durableBytes = object.value(u"durableBytes"_s).toString().toLongLong();
        entry.writtenBytes = sameBoot ? object.value(u"writtenBytes"_s).toString().toLongLong() : 0;
        entry.writtenBytes = std::max(entry.writtenBytes, entry.durableBytes);
        entry.expectedBytes = object.value(u"expectedBytes"_s).toString(u"-1"_s).toLongLong();
        entry.etag = object.value(u"etag"_s).toString().toLatin1();
        entry.lastModified = object.value(u"lastModified"_s).toString().toLatin1();
        // A partial file name is one component of ours; anything else is not our journal.
        if (!entry.url.isValid() || entry.partialFileName.isEmpty() || entry.partialFileName.contains(u'/') ||
            entry.partialFileName.startsWith(u'.')) {
            printLine(u"Dropped an unreadable transfer journal entry: "_s +
                      QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
            continue;
        }
        entries.append(entry);
    }
    return entries;
}

void TransferJournal::record(QList<Entry> entries, Durability durability,
                             const std::shared_ptr<FileSync> &syncFirst) {
    const QMutexLocker lock(&m_mutex);
    m_pending = std::move(entries);
    m_pendingDurability = std::max(m_pendingDurability, durability);
    if (syncFirst)
        m_pendingSyncs.append(syncFirst);
    if (!m_writeQueued) {
        m_writeQueued = true;
        m_writer.start([this] { writePending(); });
    }
}

void TransferJournal::waitForPendingWrites() {
    m_writer.waitForDone();
}

void TransferJournal::writePending() {
    QList<Entry> entries;
    QList<std::shared_ptr<FileSync>> syncs;
    Durability durability;
    {
        const QMutexLocker lock(&m_mutex);
        entries = m_pending;
        syncs.swap(m_pendingSyncs);
        durability = std::exchange(m_pendingDurability, Durability::survivesKill);
        m_writeQueued = false;
    }
    for (const auto &sync : syncs)
        sync->flushToDisk();

    QJsonArray tasks;
    for (const Entry &entry : entries) {
        tasks.append(QJsonObject{
            {u"url"_s, entry.url.toString(QUrl::FullyEncoded)},
            {u"state"_s, entry.running ? u"running"_s : u"suspended"_s},
            {u"partialFile"_s, entry.partialFileName},
            // 64-bit counts travel as text: JSON numbers are doubles.
            {u"writtenBytes"_s, QString::number(entry.writtenBytes)},
            {u"durableBytes"_s, QString::number(entry.durableBytes)},
            {u"expectedBytes"_s, QString::number(entry.expectedBytes)},
            {u"etag"_s, QString::fromLatin1(entry.etag)},
            {u"lastModified"_s, QString::fromLatin1(entry.lastModified)},
        });
    }
    const QByteArray bytes =
        QJsonDocument(QJsonObject{{u"bootId"_s, QString::fromLatin1(m_bootId)}, {u"tasks"_s, tasks}})
            .toJson(QJsonDocument::Compact);

    // Whole or not at all: a kill at any moment leaves either the old journal or the new one,
    // never half of one; a power loss too, once the file is on disk.
    QString error;
    if (!AtomicFile::write(m_path, bytes, &error,
                           durability == Durability::survivesPowerLoss
                               ? AtomicFile::Durability::survivesPowerLoss
                               : AtomicFile::Durability::survivesKill))
        printLine(u"Failed to write the transfer journal: "_s + error);
}

QByteArray TransferJournal::currentBootId() {
    QFile file(u"/proc/sys/kernel/random/boot_id"_s);
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
}
