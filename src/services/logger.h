#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

class QQmlEngine;
class QJSEngine;

// The sink for diagnostic lines of the update-backup code. It keeps nothing: lines are accepted
// and dropped, and `logs` stays empty.
class Logger : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QString logs READ logs NOTIFY logsChanged)

public:
    static Logger &shared();
    static Logger *create(QQmlEngine *, QJSEngine *);

    QString logs() const { return m_logs; }

    void log(const QString &line);

Q_SIGNALS:
    void logsChanged();

private:
    Logger() = default;

    QString m_logs;
};
