#include "zip/benchmarkarchives.h"

#include "fixtures/zipbuilder.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <cstring>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

// xorshift64*: fast and the same everywhere, unlike the standard distributions.
class Noise {
public:
    explicit Noise(quint64 seed)
        : m_state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    quint64 next() {
        m_state ^= m_state >> 12;
        m_state ^= m_state << 25;
        m_state ^= m_state >> 27;
        return m_state * 0x2545F4914F6CDD1Dull;
    }
    quint64 below(quint64 bound) { return next() % bound; }

private:
    quint64 m_state;
};

enum class Content { Noise, Code, Text, Zeros };

void fill(char *out, qsizetype size, Content content, Noise &noise) {
    static const char *const words[] = {
        "CFBundle", "Identifier", "string",     "key",   "dict", "true", "array",     "NSObject",
        "UIView",   "layout",     "constraint", "image", "@2x",  "png",  "localized", "title",
        "value",    "0",          "1",          "\n",    " ",    "<",    ">",         "/"};
    qsizetype at = 0;
    switch (content) {
    case Content::Noise:
        for (; at + 8 <= size; at += 8) {
            const quint64 value = noise.next();
            memcpy(out + at, &value, 8);
        }
        for (; at < size; ++at)
            out[at] = char(noise.next());
        break;
    case Content::Code: // machine code: a skewed alphabet, about half compressible
        while (at < size) {
            const quint64 value = noise.next();
            for (int shift = 0; shift < 64 && at < size; shift += 4)
                out[at++] =
                    "\x00\x01\x08\x10\x20\x48\x89\x8b\xc3\xe8\xff\x0f\x84\x85\x94\xd0"[(value >> shift) & 15];
        }
        break;
    case Content::Text:
        while (at < size) {
            const char *word = words[noise.below(std::size(words))];
            const qsizetype length = std::min<qsizetype>(qsizetype(strlen(word)), size - at);
            memcpy(out + at, word, size_t(length));
            at += length;
        }
        break;
    case Content::Zeros:
        memset(out, 0, size_t(size));
        break;
    }
}

// Mixed content in blocks of 64 KiB with the given shares of noise and code (the rest is text
// and zeros).
QByteArray mixedBytes(qsizetype size, int noisePercent, int codePercent, Noise &noise) {
    QByteArray bytes(size, Qt::Uninitialized);
    constexpr qsizetype kBlock = 64 << 10;
    for (qsizetype at = 0; at < size; at += kBlock) {
        const int pick = int(noise.below(100));
        const Content content = pick < noisePercent                 ? Content::Noise
                                : pick < noisePercent + codePercent ? Content::Code
                                : pick % 4 == 0                     ? Content::Zeros
                                                                    : Content::Text;
        fill(bytes.data() + at, std::min(kBlock, size - at), content, noise);
    }
    return bytes;
}

QString generate(const QString &folder, const QString &name, const std::function<void(ZipBuilder &)> &build) {
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(name);
    if (QFile::exists(path))
        return path;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    ZipBuilder builder(&file);
    build(builder);
    builder.finish();
    return file.commit() ? path : QString();
}

} // namespace

namespace BenchmarkArchives {

QString ipaLike(const QString &folder) {
    return generate(folder, u"ipa-like-v2.ipa"_s, [](ZipBuilder &builder) {
        Noise noise(1);
        const QString app = u"Payload/Bench.app/"_s;
        ZipBuilder::Options executable;
        executable.permissions = 0755;
        builder.addFolder(u"Payload/"_s);
        builder.addFolder(app);
        builder.addFile(app + u"Bench"_s, mixedBytes(150 << 20, 45, 40, noise), executable);
        QByteArray plist(2048, Qt::Uninitialized);
        fill(plist.data(), plist.size(), Content::Text, noise);
        builder.addFile(app + u"Info.plist"_s, plist);

        ZipBuilder::Options stored;
        stored.method = ZipBuilder::Method::Stored;
        for (int i = 0; i < 4000; ++i) {
            const int bucket = int(noise.below(100));
            const qsizetype size = bucket < 60   ? qsizetype(1024 + noise.below(11 << 10))
                                   : bucket < 90 ? qsizetype((12 << 10) + noise.below(84 << 10))
                                   : bucket < 99 ? qsizetype((96 << 10) + noise.below(604 << 10))
                                                 : qsizetype((700 << 10) + noise.below(2300 << 10));
            const bool image = noise.below(5) == 0;
            const QString name =
                app + (image ? u"Assets/set%1/image%2@2x.png"_s : u"Resources/group%1/file%2.dat"_s)
                          .arg(i % 40)
                          .arg(i);
            if (image)
                builder.addFile(name, mixedBytes(size, 100, 0, noise), stored);
            else
                builder.addFile(name, mixedBytes(size, 35, 35, noise));
        }
    });
}

QString smallFiles(const QString &folder) {
    return generate(folder, u"small-files-v1.zip"_s, [](ZipBuilder &builder) {
        Noise noise(2);
        for (int i = 0; i < 10000; ++i) {
            const qsizetype size = qsizetype(100 + noise.below(8000));
            builder.addFile(u"small/folder%1/file%2.txt"_s.arg(i % 100).arg(i),
                            mixedBytes(size, 20, 0, noise));
        }
    });
}

} // namespace BenchmarkArchives
