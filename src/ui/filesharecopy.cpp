#include "ui/filesharecopy.h"

#include "platform/bookmark.h"
#include "platform/standarddirs.h"
#include "platform/uuid.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QThreadPool>

#include <atomic>

using namespace Qt::StringLiterals;

struct FileShareCopy::Job {
    std::atomic<qint64> copied{0};
    std::atomic<qint64> size{0};
    std::atomic<bool> cancelled{false};
};

namespace {

// Gives the failure's text, or an empty one when the copy is complete.
QString copyFile(const QString &source, const QString &target, std::atomic<qint64> &size,
                 std::atomic<qint64> &copied, const std::atomic<bool> &cancelled) {
    QFile input(source);
    if (!input.open(QIODevice::ReadOnly))
        return input.errorString();
    size = input.size();
    QFile output(target);
    if (!output.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return output.errorString();
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        if (cancelled)
            return u"Cancelled"_s;
        const qint64 read = input.read(buffer.data(), buffer.size());
        if (read < 0)
            return input.errorString();
        if (read == 0)
            break;
        if (output.write(buffer.constData(), read) != read)
            return output.errorString();
        copied += read;
    }
    return output.flush() ? QString() : output.errorString();
}

} // namespace

FileShareCopy::FileShareCopy(QObject *parent)
    : QObject(parent) {
    m_pollTimer.setInterval(100);
    connect(&m_pollTimer, &QTimer::timeout, this, &FileShareCopy::pollProgress);
}

FileShareCopy::~FileShareCopy() {
    if (m_job)
        m_job->cancelled = true;
}

QString FileShareCopy::shareFolder() {
    return StandardDirs::temporary() + u"/Share"_s;
}

void FileShareCopy::start(const QUrl &file) {
    cancel();
    auto job = std::make_shared<Job>();
    m_job = job;
    m_fileName = file.fileName();
    m_progress = 0;
    Q_EMIT busyChanged();
    Q_EMIT progressChanged();
    m_pollTimer.start();

    const QString folder = shareFolder() + u'/' + newUuidString();
    const QString source = file.toLocalFile();
    const QString target = folder + u'/' + file.fileName();
    const QPointer<FileShareCopy> self(this);
    QThreadPool::globalInstance()->start([job, file, source, folder, target, self] {
        QString failure;
        if (!QDir().mkpath(folder)) {
            failure = tr("The temporary folder could not be made.");
        } else {
            const bool granted = Bookmark::startAccessing(file);
            failure = copyFile(source, target, job->size, job->copied, job->cancelled);
            if (granted)
                Bookmark::stopAccessing(file);
            if (!failure.isEmpty())
                QDir(folder).removeRecursively();
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [job, self, target, failure] {
                if (!self || self->m_job != job)
                    return;
                self->m_job.reset();
                self->m_pollTimer.stop();
                self->m_progress = failure.isEmpty() ? 1 : self->m_progress;
                Q_EMIT self->progressChanged();
                Q_EMIT self->busyChanged();
                Q_EMIT self->finished(failure.isEmpty() ? QUrl::fromLocalFile(target) : QUrl(), failure);
            },
            Qt::QueuedConnection);
    });
}

void FileShareCopy::cancel() {
    if (!m_job)
        return;
    m_job->cancelled = true;
    m_job.reset();
    m_pollTimer.stop();
    Q_EMIT busyChanged();
}

void FileShareCopy::pollProgress() {
    if (!m_job)
        return;
    const qint64 size = m_job->size;
    const double progress = size > 0 ? double(m_job->copied) / double(size) : 0;
    if (progress != m_progress) {
        m_progress = progress;
        Q_EMIT progressChanged();
    }
}

void FileShareCopy::removeStaleCopies() {
    const QString folder = shareFolder();
    QThreadPool::globalInstance()->start([folder] { removeStaleCopies(folder, kCopyLifetime); });
}

void FileShareCopy::removeStaleCopies(const QString &folder, std::chrono::seconds lifetime) {
    const QDateTime oldest = QDateTime::currentDateTimeUtc().addSecs(-lifetime.count());
    const QFileInfoList copies = QDir(folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QFileInfo &copy : copies) {
        if (copy.lastModified().toUTC() < oldest)
            QDir(copy.absoluteFilePath()).removeRecursively();
    }
}
