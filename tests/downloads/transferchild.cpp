// A process that downloads one URL with the download engine and exits when the file lies in
// the downloads folder. The kill test starts it, kills it with SIGKILL, and starts it again.
//
//   transferchild <url> start     starts the download
//   transferchild <url> restore   only constructs the engine: the session's journal brings the
//                                 transfer back

#include "downloads/downloadmanager.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    app.setApplicationName(u"Kivo"_s);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 3) {
        std::fprintf(stderr, "usage: transferchild <url> start|restore\n");
        return 2;
    }
    const QUrl url(arguments.at(1));
    const QString name = DownloadManager::downloadFileName(url);

    TransferSession::Configuration session = TransferSession::Configuration::background(u"kill-test"_s);
    session.initialRetryDelay = std::chrono::milliseconds(50);
    session.maximumRetryDelay = std::chrono::milliseconds(200);
    DownloadManager manager(session);

    const auto finishedIfPlaced = [&] {
        for (const QUrl &file : manager.fileList()) {
            if (QFileInfo(file.toLocalFile()).fileName() == name)
                app.exit(0);
        }
    };
    QObject::connect(&manager, &DownloadManager::fileListChanged, &app, finishedIfPlaced);
    if (arguments.at(2) == u"start"_s)
        manager.startDownload(url);
    QTimer::singleShot(60'000, &app, [&] { app.exit(1); });
    return app.exec();
}
