#pragma once

#include <QByteArray>
#include <QLatin1StringView>
#include <QString>
#include <QStringView>

#include <utility>

// Writes compact JSON as a stream, keys in the order they are written (our formats fix the key
// order, which QJsonObject cannot keep). Commas are placed automatically; the caller pairs every
// begin with its end.
class JsonWriter {
public:
    void beginObject();
    void endObject();
    void beginArray();
    void endArray();

    // Keys are our own ASCII names.
    void key(QLatin1StringView name);

    void value(QStringView text);
    void value(const QString &text) { value(QStringView(text)); }
    void value(qint64 number);
    void value(int number) { value(qint64(number)); }
    void value(bool flag);
    void null();
    // A C string would otherwise turn into a bool.
    void value(const char *) = delete;

    const QByteArray &bytes() const { return m_bytes; }
    QByteArray takeBytes() { return std::exchange(m_bytes, {}); }

private:
    void separate();

    QByteArray m_bytes;
    bool m_needsComma = false;
};
