#include "demofixture.h"

#include "demohome.h"
#include "livecontainerstandin.h"
#include "platform/urlopener.h"

#include <QDir>

using namespace Qt::StringLiterals;

DemoFixture::DemoFixture(qint64 archiveBytesPerSecond)
    : m_storage(QDir::tempPath() + u"/LiveContainer"_s)
    , m_server(QStringLiteral(KIVO_SAMPLE_SOURCE), archiveBytesPerSecond) {
}

bool DemoFixture::start(QString *error) {
    // URLs reach the stand-in directly rather than through the desktop.
    UrlOpener::shared().setForwardToDesktop(false);
    connect(&UrlOpener::shared(), &UrlOpener::urlOpened, this, [this](const QUrl &url) {
        m_launches.append(LiveContainerStandIn(m_storage).open(url).succeeded);
    });
    return m_server.start(0, error) != 0 &&
           DemoHome::seed(m_server.reposListURL(), m_server.feedURL(), m_storage, error);
}
