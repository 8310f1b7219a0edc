#include "sampleserver.h"

#include "samplesource.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

QByteArray contentType(const QString &suffix) {
    if (suffix == u"json"_s)
        return "application/json";
    if (suffix == u"csv"_s)
        return "text/csv; charset=utf-8";
    if (suffix == u"png"_s)
        return "image/png";
    return "application/octet-stream";
}

} // namespace

SampleServer::SampleServer(QString folder, qint64 archiveBytesPerSecond)
    : m_folder(QDir::cleanPath(QFileInfo(folder).absoluteFilePath()))
    , m_archiveRate(archiveBytesPerSecond) {
}

quint16 SampleServer::start(quint16 port, QString *error) {
    if (!QFileInfo::exists(m_folder + SampleSource::kFeedPath)) {
        *error = u"%1 holds no sample source (no feed.json): build the target kivo_sample_source_files"_s.arg(
            m_folder);
        return 0;
    }
    const quint16 listening = m_http.start(port);
    if (listening == 0) {
        *error = u"Cannot listen on 127.0.0.1:%1"_s.arg(port);
        return 0;
    }
    if (!serveFolder(error)) {
        m_http.stop();
        return 0;
    }
    return listening;
}

bool SampleServer::serveFolder(QString *error) {
    const QByteArray base = m_http.url(u""_s).toString(QUrl::StripTrailingSlash).toUtf8();
    QDirIterator files(m_folder, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QFileInfo file(files.next());
        const QString path = file.filePath().mid(m_folder.size());
        const QByteArray type = contentType(file.suffix());
        if (file.suffix() == u"json"_s || file.suffix() == u"csv"_s) {
            QFile text(file.absoluteFilePath());
            if (!text.open(QIODevice::ReadOnly)) {
                *error = u"Cannot read %1: %2"_s.arg(text.fileName(), text.errorString());
                return false;
            }
            m_http.serveBytes(path, text.readAll().replace(SampleSource::kHost.toUtf8(), base), type);
            continue;
        }
        RouteResponse response = RouteResponse::file(file.absoluteFilePath(), type);
        // The file's size and time stand for its content: a rebuilt source is a changed file.
        response.etag = QByteArray::number(file.size(), 16) + '-' +
                        QByteArray::number(file.lastModified().toMSecsSinceEpoch(), 16);
        if (file.suffix() == u"ipa"_s && m_archiveRate > 0)
            response.throttled(m_archiveRate);
        m_http.setRoute(path, response);
    }
    return true;
}

QUrl SampleServer::url(QStringView path) const {
    return m_http.url(path.toString());
}

QUrl SampleServer::feedURL() const {
    return url(SampleSource::kFeedPath);
}

QUrl SampleServer::reposListURL() const {
    return url(SampleSource::kReposListPath);
}
