// Feeds arbitrary bytes to the archive reader and the entry decoder, and archives that pass the
// structural checks through a whole extraction into a scratch folder, where the name, link and
// undo logic run too. Nothing may crash, hang or escape the scratch folder.
#include "zip/ziparchive.h"
#include "zip/zipentrydecoder.h"
#include "zip/zipentryname.h"
#include "zip/zipextractor.h"

#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr quint64 kMaxExtractedBytes = 1 << 20;
constexpr size_t kMaxExtractedEntries = 64;

struct Scratch {
    Scratch() {
        QByteArray pattern = QDir::tempPath().toUtf8() + "/zip-fuzzer-XXXXXX";
        root = QString::fromUtf8(mkdtemp(pattern.data()));
        archiveFd = memfd_create("archive", 0);
        archivePath = u"/proc/self/fd/"_s + QString::number(archiveFd);
    }

    QString root;
    int archiveFd = -1;
    QString archivePath;
};

void extractWhole(const uint8_t *data, size_t size) {
    static Scratch scratch;
    ftruncate(scratch.archiveFd, 0);
    pwrite(scratch.archiveFd, data, size, 0);
    const QString destination = scratch.root + u"/dest"_s;
    ZipExtractor extractor;
    extractor.setThreadCount(2);
    if (!extractor.extractAll(scratch.archivePath, destination) &&
        !QDir(destination).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
        abort(); // a failed extraction must leave the destination as it found it
    QDir(destination).removeRecursively();
    if (QDir(scratch.root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System) !=
        QStringList())
        abort(); // something was written beside the destination
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    ZipArchive archive;
    if (!archive.openBytes(data, qint64(size)))
        return 0;
    ZipEntryDecoder decoder;
    quint64 declared = 0;
    for (const ZipEntry &entry : archive.entries()) {
        ZipEntryName::parse(entry.name);
        decoder.decode(archive, entry, [](const char *, qsizetype) { return true; });
        declared += std::min<quint64>(entry.uncompressedSize, kMaxExtractedBytes + 1);
    }
    if (archive.entries().size() <= kMaxExtractedEntries && declared <= kMaxExtractedBytes)
        extractWhole(data, size);
    return 0;
}
