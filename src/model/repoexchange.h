#pragma once

#include "model/exportablerepo.h"
#include "model/savedrepo.h"

#include <QList>
#include <QString>
#include <QStringView>
#include <QUrl>

// Conversions between the repository tree and the texts users move it around in: exchange JSON
// (export and import) and the plain address list (export, and the lists linked folders are
// filled from).
namespace RepoExchange {

// True for an enabled repository, and for an enabled folder with enabled content somewhere below.
bool hasEnabledContent(const SavedRepo &node);

// With onlyEnabled, "isEnabled" is left out and only children with enabled content are kept.
ExportableRepo toExportable(const SavedRepo &node, bool onlyEnabled);

// The whole tree as a JSON array / one node with its subtree as a JSON object, compact.
QString exportJson(const QList<SavedRepo> &roots, bool onlyEnabled);
QString exportNodeJson(const SavedRepo &node, bool onlyEnabled);

// Repository addresses, one per line, no trailing line feed. Folders contribute their
// repositories, never their own link.
QString exportUrlList(const QList<SavedRepo> &roots, bool onlyEnabled);
QString exportNodeUrlList(const SavedRepo &node, bool onlyEnabled);

// A new tree node for an imported record: folders get fresh UUIDs, a repository without an
// address gets "about:blank".
SavedRepo importNode(const ExportableRepo &record);

// Addresses in text order, duplicates kept. Never fails: unusable lines are skipped, and a line
// that does not start with "http" gets "https://" in front.
QList<QUrl> readUrlList(QStringView text);

} // namespace RepoExchange
