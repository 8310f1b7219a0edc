#pragma once

#include <QByteArray>
#include <QMap>
#include <QSettings>
#include <QString>
#include <QVariant>

#include <optional>

// The key-value defaults store: small settings under fixed "k..." keys, written through at every
// change so nothing depends on an orderly shutdown. Cheap to construct; every instance sees the
// same file.
class DefaultsStore {
public:
    DefaultsStore();

    bool contains(const QString &key) const;
    void remove(const QString &key);

    std::optional<bool> boolValue(const QString &key) const;
    void setBool(const QString &key, bool value);

    std::optional<QString> string(const QString &key) const;
    void setString(const QString &key, const QString &value);

    std::optional<QByteArray> bytes(const QString &key) const;
    void setBytes(const QString &key, const QByteArray &value);

    // A dictionary of text to text; nothing when the stored value is not one.
    std::optional<QMap<QString, QString>> stringMap(const QString &key) const;
    void setStringMap(const QString &key, const QMap<QString, QString> &value);

    // Where the store lives on disk (for diagnostics and tests).
    QString fileName() const;

private:
    void write(const QString &key, const QVariant &value);

    mutable QSettings m_settings;
};
