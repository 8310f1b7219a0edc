// The catalogue part of the store engine: grouping, sorting, searching and update detection.
// The computations live in catalogueassembly.cpp and run off the main thread; this file starts
// them, and assigns their results here on the main thread unless a newer one has started.

#include "appstoreviewmodel.h"

#include "store/backgroundrelease.h"
#include "store/catalogueassembly.h"

#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>

#include <chrono>

using namespace std::chrono_literals;

// A displayApps list and the search index built for it.
struct AppStoreViewModel::DisplaySearch {
    QList<AppItem> rows;
    CatalogueAssembly::SearchIndex index;

    bool indexes(const QList<AppItem> &apps) const {
        return rows.constData() == apps.constData() && rows.size() == apps.size();
    }
};

QCoro::Task<> AppStoreViewModel::rebuildCatalogue() {
    // Copying the repositories only shares their app lists; joining them is left to the
    // background task.
    QList<QList<AppItem>> sources;
    for (const SavedRepo &repo : enabledRepos()) {
        if (repo.cachedApps)
            sources.append(*repo.cachedApps);
    }
    co_await assembleCatalogue(std::move(sources));
}

QCoro::Task<> AppStoreViewModel::processApps(QList<AppItem> apps) {
    QList<QList<AppItem>> sources;
    sources.append(std::move(apps));
    co_await assembleCatalogue(std::move(sources));
}

QCoro::Task<> AppStoreViewModel::assembleCatalogue(QList<QList<AppItem>> sources) {
    const AppSortOption order = m_appSortOrder;
    const bool strict = m_strictGrouping;
    const quint64 generation = ++m_catalogueGeneration;
    const QPointer<AppStoreViewModel> self(this);
    // GCC 12 destroys lambda captures twice when the lambda is a temporary inside co_await, so
    // the future is made in a statement of its own.
    const QFuture<std::shared_ptr<CatalogueAssembly::Catalogue>> work =
        QtConcurrent::run([sources = std::move(sources), order, strict,
                           previous = CatalogueAssembly::Catalogue{m_variantGroups, m_displayApps, {}},
                           hook = m_catalogueWorkHookForTests] {
            if (hook)
                hook();
            return std::make_shared<CatalogueAssembly::Catalogue>(
                CatalogueAssembly::assemble(sources, order, strict, previous));
        });
    // Taken out of the future, whose own copy would otherwise be freed wherever it ends.
    CatalogueAssembly::Catalogue catalogue = std::move(*co_await work);
    // A rebuild started since then has newer input: only its result may reach the screens.
    if (isGone(self) || generation != m_catalogueGeneration) {
        releaseInBackground(std::move(catalogue));
        co_return;
    }
    // Freeing a catalogue of a hundred thousand builds is no work for the main thread: the
    // setters let the replaced lists go on a pool thread, and so does this with the search index
    // that is not kept, which may hold the last reference to the replaced rows.
    std::shared_ptr<const DisplaySearch> replacedSearch = m_displaySearch;

    setVariantGroups(std::move(catalogue.groups));
    // In place before the change is announced, so the filtering it starts can use it; an equal
    // list is not taken, and then the index of the kept one stays.
    std::shared_ptr<const DisplaySearch> offeredSearch = std::make_shared<const DisplaySearch>(
        DisplaySearch{catalogue.displayApps, std::move(catalogue.searchIndex)});
    m_displaySearch = offeredSearch;
    setDisplayApps(std::move(catalogue.displayApps));
    if (!m_displaySearch->indexes(m_displayApps))
        m_displaySearch = replacedSearch;

    releaseInBackground(std::move(replacedSearch));
    releaseInBackground(std::move(offeredSearch));
}

const QHash<QString, QList<AppItem>> &AppStoreViewModel::allAppsByVariant() const {
    if (!m_allAppsByVariant)
        m_allAppsByVariant = m_variantGroups ? m_variantGroups->toHash() : QHash<QString, QList<AppItem>>();
    return *m_allAppsByVariant;
}

QList<AppItem> AppStoreViewModel::versionsOfApp(const AppItem &app) const {
    if (!m_variantGroups)
        return {};
    return CatalogueAssembly::versionsNewestFirst(m_variantGroups->versionsOf(app));
}

void AppStoreViewModel::checkForUpdates(const QList<LocalApp> &installedApps) {
    QList<QList<AppItem>> sources;
    for (const SavedRepo &repo : enabledRepos()) {
        if (repo.cachedApps)
            sources.append(*repo.cachedApps);
    }
    setAvailableUpdates(CatalogueAssembly::availableUpdates(sources, installedApps));
}

void AppStoreViewModel::setUpSearchPipeline() {
    m_searchDebounce.setSingleShot(true);
    m_searchDebounce.setInterval(300ms);
    // A coarse timer may fire 5% late: 15 ms of the 50 a keystroke may take after the debounce.
    m_searchDebounce.setTimerType(Qt::PreciseTimer);
    connect(this, &AppStoreViewModel::searchTextChanged, &m_searchDebounce, qOverload<>(&QTimer::start));
    connect(&m_searchDebounce, &QTimer::timeout, this, [this] {
        m_debouncedSearchText = m_searchText;
        filterDisplayApps();
    });
    connect(this, &AppStoreViewModel::displayAppsChanged, this, [this] { filterDisplayApps(); });
    connect(this, &AppStoreViewModel::selectedRepoIDChanged, this, [this] { filterDisplayApps(); });
    // The text the engine starts with passes the debounce like a typed one.
    m_searchDebounce.start();
}

QCoro::Task<> AppStoreViewModel::filterDisplayApps() {
    if (!m_debouncedSearchText)
        co_return;
    const quint64 generation = ++m_filterGeneration;
    const QPointer<AppStoreViewModel> self(this);
    std::shared_ptr<const DisplaySearch> search = m_displaySearch;
    if (search && !search->indexes(m_displayApps))
        search.reset();
    const QFuture<std::shared_ptr<QList<AppItem>>> work =
        QtConcurrent::run([apps = m_displayApps, search = std::move(search), source = m_selectedRepoID,
                           text = *m_debouncedSearchText, hook = m_filterWorkHookForTests] {
            if (hook)
                hook();
            return std::make_shared<QList<AppItem>>(
                search ? CatalogueAssembly::filterApps(apps, search->index, source, text)
                       : CatalogueAssembly::filterApps(apps, source, text));
        });
    QList<AppItem> filtered = std::move(*co_await work);
    // Likewise a filtering started since then saw a newer text, source or list.
    if (isGone(self) || generation != m_filterGeneration) {
        releaseInBackground(std::move(filtered));
        co_return;
    }
    setFilteredApps(std::move(filtered));
}
