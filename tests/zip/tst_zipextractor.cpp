#include "fixtures/zipbuilder.h"
#include "platform/fileremoval.h"
#include "support/testmain.h"
#include "zip/zipextractor.h"

#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Every path below `root` (folders end in "/", links show their target), sorted.
QStringList listTree(const QString &root) {
    QStringList paths;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        QString path = QDir(root).relativeFilePath(info.filePath());
        if (info.isSymLink())
            path += u" -> "_s + QFile::symLinkTarget(info.filePath()).section(u'/', -1) + u" ("_s +
                    QString::fromUtf8(QFile::encodeName(info.filePath())) + u")"_s;
        else if (info.isDir())
            path += u'/';
        paths.append(path);
    }
    paths.sort();
    return paths;
}

QByteArray readFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

quint32 permissionsOf(const QString &path) {
    struct stat info;
    return lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0xFFFF;
}

// The file at the bottom of `levels` folders "d", reached one folder at a time: its path is
// longer than PATH_MAX. "<missing>" when it is not there.
QByteArray readDeepFile(const QString &root, int levels) {
    int fd = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; fd >= 0 && i < levels; ++i) {
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    const int file = fd >= 0 ? ::openat(fd, "f", O_RDONLY | O_CLOEXEC) : -1;
    char buffer[64];
    const ssize_t size = file >= 0 ? ::read(file, buffer, sizeof buffer) : -1;
    for (const int open : {fd, file}) {
        if (open >= 0)
            ::close(open);
    }
    return size < 0 ? QByteArray("<missing>") : QByteArray(buffer, size);
}

QByteArray linkTarget(const QString &path) {
    char buffer[4096];
    const ssize_t size = readlink(QFile::encodeName(path).constData(), buffer, sizeof buffer);
    return size < 0 ? QByteArray() : QByteArray(buffer, size);
}

// Partly compressible bytes, like a real binary: blocks of noise, text and zeros.
QByteArray sampleBytes(qsizetype size, quint32 seed) {
    constexpr qsizetype kBlock = 4096;
    static const QByteArray text = QByteArray("abcdefghijklmnopqrstuvw").repeated(kBlock / 23 + 1);
    QRandomGenerator random(seed);
    QByteArray bytes(size, '\0');
    for (qsizetype at = 0, block = 0; at < size; at += kBlock, ++block) {
        const qsizetype length = std::min(kBlock, size - at);
        if (block % 3 == 0) {
            quint32 noise[kBlock / 4];
            random.fillRange(noise);
            memcpy(bytes.data() + at, noise, size_t(length));
        } else if (block % 3 == 1) {
            memcpy(bytes.data() + at, text.constData(), size_t(length));
        }
    }
    return bytes;
}

// A box holding the destination and a sentinel beside it: whatever an archive does, the box must
// end up holding exactly those two, the sentinel unchanged.
class Box {
public:
    Box() {
        QFile sentinel(sentinelPath());
        sentinel.open(QIODevice::WriteOnly);
        sentinel.write("sentinel");
        QDir(m_dir.path()).mkdir(u"dest"_s);
    }

    QString dest() const { return m_dir.filePath(u"dest"_s); }
    QString archivePath() const { return m_dir.filePath(u"archive.zip"_s); }
    QString sentinelPath() const { return m_dir.filePath(u"sentinel.txt"_s); }

    bool outsideUntouched() const {
        QStringList entries =
            QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        entries.removeOne(u"archive.zip"_s);
        return entries == QStringList{u"dest"_s, u"sentinel.txt"_s} && readFile(sentinelPath()) == "sentinel";
    }

    bool extract(const QByteArray &archive, ZipError *error = nullptr, int threads = 0) {
        ZipBuilder::writeFile(archivePath(), archive);
        return extractFile(archivePath(), error, threads);
    }

    bool extractFile(const QString &path, ZipError *error = nullptr, int threads = 0) {
        ZipExtractor extractor;
        extractor.setThreadCount(threads);
        const bool done = extractor.extractAll(path, dest());
        if (error)
            *error = extractor.error();
        return done;
    }

private:
    QTemporaryDir m_dir;
};

using Build = std::function<QByteArray()>;

} // namespace

class TestZipExtractor : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void goCorpus_data() {
        KIVO_SKIP_WITHOUT_CORPUS(u"go-zip"_s);
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("tree"); // empty: the archive must be refused

        const QStringList testPair{u"gophercolor16x16.png"_s, u"test.txt"_s};
        const QStringList fooBar{u"bar.txt"_s, u"foo.txt"_s};
        const QStringList helloTree{u"dir/"_s, u"dir/bar"_s, u"dir/empty/"_s, u"hello"_s, u"readonly"_s};
        const QStringList world{u"世界"_s};
        const QStringList testTxt{u"test.txt"_s};
        const QStringList refused;

        QTest::newRow("test") << u"testdata/test.zip"_s << testPair;
        QTest::newRow("trailing junk (policy: accepted)") << u"testdata/test-trailing-junk.zip"_s << testPair;
        // Policy: the directory must end where the end record starts; no base offset is guessed.
        QTest::newRow("prefix (policy: refused)") << u"testdata/test-prefix.zip"_s << refused;
        QTest::newRow("bad directory size (policy: refused)") << u"testdata/test-baddirsz.zip"_s << refused;
        QTest::newRow("bad base (policy: refused)") << u"testdata/test-badbase.zip"_s << refused;
        QTest::newRow("symlink out") << u"testdata/symlink.zip"_s << refused;
        QTest::newRow("readme") << u"testdata/readme.zip"_s << QStringList{u"README"_s};
        QTest::newRow("not a zip") << u"testdata/readme.notzip"_s << refused;
        QTest::newRow("data descriptor") << u"testdata/dd.zip"_s << QStringList{u"filename"_s};
        QTest::newRow("winxp") << u"testdata/winxp.zip"_s << helloTree;
        QTest::newRow("unix") << u"testdata/unix.zip"_s << helloTree;
        QTest::newRow("descriptor without signature") << u"testdata/go-no-datadesc-sig.zip"_s << fooBar;
        QTest::newRow("descriptor with signature") << u"testdata/go-with-datadesc-sig.zip"_s << fooBar;
        QTest::newRow("crc not streamed") << u"testdata/crc32-not-streamed.zip"_s << fooBar;
        QTest::newRow("zip64") << u"testdata/zip64.zip"_s << QStringList{u"README"_s};
        QTest::newRow("zip64 beside other extras") << u"testdata/zip64-2.zip"_s << QStringList{u"README"_s};
        for (const char *tool : {"7zip", "winrar", "winzip", "infozip", "osx"})
            QTest::addRow("utf8 %s", tool) << u"testdata/utf8-%1.zip"_s.arg(QLatin1StringView(tool)) << world;
        for (const char *tool : {"7zip", "infozip", "osx", "win7", "winrar", "winzip", "go"})
            QTest::addRow("time %s", tool)
                << u"testdata/time-%1.zip"_s.arg(QLatin1StringView(tool)) << testTxt;
        QTest::newRow("time 22738") << u"testdata/time-22738.zip"_s << QStringList{u"file"_s};
        QTest::newRow("subdir") << u"testdata/subdir.zip"_s << QStringList{u"a/"_s, u"a/b/"_s, u"a/b/c"_s};
        QTest::newRow("file and folder at one path") << u"testdata/dupdir.zip"_s << refused;
        QTest::newRow("truncated comment") << u"testdata/comment-truncated.zip"_s << refused;

        QTest::newRow("quine") << u"derived/r.zip"_s << QStringList{u"r/"_s, u"r/r.zip"_s};
        QTest::newRow("nested") << u"derived/biggest.zip"_s << QStringList{u"bigger.zip"_s};
        // Policy: a 32-bit size holding the ZIP64 marker needs its ZIP64 value; this one has none.
        QTest::newRow("4 GiB - 1 without ZIP64 (policy: refused)") << u"derived/big.zip"_s << refused;
        QTest::newRow("bad crc in descriptor (policy: refused)")
            << u"derived/bad-crc32-in-data-descriptor.zip"_s << refused;
        QTest::newRow("bad crc") << u"derived/crc32-not-streamed-corrupt.zip"_s << refused;
        QTest::newRow("dot dot") << u"derived/CVE-2021-27919-dotdot-test.txt.zip"_s << refused;
        QTest::newRow("slash and backslash")
            << u"derived/CVE-2021-41772-slash-backslash-names.zip"_s << refused;
        QTest::newRow("huge entry count") << u"derived/CVE-2021-33196-huge-entry-count.zip"_s << refused;
        QTest::newRow("directory size overflow")
            << u"derived/CVE-2021-39293-dirsize-overflow.zip"_s << refused;
        QTest::newRow("malformed zip64") << u"derived/issue10956-malformed.zip"_s << refused;
        QTest::newRow("short entries") << u"derived/issue10957-short-entries.zip"_s << refused;
        QTest::newRow("truncated descriptor")
            << u"derived/issue11146-truncated-data-descriptor.zip"_s << refused;
        // Policy: not ZIP64 despite the stray locator; the binary name is read as code page 437.
        QTest::newRow("not zip64 (policy: accepted)")
            << u"derived/issue12449-not-zip64.zip"_s << QStringList{u"╩dU"_s};
        QTest::newRow("compressed folder entry") << u"derived/compressed-directory.jar"_s
                                                 << QStringList{u"META-INF/"_s, u"META-INF/MANIFEST.MF"_s};
        QTest::newRow("offset overflow") << u"derived/base-offset-plus-overflow.zip"_s << refused;
    }

    void goCorpus() {
        QFETCH(QString, file);
        QFETCH(QStringList, tree);
        const QString path = corporaDir() + u"/go-zip/"_s + file;
        QVERIFY2(QFile::exists(path), qPrintable(path));
        Box box;
        ZipError error;
        const bool done = box.extractFile(path, &error);
        QVERIFY2(done == !tree.isEmpty(), qPrintable(done ? u"extracted"_s : error.description()));
        QVERIFY(done || !error.reason.isEmpty());
        QCOMPARE(listTree(box.dest()), tree);
        QVERIFY(box.outsideUntouched());
    }

    // Contents and modes as the corpus's own tools wrote them: MS-DOS attributes, Unix modes wider
    // than the umask, and an archive kept as Base64.
    void goCorpusContents() {
        KIVO_SKIP_WITHOUT_CORPUS(u"go-zip"_s);
        const QString go = corporaDir() + u"/go-zip/"_s;
        Box test, winxp, unix, subdir, base64;
        QVERIFY(test.extractFile(go + u"testdata/test.zip"_s));
        QCOMPARE(readFile(test.dest() + u"/test.txt"_s), "This is a test text file.\n");
        QCOMPARE(readFile(test.dest() + u"/gophercolor16x16.png"_s),
                 readFile(go + u"testdata/gophercolor16x16.png"_s));
        QVERIFY(winxp.extractFile(go + u"testdata/winxp.zip"_s));
        QCOMPARE(readFile(winxp.dest() + u"/dir/bar"_s), "foo \r\n");
        QCOMPARE(permissionsOf(winxp.dest() + u"/readonly"_s), 0444u);
        QCOMPARE(permissionsOf(winxp.dest() + u"/hello"_s), 0644u);
        QVERIFY(unix.extractFile(go + u"testdata/unix.zip"_s));
        QCOMPARE(permissionsOf(unix.dest() + u"/hello"_s), 0666u);
        QCOMPARE(permissionsOf(unix.dest() + u"/dir/empty"_s), 0777u);
        QVERIFY(subdir.extractFile(go + u"testdata/subdir.zip"_s));
        QCOMPARE(permissionsOf(subdir.dest() + u"/a/b"_s), 0750u);
        QCOMPARE(permissionsOf(subdir.dest() + u"/a/b/c"_s), 0640u);
        QVERIFY(base64.extract(
            QByteArray::fromBase64(readFile(go + u"testdata/go-no-datadesc-sig.zip.base64"_s))));
        QCOMPARE(readFile(base64.dest() + u"/foo.txt"_s), "foo\n");
    }

    void zipSlipCorpus_data() {
        QTest::addColumn<QString>("file");
        KIVO_SKIP_WITHOUT_CORPUS(u"zip-slip"_s);
        const QStringList files = QDir(corporaDir() + u"/zip-slip/jwilk"_s).entryList({u"*.zip"_s});
        QVERIFY2(!files.isEmpty(), "no archives in the zip-slip corpus");
        for (const QString &name : files)
            QTest::newRow(qPrintable(name)) << name;
    }

    void zipSlipCorpus() {
        QFETCH(QString, file);
        const bool mooBefore = QFileInfo::exists(u"/tmp/moo"_s);
        Box box;
        ZipError error;
        QVERIFY(!box.extractFile(corporaDir() + u"/zip-slip/jwilk/"_s + file, &error));
        QVERIFY(!error.entryName.isEmpty());
        QCOMPARE(listTree(box.dest()), QStringList());
        QVERIFY(box.outsideUntouched());
        if (!mooBefore)
            QVERIFY(!QFileInfo::exists(u"/tmp/moo"_s));
    }

    void roundTrip_data() {
        QTest::addColumn<ZipBuilder::Options>("options");
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("threads");
        QTest::addColumn<bool>("zip64End");

        ZipBuilder::Options stored, deflated, descriptor, bareDescriptor, zip64, zip64Descriptor;
        stored.method = ZipBuilder::Method::Stored;
        descriptor.dataDescriptor = bareDescriptor.dataDescriptor = zip64Descriptor.dataDescriptor = true;
        bareDescriptor.descriptorSignature = false;
        zip64.zip64 = zip64Descriptor.zip64 = true;

        QTest::newRow("stored") << stored << 6 << 0 << false;
        QTest::newRow("deflated") << deflated << 6 << 0 << false;
        QTest::newRow("deflated, one thread") << deflated << 6 << 1 << false;
        QTest::newRow("data descriptor") << descriptor << 4 << 0 << false;
        QTest::newRow("descriptor without signature") << bareDescriptor << 4 << 0 << false;
        QTest::newRow("zip64 forced") << zip64 << 6 << 0 << true;
        QTest::newRow("zip64 with descriptor") << zip64Descriptor << 6 << 0 << true;
        QTest::newRow("many small files") << deflated << 600 << 0 << false;
    }

    // Sizes cover the empty file, both sides of the whole-buffer limit (streamed inflate above it) and
    // one byte beyond a stored chunk.
    void roundTrip() {
        QFETCH(ZipBuilder::Options, options);
        QFETCH(int, files);
        QFETCH(int, threads);
        QFETCH(bool, zip64End);

        QMap<QString, QByteArray> expected;
        const qsizetype sizes[] = {0, 1, 1000, 70000, (16 << 20) + 1, (8 << 20) + 1};
        static_assert(std::size(sizes) == 6);
        ZipBuilder builder;
        builder.setZip64EndRecords(zip64End);
        for (int i = 0; i < files; ++i) {
            const qsizetype size = files > 6 ? 100 + i * 7 : sizes[i];
            const QString name = u"Payload/X.app/d%1/f%2.bin"_s.arg(i % 5).arg(i);
            expected.insert(name, sampleBytes(size, quint32(i)));
            builder.addFile(name, expected.value(name), options);
        }
        Box box;
        ZipError error;
        QVERIFY2(box.extract(builder.finish(), &error, threads), qPrintable(error.description()));
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QVERIFY2(readFile(box.dest() + u'/' + it.key()) == it.value(), qPrintable(it.key()));
        QCOMPARE(listTree(box.dest()).size(), expected.size() + 2 + std::min(files, 5));
        QCOMPARE(listTree(box.dest()).first(3),
                 (QStringList{u"Payload/"_s, u"Payload/X.app/"_s, u"Payload/X.app/d0/"_s}));
    }

    void permissionsFoldersAndLinks() {
        ZipBuilder builder;
        ZipBuilder::Options executable, privateFile, setuid;
        executable.permissions = 0755;
        privateFile.permissions = 0600;
        setuid.permissions = 04755;
        builder.addFolder(u"Payload/X.app/Frameworks/Y.framework/Versions/A"_s, 0750);
        builder.addFile(u"Payload/X.app/X"_s, "binary", executable);
        builder.addFile(u"Payload/X.app/secret"_s, "s", privateFile);
        builder.addFile(u"Payload/X.app/tool"_s, "t", setuid);
        builder.addFolder(u"Payload/X.app/Empty"_s);
        builder.addFile(u"Payload/X.app/Frameworks/Y.framework/Versions/A/Y"_s, "library");
        builder.addSymlink(u"Payload/X.app/Frameworks/Y.framework/Versions/Current"_s, "A");
        // Through another link of the archive, and still inside.
        builder.addSymlink(u"Payload/X.app/Frameworks/Y.framework/Y"_s, "Versions/Current/Y");
        builder.addSymlink(u"Payload/X.app/Up"_s, "../../Payload/X.app/X");
        Box box;
        ZipError error;
        QVERIFY2(box.extract(builder.finish(), &error), qPrintable(error.description()));

        const QString app = box.dest() + u"/Payload/X.app"_s;
        QCOMPARE(permissionsOf(app + u"/X"_s), 0755u);
        QCOMPARE(permissionsOf(app + u"/secret"_s), 0600u);
        QCOMPARE(permissionsOf(app + u"/tool"_s), 0755u);
        QCOMPARE(permissionsOf(app + u"/Frameworks/Y.framework/Versions/A"_s), 0750u);
        QVERIFY(QFileInfo(app + u"/Empty"_s).isDir());
        QCOMPARE(linkTarget(app + u"/Frameworks/Y.framework/Y"_s), "Versions/Current/Y");
        QCOMPARE(readFile(app + u"/Frameworks/Y.framework/Y"_s), "library");
        QCOMPARE(readFile(app + u"/Up"_s), "binary");
    }

    void names_data() {
        QTest::addColumn<QByteArray>("rawName");
        QTest::addColumn<bool>("utf8Flag");
        QTest::addColumn<QString>("expected"); // empty: refused

        QTest::newRow("code page 437") << QByteArray("caf\x82 \x9b.txt") << false << u"café ¢.txt"_s;
        QTest::newRow("utf-8 with flag") << QByteArray("Gr\xc3\xbc\xc3\x9f.txt") << true << u"Grüß.txt"_s;
        QTest::newRow("utf-8 without flag") << QByteArray("Gr\xc3\xbc\xc3\x9f.txt") << false << u"Grüß.txt"_s;
        QTest::newRow("flagged but not utf-8") << QByteArray("caf\x82.txt") << true << QString();
        QTest::newRow("dot components dropped") << QByteArray("./a/./b.txt") << false << u"a/b.txt"_s;
    }

    void names() {
        QFETCH(QByteArray, rawName);
        QFETCH(bool, utf8Flag);
        QFETCH(QString, expected);
        ZipBuilder builder;
        ZipBuilder::Options options;
        options.utf8Flag = utf8Flag;
        builder.addFile(rawName, "content", options);
        Box box;
        ZipError error;
        QCOMPARE(box.extract(builder.finish(), &error), !expected.isEmpty());
        if (expected.isEmpty())
            QVERIFY(error.reason.contains(u"UTF-8"_s));
        else
            QCOMPARE(readFile(box.dest() + u'/' + expected), "content");
    }

    void refused_data() {
        QTest::addColumn<Build>("build");
        QTest::addColumn<QString>("message"); // the error's description must contain it

        auto one = [](const QString &name, const QByteArray &data,
                      ZipBuilder::Options options = ZipBuilder::Options()) {
            return [=] {
                ZipBuilder builder;
                builder.addFile(u"Payload/X.app/ok"_s, "fine");
                builder.addFile(name, data, options);
                return builder.finish();
            };
        };
        auto links = [](QList<std::pair<QString, QByteArray>> links, const QString &file = {}) {
            return [=] {
                ZipBuilder builder;
                for (const auto &[name, target] : links)
                    builder.addSymlink(name, target);
                if (!file.isEmpty())
                    builder.addFile(file, "x");
                return builder.finish();
            };
        };
        ZipBuilder::Options badCrc, storedBadCrc, tooSmall, tooLarge, streamedBomb, encrypted, method12, huge;
        badCrc.crc32 = storedBadCrc.crc32 = 0x12345678;
        storedBadCrc.method = ZipBuilder::Method::Stored;
        tooSmall.declaredSize = 10;
        tooLarge.declaredSize = 5000;
        streamedBomb.declaredSize = 17 << 20;
        encrypted.extraFlags = 0x0001;
        method12.methodNumber = 12;
        huge.declaredSize = quint64(1) << 60;
        huge.zip64 = true;
        const QByteArray text = sampleBytes(4000, 1);

        QTest::newRow("bad crc, deflated")
            << Build(one(u"a"_s, text, badCrc)) << u"entry a: CRC-32 mismatch"_s;
        QTest::newRow("bad crc, stored")
            << Build(one(u"a"_s, text, storedBadCrc)) << u"entry a: CRC-32 mismatch"_s;
        QTest::newRow("bad crc, streamed")
            << Build(one(u"a"_s, sampleBytes(20 << 20, 2), badCrc)) << u"entry a: CRC-32 mismatch"_s;
        QTest::newRow("bomb: more than declared")
            << Build(one(u"a"_s, text, tooSmall)) << u"inflates to more than the declared 10 bytes"_s;
        QTest::newRow("bomb, streamed") << Build(one(u"a"_s, sampleBytes(20 << 20, 3), streamedBomb))
                                        << u"inflates to more than the declared"_s;
        QTest::newRow("less than declared") << Build(one(u"a"_s, text, tooLarge)) << u"declares 5000"_s;
        QTest::newRow("far beyond free space") << Build(one(u"a"_s, text, huge)) << u"bytes are free"_s;
        QTest::newRow("encrypted") << Build(one(u"Payload/X.app/Y"_s, text, encrypted))
                                   << u"entry Payload/X.app/Y: the entry is encrypted"_s;
        QTest::newRow("method 12") << Build(one(u"Payload/X.app/Y"_s, text, method12))
                                   << u"entry Payload/X.app/Y: compression method 12 is not supported"_s;
        QTest::newRow("absolute") << Build(one(u"/etc/x"_s, text)) << u"absolute"_s;
        QTest::newRow("dot dot") << Build(one(u"a/../../x"_s, text)) << u"\"..\""_s;
        QTest::newRow("backslash") << Build(one(u"..\\x"_s, text)) << u"backslash"_s;
        QTest::newRow("drive letter") << Build(one(u"C:/x"_s, text)) << u"drive letter"_s;
        QTest::newRow("empty component") << Build(one(u"a//x"_s, text)) << u"empty component"_s;
        QTest::newRow("duplicate file") << Build(one(u"Payload/X.app/ok"_s, text)) << u"occurs twice"_s;
        QTest::newRow("through a file") << Build(one(u"Payload/X.app/ok/x"_s, text)) << u"through the file"_s;
        QTest::newRow("link out") << Build(links({{u"l"_s, "../x"}}))
                                  << u"entry l: the symbolic link points outside"_s;
        QTest::newRow("link absolute") << Build(links({{u"l"_s, "/etc"}})) << u"points outside"_s;
        QTest::newRow("link out through a link")
            << Build(links({{u"d/l2"_s, "../d2"}, {u"l1"_s, "d/l2/../.."}}))
            << u"entry l1: the symbolic link points"_s;
        QTest::newRow("link loop") << Build(links({{u"a"_s, "b"}, {u"b"_s, "a"}})) << u"points outside"_s;
        QTest::newRow("write through a link") << Build(links({{u"l"_s, "."}}, u"l/x"_s))
                                              << u"entry l/x: the path passes through the symbolic link l"_s;
        QTest::newRow("truncated archive")
            << Build([=] { return one(u"a"_s, text)().chopped(30); }) << u"no end of central directory"_s;
        QTest::newRow("truncated data") << Build([=] {
            QByteArray archive = one(u"a"_s, sampleBytes(100000, 4))();
            const qsizetype central = archive.lastIndexOf("PK\x01\x02");
            return archive.remove(central - 500, 500);
        }) << u"inconsistent"_s;
        QTest::newRow("corrupt deflate stream") << Build([=] {
            QByteArray archive = one(u"a"_s, text)();
            archive[60] = char(0xFF);
            archive[61] = char(0xFF);
            return archive;
        }) << u"entry a: "_s;
        QTest::newRow("overlapping entries") << Build([=] {
            ZipBuilder builder;
            ZipBuilder::Options stored;
            stored.method = ZipBuilder::Method::Stored;
            builder.addFile(u"a"_s, text, stored);
            builder.addFile(u"b"_s, text, stored);
            builder.centralRecord(0).compressedSize = builder.centralRecord(0).uncompressedSize = 4100;
            return builder.finish();
        }) << u"entry b: its data overlaps the entry a"_s;
        QTest::newRow("directory names another local header") << Build([=] {
            ZipBuilder builder;
            builder.addFile(u"a"_s, text);
            builder.addFile(u"b"_s, text);
            builder.centralRecord(1).localHeaderOffset = 0;
            return builder.finish();
        }) << u"entry b: the local header does not match"_s;
        QTest::newRow("entry count disagrees") << Build([=] {
            QByteArray archive = one(u"a"_s, text)();
            archive[archive.size() - 12] = 3; // entries in all
            archive[archive.size() - 14] = 3; // entries on this disk
            return archive;
        }) << u"central directory is inconsistent"_s;
        QTest::newRow("fifo") << Build([=] {
            ZipBuilder builder;
            builder.addFile(u"pipe"_s, {});
            builder.centralRecord(0).externalAttributes = 0010644u << 16;
            return builder.finish();
        }) << u"pipes"_s;
    }

    void refused() {
        QFETCH(Build, build);
        QFETCH(QString, message);
        Box box;
        ZipError error;
        QVERIFY(!box.extract(build(), &error));
        QVERIFY2(error.description().contains(message), qPrintable(error.description()));
        QCOMPARE(listTree(box.dest()), QStringList());
        QVERIFY(box.outsideUntouched());
    }

    void failedExtractionRemovesWhatItWrote() {
        ZipBuilder builder;
        for (int i = 0; i < 200; ++i)
            builder.addFile(u"Payload/X.app/d%1/f%2"_s.arg(i % 7).arg(i), sampleBytes(3000, quint32(i)));
        builder.addFolder(u"Payload/X.app/locked"_s, 0500);
        ZipBuilder::Options badCrc;
        badCrc.crc32 = 1;
        builder.addFile(u"Payload/X.app/bad"_s, sampleBytes(2000, 9), badCrc);
        builder.addSymlink(u"Payload/X.app/link"_s, "d1");
        Box box;
        ZipError error;
        QVERIFY(!box.extract(builder.finish(), &error));
        QCOMPARE(error.entryName, u"Payload/X.app/bad"_s);
        QCOMPARE(listTree(box.dest()), QStringList());
        QVERIFY(box.outsideUntouched());
    }

    // Paths deeper than PATH_MAX extract whole, and a failure below them takes back every folder.
    void extractsAndUndoesPathsDeeperThanPathMax_data() {
        QTest::addColumn<bool>("sound");
        QTest::newRow("sound") << true;
        QTest::newRow("bad checksum at the bottom") << false;
    }

    void extractsAndUndoesPathsDeeperThanPathMax() {
        QFETCH(bool, sound);
        constexpr int kLevels = 3000;
        ZipBuilder builder;
        ZipBuilder::Options options;
        if (!sound)
            options.crc32 = 1;
        builder.addFile(u"d/"_s.repeated(kLevels) + u'f', "deep", options);
        builder.addFile(u"d/d/beside"_s, "near the top");
        Box box;
        ZipError error;
        QCOMPARE(box.extract(builder.finish(), &error), sound);
        QCOMPARE(readDeepFile(box.dest(), kLevels), sound ? QByteArray("deep") : QByteArray("<missing>"));
        QCOMPARE(listTree(box.dest()).isEmpty(), !sound);
        QVERIFY(FileRemoval::remove(box.dest() + u"/d"_s));
        QVERIFY(box.outsideUntouched());
    }

    void neverWritesThroughExistingLinks() {
        Box box;
        QTemporaryDir outside;
        QVERIFY(QFile::link(outside.path(), box.dest() + u"/Payload"_s));
        QFile existing(box.dest() + u"/kept.txt"_s);
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("mine");
        existing.close();

        ZipBuilder builder;
        builder.addFile(u"Payload/X.app/Info.plist"_s, "plist");
        ZipError error;
        QVERIFY(!box.extract(builder.finish(), &error));
        QVERIFY2(error.reason.contains(u"other than a folder"_s), qPrintable(error.description()));
        QCOMPARE(QDir(outside.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());

        ZipBuilder overwrite;
        overwrite.addFile(u"fresh.txt"_s, "new");
        overwrite.addFile(u"kept.txt"_s, "theirs");
        QVERIFY(!box.extract(overwrite.finish(), &error));
        QCOMPARE(error.entryName, u"kept.txt"_s);
        QCOMPARE(readFile(box.dest() + u"/kept.txt"_s), "mine");
        QVERIFY(!QFile::exists(box.dest() + u"/fresh.txt"_s));
    }
};

KIVO_TEST_MAIN(TestZipExtractor)
#include "tst_zipextractor.moc"
