#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>
#include <QThreadPool>
#include <QUrl>

#include <memory>

// The transfer session's record of its live tasks, so that running and suspended transfers
// outlive the process, also a kill. Written whole and atomically (temporary file, rename) on a
// writer thread of its own, so the network thread never waits for the disk.
//
// Bytes handed to the kernel survive a kill but not a power loss, and forcing them to the disk
// often halves the download speed. So an entry claims two counts: the bytes written, trusted
// when the system has not restarted since (same boot), and the bytes flushed to disk, trusted
// always.
class TransferJournal {
public:
    struct Entry {
        QUrl url;
        bool running = false;
        QString partialFileName; // inside the session folder
        // Bytes of the partial file written by the process; after a restart of the system only
        // the durable ones count. load() gives the count to continue from here.
        qint64 writtenBytes = 0;
        // Bytes of the partial file known to be on disk.
        qint64 durableBytes = 0;
        qint64 expectedBytes = -1;
        QByteArray etag;
        QByteArray lastModified;
    };

    // A duplicate descriptor of a partial file, so the writer thread can flush the file to disk
    // even after the transfer closed its own.
    class FileSync {
    public:
        explicit FileSync(int fd);
        ~FileSync();
        FileSync(const FileSync &) = delete;
        FileSync &operator=(const FileSync &) = delete;
        void flushToDisk() const;

    private:
        int m_fd;
    };

    explicit TransferJournal(const QString &folder);
    ~TransferJournal();

    QString folder() const { return m_folder; }
    QString path() const { return m_path; }
    // What the journal held when the process last wrote it; empty when there is none or it is
    // unreadable. What cannot be read is dropped with a console line that names it.
    QList<Entry> load() const;

    enum class Durability {
        // Progress only: the journal file reaches the disk when the system gets to it.
        survivesKill,
        // The journal file is flushed to disk before it replaces the old one.
        survivesPowerLoss,
    };

    // Queues a write of the whole list. Files given in syncFirst are flushed to disk before the
    // list is written, so no entry's durable count claims bytes the disk does not hold. Writes
    // that queue up while the writer is busy collapse into the newest list, keeping the
    // strongest durability asked for.
    void record(QList<Entry> entries, Durability durability, const std::shared_ptr<FileSync> &syncFirst = {});
    void waitForPendingWrites();

    // Identifies the running system since it started; empty where that cannot be known.
    static QByteArray currentBootId();

private:
    void writePending();

    QString m_folder;
    QString m_path;
    QThreadPool m_writer;

    QMutex m_mutex;
    QList<Entry> m_pending;
    QList<std::shared_ptr<FileSync>> m_pendingSyncs;
    Durability m_pendingDurability = Durability::survivesKill;
    bool m_writeQueued = false;
    QByteArray m_bootId;
};
