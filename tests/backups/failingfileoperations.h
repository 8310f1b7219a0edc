#pragma once

#include "downloads/fileoperations.h"

#include <QString>

#include <functional>

// File operations with one chosen step made to fail, as a full disk or a vanished folder would.
class FailingFileOperations : public FileOperations {
public:
    // Each test says which calls fail; the rest do the real work.
    std::function<bool(const QString &from, const QString &to)> failsMove;
    bool failsExchange = false;
    bool failsWrite = false;

    bool move(const QString &from, const QString &to, QString *error) override {
        if (failsMove && failsMove(from, to))
            return fail(error);
        return FileOperations::move(from, to, error);
    }
    bool exchange(const QString &first, const QString &second, QString *error) override {
        return failsExchange ? fail(error) : FileOperations::exchange(first, second, error);
    }
    bool writePropertyList(const QString &path, const QVariantMap &dictionary, QString *error) override {
        return failsWrite ? fail(error) : FileOperations::writePropertyList(path, dictionary, error);
    }

private:
    static bool fail(QString *error) {
        if (error)
            *error = QStringLiteral("Injected failure");
        return false;
    }
};
