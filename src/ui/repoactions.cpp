#include "ui/repoactions.h"

#include "model/repoexchange.h"
#include "platform/standarddirs.h"
#include "services/notificationmanager.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace {

bool anyDisabled(const QList<SavedRepo> &level) {
    return std::any_of(level.cbegin(), level.cend(),
                       [](const SavedRepo &node) { return node.containsDisabled(); });
}

QString addedText(int added) {
    return added == 1 ? RepoActions::tr("1 repository added.")
                      : RepoActions::tr("%1 repositories added.").arg(added);
}

} // namespace

RepoActions::RepoActions(QObject *parent)
    : QObject(parent) {
}

void RepoActions::setStore(AppStoreViewModel *store) {
    if (m_store == store)
        return;
    disconnect(m_sortConnection);
    m_store = store;
    if (store)
        m_sortConnection = connect(store, &AppStoreViewModel::repoSortOrderChanged, this,
                                   &RepoActions::repoSortIndexChanged);
    Q_EMIT storeChanged();
    Q_EMIT repoSortIndexChanged();
}

int RepoActions::repoSortIndex() const {
    return m_store ? int(m_store->repoSortOrder().value()) : 0;
}

void RepoActions::setRepoSortIndex(int index) {
    if (m_store && (index == RepoSortOption::Standard || index == RepoSortOption::Name))
        m_store->setRepoSortOrder(RepoSortOption(static_cast<RepoSortOption::Value>(index)));
}

QString RepoActions::clipboardText() const {
    const QClipboard *clipboard = QGuiApplication::clipboard();
    return clipboard ? clipboard->text() : QString();
}

void RepoActions::copyText(const QString &text) const {
    if (QClipboard *clipboard = QGuiApplication::clipboard(); clipboard && !text.isEmpty())
        clipboard->setText(text);
}

bool RepoActions::treeContainsDisabled() const {
    return m_store && anyDisabled(m_store->savedRepos());
}

void RepoActions::copyTree(CopyMode mode, bool onlyEnabled) const {
    if (!m_store)
        return;
    copyText(mode == CopyMode::Json ? m_store->exportReposJSON(onlyEnabled)
                                    : m_store->exportReposURLList(onlyEnabled));
}

void RepoActions::copyNode(const SavedRepo &node, CopyMode mode, bool onlyEnabled) const {
    copyText(mode == CopyMode::Json ? RepoExchange::exportNodeJson(node, onlyEnabled)
                                    : RepoExchange::exportNodeUrlList(node, onlyEnabled));
}

QUrl RepoActions::writeShareFile() const {
    if (!m_store)
        return {};
    const QString json = m_store->exportReposJSON(false);
    const QString folder = StandardDirs::temporary();
    if (json.isEmpty() || !QDir().mkpath(folder))
        return {};
    QSaveFile file(folder + u"/Kivo Repos.json"_s);
    if (!file.open(QIODevice::WriteOnly) || file.write(json.toUtf8()) < 0 || !file.commit())
        return {};
    return QUrl::fromLocalFile(file.fileName());
}

qint64 RepoActions::repositoryCount() const {
    qint64 count = 0;
    if (m_store) {
        for (const SavedRepo &node : m_store->savedRepos())
            count += node.repoCount();
    }
    return count;
}

int RepoActions::addSources(const QString &text, const QString &parentID) {
    if (!m_store)
        return 0;
    const QList<QUrl> urls = RepoExchange::readUrlList(text);
    const qint64 before = repositoryCount();
    for (const QUrl &url : urls)
        m_store->addRepo(url, parentID);
    const int added = int(repositoryCount() - before);

    NotificationManager &banner = NotificationManager::shared();
    if (added > 0)
        banner.showNotification(tr("Repositories Added"), addedText(added), NotificationType::Success);
    else if (urls.isEmpty())
        banner.showNotification(tr("Nothing Added"), tr("No line holds a repository address."),
                                NotificationType::Error);
    else
        banner.showNotification(tr("Nothing Added"), tr("Every address is already in the list."),
                                NotificationType::Info);
    return added;
}

QString RepoActions::folderNameFromLink(const QString &link) {
    for (const QString &scheme : {u"https://"_s, u"http://"_s}) {
        if (link.startsWith(scheme, Qt::CaseInsensitive))
            return link.sliced(scheme.size());
    }
    return link;
}

bool RepoActions::addFolder(const QString &name, const QString &link, const QString &parentID) {
    if (!m_store)
        return false;
    const QString linkText = link.trimmed();
    QString folderName = name.trimmed();
    if (folderName.isEmpty() && !linkText.isEmpty())
        folderName = folderNameFromLink(linkText);
    if (folderName.isEmpty())
        return false;
    // The list reader adds "https://" where the scheme is missing and refuses what is no address.
    const QList<QUrl> links = RepoExchange::readUrlList(linkText);
    m_store->addFolder(folderName, parentID, links.size() == 1 ? links.first() : QUrl());
    return true;
}

int RepoActions::importJson(const QString &text) {
    if (!m_store)
        return 0;
    const qint64 repos = repositoryCount();
    const qsizetype nodes = m_store->savedRepos().size();
    m_store->importRepos(text);
    const int added = int(repositoryCount() - repos);

    NotificationManager &banner = NotificationManager::shared();
    if (added > 0)
        banner.showNotification(tr("Import Complete"), addedText(added), NotificationType::Success);
    else if (m_store->savedRepos().size() > nodes)
        banner.showNotification(tr("Import Complete"), tr("Only empty folders were added."),
                                NotificationType::Info);
    else
        banner.showNotification(tr("Nothing Imported"), tr("The text is not a repository list in JSON."),
                                NotificationType::Error);
    return added;
}
