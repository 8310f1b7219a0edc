#pragma once

#include "sampleserver.h"

#include <QList>
#include <QObject>
#include <QString>

// What scripts/demo sets up, inside the process: the sample source served on loopback, the
// current (test) home seeded for it, and the LiveContainer stand-in answering the URLs Kivo
// opens, as the desktop hands them to it in the demo.
class DemoFixture : public QObject {
    Q_OBJECT

public:
    // Archives are sent at the given rate (bytes per second; 0: at once).
    explicit DemoFixture(qint64 archiveBytesPerSecond = 0);

    // Call before the window is made; false with the reason in *error.
    bool start(QString *error);

    QString liveContainerFolder() const { return m_storage; }
    // Whether each URL handed to the stand-in succeeded, in order.
    QList<bool> launches() const { return m_launches; }

private:
    QString m_storage;
    SampleServer m_server;
    QList<bool> m_launches;
};
