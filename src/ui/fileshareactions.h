#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

// The share sheet's actions for one downloaded file, as a desktop offers them: save a copy
// elsewhere, put the file's path on the clipboard, show the file's folder.
class FileShareActions : public QObject {
    Q_OBJECT
    QML_ELEMENT

public:
    explicit FileShareActions(QObject *parent = nullptr);

    // Copies the file to `destination` (a file URL chosen in a save dialog). An existing file
    // there is replaced only once the copy is complete. Gives the failure's description, or an
    // empty text when the copy is in place.
    Q_INVOKABLE QString saveCopy(const QUrl &file, const QUrl &destination) const;
    Q_INVOKABLE void copyPath(const QUrl &file) const;
    Q_INVOKABLE bool showInFolder(const QUrl &file) const;
    // The file's name, for the save dialog's proposal and the sheet's title.
    Q_INVOKABLE static QString fileName(const QUrl &file);
};
