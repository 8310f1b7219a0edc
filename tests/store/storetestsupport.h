#pragma once

#include "model/savedrepo.h"
#include "model/storedform.h"
#include "platform/defaultsstore.h"
#include "platform/standarddirs.h"
#include "store/appstoreviewmodel.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryFile>
#include <QTest>

#include <cstdio>
#include <unistd.h>

// Helpers shared by the store engine's tests: trees, feeds, the repository file and the console.
namespace StoreTest {

using namespace Qt::StringLiterals;

// Captures what the process writes to standard output (the engine's console lines) and hands it
// back to the real standard output when done, so nothing is hidden from the test log.
class StdoutCapture {
public:
    StdoutCapture() {
        m_file.open();
        std::fflush(stdout);
        m_saved = ::dup(STDOUT_FILENO);
        ::dup2(m_file.handle(), STDOUT_FILENO);
    }
    ~StdoutCapture() { restore(); }
    StdoutCapture(const StdoutCapture &) = delete;
    StdoutCapture &operator=(const StdoutCapture &) = delete;

    QStringList lines() {
        std::fflush(stdout);
        QFile reader(m_file.fileName());
        if (!reader.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(reader.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

    void restore() {
        if (m_saved < 0)
            return;
        const QStringList captured = lines();
        ::dup2(m_saved, STDOUT_FILENO);
        ::close(m_saved);
        m_saved = -1;
        for (const QString &line : captured)
            std::printf("%s\n", qPrintable(line));
        std::fflush(stdout);
    }

private:
    QTemporaryFile m_file;
    int m_saved = -1;
};

inline QString reposFilePath() {
    return StandardDirs::applicationSupport() + u"/repos.json"_s;
}

// Back to a first launch: no repository file, none of the engine's settings.
inline void forgetEverything() {
    QDir(StandardDirs::applicationSupport()).removeRecursively();
    DefaultsStore defaults;
    for (const QString &key : {AppStoreViewModel::kSavedReposKey, AppStoreViewModel::kRepoSortOrder,
                               AppStoreViewModel::kStrictGrouping})
        defaults.remove(key);
}

inline void writeFile(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

inline QByteArray readFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

inline void writeReposFile(const QList<SavedRepo> &tree) {
    writeFile(reposFilePath(), StoredForm::encodeRepoTree(tree));
}

inline QList<SavedRepo> readReposFile() {
    DecodeResult<QList<SavedRepo>> tree = StoredForm::decodeRepoTree(readFile(reposFilePath()));
    if (!tree) {
        qWarning() << "repos.json does not decode:" << tree.error();
        return {};
    }
    return tree.value();
}

inline SavedRepo repo(const QString &name, const QUrl &url) {
    SavedRepo node;
    node.id = url.toString(QUrl::FullyEncoded);
    node.name = name;
    node.url = url;
    return node;
}

inline SavedRepo folder(const QString &name, const QList<SavedRepo> &children, const QString &id = {}) {
    SavedRepo node;
    node.id = id.isEmpty() ? u"folder-"_s + name : id;
    node.name = name;
    node.children = children;
    return node;
}

inline AppItem app(const QString &name, const QString &bundleID, const QString &version,
                   const QString &repoName = {}) {
    AppItem item;
    item.name = name;
    item.bundleIdentifier = bundleID;
    item.version = version;
    item.downloadURL = u"https://downloads.example/"_s + bundleID + u'/' + version + u".ipa"_s;
    if (!repoName.isEmpty())
        item.sourceRepoName = repoName;
    return item;
}

// A feed document with the given name and apps (named "<name> app <n>").
inline QByteArray feed(const QString &name, int appCount, const QByteArray &extraTopLevel = {}) {
    QByteArray json = "{\"name\":\"" + name.toUtf8() + "\"," + extraTopLevel + "\"apps\":[";
    for (int i = 0; i < appCount; ++i) {
        if (i > 0)
            json += ',';
        const QByteArray n = QByteArray::number(i);
        json += "{\"name\":\"" + name.toUtf8() + " app " + n + "\",\"bundleIdentifier\":\"com." +
                name.toUtf8().toLower().replace(' ', '-') + ".app" + n +
                "\",\"version\":\"1.0\",\"downloadURL\":\"https://downloads.example/" + n + ".ipa\"}";
    }
    return json + "]}";
}

inline QStringList names(const QList<SavedRepo> &level) {
    QStringList result;
    for (const SavedRepo &node : level)
        result.append(node.name);
    return result;
}

inline const SavedRepo *find(const QList<SavedRepo> &level, const QString &id) {
    for (const SavedRepo &node : level) {
        if (node.id == id)
            return &node;
        if (node.children) {
            if (const SavedRepo *found = find(*node.children, id))
                return found;
        }
    }
    return nullptr;
}

} // namespace StoreTest
