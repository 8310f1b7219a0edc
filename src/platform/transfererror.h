#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Why a transfer task ended without its file. When the bytes received so far can be continued
// later, resumeData carries them (opaque bytes for TransferSession::downloadTask).
struct TransferError {
    enum Code {
        Cancelled = -999,
        TimedOut = -1001,
        CannotConnect = -1004,
        BadServerResponse = -1011,
        CannotWriteToFile = -3003,
    };

    int code = Cancelled;
    QString description;
    std::optional<QByteArray> resumeData;
};
