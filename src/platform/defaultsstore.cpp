#include "defaultsstore.h"

using namespace Qt::StringLiterals;

DefaultsStore::DefaultsStore()
    : m_settings(QSettings::NativeFormat, QSettings::UserScope, u"Kivo"_s, u"Kivo"_s) {
}

bool DefaultsStore::contains(const QString &key) const {
    m_settings.sync();
    return m_settings.contains(key);
}

void DefaultsStore::remove(const QString &key) {
    m_settings.remove(key);
    m_settings.sync();
}

std::optional<bool> DefaultsStore::boolValue(const QString &key) const {
    m_settings.sync();
    const QVariant value = m_settings.value(key);
    if (!value.isValid())
        return std::nullopt;
    // The INI backend hands every scalar back as text.
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    const QString text = value.toString();
    if (text == u"true"_s)
        return true;
    if (text == u"false"_s)
        return false;
    return std::nullopt;
}

void DefaultsStore::setBool(const QString &key, bool value) {
    write(key, value);
}

std::optional<QString> DefaultsStore::string(const QString &key) const {
    m_settings.sync();
    const QVariant value = m_settings.value(key);
    if (!value.isValid() || value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

void DefaultsStore::setString(const QString &key, const QString &value) {
    write(key, value);
}

std::optional<QByteArray> DefaultsStore::bytes(const QString &key) const {
    m_settings.sync();
    const QVariant value = m_settings.value(key);
    if (!value.isValid() || value.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    return value.toByteArray();
}

void DefaultsStore::setBytes(const QString &key, const QByteArray &value) {
    write(key, value);
}

std::optional<QMap<QString, QString>> DefaultsStore::stringMap(const QString &key) const {
    m_settings.sync();
    const QVariant value = m_settings.value(key);
    if (!value.isValid() || value.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    QMap<QString, QString> result;
    const QVariantMap map = value.toMap();
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (it.value().typeId() != QMetaType::QString)
            return std::nullopt;
        result.insert(it.key(), it.value().toString());
    }
    return result;
}

void DefaultsStore::setStringMap(const QString &key, const QMap<QString, QString> &value) {
    QVariantMap map;
    for (auto it = value.cbegin(); it != value.cend(); ++it)
        map.insert(it.key(), it.value());
    write(key, map);
}

QString DefaultsStore::fileName() const {
    return m_settings.fileName();
}

void DefaultsStore::write(const QString &key, const QVariant &value) {
    m_settings.setValue(key, value);
    m_settings.sync();
}
