#include "appstoreviewmodel.h"

#include "model/storedform.h"
#include "platform/console.h"
#include "platform/defaultsstore.h"
#include "platform/localecompare.h"
#include "platform/standarddirs.h"
#include "platform/uuid.h"
#include "store/backgroundrelease.h"
#include "store/semaphore.h"
#include "store/variantgroups.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <algorithm>

using namespace Qt::StringLiterals;

static QString reposFilePath() {
    return StandardDirs::applicationSupport() + u"/repos.json"_s;
}

QUrl AppStoreViewModel::defaultReposListURL() {
    return QUrl(u"https://kivo.app/Kivo/default_repos.csv"_s);
}

AppStoreViewModel::AppStoreViewModel(QObject *parent)
    : AppStoreViewModel(defaultReposListURL(), nullptr, parent) {
}

AppStoreViewModel::AppStoreViewModel(const QUrl &defaultReposListURL, QNetworkAccessManager *network,
                                     QObject *parent)
    : QObject(parent)
    , m_defaultReposListURL(defaultReposListURL)
    , m_network(network ? network : new QNetworkAccessManager(this))
    , m_refreshWaiters(std::make_shared<Semaphore>(0)) {
    // Every property already holds its initial value; the stored settings come next.
    const DefaultsStore defaults;
    if (const std::optional<QString> rawOrder = defaults.string(kRepoSortOrder)) {
        if (const std::optional<RepoSortOption> order = RepoSortOption::fromRawValue(*rawOrder)) {
            m_repoSortOrder = *order;
            repoSortOrderDidChange();
        }
    }

    m_strictGrouping =
        defaults.contains(kStrictGrouping) ? defaults.boolValue(kStrictGrouping).value_or(true) : true;
    // Stores the value and schedules a rebuild, which runs once construction is over and so
    // shows the cached apps of the tree loaded below before any network traffic.
    strictGroupingDidChange();

    loadRepos();
    setUpSearchPipeline();
}

AppStoreViewModel::~AppStoreViewModel() {
    // Coroutines still waiting on a reply resume here, see the engine closing and end.
    m_closing = true;
    while (m_refreshWaiters->waiting() > 0)
        m_refreshWaiters->signal();
    const QList<QPointer<QNetworkReply>> replies = std::exchange(m_replies, {});
    for (const QPointer<QNetworkReply> &reply : replies) {
        if (reply && reply->isRunning())
            reply->abort();
    }
}

// ---- Observable state --------------------------------------------------------------------------

void AppStoreViewModel::setSearchText(const QString &text) {
    if (m_searchText == text)
        return;
    m_searchText = text;
    Q_EMIT searchTextChanged();
}

void AppStoreViewModel::setSelectedRepoID(const std::optional<QString> &repoName) {
    if (m_selectedRepoID == repoName)
        return;
    m_selectedRepoID = repoName;
    Q_EMIT selectedRepoIDChanged();
}

void AppStoreViewModel::setAppSortOrder(AppSortOption order) {
    if (m_appSortOrder == order)
        return;
    m_appSortOrder = order;
    Q_EMIT appSortOrderChanged();
    appSortOrderDidChange();
}

void AppStoreViewModel::setRepoSortOrder(RepoSortOption order) {
    if (m_repoSortOrder == order)
        return;
    m_repoSortOrder = order;
    Q_EMIT repoSortOrderChanged();
    repoSortOrderDidChange();
}

void AppStoreViewModel::setStrictGrouping(bool strict) {
    if (m_strictGrouping == strict)
        return;
    m_strictGrouping = strict;
    Q_EMIT strictGroupingChanged();
    strictGroupingDidChange();
}

void AppStoreViewModel::setSavedRepos(QList<SavedRepo> repos) {
    if (m_savedRepos == repos)
        return;
    releaseInBackground(std::exchange(m_savedRepos, std::move(repos)));
    Q_EMIT savedReposChanged();
}

void AppStoreViewModel::setDisplayApps(QList<AppItem> apps) {
    if (m_displayApps == apps) {
        releaseInBackground(std::move(apps));
        return;
    }
    releaseInBackground(std::exchange(m_displayApps, std::move(apps)));
    Q_EMIT displayAppsChanged();
}

void AppStoreViewModel::setVariantGroups(std::shared_ptr<const VariantGroups> groups) {
    if (m_variantGroups == groups)
        return;
    releaseInBackground(std::exchange(m_variantGroups, std::move(groups)));
    if (m_allAppsByVariant)
        releaseInBackground(*std::exchange(m_allAppsByVariant, std::nullopt));
    Q_EMIT allAppsByVariantChanged();
}

void AppStoreViewModel::setFilteredApps(QList<AppItem> apps) {
    if (m_filteredApps == apps) {
        releaseInBackground(std::move(apps));
        return;
    }
    releaseInBackground(std::exchange(m_filteredApps, std::move(apps)));
    Q_EMIT filteredAppsChanged();
}

void AppStoreViewModel::setAvailableUpdates(QMap<QString, QString> updates) {
    if (m_availableUpdates == updates)
        return;
    m_availableUpdates = std::move(updates);
    Q_EMIT availableUpdatesChanged();
}

void AppStoreViewModel::setIsLoading(bool loading) {
    if (m_isLoading == loading)
        return;
    m_isLoading = loading;
    Q_EMIT isLoadingChanged();
}

void AppStoreViewModel::setFetchProgress(int progress) {
    if (m_fetchProgress == progress)
        return;
    m_fetchProgress = progress;
    Q_EMIT fetchProgressChanged();
}

void AppStoreViewModel::setFetchTotal(int total) {
    if (m_fetchTotal == total)
        return;
    m_fetchTotal = total;
    Q_EMIT fetchTotalChanged();
}

// ---- Settings ----------------------------------------------------------------------------------

void AppStoreViewModel::repoSortOrderDidChange() {
    DefaultsStore defaults;
    // Writing the store syncs its file; skip it when the value is already there (start-up).
    if (defaults.string(kRepoSortOrder) != m_repoSortOrder.rawValue())
        defaults.setString(kRepoSortOrder, m_repoSortOrder.rawValue());
    // Shown at once; the file follows with the next save.
    QList<SavedRepo> ordered = m_savedRepos;
    applyTreeOrder(ordered);
    setSavedRepos(std::move(ordered));
}

void AppStoreViewModel::strictGroupingDidChange() {
    DefaultsStore defaults;
    if (defaults.boolValue(kStrictGrouping) != m_strictGrouping)
        defaults.setBool(kStrictGrouping, m_strictGrouping);
    scheduleRebuildCatalogue();
}

void AppStoreViewModel::appSortOrderDidChange() {
    scheduleRebuildCatalogue();
}

void AppStoreViewModel::scheduleRebuildCatalogue() {
    QTimer::singleShot(0, this, [this] { rebuildCatalogue(); });
}

void AppStoreViewModel::scheduleFetchAllRepos() {
    QTimer::singleShot(0, this, [this] { fetchAllRepos(); });
}

// ---- Persistence -------------------------------------------------------------------------------

// Moves an unreadable repository file out of the way of the next save, so that whatever the user
// had in it can still be recovered by hand.
static void keepUnreadableFile(const QString &path, const QString &reason) {
    const QString stamp = QDateTime::currentDateTimeUtc().toString(u"yyyyMMdd'T'HHmmss'Z'"_s);
    QString keptPath = path + u".unreadable-"_s + stamp;
    for (int counter = 2; QFileInfo::exists(keptPath); ++counter)
        keptPath = path + u".unreadable-"_s + stamp + u'-' + QString::number(counter);

    QFile file(path);
    if (file.rename(keptPath)) {
        printLine(u"Kept the unreadable repos.json as "_s + keptPath + u" ("_s + reason + u')');
        return;
    }
    printLine(u"Could not keep the unreadable repos.json ("_s + reason + u"): "_s + file.errorString());
}

static void migrateDocumentsFile() {
    const QString oldPath = StandardDirs::documents() + u"/repos.json"_s;
    if (!QFileInfo::exists(oldPath))
        return;
    printLine(u"Migrating repos.json to Application Support..."_s);

    const QString newPath = reposFilePath();
    if (!QDir().mkpath(StandardDirs::applicationSupport())) {
        printLine(u"Migration failed: could not create the folder "_s + StandardDirs::applicationSupport());
        return;
    }
    if (QFileInfo::exists(newPath)) {
        QFile current(newPath);
        if (!current.remove()) {
            printLine(u"Migration failed: "_s + current.errorString());
            return;
        }
    }
    QFile old(oldPath);
    if (!old.rename(newPath))
        printLine(u"Migration failed: "_s + old.errorString());
}

void AppStoreViewModel::loadRepos() {
    migrateDocumentsFile();

    const QString path = reposFilePath();
    QFile file(path);
    if (file.exists()) {
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = file.readAll();
            file.close();
            DecodeResult<QList<SavedRepo>> tree = StoredForm::decodeRepoTree(bytes);
            if (tree) {
                QList<SavedRepo> repos = std::move(tree).value();
                applyTreeOrder(repos);
                setSavedRepos(std::move(repos));
                return;
            }
            keepUnreadableFile(path, tree.error());
        } else {
            keepUnreadableFile(path, file.errorString());
        }
    }

    DefaultsStore defaults;
    const std::optional<QByteArray> legacy = defaults.bytes(kSavedReposKey);
    if (!legacy) {
        resetToDefaults();
        return;
    }
    DecodeResult<QList<SavedRepo>> tree = StoredForm::decodeRepoTree(*legacy);
    if (!tree) {
        resetToDefaults();
        return;
    }
    printLine(u"Migrating repos from UserDefaults to File..."_s);
    QList<SavedRepo> repos = std::move(tree).value();
    applyTreeOrder(repos);
    setSavedRepos(std::move(repos));
    // The legacy bytes are the only copy of the tree until the file is written.
    if (m_fileWriter.saveNow(m_savedRepos, reposFilePath()))
        defaults.remove(kSavedReposKey);
}

void AppStoreViewModel::saveRepos() {
    QList<SavedRepo> ordered = m_savedRepos;
    applyTreeOrder(ordered);
    setSavedRepos(std::move(ordered));
    m_fileWriter.save(m_savedRepos, reposFilePath());
}

void AppStoreViewModel::waitForPendingSaves() {
    m_fileWriter.waitForDone();
}

void AppStoreViewModel::resetToDefaults() {
    SavedRepo recommended;
    recommended.id = newUuidString();
    recommended.name = u"Recommended"_s;
    recommended.isEnabled = true;
    recommended.children = QList<SavedRepo>();
    recommended.appCount = 0;
    recommended.repoListURL = m_defaultReposListURL;
    setSavedRepos({recommended});
    saveRepos();
    scheduleFetchAllRepos();
}

// ---- Tree order and look-up --------------------------------------------------------------------

bool AppStoreViewModel::comesBeforeInTree(const SavedRepo &a, const SavedRepo &b) const {
    if (a.isFolder() != b.isFolder())
        return a.isFolder();
    if (m_repoSortOrder == RepoSortOption::Name)
        return LocaleCompare::lessThan(a.name, b.name);
    return false;
}

void AppStoreViewModel::applyTreeOrder(QList<SavedRepo> &level) const {
    const auto before = [this](const SavedRepo &a, const SavedRepo &b) {
        return comesBeforeInTree(a, b);
    };
    // Sorting detaches the list; a level already in order is left shared.
    if (!std::is_sorted(level.cbegin(), level.cend(), before))
        std::stable_sort(level.begin(), level.end(), before);
    for (qsizetype i = 0; i < level.size(); ++i) {
        const SavedRepo &node = level.at(i);
        if (node.children && !node.children->isEmpty())
            applyTreeOrder(*level[i].children);
    }
}

SavedRepo *AppStoreViewModel::findRepo(QList<SavedRepo> &level, const QString &id) {
    for (SavedRepo &node : level) {
        if (node.id == id)
            return &node;
        if (node.children) {
            if (SavedRepo *found = findRepo(*node.children, id))
                return found;
        }
    }
    return nullptr;
}

const SavedRepo *AppStoreViewModel::findRepo(const QList<SavedRepo> &level, const QString &id) {
    for (const SavedRepo &node : level) {
        if (node.id == id)
            return &node;
        if (node.children) {
            if (const SavedRepo *found = findRepo(*node.children, id))
                return found;
        }
    }
    return nullptr;
}

bool AppStoreViewModel::editRepo(const QString &id, const std::function<void(SavedRepo &)> &edit) {
    if (!findRepo(std::as_const(m_savedRepos), id))
        return false;
    QList<SavedRepo> tree = m_savedRepos;
    edit(*findRepo(tree, id));
    setSavedRepos(std::move(tree));
    return true;
}
