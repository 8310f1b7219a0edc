#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

// What a paused transfer needs to continue: where its bytes lie and which version of the remote
// file they belong to. Encoded as the opaque resume-data bytes that callers store and hand back.
struct ResumeData {
    QUrl url;
    // A plain file name inside the session's folder: resume data never names other paths.
    QString partialFileName;
    qint64 bytesReceived = 0;
    qint64 bytesExpected = -1;
    // The validator sent as If-Range: the ETag when the server gave one, else Last-Modified.
    QByteArray etag;
    QByteArray lastModified;

    QByteArray encode() const;
    // Nothing when the bytes are not resume data of ours.
    static std::optional<ResumeData> decode(const QByteArray &bytes);
};
