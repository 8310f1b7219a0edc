#pragma once

#include "zip/ziperror.h"

#include <QString>

// Extracts a whole ZIP archive into a folder: stored and deflated entries, ZIP64, folders,
// symbolic links and Unix permissions. Blocking and self-contained, so it can run on any thread
// (the engines run it through QtConcurrent); it needs no event loop.
//
// Hostile archives are refused before anything is written where that can be known from the
// structure (paths, links, overlaps, sizes, free space); data faults found while decoding stop the
// extraction. Either way nothing is written outside the destination, and on failure everything the
// extraction created is removed again, so the destination is left as it was.
class ZipExtractor {
public:
    // How many threads may decode at once; 0 picks one per core, at most four.
    void setThreadCount(int count) { m_threadCount = count; }
    // Confines every symbolic link to the folder named by the first `components` components of
    // its own path (0, the default: the whole destination). An ".ipa" keeps the links of an app
    // inside its "Payload/<name>.app", because the app leaves its siblings when it is installed.
    void setLinkConfinement(int components) { m_linkConfinement = components; }

    bool extractAll(const QString &archivePath, const QString &destinationFolder);
    const ZipError &error() const { return m_error; }

private:
    int m_threadCount = 0;
    int m_linkConfinement = 0;
    ZipError m_error;
};
