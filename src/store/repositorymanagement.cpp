#include "appstoreviewmodel.h"

#include "model/exportablerepo.h"
#include "model/repoexchange.h"
#include "model/storedform.h"
#include "model/urltext.h"
#include "platform/localecompare.h"
#include "platform/uuid.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// Removes every node with the id at any depth; a removed folder takes its subtree along.
void removeAll(QList<SavedRepo> &level, const QString &id) {
    level.removeIf([&id](const SavedRepo &node) { return node.id == id; });
    for (SavedRepo &node : level) {
        if (node.children)
            removeAll(*node.children, id);
    }
}

// Takes the first node with the id out of the tree.
std::optional<SavedRepo> takeFirst(QList<SavedRepo> &level, const QString &id) {
    for (qsizetype i = 0; i < level.size(); ++i) {
        if (level.at(i).id == id)
            return level.takeAt(i);
        if (level.at(i).children) {
            if (std::optional<SavedRepo> taken = takeFirst(*level[i].children, id))
                return taken;
        }
    }
    return std::nullopt;
}

bool containsID(const QList<SavedRepo> &level, const QString &id) {
    return std::any_of(level.cbegin(), level.cend(), [&id](const SavedRepo &node) {
        return node.id == id || (node.children && containsID(*node.children, id));
    });
}

void collectMoveTargets(const QList<SavedRepo> &level, const QString &movedID, QList<SavedRepo> &targets) {
    for (const SavedRepo &node : level) {
        if (!node.children || node.repoListURL || node.id == movedID)
            continue;
        targets.append(node);
        collectMoveTargets(*node.children, movedID, targets);
    }
}

} // namespace

bool AppStoreViewModel::insertIntoFolder(QList<SavedRepo> &tree, const QString &parentID,
                                         SavedRepo node) const {
    SavedRepo *parent = findRepo(tree, parentID);
    // A linked folder's children come from its list alone.
    if (!parent || parent->repoListURL)
        return false;
    if (!parent->children)
        parent->children = QList<SavedRepo>();
    parent->children->append(std::move(node));
    return true;
}

void AppStoreViewModel::scheduleFetchRepoThenRebuild(const QString &id) {
    QTimer::singleShot(0, this, [this, id] { fetchRepoThenRebuild(id); });
}

QCoro::Task<> AppStoreViewModel::fetchRepoThenRebuild(QString id) {
    const QPointer<AppStoreViewModel> self(this);
    co_await fetchRepo(id, true);
    if (isGone(self))
        co_return;
    co_await rebuildCatalogue();
}

void AppStoreViewModel::addRepo(const QUrl &url, const QString &parentID) {
    const QString id = UrlText::fromUrl(url);
    if (findRepo(std::as_const(m_savedRepos), id))
        return;

    SavedRepo repo;
    repo.id = id;
    repo.name = u"Unknown"_s;
    repo.url = url;
    repo.isEnabled = true;

    QList<SavedRepo> tree = m_savedRepos;
    if (parentID.isEmpty())
        tree.append(repo);
    else
        insertIntoFolder(tree, parentID, repo);
    setSavedRepos(std::move(tree));
    saveRepos();
    scheduleFetchRepoThenRebuild(id);
}

void AppStoreViewModel::addFolder(const QString &name, const QString &parentID, const QUrl &link) {
    SavedRepo folder;
    folder.id = newUuidString();
    folder.name = name;
    folder.isEnabled = true;
    folder.children = QList<SavedRepo>();
    if (!link.isEmpty())
        folder.repoListURL = link;

    QList<SavedRepo> tree = m_savedRepos;
    if (parentID.isEmpty())
        tree.append(folder);
    else
        insertIntoFolder(tree, parentID, folder);
    setSavedRepos(std::move(tree));
    saveRepos();
    if (folder.repoListURL) {
        QTimer::singleShot(0, this, [this, id = folder.id] { refreshFolder(id, true); });
    }
}

void AppStoreViewModel::renameRepo(const QString &id, const QString &name) {
    editRepo(id, [&name](SavedRepo &node) { node.name = name; });
    saveRepos();
}

void AppStoreViewModel::deleteRepo(const QString &id) {
    QList<SavedRepo> tree = m_savedRepos;
    removeAll(tree, id);
    setSavedRepos(std::move(tree));
    saveRepos();
    scheduleRebuildCatalogue();
}

void AppStoreViewModel::moveRepo(const QString &id, const QString &targetID) {
    if (!targetID.isEmpty()) {
        // Into itself or anywhere below itself would cut the subtree off the tree.
        const SavedRepo *moved = findRepo(std::as_const(m_savedRepos), id);
        if (targetID == id || (moved && moved->children && containsID(*moved->children, targetID)))
            return;
    }
    QList<SavedRepo> tree = m_savedRepos;
    std::optional<SavedRepo> node = takeFirst(tree, id);
    if (!node)
        return;
    if (targetID.isEmpty() || !insertIntoFolder(tree, targetID, *node))
        tree.append(std::move(*node));
    setSavedRepos(std::move(tree));
    saveRepos();
}

QList<SavedRepo> AppStoreViewModel::moveTargets(const QString &id) const {
    QList<SavedRepo> targets;
    collectMoveTargets(m_savedRepos, id, targets);
    return targets;
}

void AppStoreViewModel::setRepoEnabled(const QString &id, bool enabled) {
    editRepo(id, [enabled](SavedRepo &node) { node.isEnabled = enabled; });
    saveRepos();
    if (enabled)
        scheduleFetchRepoThenRebuild(id);
    else
        scheduleRebuildCatalogue();
}

QList<SavedRepo> AppStoreViewModel::childrenForDisplay(const QString &parentID) const {
    QList<SavedRepo> level;
    if (parentID.isEmpty()) {
        level = m_savedRepos;
    } else if (const SavedRepo *parent = findRepo(std::as_const(m_savedRepos), parentID);
               parent && parent->children) {
        level = *parent->children;
    }
    if (m_repoSortOrder == RepoSortOption::Name) {
        std::stable_sort(level.begin(), level.end(), [](const SavedRepo &a, const SavedRepo &b) {
            if (a.isFolder() != b.isFolder())
                return a.isFolder();
            return LocaleCompare::lessThan(a.name, b.name);
        });
    }
    return level;
}

QString AppStoreViewModel::exportReposJSON(bool onlyEnabled) const {
    return RepoExchange::exportJson(m_savedRepos, onlyEnabled);
}

QString AppStoreViewModel::exportReposURLList(bool onlyEnabled) const {
    return RepoExchange::exportUrlList(m_savedRepos, onlyEnabled);
}

void AppStoreViewModel::importRepos(const QString &text) {
    const QByteArray bytes = text.toUtf8();
    QList<SavedRepo> imported;
    bool decoded = false;
    if (DecodeResult<QList<ExportableRepo>> records = ExportableRepo::decodeList(bytes)) {
        for (const ExportableRepo &record : records.value())
            imported.append(RepoExchange::importNode(record));
        decoded = true;
    } else if (DecodeResult<ExportableRepo> record = ExportableRepo::decode(bytes)) {
        imported.append(RepoExchange::importNode(record.value()));
        decoded = true;
    } else if (DecodeResult<QList<SavedRepo>> stored = StoredForm::decodeRepoTree(bytes)) {
        imported = std::move(stored).value();
        decoded = true;
    }
    if (decoded)
        setSavedRepos(m_savedRepos + imported);
    saveRepos();
    scheduleFetchAllRepos();
}
