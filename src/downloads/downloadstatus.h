#pragma once

#include <QMetaType>
#include <QObject>

// The kinds of DownloadStatus, in a namespace of their own so that QML can read them by name
// (a value type's own name is lower case there).
namespace DownloadStatusCaseNamespace {
Q_NAMESPACE
// Capitalised because QML reads only capitalised enumerators.
enum class Case { Downloading, Paused, WaitingForConnection, None };
Q_ENUM_NS(Case)
} // namespace DownloadStatusCaseNamespace

// The state of one download as the screens draw it. None is never stored: a URL without an
// entry has no transfer.
class DownloadStatus {
    Q_GADGET
    Q_PROPERTY(DownloadStatusCaseNamespace::Case kind READ kind CONSTANT)
    Q_PROPERTY(double progress READ progress CONSTANT)
    Q_PROPERTY(qint64 written READ written CONSTANT)
    Q_PROPERTY(qint64 total READ total CONSTANT)

public:
    using Case = DownloadStatusCaseNamespace::Case;

    DownloadStatus() = default;

    // total is -1 while the size is unknown.
    static DownloadStatus downloading(double progress, qint64 written, qint64 total) {
        return DownloadStatus(Case::Downloading, progress, written, total);
    }
    // The entry of a transfer that has just been started or resumed.
    static DownloadStatus started() { return downloading(0, 0, -1); }
    static DownloadStatus paused() { return DownloadStatus(Case::Paused); }
    static DownloadStatus waitingForConnection() { return DownloadStatus(Case::WaitingForConnection); }
    static DownloadStatus none() { return DownloadStatus(Case::None); }

    Case kind() const { return m_case; }
    double progress() const { return m_progress; }
    qint64 written() const { return m_written; }
    qint64 total() const { return m_total; }

    friend bool operator==(const DownloadStatus &, const DownloadStatus &) = default;

private:
    explicit DownloadStatus(Case kind, double progress = 0, qint64 written = 0, qint64 total = 0)
        : m_case(kind)
        , m_progress(progress)
        , m_written(written)
        , m_total(total) {}

    Case m_case = Case::None;
    double m_progress = 0;
    qint64 m_written = 0;
    qint64 m_total = 0;
};

Q_DECLARE_METATYPE(DownloadStatus)
