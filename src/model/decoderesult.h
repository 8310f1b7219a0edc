#pragma once

#include <QString>

#include <optional>
#include <utility>

// Why a decode failed, in words a user can act on: where in the document and what was wrong,
// e.g. "apps[3].version: expected a string, found a number".
struct DecodeError {
    QString description;
};

// What every decoder of ours returns: the decoded value, or the description of the first fault.
template<typename T>
class [[nodiscard]] DecodeResult {
public:
    DecodeResult(const T &value)
        : m_value(value) {}
    DecodeResult(T &&value)
        : m_value(std::move(value)) {}
    DecodeResult(DecodeError error)
        : m_error(std::move(error.description)) {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }

    // Only when ok().
    const T &value() const & { return *m_value; }
    T &value() & { return *m_value; }
    T &&value() && { return std::move(*m_value); }
    const T *operator->() const { return &*m_value; }

    // Empty when ok().
    const QString &error() const { return m_error; }

private:
    std::optional<T> m_value;
    QString m_error;
};
