#include "ui/adaptivecolumns.h"

#include <algorithm>
#include <cmath>

AdaptiveColumns::AdaptiveColumns(QObject *parent)
    : QObject(parent) {
    update();
}

void AdaptiveColumns::setAvailableWidth(qreal width) {
    setValue(m_availableWidth, width);
}

void AdaptiveColumns::setMinimum(qreal minimum) {
    setValue(m_minimum, minimum);
}

void AdaptiveColumns::setMaximum(qreal maximum) {
    setValue(m_maximum, maximum);
}

void AdaptiveColumns::setSpacing(qreal spacing) {
    setValue(m_spacing, spacing);
}

void AdaptiveColumns::setValue(qreal &member, qreal value) {
    if (qFuzzyCompare(member, value))
        return;
    member = value;
    update();
    Q_EMIT layoutChanged();
}

void AdaptiveColumns::update() {
    const qreal minimum = std::max<qreal>(1, m_minimum);
    const qreal maximum = std::max(minimum, m_maximum);
    const qreal spacing = std::max<qreal>(0, m_spacing);
    // n columns need n * minimum + (n - 1) * spacing.
    m_count = std::max(1, int(std::floor((m_availableWidth + spacing) / (minimum + spacing))));
    const qreal share = (m_availableWidth - (m_count - 1) * spacing) / m_count;
    m_columnWidth = std::clamp(share, minimum, maximum);
}
