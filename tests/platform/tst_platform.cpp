#include "platform/defaultsstore.h"
#include "platform/localecompare.h"
#include "platform/standarddirs.h"
#include "platform/uuid.h"
#include "support/testmain.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

class TestPlatform : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void foldersLiveInTheTestHome() {
        const QString home = QString::fromUtf8(qgetenv("XDG_DATA_HOME"));
        QVERIFY(StandardDirs::applicationSupport().startsWith(home));
        QVERIFY(StandardDirs::applicationSupport().endsWith(u"/Kivo"_s));
        QCOMPARE(StandardDirs::documents(), StandardDirs::applicationSupport() + u"/Documents"_s);
        QVERIFY(StandardDirs::caches().startsWith(QString::fromUtf8(qgetenv("XDG_CACHE_HOME"))));
    }

    void uuidsAreCanonicalUpperCase() {
        static const QRegularExpression form(
            u"^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"_s);
        const QString a = newUuidString();
        QVERIFY2(form.match(a).hasMatch(), qPrintable(a));
        QVERIFY(a != newUuidString());
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

    void localeCompareIgnoresCase() {
        QCOMPARE(LocaleCompare::compare(u"apple"_s, u"APPLE"_s), 0);
        QVERIFY(LocaleCompare::lessThan(u"apple"_s, u"Banana"_s));
        QVERIFY(LocaleCompare::lessThan(u"Émile"_s, u"Zoe"_s));
        QVERIFY(LocaleCompare::sortKey(u"b"_s).compare(LocaleCompare::sortKey(u"A"_s)) > 0);
    }
};

KIVO_TEST_MAIN(TestPlatform)
#include "tst_platform.moc"
