#include "appstoreviewmodel.h"

#include "model/repoexchange.h"
#include "model/reporesponse.h"
#include "model/urltext.h"
#include "platform/console.h"
#include "platform/localecompare.h"
#include "store/semaphore.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QStringDecoder>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>
#include <qcoro/qcoronetworkreply.h>

#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Deletes its reply later, unless the network client has deleted it already: an engine with a
// client of its own takes the replies with it, while its coroutines may still wait on other work.
class ReplyHandle {
public:
    explicit ReplyHandle(QNetworkReply *reply)
        : m_reply(reply) {}
    ~ReplyHandle() {
        if (m_reply)
            m_reply->deleteLater();
    }
    ReplyHandle(const ReplyHandle &) = delete;
    ReplyHandle &operator=(const ReplyHandle &) = delete;

    QNetworkReply *get() const { return m_reply; }
    QNetworkReply &operator*() const { return *m_reply; }
    QNetworkReply *operator->() const { return m_reply; }

private:
    QPointer<QNetworkReply> m_reply;
};

int httpStatus(const QNetworkReply &reply) {
    return reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

// The server answered, whatever its status: its body is what the request got. Otherwise the
// transfer itself failed (no connection, reset, cut short, timed out).
bool serverAnswered(const QNetworkReply &reply) {
    const QNetworkReply::NetworkError error = reply.error();
    if (error == QNetworkReply::NoError)
        return true;
    if (!reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        return false;
    const bool contentError = error >= QNetworkReply::ContentAccessDenied &&
                              error <= QNetworkReply::UnknownContentError &&
                              error != QNetworkReply::ContentReSendError;
    const bool serverError =
        error >= QNetworkReply::InternalServerError && error <= QNetworkReply::UnknownServerError;
    return contentError || serverError || error == QNetworkReply::ProtocolInvalidOperationError;
}

QString transportErrorDescription(const QNetworkReply &reply) {
    // Qt reports its own transfer time-out as a cancellation.
    if (reply.error() == QNetworkReply::OperationCanceledError)
        return AppStoreViewModel::tr("The request timed out.");
    return reply.errorString();
}

struct FeedOutcome {
    std::optional<RepoResponse> feed;
    QString error;
};

// Runs off the main thread: decodes the body and stamps every app with the feed's name. Apps equal
// to the ones cached come back as those, so that the tree, the catalogue and their comparisons
// share the list instead of holding and comparing two.
FeedOutcome decodeFeed(const QList<QByteArray> &chunks, int status,
                       const std::optional<QList<AppItem>> &cachedApps) {
    QByteArray body;
    if (chunks.size() == 1) {
        body = chunks.first();
    } else {
        qsizetype size = 0;
        for (const QByteArray &chunk : chunks)
            size += chunk.size();
        body.reserve(size);
        for (const QByteArray &chunk : chunks)
            body.append(chunk);
    }
    DecodeResult<RepoResponse> decoded = RepoResponse::decode(body);
    if (!decoded) {
        // The body is decoded whatever the status, but a failing server is the likelier story.
        if (status >= 400)
            return {std::nullopt, AppStoreViewModel::tr("HTTP %1 — the response is not a repository feed: %2")
                                      .arg(QString::number(status), decoded.error())};
        return {std::nullopt, decoded.error()};
    }
    RepoResponse feed = std::move(decoded).value();
    for (AppItem &app : feed.apps)
        app.sourceRepoName = feed.name;
    if (cachedApps && *cachedApps == feed.apps)
        feed.apps = *cachedApps;
    return {std::move(feed), {}};
}

// The tasks already run side by side (each starts as it is made); this ends when the last one has.
QCoro::Task<> allOf(std::vector<QCoro::Task<>> tasks) {
    for (QCoro::Task<> &task : tasks)
        co_await task;
}

void collectLinkedFolders(const QList<SavedRepo> &level, QStringList &ids) {
    for (const SavedRepo &node : level) {
        if (node.repoListURL)
            ids.append(node.id);
        if (node.children)
            collectLinkedFolders(*node.children, ids);
    }
}

void collectEnabledRepos(const QList<SavedRepo> &level, QList<SavedRepo> &repos) {
    for (const SavedRepo &node : level) {
        if (!node.isEnabled)
            continue;
        if (node.children)
            collectEnabledRepos(*node.children, repos);
        else
            repos.append(node);
    }
}

} // namespace

QNetworkReply *AppStoreViewModel::track(QNetworkReply *reply) {
    m_replies.removeIf([](const QPointer<QNetworkReply> &known) { return known.isNull(); });
    m_replies.append(reply);
    return reply;
}

QList<SavedRepo> AppStoreViewModel::enabledRepos() const {
    QList<SavedRepo> repos;
    collectEnabledRepos(m_savedRepos, repos);
    if (m_repoSortOrder == RepoSortOption::Name) {
        std::stable_sort(repos.begin(), repos.end(), [](const SavedRepo &a, const SavedRepo &b) {
            return LocaleCompare::lessThan(a.name, b.name);
        });
    }
    return repos;
}

void AppStoreViewModel::refreshAllRepos() {
    fetchAllRepos();
}

void AppStoreViewModel::updateFolderList(const QString &folderID) {
    refreshFolder(folderID, false);
}

QCoro::Task<> AppStoreViewModel::fetchAllRepos() {
    const QPointer<AppStoreViewModel> self(this);
    const std::shared_ptr<Semaphore> waiters = m_refreshWaiters;
    if (m_refreshRunning) {
        // One full refresh at a time. The one running may have taken the tree before this request
        // changed it (an import), so it runs once more when it ends; this completes with that run.
        m_refreshRequested = true;
        co_await waiters->wait();
        co_return;
    }
    m_refreshRunning = true;
    setIsLoading(true);
    do {
        m_refreshRequested = false;
        qsizetype served = waiters->waiting();
        co_await runFullRefresh();
        if (isGone(self))
            co_return;
        for (; served > 0; --served)
            waiters->signal();
    } while (m_refreshRequested);
    m_refreshRunning = false;
    setIsLoading(false);
}

QCoro::Task<> AppStoreViewModel::runFullRefresh() {
    const QPointer<AppStoreViewModel> self(this);

    // Linked folders first, all at once and wherever they sit: their lists decide which
    // repositories there are to fetch.
    QStringList folderIDs;
    collectLinkedFolders(m_savedRepos, folderIDs);
    if (!folderIDs.isEmpty()) {
        std::vector<QCoro::Task<>> refreshes;
        for (const QString &folderID : std::as_const(folderIDs))
            refreshes.push_back(refreshFolder(folderID, false));
        co_await allOf(std::move(refreshes));
        if (isGone(self))
            co_return;
    }

    // Only the ids are kept: copies of the nodes would keep their old apps alive until the end,
    // and free them all at once on the main thread.
    QStringList ids;
    for (const SavedRepo &repo : enabledRepos())
        ids.append(repo.id);
    setFetchTotal(int(ids.size()));
    setFetchProgress(0);
    QList<SavedRepo> tree = m_savedRepos;
    for (const QString &id : std::as_const(ids)) {
        if (SavedRepo *node = findRepo(tree, id))
            node->fetchStatus = RepoFetchStatus::waiting();
    }
    setSavedRepos(std::move(tree));

    const auto permits = std::make_shared<Semaphore>(3);
    std::vector<QCoro::Task<>> fetches;
    for (const QString &id : std::as_const(ids))
        fetches.push_back(fetchUnderPermit(permits, id));
    co_await allOf(std::move(fetches));
    if (isGone(self))
        co_return;

    saveRepos();
    co_await rebuildCatalogue();
}

QCoro::Task<> AppStoreViewModel::fetchUnderPermit(std::shared_ptr<Semaphore> permits, QString id) {
    const QPointer<AppStoreViewModel> self(this);
    co_await permits->wait();
    if (!isGone(self))
        co_await fetchRepo(id, false);
    if (isGone(self)) {
        // Let the waiters behind us see the engine is gone and end too.
        permits->signal();
        co_return;
    }
    setFetchProgress(m_fetchProgress + 1);
    // Handed on from a fresh task, so the next fetch does not start inside this one.
    QTimer::singleShot(0, [permits] { permits->signal(); });
}

QCoro::Task<> AppStoreViewModel::fetchRepo(QString id, bool save) {
    const QPointer<AppStoreViewModel> self(this);
    const SavedRepo *found = findRepo(std::as_const(m_savedRepos), id);
    if (!found || !found->url)
        co_return;
    const QUrl url = *found->url;
    editRepo(id, [](SavedRepo &node) { node.fetchStatus = RepoFetchStatus::loading(); });

    QNetworkRequest request(url);
    request.setTransferTimeout(int(m_transferTimeout.count()));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    const ReplyHandle reply(track(m_network->get(request)));
    // Taken as it arrives, each piece without a copy: joining megabytes here, at the end, would
    // hold up the main thread; the decoding thread joins them.
    auto chunks = std::make_shared<QList<QByteArray>>();
    connect(reply.get(), &QNetworkReply::readyRead, reply.get(),
            [chunks, received = reply.get()] { chunks->append(received->readAll()); });
    co_await reply.get();
    if (isGone(self))
        co_return;

    FeedOutcome outcome;
    const bool answered = serverAnswered(*reply);
    if (answered) {
        if (reply->bytesAvailable() > 0)
            chunks->append(reply->readAll());
        // Handed over whole: if the fetch replaces the list, the decoding thread frees it.
        const SavedRepo *node = findRepo(std::as_const(m_savedRepos), id);
        std::optional<QList<AppItem>> cachedApps = node ? node->cachedApps : std::nullopt;
        outcome = co_await QtConcurrent::run(decodeFeed, std::move(*chunks), httpStatus(*reply),
                                             std::move(cachedApps));
        if (isGone(self))
            co_return;
    } else {
        outcome.error = transportErrorDescription(*reply);
    }

    // The node as it is now: a rename or a switch made while the request ran stays.
    if (outcome.feed) {
        RepoResponse &feed = *outcome.feed;
        editRepo(id, [&feed](SavedRepo &node) {
            node.name = feed.name;
            if (feed.iconURL)
                node.iconURL = feed.iconURL;
            else if (feed.META && feed.META->repoIcon)
                node.iconURL = feed.META->repoIcon;
            node.appCount = feed.apps.size();
            node.fetchStatus = RepoFetchStatus::success();
            node.cachedApps = std::move(feed.apps);
        });
    } else {
        printLine(u"Failed to fetch "_s + UrlText::fromUrl(url) + u": "_s + outcome.error);
        // A feed the server answered unusably is switched off; one that got no answer (offline,
        // refused, timed out) stays on, or a refresh without network would switch off every one.
        editRepo(id, [&outcome, answered](SavedRepo &node) {
            if (answered)
                node.isEnabled = false;
            node.fetchStatus = RepoFetchStatus::error(outcome.error);
        });
    }
    if (save)
        saveRepos();
}

QCoro::Task<> AppStoreViewModel::refreshFolder(QString id, bool fetchChildren) {
    const QPointer<AppStoreViewModel> self(this);
    const SavedRepo *found = findRepo(std::as_const(m_savedRepos), id);
    if (!found || !found->repoListURL)
        co_return;
    const QUrl listURL = *found->repoListURL;
    editRepo(id, [](SavedRepo &node) { node.fetchStatus = RepoFetchStatus::loading(); });

    // Qt sets no time-out of its own: a server that never answers would hold a refresh forever.
    QNetworkRequest request(listURL);
    request.setTransferTimeout(int(m_transferTimeout.count()));
    const ReplyHandle reply(track(m_network->get(request)));
    co_await reply.get();
    if (isGone(self))
        co_return;

    QString failure;
    QList<QUrl> addresses;
    if (!serverAnswered(*reply)) {
        failure = transportErrorDescription(*reply);
    } else if (const int status = httpStatus(*reply); status >= 400) {
        // An error page is no list: reading it would drop every child the folder has.
        const QString reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        const QString statusLine = QString::number(status) + (reason.isEmpty() ? QString() : u' ' + reason);
        failure = tr("HTTP %1 — the server did not send the list").arg(statusLine);
    } else {
        const QByteArray body = reply->readAll();
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = utf8.decode(body);
        if (utf8.hasError())
            failure = tr("The list at %1 is not UTF-8 text.").arg(UrlText::fromUrl(listURL));
        else
            addresses = RepoExchange::readUrlList(text);
    }
    if (!failure.isEmpty()) {
        printLine(u"Remote folder fetch error: "_s + failure);
        editRepo(id, [&failure](SavedRepo &node) { node.fetchStatus = RepoFetchStatus::error(failure); });
        co_return;
    }

    if (addresses.isEmpty()) {
        // A list that came back empty is more likely a hiccup than a wish to lose every child.
        editRepo(id, [](SavedRepo &node) { node.fetchStatus = RepoFetchStatus::success(); });
        if (fetchChildren) {
            saveRepos();
            co_await rebuildCatalogue();
        }
        co_return;
    }

    // Built from the folder as it is now, so children switched off or renamed meanwhile keep that.
    QList<SavedRepo> children;
    const bool folderStillThere = editRepo(id, [&addresses, &children](SavedRepo &folder) {
        const QList<SavedRepo> previous = folder.children.value_or(QList<SavedRepo>());
        children.reserve(addresses.size());
        for (const QUrl &address : std::as_const(addresses)) {
            const QString text = UrlText::fromUrl(address);
            const auto known =
                std::find_if(previous.cbegin(), previous.cend(), [&text](const SavedRepo &child) {
                    return child.url && UrlText::fromUrl(*child.url) == text;
                });
            if (known != previous.cend()) {
                children.append(*known);
                continue;
            }
            SavedRepo child;
            child.id = text;
            child.name = u"Unknown"_s;
            child.url = address;
            child.isEnabled = true;
            children.append(child);
        }
        folder.children = children;
        folder.fetchStatus = RepoFetchStatus::success();
    });
    if (!folderStillThere || !fetchChildren)
        co_return;

    std::vector<QCoro::Task<>> fetches;
    for (const SavedRepo &child : std::as_const(children)) {
        if (child.url && child.isEnabled)
            fetches.push_back(fetchRepo(child.id, false));
    }
    co_await allOf(std::move(fetches));
    if (isGone(self))
        co_return;
    saveRepos();
    co_await rebuildCatalogue();
}
