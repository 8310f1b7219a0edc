#include "testmain.h"

#include "platform/fileremoval.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdlib>
#include <unistd.h>

using namespace Qt::StringLiterals;

static const char *const kXdgVariables[] = {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
                                            "XDG_RUNTIME_DIR", "TMPDIR"};

TestHome::TestHome() {
    QByteArray pattern = QDir::tempPath().toUtf8() + "/kivo-test-XXXXXX";
    if (!mkdtemp(pattern.data()))
        qFatal("cannot create a temporary home");
    m_path = QString::fromUtf8(pattern);
    const QDir home(m_path);
    for (const char *variable : kXdgVariables) {
        const QString dir = home.filePath(QString::fromLatin1(variable).toLower());
        QDir().mkpath(dir);
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv(variable, dir.toUtf8());
    }
}

TestHome::~TestHome() {
    FileRemoval::remove(m_path);
}

QString corporaDir() {
    const QByteArray shared = qgetenv("KIVO_SHARED_DIR");
    if (shared.isEmpty() || qEnvironmentVariableIsSet("KIVO_NO_CORPORA"))
        return u"/nonexistent/corpora"_s;
    return QDir(QString::fromUtf8(shared)).filePath(u"corpora"_s);
}

QString corpusDir(const QString &name) {
    const QString dir = corporaDir() + u'/' + name;
    return QFileInfo(dir).isDir() ? dir : QString();
}
