#pragma once

#include <QMetaType>
#include <QString>

// The live fetch state of one node of the repository tree. Never stored: a decoded node is idle.
class RepoFetchStatus {
    Q_GADGET
    Q_PROPERTY(Kind kind READ kind CONSTANT)
    Q_PROPERTY(QString message READ message CONSTANT)

public:
    // Capitalised because QML reads only capitalised enumerators.
    enum class Kind { Idle, Waiting, Loading, Success, Error };
    Q_ENUM(Kind)

    RepoFetchStatus() = default;

    static RepoFetchStatus idle() { return RepoFetchStatus(Kind::Idle, {}); }
    static RepoFetchStatus waiting() { return RepoFetchStatus(Kind::Waiting, {}); }
    static RepoFetchStatus loading() { return RepoFetchStatus(Kind::Loading, {}); }
    static RepoFetchStatus success() { return RepoFetchStatus(Kind::Success, {}); }
    static RepoFetchStatus error(const QString &message) { return RepoFetchStatus(Kind::Error, message); }

    Kind kind() const { return m_kind; }
    bool isError() const { return m_kind == Kind::Error; }
    // Empty unless the status is an error.
    QString message() const { return m_message; }

    friend bool operator==(const RepoFetchStatus &, const RepoFetchStatus &) = default;
    friend size_t qHash(const RepoFetchStatus &status, size_t seed = 0) {
        return qHashMulti(seed, static_cast<int>(status.m_kind), status.m_message);
    }

private:
    RepoFetchStatus(Kind kind, const QString &message)
        : m_kind(kind)
        , m_message(message) {}

    Kind m_kind = Kind::Idle;
    QString m_message;
};

Q_DECLARE_METATYPE(RepoFetchStatus)
