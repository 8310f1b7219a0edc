#include "install/appbundlewriter.h"
#include "platform/atomicfile.h"
#include "platform/defaultsstore.h"
#include "platform/fileremoval.h"
#include "platform/propertylist.h"
#include "platform/singleinstance.h"
#include "platform/standarddirs.h"
#include "support/smallfilesystem.h"
#include "support/testfiles.h"
#include "support/testmain.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QUrl>
#include <QtEndian>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

QString corpusFile(const QString &name) {
    return corpusDir(u"plist"_s) + u"/data/"_s + name;
}

QDateTime utc(const QString &iso) {
    return QDateTime::fromString(iso, Qt::ISODate);
}

QByteArray bigEndian32(quint32 value) {
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

// A binary property list of the given objects, object 0 the root, four-byte offsets and references.
QByteArray binaryPlist(const QList<QByteArray> &objects) {
    QByteArray bytes("bplist00");
    QByteArray table;
    for (const QByteArray &object : objects) {
        table += bigEndian32(quint32(bytes.size()));
        bytes += object;
    }
    const quint32 tableOffset = quint32(bytes.size());
    bytes += table + QByteArray(6, '\0') + "\x04\x04" + QByteArray(4, '\0') +
             bigEndian32(quint32(objects.size())) + QByteArray(8, '\0') + QByteArray(4, '\0') +
             bigEndian32(tableOffset);
    return bytes;
}

// An array (marker 0xA) or a dictionary (0xD, keys first) of references.
QByteArray container(char type, const QList<quint32> &references) {
    const qsizetype count = type == 0xD ? references.size() / 2 : references.size();
    QByteArray bytes(1, char(type << 4 | std::min<qsizetype>(count, 0xF)));
    if (count >= 0xF)
        bytes += "\x12" + bigEndian32(quint32(count));
    for (const quint32 reference : references)
        bytes += bigEndian32(reference);
    return bytes;
}

// `depth` arrays inside one another, or with `fanOut` references each to the next: a tree of
// fanOut^depth values from a few hundred bytes.
QByteArray binaryNestedArrays(int depth, int fanOut = 1) {
    QList<QByteArray> objects;
    for (int i = 0; i < depth; ++i)
        objects.append(container(0xA, QList<quint32>(fanOut, quint32(i + 1))));
    objects.append(container(0xA, {}));
    return binaryPlist(objects);
}

} // namespace

// The platform stand-ins: folders, the settings store and property lists.
class TestPlatform : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The folders follow the XDG variables, which is how no test touches the real home.
    void foldersFollowTheXdgVariables() {
        QCOMPARE(StandardDirs::applicationSupport(),
                 QString::fromUtf8(qgetenv("XDG_DATA_HOME")) + u"/Kivo"_s);
        QCOMPARE(StandardDirs::documents(), StandardDirs::applicationSupport() + u"/Documents"_s);
        QVERIFY(StandardDirs::caches().startsWith(QString::fromUtf8(qgetenv("XDG_CACHE_HOME"))));
    }

    // Values must come back with their type from a fresh store: the INI backend returns scalars
    // as text, and a map must not be mistaken for something else.
    void defaultsRoundTripThroughTheFile() {
        {
            DefaultsStore store;
            store.setBool(u"kFlag"_s, false);
            store.setString(u"kText"_s, u"Name"_s);
            store.setBytes(u"kBytes"_s, QByteArray("\x00\x01[]", 4));
            store.setStringMap(u"kMap"_s, {{u"https://a/x.ipa"_s, u"F00D"_s}});
        }
        DefaultsStore store;
        QCOMPARE(store.boolValue(u"kFlag"_s), std::optional<bool>(false));
        QCOMPARE(store.string(u"kText"_s), std::optional<QString>(u"Name"_s));
        QCOMPARE(store.bytes(u"kBytes"_s), std::optional<QByteArray>(QByteArray("\x00\x01[]", 4)));
        QCOMPARE(store.stringMap(u"kMap"_s)->value(u"https://a/x.ipa"_s), u"F00D"_s);
        QVERIFY(!store.stringMap(u"kText"_s).has_value());
        QVERIFY(!store.boolValue(u"kMissing"_s).has_value());
        store.remove(u"kFlag"_s);
        QVERIFY(!DefaultsStore().contains(u"kFlag"_s));
    }

    // Settings an earlier version kept in the native format's file are there after an update.
    void earlierSettingsMoveOver() {
        QFile::remove(DefaultsStore().fileName());
        {
            QSettings earlier(QSettings::NativeFormat, QSettings::UserScope, u"Kivo"_s, u"Kivo"_s);
            earlier.setValue(u"kEarlierFlag"_s, true);
            earlier.setValue(u"kEarlierBytes"_s, QByteArray("\x00\x01", 2));
            earlier.setValue(u"kEarlierMap"_s, QVariantMap{{u"https://a/x.ipa"_s, u"F00D"_s}});
        }
        DefaultsStore store;
        QCOMPARE(store.boolValue(u"kEarlierFlag"_s), std::optional<bool>(true));
        QCOMPARE(store.bytes(u"kEarlierBytes"_s), std::optional<QByteArray>(QByteArray("\x00\x01", 2)));
        QCOMPARE(store.stringMap(u"kEarlierMap"_s)->value(u"https://a/x.ipa"_s), u"F00D"_s);
        QVERIFY(QFileInfo::exists(store.fileName()));
    }

    // On a full disk a save fails, says so, and leaves the old file whole; Qt's QSaveFile and
    // QSettings report success there and leave an empty file. Once there is room it works.
    void savesOnAFullDiskKeepTheOldFile_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("bytes (repos.json, resume data, journal)") << u"bytes"_s;
        QTest::newRow("property list") << u"plist"_s;
        QTest::newRow("settings") << u"settings"_s;
    }

    void savesOnAFullDiskKeepTheOldFile() {
        QFETCH(QString, kind);
        const bool settings = kind == u"settings"_s;
        QVERIFY(DefaultsStore().setString(u"kOld"_s, u"kept"_s));
        const QString file =
            settings ? DefaultsStore().fileName() : StandardDirs::applicationSupport() + u"/full/saved"_s;
        const QByteArray old = settings ? readFile(file) : QByteArray("old");
        const QString newText(6000, u'n');
        const auto save = [&] {
            if (kind == u"bytes"_s)
                return AtomicFile::write(file, newText.toUtf8());
            if (kind == u"plist"_s)
                return PropertyList::writeXml(file, {{u"new"_s, newText}});
            return DefaultsStore().setString(u"kNew"_s, newText);
        };

        const SmallFileSystem disk(QFileInfo(file).path(), 64 * 1024);
        if (!disk.isMounted())
            QSKIP("No right to mount a small file system here");
        QVERIFY(writeFile(file, old) && disk.fill(4096));
        QVERIFY(!save());
        QCOMPARE(readFile(file), old);
        QCOMPARE(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{u".filler"_s, QFileInfo(file).fileName()}));
        if (settings) {
            QVERIFY(!DefaultsStore().string(u"kNew"_s));
            QCOMPARE(DefaultsStore().string(u"kOld"_s), std::optional<QString>(u"kept"_s));
        }

        QVERIFY(disk.resize(1024 * 1024));
        QVERIFY(save());
        QVERIFY(readFile(file).contains(newText.toUtf8()));
    }

    // One Kivo at a time: a second launch hands over to the running one and leaves; a lock and
    // socket left by a killed instance are taken over. Real processes, in this test's own
    // runtime folder.
    void aSecondLaunchHandsOver() {
        const auto launch = [](QProcess &process) {
            process.start(QString::fromUtf8(INSTANCE_CHILD));
            return process.waitForReadyRead(10000) ? process.readLine().trimmed() : QByteArray();
        };
        QProcess first;
        QCOMPARE(launch(first), QByteArray("running"));
        QProcess second;
        QCOMPARE(launch(second), QByteArray("handed over"));
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(first.waitForReadyRead(10000));
        QCOMPARE(first.readLine().trimmed(), QByteArray("asked to come to the front"));

        first.kill();
        QVERIFY(first.waitForFinished());
        QVERIFY(QFileInfo::exists(SingleInstance::runtimeFolder() + u"/kivo.socket"_s));
        QProcess third;
        QCOMPARE(launch(third), QByteArray("running"));
        third.kill();
        QVERIFY(third.waitForFinished());
    }

    void readsTheCorpus_data() {
        KIVO_SKIP_WITHOUT_CORPUS(u"plist"_s);
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("readable");
        for (const char *name :
             {"1.plist", "2.plist", "3.plist", "4.plist", "6.plist", "7.plist", "data.bplist", "uid.bplist",
              "hex.plist", "cdata.plist", "entities.plist", "empty_keys.plist"})
            QTest::newRow(name) << QString::fromLatin1(name) << true;
        // Broken files, and formats outside XML and binary.
        for (const char *name : {"amp.plist", "invalid_tag.plist", "malformed_dict.bplist",
                                 "recursion.bplist", "j1.json", "o1.ostep"})
            QTest::newRow(name) << QString::fromLatin1(name) << false;
    }

    void readsTheCorpus() {
        QFETCH(QString, file);
        QFETCH(bool, readable);
        QString error;
        QCOMPARE(PropertyList::read(corpusFile(file), &error).has_value(), readable);
        QVERIFY2(readable || error.contains(file), qPrintable(error));
    }

    // Every offset and reference width of the binary format, and signed and unsigned integers,
    // give the same tree as the XML form.
    void binaryMatchesXml_data() {
        KIVO_SKIP_WITHOUT_CORPUS(u"plist"_s);
        QTest::addColumn<QString>("binary");
        QTest::addColumn<QString>("xml");
        for (int width = 1; width <= 8; ++width) {
            const QString suffix = width == 1 ? u"byte.bplist"_s : u"bytes.bplist"_s;
            for (const QString &kind : {u"off"_s, u"dictref"_s})
                QTest::newRow(qPrintable(kind + QString::number(width)))
                    << kind + QString::number(width) + suffix << u"offxml.plist"_s;
        }
        for (const QString &name : {u"order"_s, u"signed"_s, u"unsigned"_s, u"signedunsigned"_s})
            QTest::newRow(qPrintable(name)) << name + u".bplist"_s << name + u".plist"_s;
    }

    void binaryMatchesXml() {
        QFETCH(QString, binary);
        QFETCH(QString, xml);
        const auto fromBinary = PropertyList::read(corpusFile(binary));
        const auto fromXml = PropertyList::read(corpusFile(xml));
        QVERIFY(fromBinary && fromXml);
        QCOMPARE(*fromBinary, *fromXml);
    }

    void readsScalarTypes() {
        KIVO_SKIP_WITHOUT_CORPUS(u"plist"_s);
        QCOMPARE(*PropertyList::read(corpusFile(u"signed.plist"_s)), QVariant(qint64(-1)));
        const QVariantMap dates = PropertyList::readDictionary(corpusFile(u"7.plist"_s)).value();
        QCOMPARE(dates.value(u"Time1"_s).toDateTime(), utc(u"2010-11-12T13:14:15Z"_s));
        // Beyond 32-bit seconds from 2001, in both directions.
        QCOMPARE(dates.value(u"Time3"_s).toDateTime(), utc(u"1869-01-03T08:16:32Z"_s));
        QCOMPARE(dates.value(u"Time4"_s).toDateTime(), utc(u"2199-08-20T01:10:11Z"_s));
        const QVariant data =
            PropertyList::readDictionary(corpusFile(u"data.bplist"_s))->value(u"Some Data"_s);
        QVERIFY(data.typeId() == QMetaType::QByteArray && data.toByteArray().startsWith("0123456789TEST"));
    }

    void roundTripsEveryTypeThroughXml() {
        const QVariantMap original{
            {u"text"_s, u"Grüße <&> \"quoted\""_s},
            {u"negative"_s, qint64(-42)},
            {u"big"_s, qint64(1) << 40},
            {u"real"_s, 0.5},
            {u"flag"_s, true},
            {u"date"_s, utc(u"2024-02-29T23:59:58Z"_s)},
            {u"bytes"_s, QByteArray("\x00\xff\x10", 3)},
            {u"LCContainers"_s, QVariantList{QVariantMap{{u"folderName"_s, u"ABC"_s}}, QVariantList{}}},
        };
        QTemporaryDir dir;
        const QString path = dir.filePath(u"LCAppInfo.plist"_s);
        QVERIFY(PropertyList::writeXml(path, {{u"old"_s, 1}}));
        QString error;
        QVERIFY2(PropertyList::writeXml(path, original, &error), qPrintable(error));
        QCOMPARE(PropertyList::readDictionary(path, &error), std::optional<QVariantMap>(original));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"LCAppInfo.plist"_s});
        // The binary form of the same list, as libplist writes it, reads back the same.
        const QByteArray binaryBytes = AppBundleWriter::plistBytes(original, AppBundleWriter::Format::Binary);
        QVERIFY(binaryBytes.startsWith("bplist00"));
        QCOMPARE(PropertyList::parse(binaryBytes, &error), std::optional<QVariant>(original));
    }

    // libplist 2.2 recurses per level, copies shared objects per reference and aborts on a key
    // holding NUL: such lists never reach it. Lists at the limits still read.
    void refusesWhatLibplistCannotBear_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("errorPart"); // empty: read
        QTest::newRow("XML 256 deep") << nestedArraysPlist(256) << QString();
        QTest::newRow("XML nested 200000 deep") << nestedArraysPlist(200000) << u"nested more than 256"_s;
        QTest::newRow("XML nesting in a comment")
            << "<!--" + nestedArraysPlist(1000) + "--><plist><true/></plist>" << QString();
        QTest::newRow("XML key holding NUL")
            << QByteArray("<plist><dict><key>a") + '\0' + "b</key><true/></dict></plist>" << u"neither"_s;
        QTest::newRow("XML over 8 MB") << QByteArray(9 << 20, ' ') + "<plist><true/></plist>" << u"larger"_s;
        QTest::newRow("binary 256 deep") << binaryNestedArrays(256) << QString();
        QTest::newRow("binary nested 200000 deep") << binaryNestedArrays(200000) << u"nested more than"_s;
        QTest::newRow("binary shared 2^40 times") << binaryNestedArrays(40, 2) << u"expands to more than"_s;
        QTest::newRow("binary cycle") << binaryPlist({container(0xA, {0})}) << u"refers to itself"_s;
        QTest::newRow("binary key holding NUL") << binaryPlist({container(0xD, {1, 2}),
                                                                QByteArray("\x53"
                                                                           "a\0b",
                                                                           4),
                                                                QByteArray("\x09")})
                                                << u"neither"_s;
        QTest::newRow("binary plain key") << binaryPlist({container(0xD, {1, 2}),
                                                          QByteArray("\x53"
                                                                     "a-b"),
                                                          QByteArray("\x09")})
                                          << QString();
    }

    void refusesWhatLibplistCannotBear() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, errorPart);
        QString error;
        QCOMPARE(PropertyList::parse(bytes, &error).has_value(), errorPart.isEmpty());
        QVERIFY2(error.contains(errorPart), qPrintable(error));
    }

    // "Info.plist" and "LCAppInfo.plist" come with archives: a link or a FIFO in their place is
    // neither read (a FIFO would block) nor written through.
    void readsAndWritesOnlyRegularFiles() {
        QTemporaryDir dir;
        const QString target = dir.filePath(u"other.plist"_s);
        QVERIFY(PropertyList::writeXml(target, {{u"v"_s, 1}}));
        const QByteArray before = readFile(target);
        QVERIFY(QFile::link(target, dir.filePath(u"link.plist"_s)));
        QVERIFY(::mkfifo(QFile::encodeName(dir.filePath(u"fifo.plist"_s)).constData(), 0600) == 0);
        QString error;
        QVERIFY(!PropertyList::read(dir.filePath(u"link.plist"_s), &error));
        QVERIFY2(error.contains(u"symbolic link"_s), qPrintable(error));
        QVERIFY(!PropertyList::read(dir.filePath(u"fifo.plist"_s), &error));
        QVERIFY2(error.contains(u"not a regular file"_s), qPrintable(error));
        QVERIFY(!PropertyList::writeXml(dir.filePath(u"link.plist"_s), {{u"v"_s, 2}}, &error));
        QCOMPARE(readFile(target), before);
    }

    // Removal works at any depth, never leaves through a link and never takes a path it was
    // not plainly given; what it could not remove it names.
    void removesTreesOfAnyDepthAndNothingElse_data() {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("errorPart"); // empty: removed
        QTest::newRow("a file") << u"file"_s << QString();
        QTest::newRow("nothing there") << u"none"_s << QString();
        QTest::newRow("a tree deeper than PATH_MAX") << u"deep"_s << QString();
        QTest::newRow("links inside lead outside") << u"links"_s << QString();
        QTest::newRow("the path is a link") << u"link"_s << QString();
        QTest::newRow("folders without permissions") << u"locked"_s << QString();
        QTest::newRow("empty path") << u""_s << u"not an absolute path"_s;
        QTest::newRow("relative path") << u"."_s << u"not an absolute path"_s;
        QTest::newRow("unremovable") << u"/proc/self/status"_s << u"/proc/self/status"_s;
    }

    void removesTreesOfAnyDepthAndNothingElse() {
        QFETCH(QString, layout);
        QFETCH(QString, errorPart);
        QTemporaryDir dir;
        const QString outside = dir.filePath(u"outside"_s);
        QVERIFY(writeFile(outside + u"/keep.txt"_s, "keep"));
        const QString tree = dir.filePath(u"tree"_s);
        const QStringList workingFolder = QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        const QString path = layout.isEmpty() || layout == u"."_s || layout.startsWith(u'/') ? layout : tree;
        if (layout == u"file"_s)
            QVERIFY(writeFile(tree, "x"));
        else if (layout == u"deep"_s)
            QVERIFY(makeDeepTree(tree, 2500));
        else if (layout == u"link"_s)
            QVERIFY(QFile::link(outside, tree));
        else if (layout == u"links"_s)
            QVERIFY(QDir().mkpath(tree + u"/a"_s) && QFile::link(outside, tree + u"/a/folder"_s) &&
                    QFile::link(outside + u"/keep.txt"_s, tree + u"/file"_s));
        else if (layout == u"locked"_s)
            QVERIFY(writeFile(tree + u"/a/b/c.txt"_s, "c") && QFile::setPermissions(tree + u"/a/b"_s, {}) &&
                    QFile::setPermissions(tree + u"/a"_s, QFile::ReadOwner | QFile::ExeOwner));

        QString error;
        QCOMPARE(FileRemoval::remove(path, &error), errorPart.isEmpty());
        QVERIFY2(error.contains(errorPart), qPrintable(error));
        if (errorPart.isEmpty())
            QVERIFY(!QFileInfo::exists(tree) && !QFileInfo(tree).isSymLink());
        QCOMPARE(readFile(outside + u"/keep.txt"_s), "keep");
        QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot), workingFolder);
    }

    void failuresSayWhatAndWhere() {
        QTemporaryDir dir;
        QString error;
        // A value with no property-list form leaves the old file untouched.
        const QString path = dir.filePath(u"keep.plist"_s);
        QVERIFY(PropertyList::writeXml(path, {{u"v"_s, 1}}));
        QVERIFY(!PropertyList::writeXml(path, {{u"outer"_s, QVariantMap{{u"link"_s, QUrl(u"https://a"_s)}}}},
                                        &error));
        QVERIFY2(error.contains(u"outer/link"_s), qPrintable(error));
        QCOMPARE(PropertyList::readDictionary(path)->value(u"v"_s), QVariant(qint64(1)));

        QVERIFY(!PropertyList::writeXml(dir.filePath(u"missing/x.plist"_s), {}, &error));
        QVERIFY2(error.contains(u"missing/x.plist"_s), qPrintable(error));
        const QString number = dir.filePath(u"number.plist"_s);
        QVERIFY(
            writeFile(number, "<?xml version=\"1.0\"?><plist version=\"1.0\"><integer>-1</integer></plist>"));
        QVERIFY(!PropertyList::readDictionary(number, &error));
        QVERIFY2(error.contains(u"not a dictionary"_s), qPrintable(error));
        QVERIFY(!PropertyList::parse("bplist00 truncated", &error));
    }
};

KIVO_TEST_MAIN(TestPlatform)
#include "tst_platform.moc"
