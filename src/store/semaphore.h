#pragma once

#include <QtGlobal>

#include <coroutine>
#include <deque>

// A counting semaphore for coroutines that share one thread. `co_await semaphore.wait()` takes a
// permit, or queues the caller until one is handed over; signal() gives the permit to the caller
// that has waited longest. Every call runs to its end before the next, so no lock is needed.
class Semaphore {
public:
    explicit Semaphore(qint64 count);
    ~Semaphore();
    Semaphore(const Semaphore &) = delete;
    Semaphore &operator=(const Semaphore &) = delete;

    class Awaiter {
    public:
        explicit Awaiter(Semaphore &semaphore)
            : m_semaphore(semaphore) {}
        bool await_ready() const noexcept { return m_semaphore.tryTake(); }
        void await_suspend(std::coroutine_handle<> waiter) { m_semaphore.m_waiters.push_back(waiter); }
        void await_resume() const noexcept {}

    private:
        Semaphore &m_semaphore;
    };

    // Completes when a permit is the caller's.
    [[nodiscard]] Awaiter wait() { return Awaiter(*this); }
    // Hands a permit back. The first waiter, if any, takes it and runs on inside this call until
    // it next suspends.
    void signal();

    qint64 available() const { return m_count; }
    qsizetype waiting() const { return qsizetype(m_waiters.size()); }

private:
    bool tryTake() noexcept;

    qint64 m_count;
    std::deque<std::coroutine_handle<>> m_waiters;
};
