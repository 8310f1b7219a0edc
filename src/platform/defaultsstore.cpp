#include "defaultsstore.h"

#include "platform/console.h"
#include "platform/propertylist.h"

#include <QFileDevice>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

bool readPropertyList(QIODevice &device, QSettings::SettingsMap &map) {
    const QByteArray bytes = device.readAll();
    if (bytes.isEmpty())
        return true;
    const std::optional<QVariant> root = PropertyList::parse(bytes);
    if (!root || root->typeId() != QMetaType::QVariantMap)
        return false;
    map = root->toMap();
    return true;
}

// QSettings' own formats hand their text to a QSaveFile whose commit succeeds even when its
// buffer could not reach a full disk, leaving an empty file: here the flush is checked, and a
// failure keeps the old file and sets the store's status.
bool writePropertyList(QIODevice &device, const QSettings::SettingsMap &map) {
    const std::optional<QByteArray> xml = PropertyList::toXml(map);
    if (!xml || device.write(*xml) != xml->size())
        return false;
    auto *file = qobject_cast<QFileDevice *>(&device);
    return !file || file->flush();
}

QSettings::Format propertyListFormat() {
    static const QSettings::Format format =
        QSettings::registerFormat(u"plist"_s, readPropertyList, writePropertyList);
    return format;
}

} // namespace

DefaultsStore::DefaultsStore()
    : m_settings(propertyListFormat(), QSettings::UserScope, u"Kivo"_s, u"Kivo"_s) {
    // Settings of earlier versions lie in the native format's file; they move over once.
    if (QFileInfo::exists(m_settings.fileName()))
        return;
    QSettings earlier(QSettings::NativeFormat, QSettings::UserScope, u"Kivo"_s, u"Kivo"_s);
    if (!QFileInfo::exists(earlier.fileName()))
        return;
    for (const QString &key : earlier.allKeys())
        m_settings.setValue(key, earlier.value(key));
    m_settings.sync();
}

bool DefaultsStore::contains(const QString &key) const {
    m_settings.sync();
    return m_settings.contains(key);
}

bool DefaultsStore::remove(const QString &key) {
    return write(key, QVariant());
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

bool DefaultsStore::setBool(const QString &key, bool value) {
    return write(key, value);
}

std::optional<QString> DefaultsStore::string(const QString &key) const {
    m_settings.sync();
    const QVariant value = m_settings.value(key);
    if (!value.isValid() || value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

bool DefaultsStore::setString(const QString &key, const QString &value) {
    return write(key, value);
}

std::optional<QByteArray> DefaultsStore::bytes(const QString &key) const {
    m_settings.sync();
    const QVariant value = m_settings.value(key);
    if (!value.isValid() || value.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    return value.toByteArray();
}

bool DefaultsStore::setBytes(const QString &key, const QByteArray &value) {
    return write(key, value);
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

bool DefaultsStore::setStringMap(const QString &key, const QMap<QString, QString> &value) {
    QVariantMap map;
    for (auto it = value.cbegin(); it != value.cend(); ++it)
        map.insert(it.key(), it.value());
    return write(key, map);
}

QString DefaultsStore::fileName() const {
    return m_settings.fileName();
}

bool DefaultsStore::write(const QString &key, const QVariant &value) {
    m_settings.sync();
    const QVariant previous = m_settings.value(key);
    const auto put = [this, &key](const QVariant &v) {
        if (v.isValid())
            m_settings.setValue(key, v);
        else
            m_settings.remove(key);
    };
    put(value);
    m_settings.sync();
    if (m_settings.status() == QSettings::NoError)
        return true;
    // The change would stay pending and reach the file with some later write: the store must
    // hold what the file holds.
    put(previous);
    printLine(u"Failed to save settings: cannot write \"%1\" to %2"_s.arg(key, m_settings.fileName()));
    return false;
}
