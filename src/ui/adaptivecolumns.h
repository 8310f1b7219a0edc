#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

// A grid of adaptive columns: as many columns of at least `minimum` as fit the width with
// `spacing` between them, each widened up to `maximum`; what is left stays as a margin on both
// sides. Phones get four tiles to a row, tablets and desktops more, never stretched.
class AdaptiveColumns : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(qreal availableWidth READ availableWidth WRITE setAvailableWidth NOTIFY layoutChanged)
    Q_PROPERTY(qreal minimum READ minimum WRITE setMinimum NOTIFY layoutChanged)
    Q_PROPERTY(qreal maximum READ maximum WRITE setMaximum NOTIFY layoutChanged)
    Q_PROPERTY(qreal spacing READ spacing WRITE setSpacing NOTIFY layoutChanged)
    Q_PROPERTY(int count READ count NOTIFY layoutChanged)
    Q_PROPERTY(qreal columnWidth READ columnWidth NOTIFY layoutChanged)
    // The width the columns and the spaces between them take.
    Q_PROPERTY(qreal usedWidth READ usedWidth NOTIFY layoutChanged)

public:
    explicit AdaptiveColumns(QObject *parent = nullptr);

    qreal availableWidth() const { return m_availableWidth; }
    void setAvailableWidth(qreal width);
    qreal minimum() const { return m_minimum; }
    void setMinimum(qreal minimum);
    qreal maximum() const { return m_maximum; }
    void setMaximum(qreal maximum);
    qreal spacing() const { return m_spacing; }
    void setSpacing(qreal spacing);

    int count() const { return m_count; }
    qreal columnWidth() const { return m_columnWidth; }
    qreal usedWidth() const { return m_count * m_columnWidth + (m_count - 1) * m_spacing; }

Q_SIGNALS:
    void layoutChanged();

private:
    void setValue(qreal &member, qreal value);
    void update();

    qreal m_availableWidth = 0;
    qreal m_minimum = 80;
    qreal m_maximum = 100;
    qreal m_spacing = 20;
    int m_count = 1;
    qreal m_columnWidth = 80;
};
