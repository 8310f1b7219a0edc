#include "ui/storeviewstate.h"

#include "model/sortoptions.h"
#include "store/appstoreviewmodel.h"

using namespace Qt::StringLiterals;

StoreViewState::StoreViewState(QObject *parent)
    : QObject(parent) {
}

void StoreViewState::setStore(AppStoreViewModel *store) {
    if (m_store == store)
        return;
    for (const QMetaObject::Connection &connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    m_store = store;
    if (store) {
        m_connections = {
            connect(store, &AppStoreViewModel::appSortOrderChanged, this, &StoreViewState::sortIndexChanged),
            connect(store, &AppStoreViewModel::savedReposChanged, this, &StoreViewState::reposDidChange),
            // Sorting by name may leave the tree as it is yet reorders the sources.
            connect(store, &AppStoreViewModel::repoSortOrderChanged, this, &StoreViewState::reposDidChange),
            connect(store, &AppStoreViewModel::selectedRepoIDChanged, this, &StoreViewState::sourcesChanged),
            connect(store, &AppStoreViewModel::isLoadingChanged, this, &StoreViewState::progressChanged),
            connect(store, &AppStoreViewModel::fetchProgressChanged, this, &StoreViewState::progressChanged),
            connect(store, &AppStoreViewModel::fetchTotalChanged, this, &StoreViewState::progressChanged),
        };
    }
    reposDidChange();
    Q_EMIT storeChanged();
    Q_EMIT sortIndexChanged();
    Q_EMIT progressChanged();
}

QStringList StoreViewState::sortOptions() {
    // The raw values are the stored form; the menu shows their names in the user's language.
    const auto name = [](AppSortOption option) {
        switch (option.value()) {
        case AppSortOption::Name:
            return tr("Name");
        case AppSortOption::Date:
            return tr("Date");
        case AppSortOption::Size:
            return tr("Size");
        }
        return option.rawValue();
    };
    QStringList names;
    for (const AppSortOption option : AppSortOption::allCases())
        names.append(name(option));
    return names;
}

int StoreViewState::sortIndex() const {
    return m_store ? int(AppSortOption::allCases().indexOf(m_store->appSortOrder())) : 0;
}

void StoreViewState::setSortIndex(int index) {
    const QList<AppSortOption> cases = AppSortOption::allCases();
    if (!m_store || index < 0 || index >= cases.size())
        return;
    m_store->setAppSortOrder(cases.at(index));
}

bool StoreViewState::showsSourcePicker() const {
    return m_store && !m_store->savedRepos().isEmpty();
}

int StoreViewState::sourceIndex() const {
    if (!m_store || !m_store->selectedRepoID())
        return 0;
    const qsizetype found = m_sourceOptions.indexOf(*m_store->selectedRepoID(), 1);
    return found < 0 ? -1 : int(found);
}

void StoreViewState::setSourceIndex(int index) {
    if (!m_store || index < 0 || index >= m_sourceOptions.size())
        return;
    if (index == 0)
        m_store->setSelectedRepoID(std::nullopt);
    else
        m_store->setSelectedRepoID(m_sourceOptions.at(index));
}

bool StoreViewState::showsProgress() const {
    return m_store && m_store->isLoading() && m_store->fetchTotal() >= 1;
}

QString StoreViewState::progressText() const {
    if (!m_store)
        return {};
    return QString::number(m_store->fetchProgress()) + u'/' + QString::number(m_store->fetchTotal());
}

void StoreViewState::reposDidChange() {
    QStringList options{tr("All Sources")};
    if (m_store) {
        for (const SavedRepo &repo : m_store->enabledRepos())
            options.append(repo.name);
    }
    m_sourceOptions = std::move(options);
    Q_EMIT sourcesChanged();
}
