#pragma once

#include <QThreadPool>

#include <utility>

// Hands the last reference to a large value to a worker thread: freeing tens of thousands of
// apps takes longer than a frame, and the main thread has to keep drawing. Implicitly shared
// values that are empty or still shared elsewhere cost nothing to drop and stay here.
template<typename T>
void releaseInBackground(T value) {
    if constexpr (requires { value.isDetached(); }) {
        if (value.isEmpty() || !value.isDetached())
            return;
    }
    QThreadPool::globalInstance()->start([value = std::move(value)]() mutable { value = T(); });
}
