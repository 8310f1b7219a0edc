#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>

#include <optional>

// The previous version of an updated app, kept until LiveContainer has run the new one.
class AppBackup {
    Q_GADGET
    Q_PROPERTY(QString bundleID MEMBER bundleID CONSTANT)
    Q_PROPERTY(QString appName MEMBER appName CONSTANT)
    Q_PROPERTY(QDateTime date MEMBER date CONSTANT)

public:
    QString bundleID;
    QString appName;
    std::optional<QString> version;
    QString backupPath;
    QString originalInstallPath;
    QDateTime date;
    bool hadLCAppInfo = false;

    friend bool operator==(const AppBackup &, const AppBackup &) = default;
};

Q_DECLARE_METATYPE(AppBackup)
