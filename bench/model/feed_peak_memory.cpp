// Peak resident memory of decoding one feed, for the decoder's memory budget: run as
//   feed_peak_memory zeros 5     a body {"name":"R","apps":[0,0,…]} of 5 MB
//   feed_peak_memory valid 20    a feed of well-formed entries of 20 MB
// and read "Maximum resident set size" (or the line printed here) for the whole process.
#include "model/reporesponse.h"

#include <QByteArray>

#include <cstdio>
#include <cstring>
#include <sys/resource.h>

namespace {

long peakResidentKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

QByteArray zerosFeed(qsizetype bytes) {
    QByteArray json = R"({"name":"R","apps":[0)";
    json.reserve(bytes);
    while (json.size() + 4 < bytes)
        json += ",0";
    return json + "]}";
}

QByteArray validFeed(qsizetype bytes) {
    QByteArray json = R"({"name":"R","apps":[)";
    json.reserve(bytes + 1024);
    for (int i = 0; json.size() < bytes; ++i) {
        const QByteArray n = QByteArray::number(i);
        const QByteArray app = QByteArray::number(i / 4);
        json += QByteArray(i ? "," : "") + R"({"name":"App )" + app +
                R"(","bundleIdentifier":"com.example.app)" + app + R"(","version":"1.)" +
                QByteArray::number(i % 4) +
                R"(","versionDate":"2024-05-01","size":123456789,"downloadURL":"https://cdn.example.com/)" +
                n + R"(.ipa","iconURL":"https://cdn.example.com/)" + app +
                R"(/icon.png","localizedDescription":"An app that does what it says, in a few words )" + app +
                R"(","screenshotURLs":["https://cdn.example.com/)" + app + R"(/1.jpg"]})";
    }
    return json + "]}";
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3 || (std::strcmp(argv[1], "zeros") && std::strcmp(argv[1], "valid"))) {
        std::fprintf(stderr, "usage: %s zeros|valid <megabytes>\n", argv[0]);
        return 2;
    }
    const qsizetype bytes = qsizetype(std::atof(argv[2]) * 1024 * 1024);
    const QByteArray json = std::strcmp(argv[1], "zeros") == 0 ? zerosFeed(bytes) : validFeed(bytes);
    const long before = peakResidentKiB();
    const DecodeResult<RepoResponse> feed = RepoResponse::decode(json);
    std::printf("document %.1f MB, %s; peak resident %.1f MB (%.1f MB before decoding)\n",
                double(json.size()) / 1048576,
                feed ? qPrintable(QString::number(feed->apps.size()) + QStringLiteral(" apps"))
                     : qPrintable(feed.error().left(80)),
                double(peakResidentKiB()) / 1024, double(before) / 1024);
    return 0;
}
