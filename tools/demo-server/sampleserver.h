#pragma once

#include "fixtures/httpserver.h"

#include <QString>
#include <QUrl>

// Serves a folder written by SampleSource on 127.0.0.1 with the loopback HTTP server: every file
// under its path, archives and pictures with an entity tag so that a paused download resumes,
// and the feed and the list with this server's address in place of the placeholder host.
class SampleServer {
public:
    // A rate above zero throttles archives to that many bytes per second, so that a person can
    // watch a download run.
    explicit SampleServer(QString folder, qint64 archiveBytesPerSecond = 0);

    // Listens on the port (0: any free one) and serves the folder as it stands; returns the port,
    // or 0 with the reason in *error.
    quint16 start(quint16 port, QString *error);

    QUrl url(QStringView path) const;
    QUrl feedURL() const;
    QUrl reposListURL() const;

    const HttpServer &http() const { return m_http; }

private:
    bool serveFolder(QString *error);

    QString m_folder;
    qint64 m_archiveRate = 0;
    HttpServer m_http;
};
