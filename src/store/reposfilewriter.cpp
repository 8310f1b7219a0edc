#include "reposfilewriter.h"

#include "model/storedform.h"
#include "platform/atomicfile.h"
#include "platform/console.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

ReposFileWriter::ReposFileWriter() {
    // One thread: writes run in the order they were queued.
    m_pool.setMaxThreadCount(1);
    m_pool.setExpiryTimeout(-1);
}

ReposFileWriter::~ReposFileWriter() {
    waitForDone();
}

void ReposFileWriter::save(const QList<SavedRepo> &tree, const QString &path) {
    quint64 generation = 0;
    {
        const QMutexLocker lock(&m_mutex);
        m_newest = tree;
        m_newestPath = path;
        generation = ++m_newestGeneration;
    }
    m_pool.start([this, generation] {
        QList<SavedRepo> tree;
        QString path;
        {
            const QMutexLocker lock(&m_mutex);
            // A newer tree is queued behind this one and will be written instead.
            if (generation != m_newestGeneration)
                return;
            tree = std::exchange(m_newest, {});
            path = m_newestPath;
        }
        write(tree, path);
    });
}

bool ReposFileWriter::saveNow(const QList<SavedRepo> &tree, const QString &path) {
    waitForDone();
    return write(tree, path);
}

void ReposFileWriter::waitForDone() {
    m_pool.waitForDone();
}

bool ReposFileWriter::write(const QList<SavedRepo> &tree, const QString &path) {
    const QByteArray bytes = StoredForm::encodeRepoTree(tree);
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        printLine(u"Failed to save repos to file: could not create the folder "_s + folder);
        return false;
    }
    // Written beside the target and renamed over it only when whole: a full disk keeps the old tree.
    QString error;
    if (!AtomicFile::write(path, bytes, &error)) {
        printLine(u"Failed to save repos to file: "_s + error);
        return false;
    }
    return true;
}
