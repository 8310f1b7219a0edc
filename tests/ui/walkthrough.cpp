#include "walkthrough.h"

#include <QImage>
#include <QQuickItem>
#include <QTest>

#include <cstdio>

using namespace Qt::StringLiterals;

Walkthrough::Walkthrough(QQuickWindow *window, QString outputFolder)
    : m_window(window)
    , m_output(std::move(outputFolder)) {
}

void Walkthrough::settle(int ms) {
    QTest::qWait(ms);
}

void Walkthrough::grab(const QString &name, int width) {
    // The pointer rests in the middle of the title bar, where it lights up no row or button.
    QTest::mouseMove(m_window, QPoint(m_window->width() / 2, 4));
    settle(400);
    const QString path = m_output + u'/' + name + u".png"_s;
    QImage image = m_window->grabWindow();
    if (width > 0)
        image = image.scaledToWidth(width, Qt::SmoothTransformation);
    if (!image.save(path))
        std::fprintf(stderr, "could not save %s\n", qPrintable(path));
    else
        std::printf("%s\n", qPrintable(path));
}

QQuickItem *Walkthrough::findShownItem(const QString &objectName, QQuickItem *from) const {
    if (!from)
        from = m_window->contentItem();
    if (from->objectName() == objectName && from->isVisible())
        return from;
    for (QQuickItem *child : from->childItems()) {
        if (QQuickItem *found = child->isVisible() ? findShownItem(objectName, child) : nullptr)
            return found;
    }
    return nullptr;
}

void Walkthrough::click(QQuickItem *item) {
    if (!item)
        return;
    const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    QTest::mouseClick(m_window, Qt::LeftButton, {}, centre.toPoint());
}

bool Walkthrough::waitFor(const std::function<bool()> &condition, int timeoutMs) {
    return QTest::qWaitFor(condition, timeoutMs);
}
