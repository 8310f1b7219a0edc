#include "model/exportablerepo.h"
#include "model/jsonreader.h"
#include "model/jsonwriter.h"
#include "model/repoexchange.h"
#include "model/reporesponse.h"
#include "model/savedrepo.h"
#include "model/storedform.h"
#include "support/testmain.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>

#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

AppItem app(const QString &name, const QString &downloadURL) {
    AppItem item;
    item.name = name;
    item.bundleIdentifier = u"com.example."_s + name.toLower();
    item.version = u"1.0"_s;
    item.downloadURL = downloadURL;
    return item;
}

SavedRepo repo(const QString &address, bool enabled = true, qint64 appCount = 0) {
    SavedRepo node;
    node.id = address;
    node.name = u"Repo "_s + address;
    node.url = QUrl(address);
    node.isEnabled = enabled;
    node.appCount = appCount;
    return node;
}

SavedRepo folder(const QString &name, const QList<SavedRepo> &children, bool enabled = true) {
    SavedRepo node;
    node.id = u"F-"_s + name;
    node.name = name;
    node.isEnabled = enabled;
    node.children = children;
    return node;
}

SavedRepo linkedFolder(const QString &name, const QString &listAddress) {
    SavedRepo node = folder(name, {});
    node.repoListURL = QUrl(listAddress);
    return node;
}

// JSON written with single quotes, which read better in C++ literals than escaped double quotes.
QByteArray j(const char *json) {
    return QByteArray(json).replace('\'', '"');
}

// A feed with one entry, for the cases that are about one entry's keys.
QByteArray feedWithEntry(const QByteArray &entry) {
    return j("{'name':'Repo','apps':[") + entry + "]}";
}

// The process's mapped address space, in bytes.
qint64 addressSpaceInUse() {
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmSize:"))
            return line.mid(7).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return 0;
}

const QByteArray kBig = "123456789012345678901234567890";

const QRegularExpression uuidForm(u"^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"_s);

} // namespace

class TestModel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // ---- records -------------------------------------------------------------------------------

    void derivedValues_data() {
        QTest::addColumn<SavedRepo>("node");
        QTest::addColumn<qint64>("enabledAppCount");
        QTest::addColumn<qint64>("repoCount");
        QTest::addColumn<bool>("containsDisabled");

        QTest::newRow("enabled repository")
            << repo(u"https://a"_s, true, 7) << qint64(7) << qint64(1) << false;
        QTest::newRow("disabled repository")
            << repo(u"https://a"_s, false, 7) << qint64(0) << qint64(1) << true;
        QTest::newRow("empty folder") << folder(u"F"_s, {}) << qint64(0) << qint64(0) << false;
        QTest::newRow("disabled empty folder") << folder(u"F"_s, {}, false) << qint64(0) << qint64(0) << true;
        QTest::newRow("folder with a disabled repository deep down")
            << folder(u"F"_s,
                      {repo(u"https://a"_s, true, 3),
                       folder(u"G"_s, {repo(u"https://b"_s, false, 5), repo(u"https://c"_s, true, 2)})})
            << qint64(5) << qint64(3) << true;
        // The folder's own switch is not looked at when counting its apps.
        QTest::newRow("disabled folder still sums its children")
            << folder(u"F"_s, {repo(u"https://a"_s, true, 4)}, false) << qint64(4) << qint64(1) << true;
    }

    void derivedValues() {
        QFETCH(qint64, enabledAppCount);
        QFETCH(qint64, repoCount);
        QFETCH(bool, containsDisabled);
        QFETCH(SavedRepo, node);
        QCOMPARE(node.enabledAppCount(), enabledAppCount);
        QCOMPARE(node.repoCount(), repoCount);
        QCOMPARE(node.containsDisabled(), containsDisabled);
    }

    // Every field takes part in equality and hashing, down into the children.
    void equalityAndHashCoverEveryField() {
        SavedRepo base = folder(u"F"_s, {repo(u"https://a"_s)});
        base.children->first().cachedApps = QList<AppItem>{app(u"A"_s, u"https://x/a.ipa"_s)};
        QList<std::function<void(SavedRepo &)>> changes = {
            [](SavedRepo &r) { r.id = u"other"_s; },
            [](SavedRepo &r) { r.name = u"other"_s; },
            [](SavedRepo &r) { r.url = QUrl(u"https://b"_s); },
            [](SavedRepo &r) { r.iconURL = u""_s; },
            [](SavedRepo &r) { r.isEnabled = false; },
            [](SavedRepo &r) { r.children.reset(); },
            [](SavedRepo &r) { r.appCount = 1; },
            [](SavedRepo &r) { r.repoListURL = QUrl(u"https://l"_s); },
            [](SavedRepo &r) { r.cachedApps = QList<AppItem>{}; },
            [](SavedRepo &r) { r.fetchStatus = RepoFetchStatus::error(u"x"_s); },
            [](SavedRepo &r) { r.children->first().fetchStatus = RepoFetchStatus::loading(); },
            [](SavedRepo &r) { r.children->first().cachedApps->first().size = 0; },
            [](SavedRepo &r) { r.children->first().cachedApps->first().screenshotURLs = {u"s"_s}; },
        };
        QSet<size_t> hashes{qHash(base)};
        for (qsizetype i = 0; i < changes.size(); ++i) {
            SavedRepo changed = base;
            changes[i](changed);
            QVERIFY2(!(changed == base), qPrintable(QString::number(i)));
            hashes.insert(qHash(changed));
        }
        QCOMPARE(hashes.size(), changes.size() + 1);
        QCOMPARE(SavedRepo(base), base);

        QCOMPARE(RepoFetchStatus::error(u"a"_s), RepoFetchStatus::error(u"a"_s));
        QVERIFY(!(RepoFetchStatus::error(u"a"_s) == RepoFetchStatus::error(u"b"_s)));
        QVERIFY(!(RepoFetchStatus::waiting() == RepoFetchStatus::loading()));
        QCOMPARE(SavedRepo().fetchStatus, RepoFetchStatus::idle());
    }

    // ---- the JSON writer ---------------------------------------------------------------------

    void writerEscapesStrings_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("plain") << u"https://a/b?c=d"_s << j("'https://a/b?c=d'");
        QTest::newRow("quote and backslash") << u"a\"b\\c"_s << j("'a\\'b\\\\c'");
        QTest::newRow("named controls") << u"\b\f\n\r\t"_s << j("'\\b\\f\\n\\r\\t'");
        QTest::newRow("other controls")
            << QString(QChar(0)) + QChar(0x1f) + QChar(0x7f) << QByteArray("\"\\u0000\\u001f\x7f\"");
        QTest::newRow("accents and CJK kept as UTF-8")
            << u"Café 日本"_s << QByteArray("\"Caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac\"");
        QTest::newRow("emoji") << u"😀"_s << QByteArray("\"\xf0\x9f\x98\x80\"");
        QTest::newRow("line separator") << QString(QChar(0x2028)) << QByteArray("\"\xe2\x80\xa8\"");
        QTest::newRow("lone surrogate replaced")
            << QString(QChar(0xd800)) + u"x"_s << QByteArray("\"\xef\xbf\xbdx\"");
        QTest::newRow("empty") << QString() << j("''");
    }

    void writerEscapesStrings() {
        QFETCH(QByteArray, json);
        QFETCH(QString, text);
        JsonWriter writer;
        writer.value(text);
        QCOMPARE(writer.bytes(), json);
        // Another parser reads the text back unchanged (lone surrogates aside).
        const QJsonDocument document = QJsonDocument::fromJson("[" + writer.bytes() + "]");
        QVERIFY(document.isArray());
        if (!text.contains(QChar(0xd800)))
            QCOMPARE(document.array().first().toString(), text);
    }

    // ---- the feed ------------------------------------------------------------------------------

    void feedEntries_data() {
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<AppItem>("expected");

        const QByteArray required = j("'name':'Ünïcödé App','version':'1.2','downloadURL':'https://x/a.ipa'");
        AppItem base;
        base.name = u"Ünïcödé App"_s;
        base.bundleIdentifier = u"unknown.bundle.id"_s;
        base.version = u"1.2"_s;
        base.downloadURL = u"https://x/a.ipa"_s;

        QTest::newRow("only the required keys") << "{" + required + "}" << base;

        AppItem item = base;
        item.bundleIdentifier = u"com.a"_s;
        QTest::newRow("bundleID alternative") << "{" + required + j(",'bundleID':'com.a'}") << item;
        QTest::newRow("bundleIdentifier wins")
            << "{" + required + j(",'bundleID':'x','bundleIdentifier':'com.a'}") << item;
        QTest::newRow("mistyped bundleIdentifier falls back")
            << "{" + required + j(",'bundleIdentifier':5,'bundleID':'com.a'}") << item;

        item = base;
        item.iconURL = u"https://x/i.png"_s;
        QTest::newRow("icon alternative")
            << "{" + required + j(",'iconURL':7,'icon':'https://x/i.png'}") << item;
        QTest::newRow("null icon") << "{" + required + j(",'iconURL':null,'icon':null}") << base;

        item = base;
        item.screenshotURLs = {u"s1"_s, u"s2"_s};
        QTest::newRow("screenshots alternative") << "{" + required + j(",'screenshots':['s1','s2']}") << item;
        QTest::newRow("screenshotURLs with a null falls back")
            << "{" + required + j(",'screenshotURLs':['a',null],'screenshots':['s1','s2']}") << item;
        QTest::newRow("screenshots of objects are ignored")
            << "{" + required + j(",'screenshots':[{'imageURL':'s1'}]}") << base;

        item = base;
        item.size = 1024;
        QTest::newRow("size") << "{" + required + j(",'size':1024}") << item;
        item.size = -1;
        QTest::newRow("negative size") << "{" + required + j(",'size':-1}") << item;

        item = base;
        item.versionDate = u"2024-05-01T10:00:00Z"_s;
        item.localizedDescription = u"Line 1\nLine 2 — ✓"_s;
        item.sourceRepoName = u"Cached"_s;
        QTest::newRow("optional texts")
            << "{" + required +
                   j(",'versionDate':'2024-05-01T10:00:00Z','localizedDescription':'Line 1\\nLine 2 — "
                     "✓','sourceRepoName':'Cached'}")
            << item;
        QTest::newRow("nulls are absent")
            << "{" + required +
                   j(",'versionDate':null,'size':null,'localizedDescription':null,'sourceRepoName':null}")
            << base;
        QTest::newRow("nested versions and unknown keys are ignored")
            << "{" + required + j(",'versions':[{'version':5}],'Name':1,'beta':true}") << base;
    }

    void feedEntries() {
        QFETCH(AppItem, expected);
        QFETCH(QByteArray, entry);
        const DecodeResult<RepoResponse> result = RepoResponse::decode(feedWithEntry(entry));
        QVERIFY2(result.ok(), qPrintable(result.error()));
        QCOMPARE(result->apps.size(), 1);
        QCOMPARE(result->apps.first(), expected);
    }

    // One faulty entry fails the whole document, and the description says where and what.
    void feedFailures_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("error");

        const QByteArray good = j("{'name':'A','version':'1','downloadURL':'u'}");
        auto feed = [&good](const QByteArray &bad) -> QByteArray {
            return j("{'name':'Repo','apps':[") + good + "," + good + "," + bad + "," + good + "]}";
        };
        QTest::newRow("version a number") << feed(j("{'name':'A','version':2,'downloadURL':'u'}"))
                                          << u"apps[2].version: expected a string, found a number"_s;
        QTest::newRow("name missing") << feed(j("{'version':'1','downloadURL':'u'}"))
                                      << u"apps[2].name: expected a string, but the key is missing"_s;
        QTest::newRow("downloadURL null") << feed(j("{'name':'A','version':'1','downloadURL':null}"))
                                          << u"apps[2].downloadURL: expected a string, found null"_s;
        QTest::newRow("icon a number")
            << feed(j("{'name':'A','version':'1','downloadURL':'u','iconURL':1,'icon':2}"))
            << u"apps[2].icon: expected a string, found a number"_s;
        QTest::newRow("size with a fraction")
            << feed(j("{'name':'A','version':'1','downloadURL':'u','size':42.0}"))
            << u"apps[2].size: expected an integer, found a number with a fraction or an exponent"_s;
        QTest::newRow("size as text") << feed(j("{'name':'A','version':'1','downloadURL':'u','size':'42'}"))
                                      << u"apps[2].size: expected an integer, found a string"_s;
        QTest::newRow("versionDate a number")
            << feed(j("{'name':'A','version':'1','downloadURL':'u','versionDate':20240501}"))
            << u"apps[2].versionDate: expected a string, found a number"_s;
        QTest::newRow("entry not an object")
            << feed("[]") << u"apps[2]: expected an object, found an array"_s;

        QTest::newRow("apps an object")
            << j("{'name':'R','apps':{}}") << u"apps: expected an array, found an object"_s;
        QTest::newRow("apps missing")
            << j("{'name':'R'}") << u"apps: expected an array, but the key is missing"_s;
        QTest::newRow("META.repoIcon a number") << j("{'name':'R','META':{'repoIcon':1},'apps':[]}")
                                                << u"META.repoIcon: expected a string, found a number"_s;
        QTest::newRow("top level an array")
            << QByteArray("[]") << u"top level: expected an object, found an array"_s;

        QTest::newRow("empty body") << QByteArray() << u"not valid JSON: the text is empty"_s;
        QTest::newRow("HTML error page") << QByteArray("<html><body>404 Not Found</body></html>")
                                         << u"not valid JSON: expected a value, found '<' at byte 0"_s;
        QTest::newRow("truncated")
            << j("{'name':'R','apps':[{'name':'A'")
            << u"not valid JSON: the text ends before the document is complete at byte 31"_s;
        QTest::newRow("missing comma on line 3")
            << QByteArray("{\n\"name\": \"R\",\n\"apps\": [] \"x\": 1}")
            << u"not valid JSON: expected ',' or '}' after an object member, found "
               u"'\"' at byte 26 (line 3, column 12)"_s;
        QTest::newRow("not UTF-8") << QByteArray("{\"name\":\"R\xe9sum\xe9\",\"apps\":[]}")
                                   << u"not valid JSON: truncated UTF-8 sequence at byte 10"_s;
        QTest::newRow("byte order mark and nothing else")
            << QByteArray("\xef\xbb\xbf ") << u"not valid JSON: the text is empty"_s;
        QTest::newRow("nested too deep") << j("{'name':'R','apps':[],'x':") + QByteArray(5000, '[')
                                         << u"not valid JSON: nested deeper than 1024 levels at byte 1049"_s;

        // Numbers beyond 64 bits (or beyond a double) are valid JSON: wherever the value is ignored
        // the document decodes (no error), and where it is read, its own key says what is wrong.
        QTest::newRow("big number, unknown top-level key")
            << j("{'name':'R','apps':[],'x':99999999999999999999}") << QString();
        QTest::newRow("big numbers, unknown keys of an entry, nested")
            << feedWithEntry(j("{'name':'A','version':'1','downloadURL':'u','n':-") + kBig +
                             j(",'m':[1e400,{'k':") + kBig + "}]}")
            << QString();
        QTest::newRow("size beyond int64")
            << feedWithEntry(j("{'name':'A','version':'1','downloadURL':'u','size':") + kBig + "}")
            << u"apps[0].size: expected an integer, found a number beyond the signed 64-bit range"_s;
        QTest::newRow("size beyond a double")
            << feedWithEntry(j("{'name':'A','version':'1','downloadURL':'u','size':-2e308}"))
            << u"apps[0].size: expected an integer, found a number with a fraction or an exponent"_s;
        QTest::newRow("a real fault after a big number")
            << j("{'x':") + kBig + j(",'name':'R' 'apps':[]}")
            << u"not valid JSON: expected ',' or '}' after an object member, found '\"' at byte 47"_s;
    }

    void feedFailures() {
        QFETCH(QByteArray, json);
        QFETCH(QString, error);
        QCOMPARE(RepoResponse::decode(json).error(), error);
    }

    // Hostile arrays of millions of scalars or empty objects fail at their first element. Under an
    // address-space limit far below what sizing the list from the element count would take, that
    // is still a clear failure, not a crash.
    void hostileArraysFailAtTheFirstEntry_data() {
        QTest::addColumn<bool>("stored");
        QTest::addColumn<QByteArray>("element");
        QTest::addColumn<QString>("error");
        QTest::newRow("feed of zeros")
            << false << QByteArray("0") << u"apps[0]: expected an object, found a number"_s;
        QTest::newRow("feed of empty objects")
            << false << QByteArray("{}") << u"apps[0].name: expected a string, but the key is missing"_s;
        QTest::newRow("cached apps of zeros")
            << true << QByteArray("0") << u"[0].cachedApps[0]: expected an object, found a number"_s;
    }

    void hostileArraysFailAtTheFirstEntry() {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("AddressSanitizer reserves more address space than any limit allows");
#endif
        QFETCH(bool, stored);
        QFETCH(QByteArray, element);
        QFETCH(QString, error);
        constexpr qsizetype kDocumentBytes = 10 << 20;
        QByteArray json = stored ? "[{\"name\":\"R\",\"cachedApps\":[" : "{\"name\":\"R\",\"apps\":[";
        json.reserve(kDocumentBytes + 16);
        json += element;
        while (json.size() < kDocumentBytes)
            json += ',' + element;
        json += stored ? "]}]" : "]}";

        // Room for the parser's working memory (about 15 times the text) and a thread or two.
        rlimit saved{};
        QVERIFY(getrlimit(RLIMIT_AS, &saved) == 0);
        rlimit limited = saved;
        limited.rlim_cur = rlim_t(addressSpaceInUse() + (qint64(512) << 20));
        QVERIFY(setrlimit(RLIMIT_AS, &limited) == 0);
        const QString found =
            stored ? StoredForm::decodeRepoTree(json).error() : RepoResponse::decode(json).error();
        setrlimit(RLIMIT_AS, &saved);
        QCOMPARE(found, error);
    }

    // A decoding thread keeps its working memory for the next document, but not the size of the
    // largest one it ever read.
    void largeDocumentsGiveTheirMemoryBack() {
        QByteArray json = j("{'name':'R','apps':[],'padding':'");
        json += QByteArray(40 << 20, 'x') + j("'}");
        QVERIFY(RepoResponse::decode(json).ok());
        QCOMPARE_LE(JsonReader::threadWorkingMemory(), size_t(32) << 20);
    }

    // A large feed is read in two halves at once; whatever the halves find, the result is the one
    // of reading in order: every entry in place, or the first bad entry named.
    void largeFeedsReadInHalves_data() {
        QTest::addColumn<QList<int>>("badEntries");
        QTest::addColumn<QString>("error");
        QTest::newRow("all good") << QList<int>{} << QString();
        QTest::newRow("bad in the second half")
            << QList<int>{9000} << u"apps[9000].version: expected a string, found a number"_s;
        QTest::newRow("bad in both halves")
            << QList<int>{7000, 3000} << u"apps[3000].version: expected a string, found a number"_s;
    }

    void largeFeedsReadInHalves() {
        QFETCH(QList<int>, badEntries);
        QFETCH(QString, error);
        constexpr int kEntries = 10'000;
        QByteArray json = "{\"name\":\"R\",\"apps\":[";
        for (int i = 0; i < kEntries; ++i) {
            const QByteArray n = QByteArray::number(i);
            json += QByteArray(i ? "," : "") + "{\"name\":\"A" + QByteArray::number(i / 4) +
                    "\",\"version\":" + (badEntries.contains(i) ? n : '"' + n + '"') +
                    ",\"downloadURL\":\"u" + n + "\"}";
        }
        json += "]}";
        const DecodeResult<RepoResponse> result = RepoResponse::decode(json);
        if (!error.isEmpty()) {
            QCOMPARE(result.error(), error);
            return;
        }
        QVERIFY2(result.ok(), qPrintable(result.error()));
        QCOMPARE(result->apps.size(), kEntries);
        for (int i : {0, 4999, 5000, 5001, kEntries - 1}) {
            QCOMPARE(result->apps[i].version, QString::number(i));
            QCOMPARE(result->apps[i].name, u"A"_s + QString::number(i / 4));
        }
    }

    // Consecutive versions of one app share their texts while decoding; a text that changes, or an
    // empty one, must never come back as the previous entry's.
    void textsRepeatedAcrossEntries() {
        const QByteArray json = j("{'name':'R','apps':["
                                  "{'name':'A','version':'1','downloadURL':'u1','screenshotURLs':['x','y']},"
                                  "{'name':'A','version':'2','downloadURL':'u2','screenshotURLs':['x','y']},"
                                  "{'name':'AB','version':'2','downloadURL':'u3','screenshotURLs':['x']},"
                                  "{'name':'','version':'','downloadURL':'','screenshotURLs':[]},"
                                  "{'name':'A','version':'','downloadURL':'u5','screenshots':['x','y']}]}");
        const DecodeResult<RepoResponse> result = RepoResponse::decode(json);
        QVERIFY2(result.ok(), qPrintable(result.error()));
        QStringList names, versions, screenshots;
        for (const AppItem &item : result->apps) {
            names.append(item.name);
            versions.append(item.version);
            screenshots.append(item.screenshotURLs.join(u'+'));
        }
        QCOMPARE(names, (QStringList{u"A"_s, u"A"_s, u"AB"_s, u""_s, u"A"_s}));
        QCOMPARE(versions, (QStringList{u"1"_s, u"2"_s, u"2"_s, u""_s, u""_s}));
        QCOMPARE(screenshots, (QStringList{u"x+y"_s, u"x+y"_s, u"x"_s, u""_s, u"x+y"_s}));

        // Shared texts are still values: changing one item leaves the others alone.
        QList<AppItem> apps = result->apps;
        apps[0].name += u"!"_s;
        QCOMPARE(apps[1].name, u"A"_s);
    }

    void feedDocumentLevel() {
        const DecodeResult<RepoResponse> minimal = RepoResponse::decode(j("{'name':'Only','apps':[]}"));
        QVERIFY(minimal.ok());
        QCOMPARE(minimal.value(), RepoResponse{u"Only"_s});

        const DecodeResult<RepoResponse> full = RepoResponse::decode(
            j("{'identifier':'com.r','name':'Full','iconURL':'https://r/i.png','extra':{'apps':5},"
              "'META':{'repoName':'Meta Name','repoIcon':'https://r/m.png','other':1},'apps':[]}"));
        QVERIFY2(full.ok(), qPrintable(full.error()));
        QCOMPARE(full->identifier, u"com.r"_s);
        QCOMPARE(full->iconURL, u"https://r/i.png"_s);
        QCOMPARE(full->META, (MetaData{u"Meta Name"_s, u"https://r/m.png"_s}));

        // A UTF-8 byte order mark, as some editors write, is not part of the document.
        QVERIFY(RepoResponse::decode("\xef\xbb\xbf{\"name\":\"R\",\"apps\":[]}").ok());

        const DecodeResult<RepoResponse> emptyMeta =
            RepoResponse::decode(j("{'name':'R','META':{},'apps':[]}"));
        QVERIFY(emptyMeta.ok());
        QCOMPARE(emptyMeta->META, MetaData{});
    }

    // ---- the stored form ---------------------------------------------------------------------

    void storedAppItemIsByteExact() {
        AppItem bare = app(u"A"_s, u"https://x/a.ipa"_s);
        AppItem full = bare;
        full.versionDate = u"2024-01-01"_s;
        full.size = 5'000'000'000;
        full.iconURL = u"https://x/i.png"_s;
        full.localizedDescription = u"Dé\"sc"_s;
        full.screenshotURLs = {u"s1"_s, u"s2"_s};
        full.sourceRepoName = u"Repo"_s;

        const QByteArray json = StoredForm::encodeAppItems({bare, full});
        QCOMPARE(json,
                 QByteArray(j("[{'name':'A','bundleIdentifier':'com.example.a','version':'1.0',"
                              "'versionDate':null,'size':null,'downloadURL':'https://x/a.ipa','iconURL':null,"
                              "'localizedDescription':null,'screenshotURLs':[],'sourceRepoName':null},"
                              "{'name':'A','bundleIdentifier':'com.example.a','version':'1.0',"
                              "'versionDate':'2024-01-01','size':5000000000,'downloadURL':'https://x/a.ipa',"
                              "'iconURL':'https://x/i.png','localizedDescription':'D\\u00e9\\'sc',"
                              "'screenshotURLs':['s1','s2'],'sourceRepoName':'Repo'}]"))
                     .replace("\\u00e9", "\xc3\xa9"));
        const DecodeResult<QList<AppItem>> back = StoredForm::decodeAppItems(json);
        QVERIFY2(back.ok(), qPrintable(back.error()));
        QCOMPARE(back.value(), (QList<AppItem>{bare, full}));
    }

    void storedNodeIsByteExact() {
        SavedRepo feed = repo(u"https://r.example/feed.json"_s, false, 2);
        feed.iconURL = u"https://r.example/i.png"_s;
        feed.cachedApps = QList<AppItem>{};
        SavedRepo linked = linkedFolder(u"Linked"_s, u"https://l.example/list.txt"_s);
        linked.id = u"0A1B2C3D-0000-4000-8000-000000000000"_s;
        const QByteArray json = StoredForm::encodeRepoTree({feed, linked});
        const QByteArray expected(
            j("[{'id':'https://r.example/feed.json','name':'Repo https://r.example/feed.json',"
              "'url':'https://r.example/feed.json','iconURL':'https://r.example/i.png',"
              "'isEnabled':false,'children':null,'appCount':2,'cachedApps':[],'childrenUrl':null},"
              "{'id':'0A1B2C3D-0000-4000-8000-000000000000','name':'Linked','url':null,"
              "'iconURL':null,'isEnabled':true,'children':[],'appCount':0,'cachedApps':null,"
              "'childrenUrl':'https://l.example/list.txt'}]"));
        QCOMPARE(json, expected);
    }

    // Everything but the live status survives a save and a load.
    void storedTreeRoundTrips() {
        SavedRepo withApps = repo(u"https://r.example/a%20b/feed.json?x=1&y=%C3%A9"_s, true, 2);
        AppItem item = app(u"Ñandú"_s, u"https://x/a.ipa"_s);
        item.localizedDescription = u"tab\there, NUL \u0000 and 😀"_s;
        item.size = 0;
        withApps.cachedApps = QList<AppItem>{item, app(u"B"_s, u"https://x/b.ipa"_s)};
        withApps.fetchStatus = RepoFetchStatus::error(u"boom"_s);
        SavedRepo deep = folder(u"Outer"_s, {folder(u"Inner"_s, {withApps, repo(u"https://c"_s, false)}),
                                             linkedFolder(u"Linked"_s, u"https://l/list"_s)});
        deep.fetchStatus = RepoFetchStatus::success();

        const DecodeResult<QList<SavedRepo>> back =
            StoredForm::decodeRepoTree(StoredForm::encodeRepoTree({deep}));
        QVERIFY2(back.ok(), qPrintable(back.error()));
        SavedRepo expected = deep;
        expected.fetchStatus = RepoFetchStatus::idle();
        (*(*expected.children)[0].children)[0].fetchStatus = RepoFetchStatus::idle();
        QCOMPARE(back.value(), QList<SavedRepo>{expected});
        QCOMPARE(back->first().children->first().children->first().url, withApps.url);

        // A '#' inside a fragment is written escaped; the address read back is the same.
        const DecodeResult<QList<SavedRepo>> hashes =
            StoredForm::decodeRepoTree(j("[{'name':'L','childrenUrl':'https://l/list#a##b'}]"));
        QVERIFY2(hashes.ok(), qPrintable(hashes.error()));
        QCOMPARE(StoredForm::decodeRepoTree(StoredForm::encodeRepoTree(hashes.value())).value(),
                 hashes.value());
    }

    void storedNodeDefaults() {
        const DecodeResult<SavedRepo> onlyName = StoredForm::decodeSavedRepo(j("{'name':null}"));
        QVERIFY2(onlyName.ok(), qPrintable(onlyName.error()));
        QCOMPARE(onlyName->name, u"Unknown"_s);
        QVERIFY(onlyName->isEnabled);
        QCOMPARE(onlyName->appCount, 0);
        QVERIFY(!onlyName->url && !onlyName->children && !onlyName->iconURL && !onlyName->cachedApps &&
                !onlyName->repoListURL);
        QCOMPARE(onlyName->fetchStatus, RepoFetchStatus::idle());
        QVERIFY2(uuidForm.match(onlyName->id).hasMatch(), qPrintable(onlyName->id));
        auto idOf = [](const QByteArray &json) {
            return StoredForm::decodeSavedRepo(json)->id;
        };
        QVERIFY(idOf("{}") != onlyName->id);
        const QByteArray addressOnly = j("{'url':'https://r/feed'}");
        const QByteArray mistypedId = j("{'id':7,'url':'https://r/feed'}");
        const QByteArray neither = j("{'id':[],'url':null}");
        const QByteArray withId = j("{'id':'X','children':null,'cachedApps':null}");
        QCOMPARE(idOf(addressOnly), u"https://r/feed"_s);
        QCOMPARE(idOf(mistypedId), u"https://r/feed"_s);
        QVERIFY(uuidForm.match(idOf(neither)).hasMatch());
        QCOMPARE(idOf(withId), u"X"_s);
    }

    // Folders nest without a depth limit of their own; the decoder's nesting limit is the only one,
    // and reaching it is a clean failure, not a stack overflow.
    void deeplyNestedTrees() {
        auto nested = [](int folders) -> QByteArray {
            QByteArray json = "[";
            for (int i = 0; i < folders; ++i)
                json += j("{'name':'") + QByteArray::number(i) + j("','children':[");
            for (int i = 0; i < folders; ++i)
                json += "]}";
            return json + "]";
        };
        const DecodeResult<QList<SavedRepo>> deep = StoredForm::decodeRepoTree(nested(500));
        QVERIFY2(deep.ok(), qPrintable(deep.error()));
        QCOMPARE(StoredForm::decodeRepoTree(StoredForm::encodeRepoTree(deep.value())).value(), deep.value());
        QVERIFY(!RepoExchange::hasEnabledContent(deep->first()));
        QVERIFY(ExportableRepo::decodeList(RepoExchange::exportJson(deep.value(), false).toUtf8()).ok());

        const DecodeResult<QList<SavedRepo>> tooDeep = StoredForm::decodeRepoTree(nested(520));
        QVERIFY(tooDeep.error().startsWith(u"not valid JSON: nested deeper than 1024 levels at byte "_s));
    }

    void storedNodeFailures_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("error");
        QTest::newRow("url not a URL")
            << j("[{'url':'http://a b'}]")
            << u"[0].url: expected a URL, found the text \"http://a b\", which is not one"_s;
        QTest::newRow("url empty") << j("[{'url':''}]")
                                   << u"[0].url: expected a URL, found the text \"\", which is not one"_s;
        QTest::newRow("isEnabled a string")
            << j("[{},{'children':[{'isEnabled':'yes'}]}]")
            << u"[1].children[0].isEnabled: expected a boolean, found a string"_s;
        QTest::newRow("children an object")
            << j("[{'children':{}}]") << u"[0].children: expected an array, found an object"_s;
        QTest::newRow("bad cached app")
            << j("[{'cachedApps':[{'name':'A','version':'1'}]}]")
            << u"[0].cachedApps[0].downloadURL: expected a string, but the key is missing"_s;
        QTest::newRow("node not an object") << j("[null]") << u"[0]: expected an object, found null"_s;
        QTest::newRow("top an object")
            << j("{'id':'x'}") << u"top level: expected an array, found an object"_s;
        QTest::newRow("big number, unknown key") << j("[{'name':'R','rating':") + kBig + "}]" << QString();
        QTest::newRow("appCount beyond int64")
            << j("[{'name':'R','appCount':-") + kBig + "}]"
            << u"[0].appCount: expected an integer, found a number beyond the signed 64-bit range"_s;
    }

    void storedNodeFailures() {
        QFETCH(QByteArray, json);
        QFETCH(QString, error);
        QCOMPARE(StoredForm::decodeRepoTree(json).error(), error);
    }

    // ---- the exchange forms --------------------------------------------------------------------

    void exportJson_data() {
        QTest::addColumn<QList<SavedRepo>>("tree");
        QTest::addColumn<bool>("onlyEnabled");
        QTest::addColumn<QByteArray>("json");

        SavedRepo withIcon = repo(u"https://a/f"_s, true, 3);
        withIcon.iconURL = u"https://a/i.png"_s;
        withIcon.cachedApps = QList<AppItem>{app(u"A"_s, u"https://x/a.ipa"_s)};
        QTest::newRow("repository carries no identity, icon, counts or apps")
            << QList<SavedRepo>{withIcon} << false
            << j("[{'name':'Repo https://a/f','url':'https://a/f','isEnabled':true}]");
        QTest::newRow("only enabled drops the flag and the disabled")
            << QList<SavedRepo>{repo(u"https://off"_s, false), repo(u"https://on"_s)} << true
            << j("[{'name':'Repo https://on','url':'https://on'}]");
        QTest::newRow("folders without enabled content are left out")
            << QList<SavedRepo>{folder(u"Empty"_s, {repo(u"https://off"_s, false)}),
                                folder(u"Off"_s, {repo(u"https://on"_s)}, false),
                                folder(u"Mixed"_s, {repo(u"https://off"_s, false), folder(u"Nothing"_s, {}),
                                                    repo(u"https://on"_s)})}
            << true << j("[{'name':'Mixed','children':[{'name':'Repo https://on','url':'https://on'}]}]");
        QTest::newRow("everything with the flag off")
            << QList<SavedRepo>{folder(u"F"_s, {repo(u"https://off"_s, false), folder(u"E"_s, {})}, false)}
            << false
            << QByteArray(j("[{'name':'F','isEnabled':false,'children':[{'name':'Repo "
                            "https://off','url':'https://off',"
                            "'isEnabled':false},{'name':'E','isEnabled':true,'children':[]}]}]"));
        SavedRepo linked = linkedFolder(u"L"_s, u"https://l/list.txt"_s);
        linked.children = QList<SavedRepo>{repo(u"https://listed"_s)};
        QTest::newRow("a linked folder exports its link, not its children")
            << QList<SavedRepo>{linked} << false
            << j("[{'name':'L','isEnabled':true,'childrenUrl':'https://l/list.txt'}]");
        QTest::newRow("empty tree") << QList<SavedRepo>{} << false << QByteArray("[]");
    }

    void exportJson() {
        QFETCH(QByteArray, json);
        QFETCH(QList<SavedRepo>, tree);
        QFETCH(bool, onlyEnabled);
        QCOMPARE(RepoExchange::exportJson(tree, onlyEnabled).toUtf8(), json);
    }

    void exportOneNodeAsAnObject() {
        const SavedRepo node = folder(u"Ünï"_s, {repo(u"https://on"_s), repo(u"https://off"_s, false)});
        const QString expected =
            QString::fromUtf8(j("{'name':'Ünï','children':[{'name':'Repo https://on','url':'https://on'}]}"));
        QCOMPARE(RepoExchange::exportNodeJson(node, true), expected);
        QCOMPARE(RepoExchange::exportNodeUrlList(node, false), u"https://on\nhttps://off"_s);
        QCOMPARE(RepoExchange::exportNodeUrlList(node, true), u"https://on"_s);
    }

    void exportUrlList_data() {
        QTest::addColumn<QList<SavedRepo>>("tree");
        QTest::addColumn<bool>("onlyEnabled");
        QTest::addColumn<QString>("text");

        SavedRepo noAddress = repo(u"x"_s);
        noAddress.url.reset();
        const QList<SavedRepo> tree = {
            repo(u"https://a"_s),
            folder(u"F"_s, {repo(u"https://b"_s, false), linkedFolder(u"L"_s, u"https://list"_s), noAddress,
                            folder(u"G"_s, {repo(u"https://c"_s)})}),
            folder(u"Off"_s, {repo(u"https://d"_s)}, false),
        };
        QTest::newRow("all") << tree << false << u"https://a\nhttps://b\nhttps://c\nhttps://d"_s;
        QTest::newRow("only enabled") << tree << true << u"https://a\nhttps://c"_s;
        QTest::newRow("folders only")
            << QList<SavedRepo>{folder(u"F"_s, {folder(u"G"_s, {})}), linkedFolder(u"L"_s, u"https://list"_s)}
            << false << QString();
    }

    void exportUrlList() {
        QFETCH(QString, text);
        QFETCH(QList<SavedRepo>, tree);
        QFETCH(bool, onlyEnabled);
        QCOMPARE(RepoExchange::exportUrlList(tree, onlyEnabled), text);
    }

    void importConvertsRecords() {
        const DecodeResult<QList<ExportableRepo>> records = ExportableRepo::decodeList(j(
            "[{'name':'Bare'},"
            "{'name':'Off','url':'https://off/feed','isEnabled':false,'icon':'ignored','id':5},"
            "{'name':'Linked','isEnabled':true,'childrenUrl':'https://l/list.txt','children':[{'name':'x'}]},"
            "{'name':'Folder','children':[{'name':'A','url':'https://a'},{'name':'Sub','children':[]}]}]"));
        QVERIFY2(records.ok(), qPrintable(records.error()));
        QList<SavedRepo> nodes;
        for (const ExportableRepo &record : records.value())
            nodes.append(RepoExchange::importNode(record));

        QCOMPARE(nodes[0].url, QUrl(u"about:blank"_s));
        QCOMPARE(nodes[0].id, u"about:blank"_s);
        QVERIFY(nodes[0].isEnabled && !nodes[0].children);

        QCOMPARE(nodes[1].id, u"https://off/feed"_s);
        QVERIFY(!nodes[1].isEnabled);
        QVERIFY(!nodes[1].iconURL);

        // A link takes precedence over listed children: the folder refills itself from it.
        QCOMPARE(nodes[2].repoListURL, QUrl(u"https://l/list.txt"_s));
        QCOMPARE(nodes[2].children->size(), 1);
        QVERIFY(!nodes[2].url);
        QVERIFY(uuidForm.match(nodes[2].id).hasMatch());

        QCOMPARE(nodes[3].children->size(), 2);
        QCOMPARE(nodes[3].children->at(0).id, u"https://a"_s);
        QCOMPARE(nodes[3].children->at(1).children, QList<SavedRepo>{});
        QVERIFY(nodes[3].id != nodes[2].id);
        for (const SavedRepo &node : nodes) {
            QCOMPARE(node.appCount, 0);
            QVERIFY(!node.cachedApps);
            QCOMPARE(node.fetchStatus, RepoFetchStatus::idle());
        }
    }

    void linkedFolderSurvivesExportAndImport() {
        const QString json =
            RepoExchange::exportNodeJson(linkedFolder(u"L"_s, u"https://l/list.txt"_s), false);
        const DecodeResult<ExportableRepo> record = ExportableRepo::decode(json.toUtf8());
        QVERIFY(record.ok());
        const SavedRepo node = RepoExchange::importNode(record.value());
        QCOMPARE(node.children, QList<SavedRepo>{});
        QCOMPARE(node.repoListURL, QUrl(u"https://l/list.txt"_s));
    }

    void exchangeDecodingFailures_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("error");
        QTest::newRow("no name") << j("[{'url':'https://a'}]")
                                 << u"[0].name: expected a string, but the key is missing"_s;
        QTest::newRow("isEnabled a string") << j("[{'name':'a','isEnabled':'yes'}]")
                                            << u"[0].isEnabled: expected a boolean, found a string"_s;
        QTest::newRow("bad child") << j("[{'name':'a','children':[{'name':'b'},{'name':2}]}]")
                                   << u"[0].children[1].name: expected a string, found a number"_s;
        QTest::newRow("url not a URL")
            << j("[{'name':'a','url':'not a url'}]")
            << u"[0].url: expected a URL, found the text \"not a url\", which is not one"_s;
        QTest::newRow("single object")
            << j("{'name':'a'}") << u"top level: expected an array, found an object"_s;
    }

    void exchangeDecodingFailures() {
        QFETCH(QString, error);
        QFETCH(QByteArray, json);
        const DecodeResult<QList<ExportableRepo>> result = ExportableRepo::decodeList(json);
        QVERIFY(!result.ok());
        QCOMPARE(result.error(), error);
        QVERIFY(!ExportableRepo::decode("[]").ok());
    }

    void readUrlList_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("urls");
        QTest::newRow("every kind of line break")
            << u"https://a\r\nhttps://b\rhttps://c\u2028https://d\u2029https://e\u0085https://f\vhttps://g\fhttps://h"_s
            << QStringList{u"https://a"_s, u"https://b"_s, u"https://c"_s, u"https://d"_s,
                           u"https://e"_s, u"https://f"_s, u"https://g"_s, u"https://h"_s};
        QTest::newRow("bare host gets https")
            << u"repo.example.com/feed.json"_s << QStringList{u"https://repo.example.com/feed.json"_s};
        QTest::newRow("scheme in capitals stays")
            << u"HTTP://A.example/x"_s << QStringList{u"http://a.example/x"_s};
        QTest::newRow("host starting with http gets https")
            << u"httpbin.org/feed"_s << QStringList{u"https://httpbin.org/feed"_s};
        QTest::newRow("blank lines and spaces skipped, pieces trimmed")
            << u"\n   \n\t https://a/x \t\n\n"_s << QStringList{u"https://a/x"_s};
        QTest::newRow("duplicates and order kept")
            << u"https://b\nhttps://a\nhttps://b"_s
            << QStringList{u"https://b"_s, u"https://a"_s, u"https://b"_s};
        QTest::newRow("invalid lines skipped")
            << u"https://a b\nhttps://ok\nhttps://[::1\n"_s << QStringList{u"https://ok"_s};
        QTest::newRow("commas do not separate addresses")
            << u"https://a/x,https://b/y"_s << QStringList{u"https://a/x,https://b/y"_s};
        QTest::newRow("empty") << QString() << QStringList{};
    }

    void readUrlList() {
        QFETCH(QStringList, urls);
        QFETCH(QString, text);
        QStringList read;
        for (const QUrl &url : RepoExchange::readUrlList(text))
            read.append(url.toString());
        QCOMPARE(read, urls);
    }

    // ---- third-party corpus ----------------------------------------------------------------------

    // Nobody on this project chose these cases: every decoder must survive every file, reject what
    // is not JSON with a located description, and never call valid JSON invalid.
    void jsonTestSuite() {
        KIVO_SKIP_WITHOUT_CORPUS(u"JSONTestSuite"_s);
        const QDir dir(corpusDir(u"JSONTestSuite"_s) + u"/test_parsing"_s);
        const QStringList files = dir.entryList(QDir::Files);
        QVERIFY2(files.size() > 300, qPrintable(dir.path()));
        for (const QString &name : files) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            const DecodeResult<RepoResponse> feed = RepoResponse::decode(bytes);
            const DecodeResult<QList<SavedRepo>> tree = StoredForm::decodeRepoTree(bytes);
            const DecodeResult<ExportableRepo> record = ExportableRepo::decode(bytes);
            const DecodeResult<QList<AppItem>> apps = StoredForm::decodeAppItems(bytes);
            if (name.startsWith(u"n_")) {
                for (const QString &error : {feed.error(), tree.error(), record.error(), apps.error()}) {
                    QVERIFY2(error.startsWith(u"not valid JSON: "_s), qPrintable(name + u": "_s + error));
                    QVERIFY2(error.contains(u" at byte "_s) || error.endsWith(u"empty"_s),
                             qPrintable(name + u": "_s + error));
                }
            } else if (name.startsWith(u"y_")) {
                QVERIFY2(!feed.error().startsWith(u"not valid JSON"_s),
                         qPrintable(name + u": "_s + feed.error()));
            }
        }
    }
};

KIVO_TEST_MAIN(TestModel)
#include "tst_model.moc"
