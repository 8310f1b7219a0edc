#include "samplecatalogue.h"

#include "model/storedform.h"

#include <QBuffer>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <array>

using namespace Qt::StringLiterals;

namespace SampleCatalogue {

namespace {

constexpr std::array kNames{
    u"Clock",     u"Notes",   u"Weather", u"Podcasts", u"Calculator", u"Maps",  u"Reader", u"Camera+",
    u"Translate", u"Journal", u"Files",   u"Chess",    u"Radio",      u"Piano", u"Tasks",  u"Books",
};
constexpr std::array kWords{
    u"A",     u"fast",  u"simple", u"private", u"beautiful", u"open", u"offline", u"app",  u"for",    u"your",
    u"daily", u"music", u"notes",  u"and",     u"more",      u"with", u"widgets", u"sync", u"themes",
};

QColor colourFor(int index) {
    return QColor::fromHsv((index * 47) % 360, 150, 220);
}

} // namespace

QList<AppItem> apps(int count, const QString &base) {
    QList<AppItem> list;
    list.reserve(count);
    for (int i = 0; i < count; ++i) {
        // Three versions per app for the first apps, one after that.
        const int app = i < 12 ? i / 3 : i - 8;
        const int versionIndex = i < 12 ? i % 3 : 0;
        AppItem item;
        const QString stem = QString::fromUtf16(kNames[app % kNames.size()]);
        item.name = app < int(kNames.size()) ? stem : stem + u' ' + QString::number(app);
        item.bundleIdentifier = u"com.example."_s + stem.toLower().remove(u'+') + QString::number(app);
        item.version = u"1."_s + QString::number(versionIndex + app % 7) + u'.' + QString::number(app % 3);
        item.versionDate =
            u"2026-0"_s + QString::number(1 + (app + versionIndex) % 9) + u"-1"_s + QString::number(app % 10);
        item.size = 1'000'000LL * (3 + (i * 37) % 180) + i * 1234;
        item.downloadURL = base + u"/apps/"_s + item.bundleIdentifier + u'-' + item.version + u".ipa"_s;
        item.iconURL = base + u"/icons/"_s + QString::number(app % 24) + u".png"_s;
        QStringList words;
        for (int w = 0; w < 8 + app % 12; ++w)
            words.append(QString::fromUtf16(kWords[(app + w * 3) % kWords.size()]));
        item.localizedDescription = words.join(u' ') + u'.';
        if (app % 10 == 1)
            item.iconURL.reset();
        if (app % 10 == 2)
            item.iconURL = base + u"/icons/missing.png"_s;
        if (app % 10 == 3)
            item.localizedDescription.reset();
        if (app == 5) {
            item.name = u"An App With A Remarkably Long Name That Goes On And On Beyond Any Screen Width"_s;
            item.localizedDescription = QString(u"This description is long on purpose. "_s).repeated(30);
        }
        if (app < 4) {
            for (int s = 0; s < 3; ++s)
                item.screenshotURLs.append(base + u"/screens/"_s + QString::number(app * 3 + s) + u".png"_s);
        }
        list.append(item);
    }
    return list;
}

QByteArray feed(const QString &repoName, const QList<AppItem> &apps) {
    QByteArray name = repoName.toUtf8();
    name.replace('\\', "\\\\").replace('"', "\\\"");
    return "{\"name\":\"" + name + "\",\"apps\":" + StoredForm::encodeAppItems(apps) + '}';
}

QByteArray iconPng(int index, int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(colourFor(index));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient shine(0, 0, 0, size);
    shine.setColorAt(0, QColor(255, 255, 255, 70));
    shine.setColorAt(1, QColor(0, 0, 0, 40));
    painter.fillRect(image.rect(), shine);
    painter.setPen(Qt::white);
    QFont font;
    font.setPixelSize(size / 2);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(image.rect(), Qt::AlignCenter, QString(QChar(u'A' + index % 26)));
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray screenshotPng(int index) {
    QImage image(390, 844, QImage::Format_RGB32);
    image.fill(colourFor(index).lighter(150));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(QRect(0, 0, 390, 120), colourFor(index));
    for (int row = 0; row < 6; ++row) {
        QPainterPath card;
        card.addRoundedRect(QRectF(24, 150 + row * 110, 342, 90), 16, 16);
        painter.fillPath(card, QColor(255, 255, 255, 200));
    }
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace SampleCatalogue
