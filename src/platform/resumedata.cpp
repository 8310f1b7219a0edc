#include "resumedata.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

static constexpr int kFormatVersion = 1;

QByteArray ResumeData::encode() const {
    const QJsonObject object{
        {u"kivoResumeData"_s, kFormatVersion},
        {u"url"_s, url.toString(QUrl::FullyEncoded)},
        {u"partialFile"_s, partialFileName},
        {u"bytesReceived"_s, QString::number(bytesReceived)},
        {u"bytesExpected"_s, QString::number(bytesExpected)},
        {u"etag"_s, QString::fromLatin1(etag)},
        {u"lastModified"_s, QString::fromLatin1(lastModified)},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<ResumeData> ResumeData::decode(const QByteArray &bytes) {
    const QJsonObject object = QJsonDocument::fromJson(bytes).object();
    if (object.value(u"kivoResumeData"_s).toInt() != kFormatVersion)
        return std::nullopt;
    ResumeData data;
    data.url = QUrl(object.value(u"url"_s).toString(), QUrl::StrictMode);
    data.partialFileName = object.value(u"partialFile"_s).toString();
    // 64-bit counts travel as text: JSON numbers are doubles.
    bool receivedOk = false;
    bool expectedOk = false;
    data.bytesReceived = object.value(u"bytesReceived"_s).toString().toLongLong(&receivedOk);
    data.bytesExpected = object.value(u"bytesExpected"_s).toString().toLongLong(&expectedOk);
    data.etag = object.value(u"etag"_s).toString().toLatin1();
    data.lastModified = object.value(u"lastModified"_s).toString().toLatin1();
    if (!data.url.isValid() || data.url.isRelative() || data.partialFileName.isEmpty() ||
        data.partialFileName.contains(u'/') || data.partialFileName.startsWith(u'.') || !receivedOk ||
        !expectedOk || data.bytesReceived < 0)
        return std::nullopt;
    return data;
}
