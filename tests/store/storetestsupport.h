#pragma once

#include "install/installtestsupport.h"
#include "model/savedrepo.h"
#include "model/storedform.h"
#include "platform/defaultsstore.h"
#include "platform/standarddirs.h"
#include "store/appstoreviewmodel.h"
#include "support/enginefixture.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTest>

// Helpers shared by the store engine's tests: trees, apps, feeds and the repository file.
namespace StoreTest {

using namespace Qt::StringLiterals;

// The engine's console lines, captured from standard output.
using InstallTest::StdoutCapture;

inline QString reposFilePath() {
    return StandardDirs::applicationSupport() + u"/repos.json"_s;
}

// Back to a first launch: no repository file, none of the engine's settings.
using EngineFixture::forgetEverything;

inline void writeReposFile(const QList<SavedRepo> &tree) {
    QVERIFY(writeFile(reposFilePath(), StoredForm::encodeRepoTree(tree)));
}

inline QList<SavedRepo> readReposFile() {
    const auto tree = StoredForm::decodeRepoTree(readFile(reposFilePath()));
    return tree ? tree.value() : QList<SavedRepo>();
}

inline AppItem app(const QString &bundleID, const QString &version, const QString &name = u"App"_s,
                   const QString &source = {}) {
    AppItem item;
    item.name = name;
    item.bundleIdentifier = bundleID;
    item.version = version;
    item.downloadURL = u"https://dl.example/"_s + bundleID + u'/' + version + u'/' + name + u".ipa"_s;
    if (!source.isEmpty())
        item.sourceRepoName = source;
    return item;
}

inline SavedRepo repo(const QString &name, const QUrl &url, const QList<AppItem> &cached = {}) {
    SavedRepo node;
    node.id = url.toString(QUrl::FullyEncoded);
    node.name = name;
    node.url = url;
    if (!cached.isEmpty()) {
        node.cachedApps = cached;
        node.appCount = cached.size();
        for (AppItem &item : *node.cachedApps)
            item.sourceRepoName = name;
    }
    return node;
}

inline SavedRepo folder(const QString &name, const QList<SavedRepo> &children) {
    SavedRepo node;
    node.id = u"folder-"_s + name;
    node.name = name;
    node.children = children;
    return node;
}

inline SavedRepo switchedOff(SavedRepo node) {
    node.isEnabled = false;
    return node;
}

// A feed document with the given name and apps (named "<name> app <n>").
inline QByteArray feed(const QString &name, int appCount, const QByteArray &extraTopLevel = {}) {
    QByteArray json = "{\"name\":\"" + name.toUtf8() + "\"," + extraTopLevel + "\"apps\":[";
    for (int i = 0; i < appCount; ++i) {
        const QByteArray n = QByteArray::number(i);
        json += QByteArray(i > 0 ? "," : "") + "{\"name\":\"" + name.toUtf8() + " app " + n +
                "\",\"bundleIdentifier\":\"com." + name.toUtf8().toLower().replace(' ', '-') + ".app" + n +
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
        if (const SavedRepo *found = node.children ? find(*node.children, id) : nullptr)
            return found;
    }
    return nullptr;
}

} // namespace StoreTest
