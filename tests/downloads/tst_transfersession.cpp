#include "downloads/sessionrecorder.h"
#include "fixtures/httpserver.h"
#include "platform/resumedata.h"
#include "platform/standarddirs.h"
#include "platform/transferjournal.h"
#include "platform/transfersession.h"
#include "support/testfiles.h"
#include "support/testmain.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <atomic>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Pauses a task the way the engine does and waits for its resume data.
std::optional<QByteArray> cancelForResumeData(const TransferTaskPtr &task) {
    struct Result {
        std::atomic<bool> done = false;
        std::optional<QByteArray> data;
    };
    auto result = std::make_shared<Result>();
    task->cancelByProducingResumeData([result](std::optional<QByteArray> data) {
        result->data = std::move(data);
        result->done = true;
    });
    if (!QTest::qWaitFor([&] { return result->done.load(); }, 5000))
        return std::nullopt;
    return result->data;
}

} // namespace

class TestTransferSession : public QObject {
    Q_OBJECT

private:
    QString m_folder;
    std::unique_ptr<HttpServer> m_server;
    std::unique_ptr<SessionRecorder> m_recorder;
    std::unique_ptr<TransferSession> m_session;

    void startSession(TransferSession::Configuration configuration) {
        m_recorder.reset();
        m_session = std::make_unique<TransferSession>(configuration);
        m_recorder = std::make_unique<SessionRecorder>(m_session.get(), m_folder + u"-finished"_s);
    }
    void startSession() { startSession(SessionRecorder::quickConfiguration(m_folder)); }

    QStringList partialFiles() const { return QDir(m_folder).entryList({u"*.part"_s}, QDir::Files); }

private Q_SLOTS:
    void init() {
        m_folder = StandardDirs::applicationSupport() + u"/session-"_s +
                   QString::number(QRandomGenerator::global()->generate());
        m_server = std::make_unique<HttpServer>();
        QVERIFY(m_server->start() != 0);
        startSession();
    }

    void cleanup() {
        m_session.reset();
        m_recorder.reset();
        m_server.reset();
    }

    // Each route ends with the server's exact bytes in the finished file, however the body came.
    void finishesWithTheServersBytes_data() {
        QTest::addColumn<QList<RouteResponse>>("responses");
        QTest::addColumn<int>("requests");
        const QByteArray body = randomBytes(600 * 1024, 1);
        const RouteResponse plain = RouteResponse::bytes(body).withEtag("v1");
        QTest::newRow("plain") << QList<RouteResponse>{plain} << 1;
        QTest::newRow("no length") << QList<RouteResponse>{RouteResponse(plain).withoutContentLength()} << 1;
        // Paced, so the bytes before a reset reach the client rather than dying in its buffers.
        const RouteResponse paced = RouteResponse(plain).throttled(4 * 1024 * 1024);
        QTest::newRow("dropped mid-body, then continued")
            << QList<RouteResponse>{RouteResponse(paced).droppedAfter(200 * 1024), plain} << 2;
        QTest::newRow("cut short, then continued")
            << QList<RouteResponse>{RouteResponse(plain).truncatedAfter(300 * 1024), plain} << 2;
    }

    void finishesWithTheServersBytes() {
        QFETCH(QList<RouteResponse>, responses);
        QFETCH(int, requests);
        const QByteArray body = randomBytes(600 * 1024, 1);
        m_server->setRouteSequence(u"/app.ipa"_s, responses);

        const TransferTaskPtr task = m_session->downloadTask(m_server->url(u"/app.ipa"_s));
        QCOMPARE(task->state(), TransferTask::State::suspended);
        task->resume();
        QTRY_COMPARE_WITH_TIMEOUT(m_recorder->completions().size(), 1, 10000);
        QVERIFY(!m_recorder->completions().first().error);
        QCOMPARE(readFile(m_recorder->finishedFile()), body);
        QCOMPARE(task->state(), TransferTask::State::completed);
        // The engine relies on the order: progress, then the file, then one completion.
        const QStringList events = m_recorder->events();
        QVERIFY(events.contains(u"written"_s));
        QVERIFY(events.lastIndexOf(u"written"_s) < events.indexOf(u"file"_s));
        QCOMPARE(events.sliced(events.size() - 2), QStringList({u"file"_s, u"completed"_s}));
        QCOMPARE(events.count(u"completed"_s), 1);
        QCOMPARE(task->countOfBytesReceived(), body.size());

        const QList<RecordedRequest> recorded = m_server->requests(u"/app.ipa"_s);
        // Qt's HTTP layer may send a request once more by itself when a server ends a body by
        // closing; such a copy carries no Range and its answer is never used.
        QVERIFY(recorded.size() >= requests);
        QVERIFY(!recorded.first().hasHeader("Range"));
        // Every continuation asks for exactly what is missing, tied to the same version.
        qsizetype continuations = 0;
        for (const RecordedRequest &request : recorded) {
            if (!request.hasHeader("Range"))
                continue;
            ++continuations;
            QVERIFY(request.header("Range").startsWith("bytes="));
            QCOMPARE(request.header("If-Range"), QByteArray("\"v1\""));
            QCOMPARE(request.status, 206);
        }
        QCOMPARE(continuations, requests - 1);
        QVERIFY(partialFiles().isEmpty());
    }

    void followsRedirects() {
        const QByteArray body = randomBytes(64 * 1024, 2);
        m_server->serveBytes(u"/files/app.ipa"_s, body);
        m_server->setRoute(u"/get"_s, RouteResponse::redirect(302, u"/files/app.ipa"_s));
        const TransferTaskPtr task = m_session->downloadTask(m_server->url(u"/get"_s));
        task->resume();
        QTRY_COMPARE(m_recorder->finishedCount(), 1);
        QCOMPARE(readFile(m_recorder->finishedFile()), body);
        // The task stays known by the address it was created with.
        QCOMPARE(m_recorder->completions().first().url, m_server->url(u"/get"_s));
    }

    // Pause, then continue from the resume data under each way a server may answer the range.
    void continuesFromResumeData_data() {
        QTest::addColumn<bool>("ignoreRange");
        QTest::addColumn<bool>("fileChanged");
        QTest::addColumn<int>("continuationStatus");
        QTest::newRow("range honoured") << false << false << 206;
        QTest::newRow("server ignores range") << true << false << 200;
        QTest::newRow("file changed since") << false << true << 200;
    }

    void continuesFromResumeData() {
        QFETCH(bool, ignoreRange);
        QFETCH(bool, fileChanged);
        QFETCH(int, continuationStatus);
        const QByteArray first = randomBytes(1024 * 1024, 3);
        const QByteArray second = randomBytes(1024 * 1024, 4);
        m_server->setRoute(u"/app.ipa"_s,
                           RouteResponse::bytes(first).withEtag("v1").throttled(2 * 1024 * 1024));

        const TransferTaskPtr task = m_session->downloadTask(m_server->url(u"/app.ipa"_s));
        task->resume();
        QTRY_VERIFY(m_recorder->lastWritten() >= 200 * 1024);
        const std::optional<QByteArray> resumeData = cancelForResumeData(task);
        QVERIFY(resumeData);
        const qint64 paused = ResumeData::decode(*resumeData)->bytesReceived;
        QVERIFY(paused >= 200 * 1024 && paused < first.size());
        QTRY_COMPARE(m_recorder->completions().size(), 1);
        QCOMPARE(m_recorder->completions().first().error->code, int(TransferError::Cancelled));
        QCOMPARE(m_recorder->completions().first().error->resumeData, resumeData);

        m_server->updateRoute(u"/app.ipa"_s, [&](RouteResponse &route) {
            route.bytesPerSecond = 0;
            route.ignoreRange = ignoreRange;
            if (fileChanged) {
                route.body = second;
                route.etag = "v2";
            }
        });
        const TransferTaskPtr continued = m_session->downloadTask(*resumeData);
        QVERIFY(continued);
        QCOMPARE(continued->originalURL(), task->originalURL());
        continued->resume();
        QTRY_COMPARE_WITH_TIMEOUT(m_recorder->finishedCount(), 1, 10000);
        QCOMPARE(readFile(m_recorder->finishedFile()), fileChanged ? second : first);

        const RecordedRequest continuation = m_server->requests(u"/app.ipa"_s).last();
        QCOMPARE(continuation.header("Range"), "bytes=" + QByteArray::number(paused) + '-');
        QCOMPARE(continuation.header("If-Range"), QByteArray("\"v1\""));
        QCOMPARE(continuation.status, continuationStatus);
    }

    // A continuation paused before it ever ran still holds the bytes of its resume data.
    void pausingBeforeRunningKeepsTheBytes() {
        m_server->setRoute(
            u"/app.ipa"_s,
            RouteResponse::bytes(randomBytes(1024 * 1024, 9)).withEtag("v1").throttled(2 * 1024 * 1024));
        const TransferTaskPtr task = m_session->downloadTask(m_server->url(u"/app.ipa"_s));
        task->resume();
        QTRY_VERIFY(m_recorder->lastWritten() >= 100 * 1024);
        const std::optional<QByteArray> resumeData = cancelForResumeData(task);
        QVERIFY(resumeData);

        const TransferTaskPtr continuation = m_session->downloadTask(*resumeData);
        QCOMPARE(continuation->state(), TransferTask::State::suspended);
        const std::optional<QByteArray> again = cancelForResumeData(continuation);
        QVERIFY(again);
        QCOMPARE(ResumeData::decode(*again)->bytesReceived, ResumeData::decode(*resumeData)->bytesReceived);
        QCOMPARE(partialFiles().size(), 1);
    }

    // A client error, or a cancel while running, ends the task for good: no resume data and no
    // partial file left.
    void endsWithoutResumeData_data() {
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("client error") << false;
        QTest::newRow("cancelled while running") << true;
    }

    void endsWithoutResumeData() {
        QFETCH(bool, cancelled);
        m_server->setRoute(
            u"/app.ipa"_s,
            cancelled
                ? RouteResponse::bytes(randomBytes(1024 * 1024, 7)).withEtag("v1").throttled(1024 * 1024)
                : RouteResponse::errorPage(404));
        const TransferTaskPtr task = m_session->downloadTask(m_server->url(u"/app.ipa"_s));
        task->resume();
        if (cancelled) {
            QTRY_VERIFY(m_recorder->lastWritten() > 0);
            QCOMPARE(partialFiles().size(), 1);
            task->cancel();
        }
        QTRY_COMPARE(m_recorder->completions().size(), 1);
        const std::optional<TransferError> error = m_recorder->completions().first().error;
        QVERIFY(error);
        QCOMPARE(error->code, int(cancelled ? TransferError::Cancelled : TransferError::BadServerResponse));
        QVERIFY(!error->resumeData);
        QCOMPARE(m_recorder->finishedCount(), 0);
        QVERIFY(partialFiles().isEmpty());
    }

    // A later session in the same folder gets the live tasks back: running ones go on by
    // themselves from the bytes on disk, suspended ones wait.
    void liveTasksOutliveTheSession() {
        const QByteArray body = randomBytes(2 * 1024 * 1024, 8);
        m_server->setRoute(u"/running.ipa"_s,
                           RouteResponse::bytes(body).withEtag("v1").throttled(4 * 1024 * 1024));
        m_server->serveBytes(u"/waiting.ipa"_s, body);
        m_session->downloadTask(m_server->url(u"/running.ipa"_s))->resume();
        const TransferTaskPtr suspended = m_session->downloadTask(m_server->url(u"/waiting.ipa"_s));
        QTRY_VERIFY(m_recorder->lastWritten() >= 600 * 1024);
        m_session.reset();
        QCOMPARE(m_server->requestCount(u"/waiting.ipa"_s), 0);

        m_server->updateRoute(u"/running.ipa"_s, [](RouteResponse &route) { route.bytesPerSecond = 0; });
        startSession();
        QList<TransferTaskPtr> live;
        std::atomic<bool> answered = false;
        m_session->allTasks([&](QList<TransferTaskPtr> tasks) {
            live = tasks;
            answered = true;
        });
        QTRY_VERIFY(answered.load());
        QCOMPARE(live.size(), 2);
        QCOMPARE(live[0]->originalURL(), m_server->url(u"/running.ipa"_s));
        QCOMPARE(live[1]->originalURL(), m_server->url(u"/waiting.ipa"_s));
        QCOMPARE(live[1]->state(), TransferTask::State::suspended);

        QTRY_COMPARE_WITH_TIMEOUT(m_recorder->finishedCount(), 1, 10000);
        QCOMPARE(readFile(m_recorder->finishedFile()), body);
        const RecordedRequest continuation = m_server->requests(u"/running.ipa"_s).last();
        QVERIFY(continuation.header("Range").startsWith("bytes="));
        QCOMPARE(continuation.status, 206);
        QVERIFY(m_recorder->eventsDelivered());
        QCOMPARE(live[1]->state(), TransferTask::State::suspended);
        QCOMPARE(m_server->requestCount(u"/waiting.ipa"_s), 0);

        live[1]->resume();
        QTRY_COMPARE(m_recorder->finishedCount(), 2);
        QCOMPARE(readFile(m_recorder->finishedFile(1)), body);
    }

    // Written bytes survive a kill but not a restart of the system: after one, only what the
    // journal recorded as flushed to disk may be continued. Only what the partial file really
    // holds counts (continuing past its end would leave zeros in the file), and a link planted
    // under its name is never followed.
    void continuesFromWhatSurvivedTheRestart_data() {
        QTest::addColumn<QByteArray>("bootId");
        QTest::addColumn<QString>("partial"); // "file", "short file" or "link"
        QTest::addColumn<qint64>("continuedFrom");
        const QByteArray sameBoot = TransferJournal::currentBootId();
        QTest::newRow("same boot") << sameBoot << u"file"_s << qint64(300'000);
        QTest::newRow("after a restart") << QByteArray("another-boot") << u"file"_s << qint64(100'000);
        QTest::newRow("file shorter than recorded") << sameBoot << u"short file"_s << qint64(200'000);
        QTest::newRow("link planted as the file") << sameBoot << u"link"_s << qint64(-1);
    }

    void continuesFromWhatSurvivedTheRestart() {
        QFETCH(QByteArray, bootId);
        QFETCH(QString, partial);
        QFETCH(qint64, continuedFrom);
        m_session.reset();
        const QByteArray body = randomBytes(600 * 1024, 9);
        m_server->setRoute(u"/app.ipa"_s, RouteResponse::bytes(body).withEtag("v1"));
        const QString partialFile = m_folder + u"/A.part"_s;
        const QString outside = m_folder + u"-outside"_s;
        if (partial == u"link"_s)
            QVERIFY(writeFile(outside, "outside") && QFile::link(outside, partialFile));
        else
            QVERIFY(writeFile(partialFile, body.left(partial == u"file"_s ? 300'000 : 200'000)));
        const QJsonObject task{
            {u"url"_s, m_server->url(u"/app.ipa"_s).toString()},
            {u"state"_s, u"running"_s},
            {u"partialFile"_s, u"A.part"_s},
            {u"writtenBytes"_s, u"300000"_s},
            {u"durableBytes"_s, u"100000"_s},
            {u"expectedBytes"_s, QString::number(body.size())},
            {u"etag"_s, u"\"v1\""_s},
        };
        QVERIFY(writeFile(m_folder + u"/journal.json"_s,
                          QJsonDocument(QJsonObject{{u"bootId"_s, QString::fromLatin1(bootId)},
                                                    {u"tasks"_s, QJsonArray{task}}})
                              .toJson()));

        startSession();
        if (continuedFrom < 0) {
            QTRY_COMPARE(m_recorder->completions().size(), 1);
            QCOMPARE(m_recorder->completions().first().error->code, int(TransferError::CannotWriteToFile));
            QCOMPARE(readFile(outside), QByteArray("outside"));
            QCOMPARE(m_server->requestCount(u"/app.ipa"_s), 0);
            return;
        }
        QTRY_COMPARE(m_recorder->finishedCount(), 1);
        QCOMPARE(readFile(m_recorder->finishedFile()), body);
        QCOMPARE(m_server->requests(u"/app.ipa"_s).first().header("Range"),
                 "bytes=" + QByteArray::number(continuedFrom) + '-');
    }

    void resumeDataIsOnlyOurs_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("valid");
        ResumeData data;
        data.url = QUrl(u"http://127.0.0.1:1/app.ipa"_s);
        data.partialFileName = u"A.part"_s;
        data.bytesReceived = 5'000'000'000; // beyond 32 bits
        data.bytesExpected = 6'000'000'000;
        data.etag = "\"v1\"";
        QTest::newRow("ours") << data.encode() << true;
        ResumeData escaping = data;
        escaping.partialFileName = u"../../etc/passwd"_s;
        QTest::newRow("partial file outside the session") << escaping.encode() << false;
        ResumeData hidden = data;
        hidden.partialFileName = u".."_s;
        QTest::newRow("partial file ..") << hidden.encode() << false;
        QTest::newRow("garbage") << QByteArray("bplist00\x01\x02") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }

    void resumeDataIsOnlyOurs() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, valid);
        const std::optional<ResumeData> decoded = ResumeData::decode(bytes);
        QCOMPARE(bool(decoded), valid);
        QCOMPARE(bool(m_session->downloadTask(bytes)), valid);
        if (valid) {
            QCOMPARE(decoded->bytesReceived, 5'000'000'000);
            QCOMPARE(decoded->bytesExpected, 6'000'000'000);
        }
    }
};

KIVO_TEST_MAIN(TestTransferSession)
#include "tst_transfersession.moc"
