#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <chrono>
#include <memory>

// The copy of a downloaded file that the share sheet hands out, made in a fresh folder of the
// temporary share folder. The copy runs off the main thread and reports its progress, so a
// large archive never holds up the window. Copies older than kCopyLifetime go at start-up.
class FileShareCopy : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    Q_PROPERTY(double progress READ progress NOTIFY progressChanged)
    Q_PROPERTY(QString fileName READ fileName NOTIFY busyChanged)

public:
    static constexpr std::chrono::hours kCopyLifetime{24};

    explicit FileShareCopy(QObject *parent = nullptr);
    ~FileShareCopy() override;

    bool busy() const { return m_job != nullptr; }
    double progress() const { return m_progress; }
    const QString &fileName() const { return m_fileName; }

    // Starts copying; finished follows with the copy, or an empty URL and the failure's text.
    // A copy still running is abandoned.
    Q_INVOKABLE void start(const QUrl &file);
    Q_INVOKABLE void cancel();

    // The folder the copies are made in.
    static QString shareFolder();
    // Removes the copies in `folder` whose folder is older than `lifetime`, off the main thread.
    Q_INVOKABLE static void removeStaleCopies();
    static void removeStaleCopies(const QString &folder, std::chrono::seconds lifetime);

Q_SIGNALS:
    void busyChanged();
    void progressChanged();
    void finished(const QUrl &copy, const QString &failure);

private:
    struct Job;
    void pollProgress();

    std::shared_ptr<Job> m_job;
    QTimer m_pollTimer;
    double m_progress = 0;
    QString m_fileName;
};
