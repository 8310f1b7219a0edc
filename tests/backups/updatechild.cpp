// A process that updates a configured app the way a user does ("Update Existing"), so that tests
// and the kill experiment can kill it at any moment and look at what the next start makes of it.
// Folders come from the environment (XDG_*), LiveContainer's storage from the first argument.
//
//   updatechild <storage> prepare [files]  installs version 1.0, which LiveContainer has run (its
//                                          data container "A" holds the user's save), and puts
//                                          version 2.0 in the downloads folder; files adds that
//                                          many 64 KiB files to both, so copies take a while
//   updatechild <storage> update [step]    converts version 2.0 and answers "Update Existing";
//                                          with a step, SIGKILLs itself before that file
//                                          operation (1: the new version moves beside the old,
//                                          2: the backup folder, 3: the old version into it,
//                                          4: the new version into place)
//   updatechild <storage> convert          converts version 2.0 and waits for the answer forever
//   updatechild <storage> check            starts the engine as the next launch would and says
//                                          whether exactly one whole version is installed with
//                                          the user's data named: "consistent <version>", or
//                                          "broken: <why>" (exit status 1)

#include "downloads/downloadmanager.h"
#include "install/installtestsupport.h"
#include "platform/propertylist.h"
#include "platform/standarddirs.h"
#include "support/testfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QTimer>
#include <qcoro/qcorotask.h>

#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString kBundleID = u"com.example.game"_s;
const QString kFolderName = u"com.example.game.app"_s;

class KillingFileOperations : public FileOperations {
public:
    explicit KillingFileOperations(int step)
        : m_left(step) {}

    bool makePath(const QString &folder, QString *error) override {
        step();
        return FileOperations::makePath(folder, error);
    }
    bool move(const QString &from, const QString &to, QString *error) override {
        step();
        return FileOperations::move(from, to, error);
    }
    bool remove(const QString &path, QString *error) override {
        step();
        return FileOperations::remove(path, error);
    }

private:
    void step() {
        if (--m_left == 0)
            ::kill(::getpid(), SIGKILL);
    }
    int m_left;
};

QString referenceListing() {
    return StandardDirs::applicationSupport() + u"/reference-listing"_s;
}

// Every file of an app below its folder, with its size: a whole copy lists the same.
QStringList listing(const QString &app) {
    QStringList files;
    QDirIterator it(app, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        files.append(it.filePath().mid(app.size() + 1) + u' ' + QString::number(it.fileInfo().size()));
    }
    files.sort();
    return files;
}

bool writeArchive(const QString &path, const QString &version, int files) {
    InstallTest::Entries entries =
        InstallTest::appEntries(u"Game.app"_s, AppBundleWriter::info(kBundleID, u"Game"_s, version));
    for (int i = 0; i < files; ++i)
        entries.append({u"Payload/Game.app/Assets/%1.bin"_s.arg(i), randomBytes(64 * 1024, quint32(i))});
    return InstallTest::writeIpa(path, entries);
}

int prepare(DownloadManager &engine, const QString &storage, int files) {
    const QString downloads = engine.downloadFolder().toLocalFile();
    if (!QDir().mkpath(downloads) || !writeArchive(downloads + u"/Game.ipa"_s, u"1.0"_s, files))
        return 1;
    if (QCoro::waitFor(engine.extractIPA(QUrl::fromLocalFile(downloads + u"/Game.ipa"_s))))
        return 1;
    const QString app = engine.applicationsFolder().toLocalFile() + u'/' + kFolderName;
    const QString container = storage + u"/Data/Application/A"_s;
    const QVariantMap appInfo{
        {u"LCContainers"_s, QVariantList{QVariantMap{{u"folderName"_s, u"A"_s}, {u"name"_s, u"Default"_s}}}}};
    if (!PropertyList::writeXml(app + u"/LCAppInfo.plist"_s, appInfo) ||
        !writeFile(container + u"/save.dat"_s, "level 42") ||
        !writeFile(referenceListing(), listing(app).join(u'\n').toUtf8()) ||
        !writeArchive(downloads + u"/Game-2.ipa"_s, u"2.0"_s, files))
        return 1;
    return 0;
}

int update(DownloadManager &engine, int step, bool answer) {
    if (step > 0)
        engine.setFileOperations(std::make_shared<KillingFileOperations>(step));
    const QString archive = engine.downloadFolder().toLocalFile() + u"/Game-2.ipa"_s;
    QCoro::waitFor(engine.convertIPA(QUrl::fromLocalFile(archive)));
    if (!engine.pendingInstallation())
        return 1;
    std::puts("conflict");
    std::fflush(stdout);
    if (!answer)
        return QCoreApplication::exec();
    QObject::connect(&engine, &DownloadManager::pendingInstallationChanged, qApp, [&engine] {
        if (!engine.pendingInstallation())
            QCoreApplication::exit(0);
    });
    engine.resolvePendingInstallation(InstallAction::UpdateExisting);
    return QCoreApplication::exec();
}

// Why the state is not one whole version with the user's data named; empty when it is.
QString brokenBecause(const DownloadManager &engine, const QString &storage, QString *version) {
    const QString applications = engine.applicationsFolder().toLocalFile();
    const QStringList apps =
        QDir(applications).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    if (apps != QStringList{kFolderName})
        return u"the applications folder holds "_s + apps.join(u", "_s);
    const QString app = applications + u'/' + kFolderName;
    const auto info = PropertyList::readDictionary(app + u"/Info.plist"_s);
    *version = info ? info->value(u"CFBundleShortVersionString"_s).toString() : QString();
    QStringList expected = QString::fromUtf8(readFile(referenceListing())).split(u'\n');
    const QList<AppBackup> &backups = engine.pendingBackups();
    QString named;
    if (*version == u"1.0"_s) {
        named = app;
        if (!backups.isEmpty())
            return u"a backup is recorded beside the previous version"_s;
    } else if (*version == u"2.0"_s) {
        expected.removeIf([](const QString &line) { return line.startsWith(u"LCAppInfo.plist "_s); });
        if (backups.size() != 1)
            return u"%1 backups are recorded for the new version"_s.arg(backups.size());
        named = engine.backupsFolder().toLocalFile() + u'/' + backups.first().backupPath + u'/' + kFolderName;
        if (listing(named) != QString::fromUtf8(readFile(referenceListing())).split(u'\n'))
            return u"the backup is not whole"_s;
    } else {
        return u"the installed app has no known version"_s;
    }
    if (listing(app) != expected)
        return u"the installed version "_s + *version + u" is not whole"_s;
    if (InstallTest::containerNames(named + u"/LCAppInfo.plist"_s) != QStringList{u"A"_s})
        return u"nothing names the user's data container"_s;
    if (readFile(storage + u"/Data/Application/A/save.dat"_s) != "level 42")
        return u"the user's data is gone"_s;
    QStringList recorded;
    for (const AppBackup &backup : backups)
        recorded.append(backup.backupPath);
    const QStringList backupFolders = QDir(engine.backupsFolder().toLocalFile())
                                          .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    if (backupFolders != recorded)
        return u"the backups folder holds "_s + backupFolders.join(u", "_s);
    return {};
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    app.setApplicationName(u"Kivo"_s);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 3) {
        std::fprintf(stderr, "usage: updatechild <storage> prepare|update|convert|check [number]\n");
        return 2;
    }
    const QString storage = arguments.at(1);
    const QString mode = arguments.at(2);
    const int number = arguments.size() > 3 ? arguments.at(3).toInt() : 0;
    DownloadManager engine;
    if (mode == u"prepare"_s) {
        QDir().mkpath(storage + u"/Applications"_s);
        QDir().mkpath(storage + u"/Data/Application"_s);
        engine.setCustomFolder(QUrl::fromLocalFile(storage), true);
        return prepare(engine, storage, number);
    }
    if (mode == u"update"_s || mode == u"convert"_s)
        return update(engine, number, mode == u"update"_s);
    QString version;
    const QString reason = brokenBecause(engine, storage, &version);
    std::printf("%s\n", qPrintable(reason.isEmpty() ? u"consistent "_s + version : u"broken: "_s + reason));
    return reason.isEmpty() ? 0 : 1;
}
