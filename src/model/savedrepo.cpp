#include "savedrepo.h"

qint64 SavedRepo::enabledAppCount() const {
    if (!children)
        return isEnabled ? appCount : 0;
    qint64 sum = 0;
    for (const SavedRepo &child : *children)
        sum += child.enabledAppCount();
    return sum;
}

qint64 SavedRepo::repoCount() const {
    if (!children)
        return 1;
    qint64 sum = 0;
    for (const SavedRepo &child : *children)
        sum += child.repoCount();
    return sum;
}

bool SavedRepo::containsDisabled() const {
    if (!isEnabled)
        return true;
    if (!children)
        return false;
    for (const SavedRepo &child : *children) {
        if (child.containsDisabled())
            return true;
    }
    return false;
}

size_t qHash(const SavedRepo &repo, size_t seed) {
    seed = qHashMulti(seed, repo.id, repo.name, repo.isEnabled, repo.appCount, repo.fetchStatus);
    seed = qHashOptional(repo.url, seed);
    seed = qHashOptional(repo.iconURL, seed);
    seed = qHashOptional(repo.children, seed);
    seed = qHashOptional(repo.repoListURL, seed);
    return qHashOptional(repo.cachedApps, seed);
}
