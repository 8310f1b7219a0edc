#pragma once

#include "model/hashing.h"

#include <QMetaType>
#include <QString>
#include <QUrl>
#include <QVariant>

#include <optional>

// One app bundle found in LiveContainer's applications folder.
class LocalApp {
    Q_GADGET
    Q_PROPERTY(QString id READ id CONSTANT)
    Q_PROPERTY(QString name MEMBER name)
    Q_PROPERTY(QString bundleID MEMBER bundleID)
    Q_PROPERTY(QVariant version READ versionValue CONSTANT)
    Q_PROPERTY(QUrl url MEMBER url)
    Q_PROPERTY(QVariant iconURL READ iconURLValue CONSTANT)

public:
    QString name{};
    QString bundleID{};
    std::optional<QString> version{};
    QUrl url{};
    std::optional<QUrl> iconURL{};

    // The bundle's location on disk: two scans of the same folder give the same identity.
    QString id() const { return url.path(QUrl::FullyDecoded); }

    friend bool operator==(const LocalApp &, const LocalApp &) = default;
    friend size_t qHash(const LocalApp &app, size_t seed = 0) {
        seed = qHashMulti(seed, app.name, app.bundleID, app.url);
        seed = qHashOptional(app.version, seed);
        return qHashOptional(app.iconURL, seed);
    }

private:
    QVariant versionValue() const { return version ? QVariant(*version) : QVariant(); }
    QVariant iconURLValue() const { return iconURL ? QVariant(*iconURL) : QVariant(); }
};

Q_DECLARE_METATYPE(LocalApp)
