#pragma once

#include <QString>

// The file work of turning an ".ipa" into an ".app" folder in LiveContainer's applications
// folder, in two halves around the engine's conflict test. Blocking and free of engine state:
// the engine runs both halves on worker threads and keeps its own state on the main thread.
namespace IpaExtraction {

struct Unpacked {
    QString error;           // why unpacking failed; the temporary folder is already gone
    QString temporaryFolder; // "Temp_" + UUID inside the applications folder
    QString payloadFolder;   // its "Payload"
    QString appFolder;       // the first ".app" in "Payload"
    QString bundleID;        // from "Info.plist", trimmed; "unknown" when it cannot be read
    QString targetName;      // bundleID + ".app", or the app folder's own name when unknown

    // False after a failure; an archive without an app is one.
    bool hasApp() const { return !appFolder.isEmpty(); }
};

// Extracts the archive into a new temporary folder and finds the app and its identity. When it
// returns an app, the temporary folder stays for install() or for the user's decision.
Unpacked unpack(const QString &archive, const QString &applicationsFolder);

struct Installed {
    QString error;     // why the app could not be moved into place
    QString appFolder; // where it now lies
};

// Moves the unpacked app into the applications folder under the first free form of its target
// name, removes the archive when it lies in the downloads folder (and only then), and removes
// the temporary folder whatever happens.
Installed install(const Unpacked &unpacked, const QString &applicationsFolder, const QString &archive,
                  const QString &downloadFolder);

} // namespace IpaExtraction
