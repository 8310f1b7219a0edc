#pragma once

#include "model/savedrepo.h"

#include <QList>
#include <QMutex>
#include <QString>
#include <QThreadPool>

// Writes the repository tree to its file away from the main thread: encoding a tree with tens of
// thousands of cached apps takes longer than a frame. Writes happen in the order they were asked
// for, and when several are waiting only the newest tree is written. Each write replaces the
// file atomically, so a crash leaves the previous file or the new one, never a torn one.
class ReposFileWriter {
public:
    ReposFileWriter();
    // Waits for the writes still queued: nothing the user did is lost at exit.
    ~ReposFileWriter();
    ReposFileWriter(const ReposFileWriter &) = delete;
    ReposFileWriter &operator=(const ReposFileWriter &) = delete;

    // Queues the tree for writing to the file at path and returns at once.
    void save(const QList<SavedRepo> &tree, const QString &path);
    // Writes on the calling thread, after every queued write, and says whether it worked.
    bool saveNow(const QList<SavedRepo> &tree, const QString &path);
    // Blocks until every queued write has finished.
    void waitForDone();

    // Encodes and writes in one go, printing the reason of a failure; true when written.
    static bool write(const QList<SavedRepo> &tree, const QString &path);

private:
    QThreadPool m_pool;
    QMutex m_mutex;
    QList<SavedRepo> m_newest;
    QString m_newestPath;
    quint64 m_newestGeneration = 0;
};
