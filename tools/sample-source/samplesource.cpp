#include "samplesource.h"

#include "fixtures/zipbuilder.h"
#include "model/jsonwriter.h"
#include "platform/propertylist.h"

#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace SampleSource {

namespace {

constexpr int kIconSize = 180;
constexpr QSize kScreenshotSize(390, 844);

SampleApp app(const QString &name, const QString &id, const QString &version, const QString &date,
              const QString &symbol, int hue, const QString &description) {
    return {name, u"org.example."_s + id, version, date, description, symbol, hue, 2};
}

QString slug(const SampleApp &item) {
    return item.name.toLower().remove(u' ');
}

QByteArray pngBytes(const QImage &image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The symbol in the icon font when fontconfig knows it, else the name's first letter.
void drawSymbol(QPainter &painter, const QRectF &area, const SampleApp &item, int pixelSize) {
    static const bool haveIconFont = QFontDatabase::families().contains(u"Material Icons"_s);
    QFont font(haveIconFont ? u"Material Icons"_s : QString());
    font.setPixelSize(haveIconFont ? pixelSize : pixelSize * 3 / 4);
    font.setBold(!haveIconFont);
    painter.setFont(font);
    painter.drawText(area, Qt::AlignCenter, haveIconFont ? item.symbol : item.name.left(1));
}

QColor colour(const SampleApp &item, int saturation = 170, int value = 215) {
    return QColor::fromHsv(item.hue, saturation, value);
}

QByteArray iconPng(const SampleApp &item) {
    QImage image(kIconSize, kIconSize, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(0, 0, 0, kIconSize);
    fill.setColorAt(0, colour(item, 140, 235));
    fill.setColorAt(1, colour(item, 200, 190));
    painter.fillRect(image.rect(), fill);
    painter.setPen(Qt::white);
    drawSymbol(painter, image.rect(), item, kIconSize * 3 / 5);
    painter.end();
    return pngBytes(image);
}

// A phone screen of the app: its colour, its name and symbol in the bar, cards below.
QByteArray screenshotPng(const SampleApp &item, int index) {
    QImage image(kScreenshotSize, QImage::Format_RGB32);
    image.fill(colour(item, 25, 250));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const int width = kScreenshotSize.width();
    painter.fillRect(QRect(0, 0, width, 130), colour(item));
    painter.setPen(Qt::white);
    drawSymbol(painter, QRectF(20, 50, 60, 60), item, 44);
    QFont title;
    title.setPixelSize(30);
    title.setBold(true);
    painter.setFont(title);
    painter.drawText(QRectF(90, 50, width - 110, 60), Qt::AlignVCenter | Qt::AlignLeft, item.name);
    // Cards of different heights per screen, so the screenshots of one app differ.
    int top = 160;
    for (int card = 0; top < kScreenshotSize.height() - 40; ++card) {
        const int height = 70 + ((card + index) % 3) * 45;
        QPainterPath path;
        path.addRoundedRect(QRectF(20, top, width - 40, height), 16, 16);
        painter.fillPath(path, Qt::white);
        painter.fillRect(QRectF(40, top + 20, 44, 44), colour(item, 90, 240));
        painter.fillRect(QRectF(100, top + 24, width - 180 - card * 12, 12), QColor(0, 0, 0, 60));
        painter.fillRect(QRectF(100, top + 46, width - 220, 10), QColor(0, 0, 0, 30));
        top += height + 18;
    }
    painter.end();
    return pngBytes(image);
}

QVariantMap infoPlist(const SampleApp &item, int build) {
    return {{u"CFBundleIdentifier"_s, item.bundleIdentifier},
            {u"CFBundleName"_s, item.name},
            {u"CFBundleDisplayName"_s, item.name},
            {u"CFBundleShortVersionString"_s, item.version},
            {u"CFBundleVersion"_s, QString::number(build)},
            {u"CFBundleExecutable"_s, item.name},
            {u"CFBundlePackageType"_s, u"APPL"_s},
            {u"MinimumOSVersion"_s, u"15.0"_s},
            {u"CFBundleIcons"_s,
             QVariantMap{{u"CFBundlePrimaryIcon"_s,
                          QVariantMap{{u"CFBundleIconFiles"_s, QStringList{u"AppIcon60x60"_s}}}}}}};
}

// Bytes that do not compress, so that an archive's size is what its download takes.
QByteArray resourceBytes(const SampleApp &item, qsizetype size) {
    QRandomGenerator random(quint32(qHash(item.bundleIdentifier + item.version)));
    QByteArray bytes(size, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

QByteArray ipaBytes(const SampleApp &item, int build, const QByteArray &icon, QString *error) {
    const std::optional<QByteArray> info = PropertyList::toXml(infoPlist(item, build), error);
    if (!info)
        return {};
    const QString folder = u"Payload/"_s + item.name + u".app/"_s;
    ZipBuilder zip;
    zip.addFolder(u"Payload/"_s);
    zip.addFolder(folder);
    zip.addFile(folder + u"Info.plist"_s, *info);
    ZipBuilder::Options executable;
    executable.permissions = 0755;
    zip.addFile(folder + item.name,
                "#!/bin/sh\necho '" + item.name.toUtf8() + ' ' + item.version.toUtf8() +
                    ": a Kivo sample app'\n",
                executable);
    zip.addFile(folder + u"AppIcon60x60@2x.png"_s, icon);
    ZipBuilder::Options stored;
    stored.method = ZipBuilder::Method::Stored;
    // Between one and three megabytes: enough to watch a throttled download.
    zip.addFile(folder + u"SampleData.bin"_s,
                resourceBytes(item, (1 + build % 3) * 1024 * 1024 - 4096 * build), stored);
    return zip.finish();
}

bool writeFile(const QString &path, const QByteArray &bytes, QString *error) {
    QSaveFile file(path);
    if (QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
        file.write(bytes) == bytes.size() && file.commit())
        return true;
    *error = u"Cannot write %1: %2"_s.arg(path, file.errorString());
    return false;
}

QString address(const QString &path) {
    return kHost + path;
}

} // namespace

QString SampleApp::iconPath() const {
    return u"/icons/"_s + slug(*this) + u".png"_s;
}

QString SampleApp::screenshotPath(int index) const {
    return u"/screens/"_s + slug(*this) + u'-' + QString::number(index + 1) + u".png"_s;
}

QString SampleApp::archivePath() const {
    return u"/apps/"_s + slug(*this) + u'-' + version + u".ipa"_s;
}

QList<SampleApp> apps() {
    return {
        app(u"Notes"_s, u"notes"_s, u"1.1"_s, u"2026-11-20"_s, u"edit_note"_s, 45,
            u"Quick notes that stay on your device, with pinned notes and a word count."_s),
        app(u"Clock"_s, u"clock"_s, u"2.3"_s, u"2026-10-02"_s, u"schedule"_s, 210,
            u"World clocks, alarms, a stopwatch and a timer, in one calm screen."_s),
        app(u"Weather"_s, u"weather"_s, u"4.0"_s, u"2026-09-14"_s, u"wb_sunny"_s, 195,
            u"Today's sky, the hours ahead and the week at a glance, for every place you keep."_s),
        app(u"Podcasts"_s, u"podcasts"_s, u"1.8"_s, u"2026-08-30"_s, u"podcasts"_s, 280,
            u"Subscribe, download episodes for the road and pick up where you left off."_s),
        app(u"Calculator"_s, u"calculator"_s, u"3.2"_s, u"2026-07-11"_s, u"calculate"_s, 25,
            u"A scientific calculator with history and unit conversions."_s),
        app(u"Maps"_s, u"maps"_s, u"5.1"_s, u"2026-11-01"_s, u"map"_s, 130,
            u"Offline maps with walking and cycling routes."_s),
        app(u"Reader"_s, u"reader"_s, u"2.0"_s, u"2026-06-21"_s, u"menu_book"_s, 15,
            u"Read books and long articles in a layout that is easy on the eyes."_s),
        app(u"Camera"_s, u"camera"_s, u"1.4"_s, u"2026-05-05"_s, u"photo_camera"_s, 240,
            u"Manual focus, exposure and RAW capture."_s),
        app(u"Translate"_s, u"translate"_s, u"3.0"_s, u"2026-10-18"_s, u"translate"_s, 170,
            u"Translate text and conversations between forty languages, also offline."_s),
        app(u"Journal"_s, u"journal"_s, u"1.2"_s, u"2026-04-09"_s, u"auto_stories"_s, 330,
            u"A private diary with photos, places and a daily reminder."_s),
        app(u"Chess"_s, u"chess"_s, u"2.6"_s, u"2026-09-27"_s, u"sports_esports"_s, 100,
            u"Play against the computer at ten levels, or solve a puzzle a day."_s),
        app(u"Radio"_s, u"radio"_s, u"1.0"_s, u"2026-03-15"_s, u"radio"_s, 300,
            u"Thousands of stations from around the world, with a sleep timer."_s),
        // The older version: strict grouping lists versions together only when their texts agree.
        app(u"Notes"_s, u"notes"_s, u"1.0"_s, u"2026-06-02"_s, u"edit_note"_s, 45,
            u"Quick notes that stay on your device, with pinned notes and a word count."_s),
    };
}

QString updatedAppName() {
    return u"Notes"_s;
}

bool write(const QString &folder, QString *error) {
    const QString feedPath = folder + kFeedPath;
    QFile::remove(feedPath);

    const QList<SampleApp> items = apps();
    JsonWriter feed;
    feed.beginObject();
    feed.key("name"_L1);
    feed.value(u"Kivo Samples"_s);
    feed.key("identifier"_L1);
    feed.value(u"org.example.samples"_s);
    feed.key("apps"_L1);
    feed.beginArray();
    for (qsizetype i = 0; i < items.size(); ++i) {
        const SampleApp &item = items.at(i);
        const QByteArray icon = iconPng(item);
        const QByteArray archive = ipaBytes(item, int(i) + 1, icon, error);
        if (archive.isEmpty() || !writeFile(folder + item.iconPath(), icon, error) ||
            !writeFile(folder + item.archivePath(), archive, error))
            return false;
        QStringList screenshots;
        for (int s = 0; s < item.screenshots; ++s) {
            if (!writeFile(folder + item.screenshotPath(s), screenshotPng(item, s), error))
                return false;
            screenshots.append(address(item.screenshotPath(s)));
        }

        feed.beginObject();
        feed.key("name"_L1);
        feed.value(item.name);
        feed.key("bundleIdentifier"_L1);
        feed.value(item.bundleIdentifier);
        feed.key("version"_L1);
        feed.value(item.version);
        feed.key("versionDate"_L1);
        feed.value(item.versionDate);
        feed.key("size"_L1);
        feed.value(qint64(archive.size()));
        feed.key("downloadURL"_L1);
        feed.value(address(item.archivePath()));
        feed.key("iconURL"_L1);
        feed.value(address(item.iconPath()));
        feed.key("localizedDescription"_L1);
        feed.value(item.description);
        feed.key("screenshotURLs"_L1);
        feed.beginArray();
        for (const QString &screenshot : std::as_const(screenshots))
            feed.value(screenshot);
        feed.endArray();
        feed.endObject();
    }
    feed.endArray();
    feed.endObject();

    return writeFile(folder + kReposListPath, (address(kFeedPath.toString()) + u'\n').toUtf8(), error) &&
           writeFile(feedPath, feed.bytes(), error);
}

} // namespace SampleSource
