#include "ui/returnkeyactivation.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QQuickItem>

using namespace Qt::StringLiterals;

ReturnKeyActivation::ReturnKeyActivation(QObject *parent)
    : QObject(parent) {
}

void ReturnKeyActivation::setWindow(QQuickWindow *window) {
    if (m_window == window)
        return;
    if (m_window)
        m_window->removeEventFilter(this);
    m_window = window;
    if (m_window)
        m_window->installEventFilter(this);
    Q_EMIT windowChanged();
}

bool ReturnKeyActivation::eventFilter(QObject *watched, QEvent *event) {
    if (watched != m_window || (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease))
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
        (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    // Text fields, lists and combo boxes keep Return for themselves.
    QQuickItem *focus = m_window->activeFocusItem();
    if (!focus || !focus->inherits("QQuickAbstractButton"))
        return false;
    QKeyEvent space(event->type(), Qt::Key_Space, Qt::NoModifier, u" "_s, key->isAutoRepeat());
    QCoreApplication::sendEvent(focus, &space);
    return true;
}
