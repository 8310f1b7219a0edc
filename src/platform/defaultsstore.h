#pragma once

#include <QByteArray>
#include <QMap>
#include <QSettings>
#include <QString>
#include <QVariant>

#include <optional>

// The key-value defaults store: small settings under fixed "k..." keys in a property list,
// written through at every change so nothing depends on an orderly shutdown. Every write says
// whether it reached the file (a failure is also printed); a failed one leaves the file as it
// was. Cheap to construct; every instance sees the same file.
class DefaultsStore {
public:
    DefaultsStore();

    bool contains(const QString &key) const;
    bool remove(const QString &key);

    std::optional<bool> boolValue(const QString &key) const;
    bool setBool(const QString &key, bool value);

    std::optional<QString> string(const QString &key) const;
    bool setString(const QString &key, const QString &value);

    std::optional<QByteArray> bytes(const QString &key) const;
    bool setBytes(const QString &key, const QByteArray &value);

    // A dictionary of text to text; nothing when the stored value is not one.
    std::optional<QMap<QString, QString>> stringMap(const QString &key) const;
    bool setStringMap(const QString &key, const QMap<QString, QString> &value);

    // Where the store lives on disk (for diagnostics and tests).
    QString fileName() const;

private:
    // An invalid value removes the key.
    bool write(const QString &key, const QVariant &value);

    mutable QSettings m_settings;
};
