#pragma once

#include <QColor>
#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

// The circle of a progress ring: a faint track and, from the top clockwise, an arc over
// `progress`. Painted into a small texture: a shape needs a multisampled layer for smooth
// edges, which costs a render pass per ring and a second frame per change.
class ProgressArc : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(qreal progress READ progress WRITE setProgress NOTIFY progressChanged)
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)
    Q_PROPERTY(bool showsArc READ showsArc WRITE setShowsArc NOTIFY showsArcChanged)
    Q_PROPERTY(qreal lineWidth READ lineWidth WRITE setLineWidth NOTIFY lineWidthChanged)

public:
    explicit ProgressArc(QQuickItem *parent = nullptr);

    qreal progress() const { return m_progress; }
    void setProgress(qreal progress);
    QColor color() const { return m_color; }
    void setColor(const QColor &color);
    bool showsArc() const { return m_showsArc; }
    void setShowsArc(bool shows);
    qreal lineWidth() const { return m_lineWidth; }
    void setLineWidth(qreal width);

    void paint(QPainter *painter) override;

Q_SIGNALS:
    void progressChanged();
    void colorChanged();
    void showsArcChanged();
    void lineWidthChanged();

private:
    qreal m_progress = 0;
    QColor m_color;
    bool m_showsArc = true;
    qreal m_lineWidth = 3;
};
