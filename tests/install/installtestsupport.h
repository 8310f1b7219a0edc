#pragma once

#include "appbundlewriter.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTemporaryFile>
#include <QVariantMap>

// Helpers shared by the install tests: real ".ipa" archives and the console.
namespace InstallTest {

using Entries = QList<QPair<QString, QByteArray>>;

// The files of one app bundle inside an archive: "Payload/<folder>/Info.plist", an icon and an
// executable.
Entries appEntries(const QString &appFolderName, const QVariantMap &info,
                   AppBundleWriter::Format format = AppBundleWriter::Format::Xml);

// A real ZIP archive holding the entries, in their order; a name ending in "->" is a symbolic
// link to its content.
QByteArray ipa(const Entries &entries);
bool writeIpa(const QString &path, const Entries &entries);

// The common case: one app with the given identity.
bool writeAppIpa(const QString &path, const QString &bundleID, const QString &name, const QString &version);

// An "LCAppInfo.plist" naming these data containers, as LiveContainer writes it.
QVariantMap lcAppInfo(const QVariantList &containers, const QVariantMap &extra = {});
// The container names such a file lists, read without the code under test; empty when unreadable.
QStringList containerNames(const QString &appInfoPath);
// The entries of a folder matching `pattern`, hidden ones included, by name.
QStringList entries(const QString &folder, const QString &pattern = QStringLiteral("*"));

// Captures what the process writes to standard output (the engine's console lines), and gives
// it back to the real standard output when done so nothing is hidden from the test log.
class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture &) = delete;
    StdoutCapture &operator=(const StdoutCapture &) = delete;

    QStringList lines();

private:
    QTemporaryFile m_file;
    int m_saved = -1;
};

// What `work` prints to standard output, line by line. Checks belong after it, not inside.
template<typename Work>
QStringList printedBy(Work &&work) {
    StdoutCapture console;
    work();
    return console.lines();
}

} // namespace InstallTest
