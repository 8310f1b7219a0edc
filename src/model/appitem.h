#pragma once

#include "model/hashing.h"

#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

// One downloadable version of one app, as one repository lists it. Optional fields reach QML as
// an undefined value when absent.
class AppItem {
    Q_GADGET
    Q_PROPERTY(QString id READ id CONSTANT)
    Q_PROPERTY(QString name MEMBER name)
    Q_PROPERTY(QString bundleIdentifier MEMBER bundleIdentifier)
    Q_PROPERTY(QString version MEMBER version)
    Q_PROPERTY(QVariant versionDate READ versionDateValue CONSTANT)
    Q_PROPERTY(QVariant size READ sizeValue CONSTANT)
    Q_PROPERTY(QString downloadURL MEMBER downloadURL)
    Q_PROPERTY(QVariant iconURL READ iconURLValue CONSTANT)
    Q_PROPERTY(QVariant localizedDescription READ localizedDescriptionValue CONSTANT)
    Q_PROPERTY(QStringList screenshotURLs MEMBER screenshotURLs)
    Q_PROPERTY(QVariant sourceRepoName READ sourceRepoNameValue CONSTANT)

public:
    QString name{};
    QString bundleIdentifier{};
    QString version{};
    std::optional<QString> versionDate{};
    std::optional<qint64> size{};
    QString downloadURL{};
    std::optional<QString> iconURL{};
    std::optional<QString> localizedDescription{};
    QStringList screenshotURLs{};
    std::optional<QString> sourceRepoName{};

    // Unique per feed: the same archive listed by two repositories is two items.
    QString id() const { return sourceRepoName ? *sourceRepoName + u'|' + downloadURL : downloadURL; }

    friend bool operator==(const AppItem &, const AppItem &) = default;
    friend size_t qHash(const AppItem &item, size_t seed = 0) {
        seed = qHashMulti(seed, item.name, item.bundleIdentifier, item.version, item.downloadURL,
                          item.screenshotURLs);
        seed = qHashOptional(item.versionDate, seed);
        seed = qHashOptional(item.size, seed);
        seed = qHashOptional(item.iconURL, seed);
        seed = qHashOptional(item.localizedDescription, seed);
        return qHashOptional(item.sourceRepoName, seed);
    }

private:
    QVariant versionDateValue() const { return versionDate ? QVariant(*versionDate) : QVariant(); }
    QVariant sizeValue() const { return size ? QVariant(*size) : QVariant(); }
    QVariant iconURLValue() const { return iconURL ? QVariant(*iconURL) : QVariant(); }
    QVariant localizedDescriptionValue() const {
        return localizedDescription ? QVariant(*localizedDescription) : QVariant();
    }
    QVariant sourceRepoNameValue() const { return sourceRepoName ? QVariant(*sourceRepoName) : QVariant(); }
};

Q_DECLARE_METATYPE(AppItem)
