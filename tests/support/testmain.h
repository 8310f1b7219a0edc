#pragma once

#include <QCoreApplication>
#include <QString>
#include <QTest>

// Runs a QtTest class inside a fresh temporary home: XDG_DATA_HOME, XDG_CONFIG_HOME,
// XDG_CACHE_HOME, XDG_RUNTIME_DIR and TMPDIR all point below one folder that is removed at exit,
// so settings, "repos.json", downloads and caches never touch the real user folders.
class TestHome {
public:
    TestHome();
    ~TestHome();
    TestHome(const TestHome &) = delete;
    TestHome &operator=(const TestHome &) = delete;

    QString path() const { return m_path; }

private:
    QString m_path;
};

// The folder of third-party corpora beside the project (../shared/corpora, from KIVO_SHARED_DIR).
// A clean clone has none; KIVO_NO_CORPORA makes a run behave as one.
QString corporaDir();
// One corpus folder below it, or empty when it is not there.
QString corpusDir(const QString &name);

// Skips the calling test, or every row of a data-driven one when called in its data function,
// when a third-party corpus is absent. The cases that matter are built by our own fixtures.
#define KIVO_SKIP_WITHOUT_CORPUS(name)                                                                       \
    do {                                                                                                     \
        if (corpusDir(name).isEmpty())                                                                       \
            QSKIP(qPrintable(                                                                                \
                QStringLiteral("the third-party corpus \"") + (name) +                                       \
                QStringLiteral("\" is not there (KIVO_SHARED_DIR names the folder of corpora/)")));          \
    } while (false)

template<typename App, typename TestClass>
int runKivoTest(int argc, char **argv) {
    TestHome home;
    App app(argc, argv);
    app.setApplicationName(QStringLiteral("Kivo"));
    TestClass test;
    return QTest::qExec(&test, argc, argv);
}

#define KIVO_TEST_MAIN(TestClass)                                                                            \
    int main(int argc, char **argv) {                                                                        \
        return runKivoTest<QCoreApplication, TestClass>(argc, argv);                                         \
    }
