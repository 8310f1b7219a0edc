// Extracts one archive the way Kivo does, for timing and memory figures beside unzip and bsdtar:
//   kivo-extract ARCHIVE DESTINATION [THREADS]
#include "platform/console.h"
#include "zip/zipextractor.h"

#include <QString>

using namespace Qt::StringLiterals;

int main(int argc, char **argv) {
    if (argc < 3 || argc > 4) {
        printLine(u"usage: kivo-extract ARCHIVE DESTINATION [THREADS]"_s);
        return 2;
    }
    ZipExtractor extractor;
    if (argc == 4)
        extractor.setThreadCount(QString::fromLocal8Bit(argv[3]).toInt());
    if (!extractor.extractAll(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]))) {
        printLine(extractor.error().description());
        return 1;
    }
    return 0;
}
