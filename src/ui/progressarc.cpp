#include "ui/progressarc.h"

#include <QPainter>

#include <algorithm>

ProgressArc::ProgressArc(QQuickItem *parent)
    : QQuickPaintedItem(parent) {
    setAntialiasing(true);
}

void ProgressArc::setProgress(qreal progress) {
    progress = std::clamp<qreal>(progress, 0, 1);
    if (qFuzzyCompare(m_progress + 1, progress + 1))
        return;
    m_progress = progress;
    Q_EMIT progressChanged();
    if (m_showsArc)
        update();
}

void ProgressArc::setColor(const QColor &color) {
    if (m_color == color)
        return;
    m_color = color;
    Q_EMIT colorChanged();
    update();
}

void ProgressArc::setShowsArc(bool shows) {
    if (m_showsArc == shows)
        return;
    m_showsArc = shows;
    Q_EMIT showsArcChanged();
    update();
}

void ProgressArc::setLineWidth(qreal width) {
    if (qFuzzyCompare(m_lineWidth, width))
        return;
    m_lineWidth = width;
    Q_EMIT lineWidthChanged();
    update();
}

void ProgressArc::paint(QPainter *painter) {
    const qreal inset = m_lineWidth / 2;
    const QRectF circle = QRectF(0, 0, width(), height()).adjusted(inset, inset, -inset, -inset);
    if (circle.isEmpty())
        return;
    painter->setRenderHint(QPainter::Antialiasing);
    QColor track = m_color;
    track.setAlphaF(track.alphaF() * 0.2f);
    painter->setPen(QPen(track, m_lineWidth));
    painter->drawEllipse(circle);
    if (!m_showsArc || m_progress <= 0)
        return;
    painter->setPen(QPen(m_color, m_lineWidth, Qt::SolidLine, Qt::RoundCap));
    // QPainter counts sixteenths of a degree from three o'clock, anticlockwise.
    painter->drawArc(circle, 90 * 16, -qRound(m_progress * 360 * 16));
}
