#include "httptransfer.h"

#include "platform/resumedata.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QScopedValueRollback>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

// Bounds what sits in Qt's buffers between the socket and the file: bytes that would be
// fetched again after a kill, and memory.
constexpr qint64 kReadBufferSize = 1024 * 1024;
constexpr qint64 kProgressBytes = 64 * 1024;
constexpr qsizetype kCopyChunkSize = 64 * 1024;
constexpr auto kProgressMinimumGap = 20ms;
constexpr auto kProgressMaximumGap = 100ms;
// A server whose ranges never match what it was asked for is not worth more attempts.
constexpr int kMaximumRestartsFromZero = 3;

struct ContentRange {
    qint64 first = -1; // -1 for "bytes */total"
    qint64 total = -1; // -1 for "/*"
};

std::optional<ContentRange> parseContentRange(const QByteArray &header) {
    const QByteArray value = header.trimmed();
    if (!value.startsWith("bytes "))
        return std::nullopt;
    const QByteArray rangeText = value.mid(6).trimmed();
    const qsizetype slash = rangeText.indexOf('/');
    if (slash < 0)
        return std::nullopt;
    ContentRange range;
    bool ok = true;
    const QByteArray total = rangeText.mid(slash + 1);
    if (total != "*") {
        range.total = total.toLongLong(&ok);
        if (!ok || range.total < 0)
            return std::nullopt;
    }
    const QByteArray span = rangeText.left(slash);
    if (span == "*")
        return range;
    const qsizetype dash = span.indexOf('-');
    if (dash <= 0)
        return std::nullopt;
    range.first = span.left(dash).toLongLong(&ok);
    if (!ok || range.first < 0)
        return std::nullopt;
    return range;
}

} // namespace

HttpTransfer::HttpTransfer(TransferTaskPtr task, QNetworkAccessManager *network, const Settings &settings,
                           const QString &partialFilePath, const Start &start, QObject *parent)
    : QObject(parent)
    , m_task(std::move(task))
    , m_network(network)
    , m_settings(settings)
    , m_partialFilePath(partialFilePath)
    , m_offset(start.bytesReceived)
    , m_expected(start.bytesExpected)
    , m_recordedOffset(start.bytesReceived)
    , m_durableOffset(std::min(start.bytesDurable, start.bytesReceived))
    , m_reportedOffset(start.bytesReceived)
    , m_etag(start.etag)
    , m_lastModified(start.lastModified)
    , m_retryDelay(settings.initialRetryDelay)
    , m_chunk(kCopyChunkSize, Qt::Uninitialized) {
    m_retryTimer.setSingleShot(true);
    m_idleTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &HttpTransfer::startAttempt);
    connect(&m_idleTimer, &QTimer::timeout, this, [this] {
        // Data restarts the wait without touching the timer, which is costly many times a
        // second: when it fires early, it waits out the rest.
        const auto quiet = std::chrono::milliseconds(m_sinceData.elapsed());
        if (quiet < m_settings.requestTimeout) {
            m_idleTimer.start(m_settings.requestTimeout - quiet);
            return;
        }
        abortReply();
        fail(TransferError::TimedOut, u"The request timed out."_s, true);
    });
    publishCounts();
}

HttpTransfer::~HttpTransfer() {
    abortReply();
}

TransferJournal::Entry HttpTransfer::journalEntry() const {
    TransferJournal::Entry entry;
    entry.url = m_task->originalURL();
    entry.running = m_task->state() == TransferTask::State::running;
    entry.partialFileName = QFileInfo(m_partialFilePath).fileName();
    entry.writtenBytes = m_recordedOffset;
    entry.durableBytes = m_durableOffset;
    entry.expectedBytes = m_expected;
    entry.etag = m_etag;
    entry.lastModified = m_lastModified;
    return entry;
}

void HttpTransfer::resume() {
    if (m_task->state() != TransferTask::State::suspended)
        return;
    m_task->setState(TransferTask::State::running);
    if (!m_sinceStart.isValid())
        m_sinceStart.start();
    recordState();
    startAttempt();
}

void HttpTransfer::cancel() {
    endTransfer();
    removePartialFile();
    Q_EMIT failed(TransferError{TransferError::Cancelled, u"cancelled"_s, std::nullopt});
}

std::optional<QByteArray> HttpTransfer::stopProducingResumeData() {
    abortReply();
    std::optional<QByteArray> resumeData = makeResumeData();
    endTransfer();
    if (!resumeData)
        removePartialFile();
    return resumeData;
}

void HttpTransfer::stopForShutdown() {
    abortReply();
    m_retryTimer.stop();
    m_idleTimer.stop();
    if (m_sync) {
        m_sync->flushToDisk();
        m_recordedOffset = m_offset;
        m_durableOffset = m_offset;
    }
    m_file.close();
}

bool HttpTransfer::openPartialFile() {
    if (m_file.isOpen())
        return true;
    // A link planted in the session's folder under this name must not lead the bytes elsewhere.
    const int fd = ::open(QFile::encodeName(m_partialFilePath).constData(),
                          O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        m_openError = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (!m_file.open(fd, QIODevice::ReadWrite | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        m_openError = m_file.errorString();
        return false;
    }
    // Only what the file really holds, and no more than was recorded, can be continued.
    const qint64 size = m_file.size();
    if (size > m_offset && !m_file.resize(m_offset))
        return false;
    m_offset = std::min(m_offset, size);
    m_recordedOffset = std::min(m_recordedOffset, m_offset);
    m_durableOffset = std::min(m_durableOffset, m_offset);
    m_sync = std::make_shared<TransferJournal::FileSync>(m_file.handle());
    m_sinceFlush.start();
    return m_file.seek(m_offset);
}

void HttpTransfer::startAttempt() {
    if (m_task->state() != TransferTask::State::running)
        return;
    if (!openPartialFile()) {
        fail(TransferError::CannotWriteToFile, m_openError, false);
        return;
    }
    // Without a validator there is no proof that a continuation belongs to the same file.
    if (m_offset > 0 && !hasValidator())
        truncatePartialFile();

    QNetworkRequest request(m_task->originalURL());
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    // Byte offsets must count the file as stored, never a decompressed stream.
    request.setRawHeader("Accept-Encoding", "identity");
    // One connection per attempt: a connection the server ends must never be taken for a reason
    // to send the request again behind the transfer's back.
    request.setRawHeader("Connection", "close");
    if (m_offset > 0) {
        request.setRawHeader("Range", "bytes=" + QByteArray::number(m_offset) + '-');
        request.setRawHeader("If-Range", m_etag.isEmpty() ? m_lastModified : m_etag);
    }
    m_headersAccepted = false;
    m_rangeAlreadyComplete = false;
    m_attemptBytes = 0;
    m_reply = m_network->get(request);
    m_reply->setReadBufferSize(kReadBufferSize);
    connect(m_reply, &QNetworkReply::readyRead, this, &HttpTransfer::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &HttpTransfer::onFinished);
    m_sinceData.start();
    m_idleTimer.start(m_settings.requestTimeout);
}

void HttpTransfer::abortReply() {
    if (!m_reply)
        return;
    QNetworkReply *reply = std::exchange(m_reply, nullptr);
    disconnect(reply, nullptr, this, nullptr);
    // A reply that already holds an error takes no second one: its abort would only warn.
    if (!reply->isFinished() && reply->error() == QNetworkReply::NoError)
        reply->abort();
    discardReply(reply);
}

void HttpTransfer::discardReply(QNetworkReply *reply) {
    // The network thread talks to a reply through queued calls: one that starts its request,
    // and errors and data still on their way after it finished or was aborted. Whatever still
    // reaches it after this point is stale and makes it warn, so it is deleted now, or, from
    // inside its own signal, stripped of the calls already queued and deleted right after.
    if (!m_inReplySignal) {
        delete reply;
        return;
    }
    QCoreApplication::removePostedEvents(reply, QEvent::MetaCall);
    reply->deleteLater();
}

// Decides, from the status and headers, whether this response's body continues, replaces or
// cannot serve the partial file. False when the attempt has been ended.
bool HttpTransfer::acceptResponseHeaders() {
    m_headersAccepted = true;
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray etag = m_reply->rawHeader("ETag");
    const QByteArray lastModified = m_reply->rawHeader("Last-Modified");
    const QVariant lengthHeader = m_reply->header(QNetworkRequest::ContentLengthHeader);
    const qint64 contentLength = lengthHeader.isValid() ? lengthHeader.toLongLong() : -1;

    if (status == 206) {
        const auto range = parseContentRange(m_reply->rawHeader("Content-Range"));
        const bool sameFile = etag.isEmpty() || m_etag.isEmpty() || etag == m_etag;
        if (!range || range->first != m_offset || !sameFile) {
            restartFromZero();
            return false;
        }
        m_expected = range->total >= 0 ? range->total : (contentLength >= 0 ? m_offset + contentLength : -1);
        publishCounts();
        return true;
    }
    if (status == 200) {
        // The server ignored the range, or the file changed since (If-Range): start over.
        if (m_offset > 0)
            truncatePartialFile();
        m_etag = etag;
        m_lastModified = lastModified;
        m_expected = contentLength;
        publishCounts();
        recordState();
        return true;
    }
    if (status == 416 && m_offset > 0) {
        // Asked for the bytes after the end: with If-Range honoured, everything is already here.
        const auto range = parseContentRange(m_reply->rawHeader("Content-Range"));
        if (range && range->total == m_offset) {
            m_rangeAlreadyComplete = true;
            m_expected = m_offset;
            publishCounts();
            return true;
        }
        restartFromZero();
        return false;
    }
    abortReply();
    // A server error may pass; a client error means this address will not serve the file.
    fail(TransferError::BadServerResponse, u"The server answered with HTTP status %1."_s.arg(status),
         status >= 500);
    return false;
}

void HttpTransfer::onReadyRead() {
    const QScopedValueRollback inReplySignal(m_inReplySignal, true);
    if (!m_headersAccepted && !acceptResponseHeaders())
        return;
    if (m_rangeAlreadyComplete) {
        m_reply->skip(m_reply->bytesAvailable());
        return;
    }
    // Through a small buffer that stays in the processor's cache: copying whole reads of half
    // a megabyte into the file cost more than the network itself.
    qint64 received = 0;
    while (m_reply->bytesAvailable() > 0) {
        const qint64 read = m_reply->read(m_chunk.data(), m_chunk.size());
        if (read <= 0)
            break;
        if (m_file.write(m_chunk.constData(), read) != read) {
            abortReply();
            fail(TransferError::CannotWriteToFile, m_file.errorString(), true);
            return;
        }
        m_offset += read;
        received += read;
    }
    if (received == 0)
        return;
    m_attemptBytes += received;
    m_sinceData.start();
    m_waiting = false;
    m_retryDelay = m_settings.initialRetryDelay;
    publishCounts();
    reportProgress(false);
    if (m_offset - m_recordedOffset >= m_settings.recordInterval)
        recordProgress();
}

void HttpTransfer::recordProgress() {
    m_recordedOffset = m_offset;
    // Flushing to disk waits for the device; doing it by time rather than by bytes keeps it rare
    // on a fast connection while a power loss still costs only seconds of transfer.
    if (m_sinceFlush.hasExpired(m_settings.flushInterval.count())) {
        m_sinceFlush.start();
        m_durableOffset = m_offset;
        Q_EMIT journalChanged(TransferJournal::Durability::survivesPowerLoss, m_sync);
        return;
    }
    Q_EMIT journalChanged(TransferJournal::Durability::survivesKill, {});
}

void HttpTransfer::recordState() {
    Q_EMIT journalChanged(TransferJournal::Durability::survivesPowerLoss, {});
}

void HttpTransfer::onFinished() {
    const QScopedValueRollback inReplySignal(m_inReplySignal, true);
    m_idleTimer.stop();
    const bool answered = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    if (answered && !m_headersAccepted && !acceptResponseHeaders())
        return;
    if (m_reply->bytesAvailable() > 0) {
        onReadyRead();
        if (!m_reply)
            return;
    }
    QNetworkReply *reply = std::exchange(m_reply, nullptr);
    const QNetworkReply::NetworkError error = reply->error();
    const QString errorString = reply->errorString();
    discardReply(reply);
    if (m_rangeAlreadyComplete) {
        complete();
        return;
    }
    if (error != QNetworkReply::NoError) {
        retryAfterFailure(errorString);
        return;
    }
    if (m_expected >= 0 && m_offset < m_expected) {
        retryAfterFailure(u"The body ended before its announced length."_s);
        return;
    }
    complete();
}

void HttpTransfer::retryAfterFailure(const QString &reason) {
    if (m_sinceStart.hasExpired(m_settings.resourceTimeout.count())) {
        fail(TransferError::TimedOut, u"The transfer did not finish in time: "_s + reason, true);
        return;
    }
    // Bytes that can be continued are worth an immediate new attempt; anything else (no
    // connection, a server that cuts off before sending anything) waits, longer each time.
    if (m_attemptBytes > 0 && hasValidator()) {
        m_retryTimer.start(0);
        return;
    }
    if (!m_waiting) {
        m_waiting = true;
        Q_EMIT waitingForConnectivity();
    }
    m_retryTimer.start(m_retryDelay);
    m_retryDelay = std::min(m_retryDelay * 2, m_settings.maximumRetryDelay);
}

void HttpTransfer::restartFromZero() {
    abortReply();
    if (++m_restartsFromZero > kMaximumRestartsFromZero) {
        fail(TransferError::BadServerResponse, u"The server's ranges do not match the requests."_s, false);
        return;
    }
    truncatePartialFile();
    m_etag.clear();
    m_lastModified.clear();
    m_retryTimer.start(0);
}

void HttpTransfer::truncatePartialFile() {
    m_file.resize(0);
    m_file.seek(0);
    m_offset = 0;
    m_reportedOffset = 0;
    m_recordedOffset = 0;
    m_durableOffset = 0;
    publishCounts();
    recordState();
}

void HttpTransfer::reportProgress(bool force) {
    const qint64 delta = m_offset - m_reportedOffset;
    if (delta <= 0 && !force)
        return;
    const auto elapsed =
        std::chrono::milliseconds(m_sinceReport.isValid() ? m_sinceReport.elapsed() : 1'000'000);
    if (!force && !(delta >= kProgressBytes && elapsed >= kProgressMinimumGap) &&
        elapsed < kProgressMaximumGap)
        return;
    m_reportedOffset = m_offset;
    m_sinceReport.start();
    Q_EMIT progressed(delta, m_offset, m_expected);
}

void HttpTransfer::publishCounts() {
    m_task->setCounts(m_offset, m_expected);
}

std::optional<QByteArray> HttpTransfer::makeResumeData() {
    if (m_offset <= 0 || !hasValidator())
        return std::nullopt;
    // The resume data promises these bytes: they must be on disk before it leaves. (A task that
    // never ran has not opened its file; its bytes are as they were recorded.)
    if (m_sync)
        m_sync->flushToDisk();
    ResumeData data;
    data.url = m_task->originalURL();
    data.partialFileName = QFileInfo(m_partialFilePath).fileName();
    data.bytesReceived = m_offset;
    data.bytesExpected = m_expected;
    data.etag = m_etag;
    data.lastModified = m_lastModified;
    return data.encode();
}

void HttpTransfer::fail(TransferError::Code code, const QString &description, bool keepResumeData) {
    std::optional<QByteArray> resumeData = keepResumeData ? makeResumeData() : std::nullopt;
    endTransfer();
    if (!resumeData)
        removePartialFile();
    Q_EMIT failed(TransferError{code, description, resumeData});
}

void HttpTransfer::complete() {
    reportProgress(true);
    endTransfer();
    Q_EMIT finished();
}

void HttpTransfer::removePartialFile() {
    m_file.close();
    QFile::remove(m_partialFilePath);
}

void HttpTransfer::endTransfer() {
    abortReply();
    m_retryTimer.stop();
    m_idleTimer.stop();
    m_file.close();
    m_task->setState(TransferTask::State::completed);
}
