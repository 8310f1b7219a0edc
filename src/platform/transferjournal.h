#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>
#include <QThreadPool>
#include <QUrl>

#include <memory>

// The transfer session's record of its live tasks, so that running and suspended transfers
// outlive the process, also a kill. Written whole and atomically (temporary file, flush to disk,
// rename) on a writer thread of its own, so the network thread never waits for the disk.
class TransferJournal {
public:
    struct Entry {
        QUrl url;
        bool running = false;
        QString partialFileName; // inside the session folder
        // Bytes of the partial file known to be on disk; anything after them is discarded at
        // restore, because it may not have reached the disk.
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
    // What the journal held when the process last wrote it; empty when there is none or it is
    // unreadable.
    QList<Entry> load() const;

    // Queues a write of the whole list. Files given in syncFirst are flushed to disk before the
    // list is written, so no entry claims bytes the disk does not hold. Writes that queue up
    // while the writer is busy collapse into the newest list.
    void record(QList<Entry> entries, const std::shared_ptr<FileSync> &syncFirst = {});
    void waitForPendingWrites();

private:
    void writePending();

    QString m_folder;
    QString m_path;
    QThreadPool m_writer;

    QMutex m_mutex;
    QList<Entry> m_pending;
    QList<std::shared_ptr<FileSync>> m_pendingSyncs;
    bool m_writeQueued = false;
};
