#include "ui/fileshareactions.h"

#include "platform/urlopener.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>

using namespace Qt::StringLiterals;

FileShareActions::FileShareActions(QObject *parent)
    : QObject(parent) {
}

// Qt's own save dialog (used where the platform has none) hands a typed name back as a bare
// absolute path, without the "file:" scheme.
static QUrl asLocalFile(const QUrl &url) {
    return url.scheme().isEmpty() && QDir::isAbsolutePath(url.path()) ? QUrl::fromLocalFile(url.path()) : url;
}

QString FileShareActions::saveCopy(const QUrl &file, const QUrl &destination) const {
    const QUrl target = asLocalFile(destination);
    if (!file.isLocalFile() || !target.isLocalFile())
        return tr("Only local files can be copied.");
    const QString sourcePath = file.toLocalFile();
    const QString targetPath = target.toLocalFile();
    if (QFileInfo(sourcePath).canonicalFilePath() == QFileInfo(targetPath).canonicalFilePath())
        return {};
    QFile source(sourcePath);
    if (!source.open(QIODevice::ReadOnly))
        return source.errorString();
    // Written beside the target and renamed over it at the end: a failed copy leaves no half file.
    QSaveFile copy(targetPath);
    if (!copy.open(QIODevice::WriteOnly))
        return copy.errorString();
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 read = source.read(buffer.data(), buffer.size());
        if (read < 0) {
            copy.cancelWriting();
            return source.errorString();
        }
        if (read == 0)
            break;
        if (copy.write(buffer.constData(), read) != read) {
            copy.cancelWriting();
            return copy.errorString();
        }
    }
    if (!copy.commit())
        return copy.errorString();
    return {};
}

void FileShareActions::copyPath(const QUrl &file) const {
    if (QClipboard *clipboard = QGuiApplication::clipboard())
        clipboard->setText(file.isLocalFile() ? file.toLocalFile() : file.toString());
}

bool FileShareActions::showInFolder(const QUrl &file) const {
    if (!file.isLocalFile())
        return false;
    const QUrl folder = QUrl::fromLocalFile(QFileInfo(file.toLocalFile()).absolutePath());
    return UrlOpener::shared().open(folder.toString());
}

QString FileShareActions::fileName(const QUrl &file) {
    return file.fileName();
}
