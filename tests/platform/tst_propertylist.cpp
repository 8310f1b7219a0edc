#include "platform/propertylist.h"
#include "support/testmain.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

QString corpusFile(const QString &name) {
    return corporaDir() + u"/plist/data/"_s + name;
}

} // namespace

class TestPropertyList : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readsTheCorpus_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("readable");
        const QStringList good = {u"1.plist"_s,
                                  u"2.plist"_s,
                                  u"3.plist"_s,
                                  u"4.plist"_s,
                                  u"6.plist"_s,
                                  u"7.plist"_s,
                                  u"data.bplist"_s,
                                  u"offxml.plist"_s,
                                  u"order.bplist"_s,
                                  u"order.plist"_s,
                                  u"signed.plist"_s,
                                  u"signed.bplist"_s,
                                  u"unsigned.plist"_s,
                                  u"unsigned.bplist"_s,
                                  u"signedunsigned.plist"_s,
                                  u"signedunsigned.bplist"_s,
                                  u"uid.bplist"_s,
                                  u"hex.plist"_s,
                                  u"cdata.plist"_s,
                                  u"entities.plist"_s,
                                  u"empty_keys.plist"_s};
        for (const QString &name : good)
            QTest::newRow(qPrintable(name)) << name << true;
        // Broken files, and formats outside XML and binary.
        const QStringList bad = {u"amp.plist"_s,        u"invalid_tag.plist"_s, u"malformed_dict.bplist"_s,
                                 u"recursion.bplist"_s, u"j1.json"_s,           u"o1.ostep"_s,
                                 u"test.strings"_s};
        for (const QString &name : bad)
            QTest::newRow(qPrintable(name)) << name << false;
    }

    void readsTheCorpus() {
        QFETCH(QString, file);
        QFETCH(bool, readable);
        QString error;
        const auto value = PropertyList::read(corpusFile(file), &error);
        QCOMPARE(value.has_value(), readable);
        if (!readable) {
            QVERIFY2(error.contains(file), qPrintable(error));
            QVERIFY(!error.contains(u"\"\""_s));
        }
    }

    // Every offset and reference width of the binary format must give the same tree.
    void binaryWidthsMatchTheXmlReference_data() {
        QTest::addColumn<QString>("file");
        for (int width = 1; width <= 8; ++width) {
            const QString suffix = width == 1 ? u"byte.bplist"_s : u"bytes.bplist"_s;
            QTest::newRow(qPrintable(u"off%1"_s.arg(width))) << u"off%1"_s.arg(width) + suffix;
            QTest::newRow(qPrintable(u"dictref%1"_s.arg(width))) << u"dictref%1"_s.arg(width) + suffix;
        }
    }

    void binaryWidthsMatchTheXmlReference() {
        QFETCH(QString, file);
        const auto reference = PropertyList::read(corpusFile(u"offxml.plist"_s));
        const auto binary = PropertyList::read(corpusFile(file));
        QVERIFY(reference && binary);
        QCOMPARE(*binary, *reference);
        QVERIFY(!reference->toMap().isEmpty());
    }

    void binaryAndXmlAgree_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("order") << u"order"_s;
        QTest::newRow("signed") << u"signed"_s;
        QTest::newRow("unsigned") << u"unsigned"_s;
        QTest::newRow("signedunsigned") << u"signedunsigned"_s;
    }

    void binaryAndXmlAgree() {
        QFETCH(QString, name);
        const auto xml = PropertyList::read(corpusFile(name + u".plist"_s));
        const auto binary = PropertyList::read(corpusFile(name + u".bplist"_s));
        QVERIFY(xml && binary);
        QCOMPARE(*binary, *xml);
    }

    void readsScalarTypes() {
        QCOMPARE(PropertyList::read(corpusFile(u"signed.plist"_s))->toLongLong(), -1);
        QCOMPARE(PropertyList::read(corpusFile(u"signed.plist"_s))->typeId(), QMetaType::LongLong);

        const QVariantMap dates = PropertyList::readDictionary(corpusFile(u"7.plist"_s)).value();
        QCOMPARE(dates.value(u"Time1"_s).toDateTime(),
                 QDateTime::fromString(u"2010-11-12T13:14:15Z"_s, Qt::ISODate));
        // Beyond 32-bit seconds from 2001 in both directions.
        QCOMPARE(dates.value(u"Time3"_s).toDateTime(),
                 QDateTime::fromString(u"1869-01-03T08:16:32Z"_s, Qt::ISODate));
        QCOMPARE(dates.value(u"Time4"_s).toDateTime(),
                 QDateTime::fromString(u"2199-08-20T01:10:11Z"_s, Qt::ISODate));

        const QVariantMap data = PropertyList::readDictionary(corpusFile(u"data.bplist"_s)).value();
        QCOMPARE(data.value(u"Some Data"_s).typeId(), QMetaType::QByteArray);
        QVERIFY(data.value(u"Some Data"_s).toByteArray().startsWith("0123456789TEST"));

        const QVariantMap emptyKeys = PropertyList::readDictionary(corpusFile(u"empty_keys.plist"_s)).value();
        QCOMPARE(emptyKeys.value(QString()).toString().startsWith(u"empty key"_s), true);
    }

    void roundTripsEveryTypeThroughXml() {
        const QDateTime date(QDate(2024, 2, 29), QTime(23, 59, 58), Qt::UTC);
        const QVariantMap original{
            {u"text"_s, u"Grüße <&> \"quoted\""_s},
            {u"negative"_s, qint64(-42)},
            {u"big"_s, qint64(1) << 40},
            {u"real"_s, 0.5},
            {u"yes"_s, true},
            {u"no"_s, false},
            {u"date"_s, date},
            {u"bytes"_s, QByteArray("\x00\xff\x10", 3)},
            {u"LCContainers"_s, QVariantList{QVariantMap{{u"folderName"_s, u"ABC"_s}}, QVariantList{}}},
            {u"empty"_s, QVariantMap{}},
        };
        QTemporaryDir dir;
        const QString path = dir.filePath(u"LCAppInfo.plist"_s);
        QString error;
        QVERIFY2(PropertyList::writeXml(path, original, &error), qPrintable(error));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().startsWith("<?xml"));
        const auto back = PropertyList::readDictionary(path, &error);
        QVERIFY2(back, qPrintable(error));
        QCOMPARE(*back, original);
    }

    void writingReplacesTheFileWhole() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"Info.plist"_s);
        QVERIFY(PropertyList::writeXml(path, {{u"v"_s, u"1"_s}}));
        QVERIFY(PropertyList::writeXml(path, {{u"v"_s, u"2"_s}}));
        QCOMPARE(PropertyList::readDictionary(path)->value(u"v"_s).toString(), u"2"_s);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"Info.plist"_s});
    }

    void failuresSayWhatAndWhere() {
        QTemporaryDir dir;
        QString error;

        // A value with no property-list form leaves the old file untouched.
        const QString path = dir.filePath(u"keep.plist"_s);
        QVERIFY(PropertyList::writeXml(path, {{u"v"_s, 1}}));
        const QVariantMap unwritable{{u"outer"_s, QVariantMap{{u"link"_s, QUrl(u"https://a"_s)}}}};
        QVERIFY(!PropertyList::writeXml(path, unwritable, &error));
        QVERIFY2(error.contains(u"outer/link"_s), qPrintable(error));
        QCOMPARE(PropertyList::readDictionary(path)->value(u"v"_s).toLongLong(), 1);

        QVERIFY(!PropertyList::writeXml(dir.filePath(u"missing/folder/x.plist"_s), {}, &error));
        QVERIFY2(error.contains(u"missing/folder/x.plist"_s), qPrintable(error));

        QVERIFY(!PropertyList::read(dir.filePath(u"absent.plist"_s), &error));
        QVERIFY2(error.contains(u"absent.plist"_s), qPrintable(error));

        QVERIFY(!PropertyList::readDictionary(corpusFile(u"signed.plist"_s), &error));
        QVERIFY2(error.contains(u"not a dictionary"_s), qPrintable(error));

        QVERIFY(!PropertyList::parse(QByteArray(), &error));
        QVERIFY(!PropertyList::parse("bplist00 truncated", &error));
        QVERIFY(!error.isEmpty());
    }
};

KIVO_TEST_MAIN(TestPropertyList)
#include "tst_propertylist.moc"
