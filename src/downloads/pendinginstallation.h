#pragma once

#include "model/localapp.h"

#include <QMetaType>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <optional>

// An extracted app that waits for the user's decision because its bundle identifier is already
// installed.
class PendingInstallation {
    Q_GADGET
    Q_PROPERTY(QUuid id MEMBER id CONSTANT)
    Q_PROPERTY(QString appName MEMBER appName CONSTANT)
    Q_PROPERTY(QString bundleID MEMBER bundleID CONSTANT)

public:
    QUuid id;
    QString appName;
    QString bundleID;
    QUrl tempPayloadURL;
    QUrl extractedAppURL;
    QUrl sourceArchiveURL;
    std::optional<LocalApp> existingApp;

    friend bool operator==(const PendingInstallation &a, const PendingInstallation &b) {
        return a.id == b.id;
    }
};

Q_DECLARE_METATYPE(PendingInstallation)
