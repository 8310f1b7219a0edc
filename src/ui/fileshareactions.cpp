#include "ui/fileshareactions.h"

#include "platform/urlopener.h"

#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>

using namespace Qt::StringLiterals;

FileShareActions::FileShareActions(QObject *parent)
    : QObject(parent) {
}

QString FileShareActions::saveCopy(const QUrl &file, const QUrl &destination) const {
    if (!file.isLocalFile() || !destination.isLocalFile())
        return tr("Only local files can be copied.");
    const QString sourcePath = file.toLocalFile();
    const QString targetPath = destination.toLocalFile();
    if (QFileInfo(sourcePath).canonicalFilePath() == QFileInfo(targetPath).canonicalFilePath())
        return {};
    QFile source(sourcePath);
    if (!source.open(QIODevice::ReadOnly))
        return source.errorString();
    // Written beside the target and renamed over it at the end: a failed copy leaves no half file.
    QSaveFile target(targetPath);
    if (!target.open(QIODevice::WriteOnly))
        return target.errorString();
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 read = source.read(buffer.data(), buffer.size());
        if (read < 0) {
            target.cancelWriting();
            return source.errorString();
        }
        if (read == 0)
            break;
        if (target.write(buffer.constData(), read) != read) {
            target.cancelWriting();
            return target.errorString();
        }
    }
    if (!target.commit())
        return target.errorString();
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
