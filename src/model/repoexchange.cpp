#include "repoexchange.h"

#include "model/jsonwriter.h"
#include "model/urltext.h"

#include "platform/uuid.h"

using namespace Qt::StringLiterals;

namespace RepoExchange {
namespace {

void writeRecord(JsonWriter &writer, const ExportableRepo &record) {
    writer.beginObject();
    writer.key("name"_L1);
    writer.value(record.name);
    if (record.url) {
        writer.key("url"_L1);
        writer.value(UrlText::fromUrl(*record.url));
    }
    if (record.isEnabled) {
        writer.key("isEnabled"_L1);
        writer.value(*record.isEnabled);
    }
    if (record.children) {
        writer.key("children"_L1);
        writer.beginArray();
        for (const ExportableRepo &child : *record.children)
            writeRecord(writer, child);
        writer.endArray();
    }
    if (record.repoListURL) {
        writer.key("childrenUrl"_L1);
        writer.value(UrlText::fromUrl(*record.repoListURL));
    }
    writer.endObject();
}

QString urlListText(const SavedRepo &node, bool onlyEnabled) {
    if (onlyEnabled && !node.isEnabled)
        return {};
    if (!node.children)
        return node.url ? UrlText::fromUrl(*node.url) : QString();
    QStringList texts;
    for (const SavedRepo &child : *node.children) {
        QString text = urlListText(child, onlyEnabled);
        if (!text.isEmpty())
            texts.append(std::move(text));
    }
    return texts.join(u'\n');
}

// Line breaks as Unicode defines them: LF, VT, FF, CR, NEL, LINE and PARAGRAPH SEPARATOR.
bool isLineBreak(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 0x0a && u <= 0x0d) || u == 0x85 || u == 0x2028 || u == 0x2029;
}

} // namespace

bool hasEnabledContent(const SavedRepo &node) {
    if (!node.isEnabled)
        return false;
    if (!node.children)
        return true;
    return std::any_of(node.children->cbegin(), node.children->cend(), hasEnabledContent);
}

ExportableRepo toExportable(const SavedRepo &node, bool onlyEnabled) {
    ExportableRepo record;
    record.name = node.name;
    record.url = node.url;
    if (!onlyEnabled)
        record.isEnabled = node.isEnabled;
    record.repoListURL = node.repoListURL;
    // A linked folder's link is enough to rebuild its children.
    if (node.children && !node.repoListURL) {
        QList<ExportableRepo> children;
        for (const SavedRepo &child : *node.children) {
            if (!onlyEnabled || hasEnabledContent(child))
                children.append(toExportable(child, onlyEnabled));
        }
        record.children = std::move(children);
    }
    return record;
}

QString exportJson(const QList<SavedRepo> &roots, bool onlyEnabled) {
    JsonWriter writer;
    writer.beginArray();
    for (const SavedRepo &node : roots) {
        if (!onlyEnabled || hasEnabledContent(node))
            writeRecord(writer, toExportable(node, onlyEnabled));
    }
    writer.endArray();
    return QString::fromUtf8(writer.bytes());
}

QString exportNodeJson(const SavedRepo &node, bool onlyEnabled) {
    JsonWriter writer;
    writeRecord(writer, toExportable(node, onlyEnabled));
    return QString::fromUtf8(writer.bytes());
}

QString exportUrlList(const QList<SavedRepo> &roots, bool onlyEnabled) {
    QStringList texts;
    for (const SavedRepo &node : roots) {
        QString text = urlListText(node, onlyEnabled);
        if (!text.isEmpty())
            texts.append(std::move(text));
    }
    return texts.join(u'\n');
}

QString exportNodeUrlList(const SavedRepo &node, bool onlyEnabled) {
    return urlListText(node, onlyEnabled);
}

SavedRepo importNode(const ExportableRepo &record) {
    SavedRepo node;
    node.name = record.name;
    node.isEnabled = record.isEnabled.value_or(true);
    if (record.repoListURL || record.children) {
        node.id = newUuidString();
        QList<SavedRepo> children;
        if (record.children) {
            children.reserve(record.children->size());
            for (const ExportableRepo &child : *record.children)
                children.append(importNode(child));
        }
        node.children = std::move(children);
        node.repoListURL = record.repoListURL;
    } else {
        node.url = record.url.value_or(QUrl(u"about:blank"_s));
        node.id = UrlText::fromUrl(*node.url);
    }
    return node;
}

QList<QUrl> readUrlList(QStringView text) {
    QList<QUrl> urls;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !isLineBreak(text[i]))
            continue;
        const QStringView piece = text.sliced(start, i - start).trimmed();
        start = i + 1;
        if (piece.isEmpty())
            continue;
        if (std::optional<QUrl> url = UrlText::toUrl(UrlText::withWebScheme(piece)))
            urls.append(*url);
    }
    return urls;
}

} // namespace RepoExchange
