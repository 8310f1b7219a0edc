#pragma once

#include "model/appitem.h"
#include "model/hashing.h"
#include "model/repofetchstatus.h"

#include <QList>
#include <QMetaType>
#include <QString>
#include <QUrl>
#include <QVariant>

#include <optional>

class SavedRepo;

// Qt's trait checks recurse through std::optional<QList<SavedRepo>> back into SavedRepo and never
// finish; the answers are known, so give them.
template<>
struct QTypeTraits::has_operator_equal<SavedRepo> : std::true_type {};
template<>
struct QTypeTraits::has_operator_less_than<SavedRepo> : std::false_type {};

// One node of the repository tree: a repository (a feed address) or, when `children` is present,
// a folder, possibly filled from a remote address list (`repoListURL`).
class SavedRepo {
    Q_GADGET
    Q_PROPERTY(QString id MEMBER id)
    Q_PROPERTY(QString name MEMBER name)
    Q_PROPERTY(QVariant url READ urlValue CONSTANT)
    Q_PROPERTY(QVariant iconURL READ iconURLValue CONSTANT)
    Q_PROPERTY(bool isEnabled MEMBER isEnabled)
    Q_PROPERTY(bool isFolder READ isFolder CONSTANT)
    Q_PROPERTY(qint64 appCount MEMBER appCount)
    Q_PROPERTY(QVariant repoListURL READ repoListURLValue CONSTANT)
    Q_PROPERTY(RepoFetchStatus fetchStatus MEMBER fetchStatus)
    Q_PROPERTY(qint64 enabledAppCount READ enabledAppCount CONSTANT)
    Q_PROPERTY(qint64 repoCount READ repoCount CONSTANT)
    Q_PROPERTY(bool containsDisabled READ containsDisabled CONSTANT)

public:
    QString id{};
    QString name{};
    std::optional<QUrl> url{};
    std::optional<QString> iconURL{};
    bool isEnabled = true;
    std::optional<QList<SavedRepo>> children{};
    qint64 appCount = 0;
    std::optional<QUrl> repoListURL{};
    RepoFetchStatus fetchStatus{};
    // Last, so that comparing nodes, which goes member by member, reaches the apps only when
    // everything cheaper is equal.
    std::optional<QList<AppItem>> cachedApps{};

    bool isFolder() const { return children.has_value(); }

    // A repository counts its apps when enabled; a folder sums its children whatever its own flag.
    qint64 enabledAppCount() const;
    qint64 repoCount() const;
    // True when this node or any node below it is switched off.
    bool containsDisabled() const;

    friend bool operator==(const SavedRepo &, const SavedRepo &) = default;

private:
    QVariant urlValue() const { return url ? QVariant(*url) : QVariant(); }
    QVariant iconURLValue() const { return iconURL ? QVariant(*iconURL) : QVariant(); }
    QVariant repoListURLValue() const { return repoListURL ? QVariant(*repoListURL) : QVariant(); }
};

size_t qHash(const SavedRepo &repo, size_t seed = 0);

Q_DECLARE_METATYPE(SavedRepo)
