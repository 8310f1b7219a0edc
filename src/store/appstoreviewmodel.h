#pragma once

#include "model/appitem.h"
#include "model/localapp.h"
#include "model/savedrepo.h"
#include "model/sortoptions.h"
#include "store/reposfilewriter.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QtQmlIntegration/qqmlintegration.h>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class Semaphore;
class VariantGroups;

// The store engine: owns the repository tree, keeps it on disk with its settings, fetches the
// feeds and linked folder lists, builds the catalogue and offers the tree-editing operations.
// Confined to the main thread; slow work runs elsewhere and hands its results back here.
//
// The class is spread over files by concern: appstoreviewmodel.cpp (state, settings,
// persistence, tree order), repositoryfetching.cpp, catalogue.cpp, repositorymanagement.cpp.
class AppStoreViewModel : public QObject {
    Q_OBJECT
    QML_ELEMENT

    Q_PROPERTY(QList<SavedRepo> savedRepos READ savedRepos NOTIFY savedReposChanged)
    Q_PROPERTY(QList<AppItem> displayApps READ displayApps NOTIFY displayAppsChanged)
    Q_PROPERTY(
        QHash<QString, QList<AppItem>> allAppsByVariant READ allAppsByVariant NOTIFY allAppsByVariantChanged)
    Q_PROPERTY(QString searchText READ searchText WRITE setSearchText NOTIFY searchTextChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    // Absent reads as a null string; QML clears it by assigning undefined.
    Q_PROPERTY(QString selectedRepoID READ selectedRepoIDText WRITE setSelectedRepoIDText RESET
                   clearSelectedRepoID NOTIFY selectedRepoIDChanged)
    Q_PROPERTY(QMap<QString, QString> availableUpdates READ availableUpdates NOTIFY availableUpdatesChanged)
    Q_PROPERTY(AppSortOption appSortOrder READ appSortOrder WRITE setAppSortOrder NOTIFY appSortOrderChanged)
    Q_PROPERTY(
        RepoSortOption repoSortOrder READ repoSortOrder WRITE setRepoSortOrder NOTIFY repoSortOrderChanged)
    Q_PROPERTY(bool strictGrouping READ strictGrouping WRITE setStrictGrouping NOTIFY strictGroupingChanged)
    Q_PROPERTY(int fetchProgress READ fetchProgress NOTIFY fetchProgressChanged)
    Q_PROPERTY(int fetchTotal READ fetchTotal NOTIFY fetchTotalChanged)
    Q_PROPERTY(QList<AppItem> filteredApps READ filteredApps NOTIFY filteredAppsChanged)

public:
    // Legacy home of the tree: read once at start-up, removed after a successful migration.
    static inline const QString kSavedReposKey = QStringLiteral("kSavedReposKey");
    static inline const QString kRepoSortOrder = QStringLiteral("kRepoSortOrder");
    static inline const QString kStrictGrouping = QStringLiteral("kStrictGrouping");
    // Where the "Recommended" folder of a fresh install takes its repositories from.
    static QUrl defaultReposListURL();

    // For the main window: the real default list and a network client of the engine's own.
    explicit AppStoreViewModel(QObject *parent = nullptr);
    // For tests and tools: another default list address and a network client owned by the caller,
    // which must outlive the engine.
    AppStoreViewModel(const QUrl &defaultReposListURL, QNetworkAccessManager *network,
                      QObject *parent = nullptr);
    ~AppStoreViewModel() override;

    // Observable state.
    const QList<SavedRepo> &savedRepos() const { return m_savedRepos; }
    const QList<AppItem> &displayApps() const { return m_displayApps; }
    // Made on first use after each change: the engine itself looks groups up without it.
    const QHash<QString, QList<AppItem>> &allAppsByVariant() const;
    const QString &searchText() const { return m_searchText; }
    void setSearchText(const QString &text);
    bool isLoading() const { return m_isLoading; }
    const std::optional<QString> &selectedRepoID() const { return m_selectedRepoID; }
    void setSelectedRepoID(const std::optional<QString> &repoName);
    const QMap<QString, QString> &availableUpdates() const { return m_availableUpdates; }
    AppSortOption appSortOrder() const { return m_appSortOrder; }
    void setAppSortOrder(AppSortOption order);
    RepoSortOption repoSortOrder() const { return m_repoSortOrder; }
    void setRepoSortOrder(RepoSortOption order);
    bool strictGrouping() const { return m_strictGrouping; }
    void setStrictGrouping(bool strict);
    int fetchProgress() const { return m_fetchProgress; }
    int fetchTotal() const { return m_fetchTotal; }
    const QList<AppItem> &filteredApps() const { return m_filteredApps; }

    // Persistence. loadRepos runs once during construction. saveRepos, after every change of the
    // tree, puts the tree in order at once and writes the file in the background;
    // waitForPendingSaves blocks until the file holds the last tree saved.
    void loadRepos();
    void saveRepos();
    void waitForPendingSaves();
    Q_INVOKABLE void resetToDefaults();

    // Fetching. Each task completes when the tree reflects its result. A full refresh asked for
    // while one runs makes that one run once more, and completes when it has.
    QCoro::Task<> fetchAllRepos();
    QCoro::Task<> fetchRepo(QString id, bool save);
    QCoro::Task<> refreshFolder(QString id, bool fetchChildren);
    // Every enabled repository under enabled folders, depth-first in tree order.
    Q_INVOKABLE QList<SavedRepo> enabledRepos() const;
    // Starts the full refresh for the screens (pull to refresh, first show).
    Q_INVOKABLE void refreshAllRepos();
    // Re-reads a linked folder's list; the new children are fetched by the next full refresh.
    Q_INVOKABLE void updateFolderList(const QString &folderID);
    // How long a feed or list transfer may stall before it fails; one minute unless a test says.
    void setTransferTimeout(std::chrono::milliseconds timeout) { m_transferTimeout = timeout; }

    // Tree editing. An empty parent or target id means the top level; an empty link means none.
    Q_INVOKABLE void addRepo(const QUrl &url, const QString &parentID = {});
    Q_INVOKABLE void addFolder(const QString &name, const QString &parentID = {}, const QUrl &link = {});
    Q_INVOKABLE void renameRepo(const QString &id, const QString &name);
    Q_INVOKABLE void deleteRepo(const QString &id);
    Q_INVOKABLE void moveRepo(const QString &id, const QString &targetID = {});
    Q_INVOKABLE QList<SavedRepo> moveTargets(const QString &id) const;
    Q_INVOKABLE void setRepoEnabled(const QString &id, bool enabled);
    Q_INVOKABLE QList<SavedRepo> childrenForDisplay(const QString &parentID = {}) const;
    Q_INVOKABLE QString exportReposJSON(bool onlyEnabled) const;
    Q_INVOKABLE QString exportReposURLList(bool onlyEnabled) const;
    Q_INVOKABLE void importRepos(const QString &text);

    // Catalogue (store/catalogue.cpp).
    QCoro::Task<> rebuildCatalogue();
    QCoro::Task<> processApps(QList<AppItem> apps);
    Q_INVOKABLE QList<AppItem> versionsOfApp(const AppItem &app) const;
    Q_INVOKABLE void checkForUpdates(const QList<LocalApp> &installedApps);

Q_SIGNALS:
    void savedReposChanged();
    void displayAppsChanged();
    void allAppsByVariantChanged();
    void searchTextChanged();
    void isLoadingChanged();
    void selectedRepoIDChanged();
    void availableUpdatesChanged();
    void appSortOrderChanged();
    void repoSortOrderChanged();
    void strictGroupingChanged();
    void fetchProgressChanged();
    void fetchTotalChanged();
    void filteredAppsChanged();

private:
    QString selectedRepoIDText() const { return m_selectedRepoID.value_or(QString()); }
    void setSelectedRepoIDText(const QString &repoName) { setSelectedRepoID(repoName); }
    void clearSelectedRepoID() { setSelectedRepoID(std::nullopt); }

    // Assignments of the observable state; each announces only a real change.
    void setSavedRepos(QList<SavedRepo> repos);
    void setDisplayApps(QList<AppItem> apps);
    void setVariantGroups(std::shared_ptr<const VariantGroups> groups);
    void setFilteredApps(QList<AppItem> apps);
    void setAvailableUpdates(QMap<QString, QString> updates);
    void setIsLoading(bool loading);
    void setFetchProgress(int progress);
    void setFetchTotal(int total);

    // Change handlers of the settings.
    void repoSortOrderDidChange();
    void strictGroupingDidChange();
    void appSortOrderDidChange();

    // Folders first; then by name when the user sorts by name; stable.
    void applyTreeOrder(QList<SavedRepo> &level) const;
    bool comesBeforeInTree(const SavedRepo &a, const SavedRepo &b) const;
    // Depth-first, a node before its children; the first match wins.
    static SavedRepo *findRepo(QList<SavedRepo> &level, const QString &id);
    static const SavedRepo *findRepo(const QList<SavedRepo> &level, const QString &id);
    // Changes one node in place and announces the tree; false when no node has the id.
    bool editRepo(const QString &id, const std::function<void(SavedRepo &)> &edit);
    bool insertIntoFolder(QList<SavedRepo> &tree, const QString &parentID, SavedRepo node) const;

    // Work scheduled on the main thread after the current operation returns.
    void scheduleRebuildCatalogue();
    void scheduleFetchAllRepos();
    void scheduleFetchRepoThenRebuild(const QString &id);
    QCoro::Task<> fetchRepoThenRebuild(QString id);
    // One pass of the full refresh: linked folders, then every enabled repository, save, rebuild.
    QCoro::Task<> runFullRefresh();
    // One repository of a full refresh: waits for a permit, fetches, counts, hands the permit on.
    QCoro::Task<> fetchUnderPermit(std::shared_ptr<Semaphore> permits, QString id);

    // Replies still running: aborted when the engine goes away so no coroutine waits forever.
    QNetworkReply *track(QNetworkReply *reply);
    // True once the engine is gone or going; coroutines check it after every suspension.
    static bool isGone(const QPointer<AppStoreViewModel> &engine) { return !engine || engine->m_closing; }

    void setUpSearchPipeline();

    // ---- Engine state (appstoreviewmodel.cpp and the fetching and management files) --------
    QUrl m_defaultReposListURL;
    QNetworkAccessManager *m_network = nullptr;
    QList<QPointer<QNetworkReply>> m_replies;
    ReposFileWriter m_fileWriter;
    bool m_closing = false;
    std::chrono::milliseconds m_transferTimeout = std::chrono::minutes(1);
    bool m_refreshRunning = false;
    bool m_refreshRequested = false;
    // Callers of a full refresh asked for while one ran, resumed when the run that serves them ends.
    std::shared_ptr<Semaphore> m_refreshWaiters;

    QList<SavedRepo> m_savedRepos;
    QList<AppItem> m_displayApps;
    std::shared_ptr<const VariantGroups> m_variantGroups;
    mutable std::optional<QHash<QString, QList<AppItem>>> m_allAppsByVariant;
    QString m_searchText;
    bool m_isLoading = false;
    std::optional<QString> m_selectedRepoID;
    QMap<QString, QString> m_availableUpdates;
    AppSortOption m_appSortOrder = AppSortOption::Name;
    RepoSortOption m_repoSortOrder = RepoSortOption::Standard;
    bool m_strictGrouping = true;
    int m_fetchProgress = 0;
    int m_fetchTotal = 0;
    QList<AppItem> m_filteredApps;

    // ---- Catalogue state, owned by store/catalogue.cpp -------------------------------------
    // Groups and sorts the apps of `sources`, taken in order as one list, off the main thread and
    // assigns the result here.
    QCoro::Task<> assembleCatalogue(QList<QList<AppItem>> sources);
    // Filters displayApps by the selected source and the last debounced search text.
    QCoro::Task<> filterDisplayApps();
    // Numbers of the latest started computations. A result is assigned only when no newer
    // computation has started since, so a slow old result never replaces a newer one.
    quint64 m_catalogueGeneration = 0;
    quint64 m_filterGeneration = 0;
    QTimer m_searchDebounce;
    // The search index of displayApps, built with it off the main thread.
    struct DisplaySearch;
    std::shared_ptr<const DisplaySearch> m_displaySearch;
    // Filtering starts once the first search text has passed the debounce.
    std::optional<QString> m_debouncedSearchText;
    // Test seam, empty in the app: run at the start of each background computation so that tests
    // can slow one down and make results arrive out of order.
    std::function<void()> m_catalogueWorkHookForTests;
    std::function<void()> m_filterWorkHookForTests;
    friend class TestCatalogue;
    // ---- End of catalogue state -------------------------------------------------------------
};
