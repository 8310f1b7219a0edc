#include "semaphore.h"

Semaphore::Semaphore(qint64 count)
    : m_count(count) {
}

Semaphore::~Semaphore() {
    // A waiter left behind would never be resumed and its coroutine would leak.
    Q_ASSERT(m_waiters.empty());
}

bool Semaphore::tryTake() noexcept {
    if (m_count < 1)
        return false;
    --m_count;
    return true;
}

void Semaphore::signal() {
    if (m_waiters.empty()) {
        ++m_count;
        return;
    }
    // The permit passes straight to the waiter; the count stays as it is.
    const std::coroutine_handle<> waiter = m_waiters.front();
    m_waiters.pop_front();
    waiter.resume();
}
