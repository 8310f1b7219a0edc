#pragma once

#include "platform/untrustedtext.h"

#include <QString>

// Why an extraction failed: the entry concerned (empty when the archive as a whole is at fault)
// and the reason, kept apart so that callers and tests can look at either.
struct ZipError {
    QString entryName;
    QString reason;

    bool isNull() const { return reason.isEmpty(); }
    QString description() const {
        return entryName.isEmpty() ? reason
                                   : QStringLiteral("entry ") + UntrustedText::elided(entryName) +
                                         QStringLiteral(": ") + reason;
    }
};
