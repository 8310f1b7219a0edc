<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>AddRepoSheet</name>
    <message>
        <source>Add</source>
        <translation>Hinzufügen</translation>
    </message>
    <message>
        <source>Sources</source>
        <translation>Quellen</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>URLs (One per line)</source>
        <translation>URLs (eine pro Zeile)</translation>
    </message>
    <message>
        <source>Paste from Clipboard</source>
        <translation>Aus Zwischenablage einfügen</translation>
    </message>
    <message>
        <source>New Folder</source>
        <translation>Neuer Ordner</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Link URL (Optional)</source>
        <translation>Link-URL (optional)</translation>
    </message>
    <message>
        <source>If a link is provided, this folder will automatically populate with repositories from that URL (one per line).</source>
        <translation>Mit einem Link füllt sich dieser Ordner automatisch mit den Repositorys, die unter dieser URL stehen (eine pro Zeile).</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
</context>
<context>
    <name>AppDetailView</name>
    <message>
        <source>Open %1</source>
        <translation>%1 öffnen</translation>
    </message>
    <message>
        <source>OPEN</source>
        <translation>ÖFFNEN</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>Vorschau</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>Version History</source>
        <translation>Versionsverlauf</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Zurück</translation>
    </message>
</context>
<context>
    <name>AppItemTexts</name>
    <message>
        <source>via %1</source>
        <translation>über %1</translation>
    </message>
    <message>
        <source>Unknown Date</source>
        <translation>Unbekanntes Datum</translation>
    </message>
    <message>
        <source>No description available.</source>
        <translation>Keine Beschreibung vorhanden.</translation>
    </message>
</context>
<context>
    <name>AppStoreViewModel</name>
    <message>
        <source>The request timed out.</source>
        <translation>Die Anfrage hat zu lange gedauert.</translation>
    </message>
    <message>
        <source>HTTP %1 — the response is not a repository feed: %2</source>
        <translation>HTTP %1 – die Antwort ist kein Repository-Feed: %2</translation>
    </message>
    <message>
        <source>HTTP %1 — the server did not send the list</source>
        <translation>HTTP %1 – der Server hat die Liste nicht gesendet</translation>
    </message>
    <message>
        <source>The list at %1 is not UTF-8 text.</source>
        <translation>Die Liste unter %1 ist kein UTF-8-Text.</translation>
    </message>
</context>
<context>
    <name>ByteCount</name>
    <message>
        <source>Zero KB</source>
        <translation>Null KB</translation>
    </message>
    <message>
        <source>%1 byte</source>
        <translation>%1 Byte</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 Bytes</translation>
    </message>
</context>
<context>
    <name>ContentController</name>
    <message>
        <source>An app with the Bundle ID &apos;%1&apos; is already installed (%2). Would you like to update it (preserving data) or install it separately?</source>
        <translation>Eine App mit der Bundle-ID „%1“ ist bereits installiert (%2). Möchten Sie sie aktualisieren (die Daten bleiben erhalten) oder getrennt installieren?</translation>
    </message>
    <message>
        <source>Please run &apos;%1&apos; in LiveContainer to finalize the update, and then return to Kivo.

If you have already run it and the update is not detected, you can try again or restore the previous version.</source>
        <translation>Bitte starten Sie „%1“ in LiveContainer, um das Update abzuschließen, und kehren Sie dann zu Kivo zurück.

Wenn Sie die App bereits gestartet haben und das Update nicht erkannt wird, können Sie es erneut versuchen oder die vorherige Version wiederherstellen.</translation>
    </message>
</context>
<context>
    <name>DirectDownloadView</name>
    <message>
        <source>Share Failed</source>
        <translation>Teilen fehlgeschlagen</translation>
    </message>
    <message>
        <source>Direct Download</source>
        <translation>Direkter Download</translation>
    </message>
    <message>
        <source>Import File</source>
        <translation>Datei importieren</translation>
    </message>
    <message>
        <source>Archives (*.ipa *.zip)</source>
        <translation>Archive (*.ipa *.zip)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Preparing %1…</source>
        <translation>%1 wird vorbereitet …</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Cancel sharing</source>
        <translation>Teilen abbrechen</translation>
    </message>
    <message>
        <source>Rename File</source>
        <translation>Datei umbenennen</translation>
    </message>
    <message>
        <source>Filename.ipa</source>
        <translation>Dateiname.ipa</translation>
    </message>
    <message>
        <source>New file name</source>
        <translation>Neuer Dateiname</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Rename</source>
        <translation>Umbenennen</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Convert to .app</source>
        <translation>In .app umwandeln</translation>
    </message>
    <message>
        <source>Share</source>
        <translation>Teilen</translation>
    </message>
    <message>
        <source>Download from URL</source>
        <translation>Von URL herunterladen</translation>
    </message>
    <message>
        <source>https://example.com/app.ipa</source>
        <translation>https://example.com/app.ipa</translation>
    </message>
    <message>
        <source>Download address</source>
        <translation>Download-Adresse</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Herunterladen</translation>
    </message>
    <message>
        <source>Active Downloads</source>
        <translation>Aktive Downloads</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>Dateien</translation>
    </message>
    <message>
        <source>Clear All</source>
        <translation>Alle löschen</translation>
    </message>
    <message>
        <source>Loc: %1</source>
        <translation>Ort: %1</translation>
    </message>
    <message>
        <source>Default</source>
        <translation>Standard</translation>
    </message>
    <message>
        <source>Downloaded files</source>
        <translation>Heruntergeladene Dateien</translation>
    </message>
</context>
<context>
    <name>DownloadButton</name>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>GET</source>
        <translation>LADEN</translation>
    </message>
    <message>
        <source>%1 %2</source>
        <translation>%1 %2</translation>
    </message>
    <message>
        <source>Resume</source>
        <translation>Fortsetzen</translation>
    </message>
    <message>
        <source>Waiting</source>
        <translation>Wartet</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pausieren</translation>
    </message>
</context>
<context>
    <name>DownloadManager</name>
    <message>
        <source>Update Completed</source>
        <translation>Update abgeschlossen</translation>
    </message>
    <message>
        <source>%1 has been successfully updated.</source>
        <translation>%1 wurde erfolgreich aktualisiert.</translation>
    </message>
    <message>
        <source>Download Failed</source>
        <translation>Download fehlgeschlagen</translation>
    </message>
    <message>
        <source>%1 could not be saved: %2</source>
        <translation>%1 konnte nicht gespeichert werden: %2</translation>
    </message>
    <message>
        <source>Cannot create the folder &quot;%1&quot;</source>
        <translation>Der Ordner „%1“ kann nicht angelegt werden</translation>
    </message>
    <message>
        <source>Something that is not a downloaded file has its name</source>
        <translation>Unter diesem Namen liegt bereits etwas, das keine heruntergeladene Datei ist</translation>
    </message>
    <message>
        <source>The file could not be moved into place</source>
        <translation>Die Datei konnte nicht an ihren Platz verschoben werden</translation>
    </message>
    <message>
        <source>Download Complete</source>
        <translation>Download abgeschlossen</translation>
    </message>
    <message>
        <source>%1 has been downloaded.</source>
        <translation>%1 wurde heruntergeladen.</translation>
    </message>
    <message>
        <source>Convert Failed</source>
        <translation>Umwandeln fehlgeschlagen</translation>
    </message>
    <message>
        <source>Import Failed</source>
        <translation>Import fehlgeschlagen</translation>
    </message>
    <message>
        <source>“%1” could not be opened.</source>
        <translation>„%1“ konnte nicht geöffnet werden.</translation>
    </message>
    <message>
        <source>Rename Failed</source>
        <translation>Umbenennen fehlgeschlagen</translation>
    </message>
    <message>
        <source>“%1” is not a valid file name.</source>
        <translation>„%1“ ist kein gültiger Dateiname.</translation>
    </message>
    <message>
        <source>File already exists</source>
        <translation>Die Datei existiert bereits</translation>
    </message>
    <message>
        <source>Delete Failed</source>
        <translation>Löschen fehlgeschlagen</translation>
    </message>
    <message>
        <source>“%1” could not be removed.</source>
        <translation>„%1“ konnte nicht entfernt werden.</translation>
    </message>
</context>
<context>
    <name>DownloadRow</name>
    <message>
        <source>Paused</source>
        <translation>Angehalten</translation>
    </message>
    <message>
        <source>Waiting...</source>
        <translation>Wartet …</translation>
    </message>
    <message>
        <source>%1% •</source>
        <translation>%1 % •</translation>
    </message>
    <message>
        <source>Resume %1</source>
        <translation>%1 fortsetzen</translation>
    </message>
    <message>
        <source>Pause %1</source>
        <translation>%1 anhalten</translation>
    </message>
    <message>
        <source>Cancel %1</source>
        <translation>%1 abbrechen</translation>
    </message>
</context>
<context>
    <name>FileRow</name>
    <message>
        <source>Extracting...</source>
        <translation>Wird entpackt …</translation>
    </message>
    <message>
        <source>Extracting %1</source>
        <translation>%1 wird entpackt</translation>
    </message>
    <message>
        <source>Share %1</source>
        <translation>%1 teilen</translation>
    </message>
    <message>
        <source>Delete %1</source>
        <translation>%1 löschen</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
</context>
<context>
    <name>FileShareActions</name>
    <message>
        <source>Only local files can be copied.</source>
        <translation>Nur lokale Dateien können kopiert werden.</translation>
    </message>
</context>
<context>
    <name>FileShareCopy</name>
    <message>
        <source>The temporary folder could not be made.</source>
        <translation>Der temporäre Ordner konnte nicht angelegt werden.</translation>
    </message>
</context>
<context>
    <name>FileShareSheet</name>
    <message>
        <source>Save a Copy…</source>
        <translation>Kopie speichern …</translation>
    </message>
    <message>
        <source>Copy Path</source>
        <translation>Pfad kopieren</translation>
    </message>
    <message>
        <source>Show in Folder</source>
        <translation>Im Ordner anzeigen</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
</context>
<context>
    <name>ImportJSONView</name>
    <message>
        <source>Import JSON</source>
        <translation>JSON importieren</translation>
    </message>
    <message>
        <source>JSON</source>
        <translation>JSON</translation>
    </message>
    <message>
        <source>Paste</source>
        <translation>Einfügen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>Importieren</translation>
    </message>
</context>
<context>
    <name>InstalledAppItem</name>
    <message>
        <source>%1, update available</source>
        <translation>%1, Update verfügbar</translation>
    </message>
</context>
<context>
    <name>InstalledAppsIndex</name>
    <message>
        <source>UPDATE</source>
        <translation>UPDATE</translation>
    </message>
    <message>
        <source>INSTALLED</source>
        <translation>INSTALLIERT</translation>
    </message>
</context>
<context>
    <name>InstalledAppsState</name>
    <message>
        <source>Could Not Delete %1</source>
        <translation>%1 konnte nicht gelöscht werden</translation>
    </message>
    <message>
        <source>Not removed: %1</source>
        <translation>Nicht entfernt: %1</translation>
    </message>
</context>
<context>
    <name>InstalledAppsView</name>
    <message>
        <source>Apps</source>
        <translation>Apps</translation>
    </message>
    <message>
        <source>Check Updates</source>
        <translation>Nach Updates suchen</translation>
    </message>
    <message>
        <source>Delete App</source>
        <translation>App löschen</translation>
    </message>
    <message>
        <source>Search Name</source>
        <translation>Nach Namen suchen</translation>
    </message>
    <message>
        <source>Search Bundle ID</source>
        <translation>Nach Bundle-ID suchen</translation>
    </message>
    <message>
        <source>Version: %1</source>
        <translation>Version: %1</translation>
    </message>
    <message>
        <source>Bundle: %1</source>
        <translation>Bundle: %1</translation>
    </message>
    <message>
        <source>File: %1</source>
        <translation>Datei: %1</translation>
    </message>
    <message>
        <source>Installed apps</source>
        <translation>Installierte Apps</translation>
    </message>
    <message>
        <source>Release to refresh</source>
        <translation>Zum Aktualisieren loslassen</translation>
    </message>
    <message>
        <source>No Apps</source>
        <translation>Keine Apps</translation>
    </message>
    <message>
        <source>Apps extracted to the applications folder will appear here.</source>
        <translation>Apps, die in den Programmordner entpackt werden, erscheinen hier.</translation>
    </message>
</context>
<context>
    <name>IpaExtraction</name>
    <message>
        <source>The app&apos;s bundle identifier &quot;%1&quot; cannot name a folder</source>
        <translation>Die Bundle-ID „%1“ der App taugt nicht als Ordnername</translation>
    </message>
    <message>
        <source>Cannot create the folder &quot;%1&quot;</source>
        <translation>Der Ordner „%1“ kann nicht angelegt werden</translation>
    </message>
    <message>
        <source>The archive holds no &quot;Payload&quot; folder, so no app to install</source>
        <translation>Das Archiv enthält keinen Ordner „Payload“ und damit keine App zum Installieren</translation>
    </message>
    <message>
        <source>The archive&apos;s &quot;Payload&quot; is not a folder</source>
        <translation>„Payload“ ist in diesem Archiv kein Ordner</translation>
    </message>
    <message>
        <source>The archive&apos;s &quot;Payload&quot; holds no &quot;.app&quot; folder, so no app to install</source>
        <translation>„Payload“ enthält in diesem Archiv keinen „.app“-Ordner und damit keine App zum Installieren</translation>
    </message>
</context>
<context>
    <name>Main</name>
    <message>
        <source>Store</source>
        <translation>Store</translation>
    </message>
    <message>
        <source>Apps</source>
        <translation>Apps</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Complete Update</source>
        <translation>Update abschließen</translation>
    </message>
    <message>
        <source>Open LiveContainer</source>
        <translation>LiveContainer öffnen</translation>
    </message>
    <message>
        <source>Cancel Update (Restore)</source>
        <translation>Update abbrechen (wiederherstellen)</translation>
    </message>
    <message>
        <source>Delete Backup</source>
        <translation>Sicherung löschen</translation>
    </message>
    <message>
        <source>Setup LiveContainer</source>
        <translation>LiveContainer einrichten</translation>
    </message>
    <message>
        <source>To enable auto-installation and launching, please select your LiveContainer storage directory.</source>
        <translation>Damit Apps automatisch installiert und gestartet werden können, wählen Sie bitte den Speicherordner von LiveContainer aus.</translation>
    </message>
    <message>
        <source>Select Folder</source>
        <translation>Ordner auswählen</translation>
    </message>
    <message>
        <source>Trouble Selecting?</source>
        <translation>Probleme beim Auswählen?</translation>
    </message>
    <message>
        <source>Later</source>
        <translation>Später</translation>
    </message>
    <message>
        <source>Select LiveContainer Folder</source>
        <translation>LiveContainer-Ordner auswählen</translation>
    </message>
    <message>
        <source>Have trouble selecting?</source>
        <translation>Probleme beim Auswählen?</translation>
    </message>
    <message>
        <source>Solution: Open LiveContainer, find Kivo in the &quot;My Apps&quot; list, press and hold the icon, tap Settings, and enable Fix File Picker. Then try selecting the directory again.</source>
        <translation>Lösung: Öffnen Sie LiveContainer, suchen Sie Kivo in der Liste „My Apps“, halten Sie das Symbol gedrückt, tippen Sie auf „Settings“ und schalten Sie „Fix File Picker“ ein. Wählen Sie den Ordner danach erneut aus.</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>App Conflict</source>
        <translation>App-Konflikt</translation>
    </message>
    <message>
        <source>Update Existing</source>
        <translation>Vorhandene aktualisieren</translation>
    </message>
    <message>
        <source>Install as Separate App</source>
        <translation>Als eigene App installieren</translation>
    </message>
</context>
<context>
    <name>MoveRepoSheet</name>
    <message>
        <source>Move to...</source>
        <translation>Verschieben nach …</translation>
    </message>
    <message>
        <source>Root</source>
        <translation>Oberste Ebene</translation>
    </message>
    <message>
        <source>Folders</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>RepoActions</name>
    <message>
        <source>1 repository added.</source>
        <translation>1 Repository hinzugefügt.</translation>
    </message>
    <message>
        <source>%1 repositories added.</source>
        <translation>%1 Repositorys hinzugefügt.</translation>
    </message>
    <message>
        <source>Repositories Added</source>
        <translation>Repositorys hinzugefügt</translation>
    </message>
    <message>
        <source>Nothing Added</source>
        <translation>Nichts hinzugefügt</translation>
    </message>
    <message>
        <source>No line holds a repository address.</source>
        <translation>Keine Zeile enthält eine Repository-Adresse.</translation>
    </message>
    <message>
        <source>Every address is already in the list.</source>
        <translation>Alle Adressen sind bereits in der Liste.</translation>
    </message>
    <message>
        <source>Import Complete</source>
        <translation>Import abgeschlossen</translation>
    </message>
    <message>
        <source>Only empty folders were added.</source>
        <translation>Es wurden nur leere Ordner hinzugefügt.</translation>
    </message>
    <message>
        <source>Nothing Imported</source>
        <translation>Nichts importiert</translation>
    </message>
    <message>
        <source>The text is not a repository list in JSON.</source>
        <translation>Der Text ist keine Repository-Liste im JSON-Format.</translation>
    </message>
</context>
<context>
    <name>RepoLevelModel</name>
    <message>
        <source>%1 repos • %2 apps</source>
        <translation>%1 Repos • %2 Apps</translation>
    </message>
</context>
<context>
    <name>RepoManagementView</name>
    <message>
        <source>Back</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Fertig</translation>
    </message>
    <message>
        <source>Edit</source>
        <translation>Bearbeiten</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Hinzufügen</translation>
    </message>
    <message>
        <source>Repos</source>
        <translation>Repos</translation>
    </message>
    <message>
        <source>No Repositories</source>
        <translation>Keine Repositorys</translation>
    </message>
    <message>
        <source>Update List</source>
        <translation>Liste aktualisieren</translation>
    </message>
    <message>
        <source>Copy Folder URL</source>
        <translation>Ordner-URL kopieren</translation>
    </message>
    <message>
        <source>Rename</source>
        <translation>Umbenennen</translation>
    </message>
    <message>
        <source>Move...</source>
        <translation>Verschieben …</translation>
    </message>
    <message>
        <source>Copy URLs</source>
        <translation>URLs kopieren</translation>
    </message>
    <message>
        <source>Copy JSON</source>
        <translation>JSON kopieren</translation>
    </message>
    <message>
        <source>Delete Folder</source>
        <translation>Ordner löschen</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Rename Folder</source>
        <translation>Ordner umbenennen</translation>
    </message>
    <message>
        <source>New Name</source>
        <translation>Neuer Name</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Copy Options</source>
        <translation>Kopieroptionen</translation>
    </message>
    <message>
        <source>This item contains disabled content.</source>
        <translation>Dieses Element enthält deaktivierte Einträge.</translation>
    </message>
    <message>
        <source>Copy All</source>
        <translation>Alle kopieren</translation>
    </message>
    <message>
        <source>Only Enabled</source>
        <translation>Nur aktivierte</translation>
    </message>
</context>
<context>
    <name>RepoRow</name>
    <message>
        <source>Delete %1</source>
        <translation>%1 löschen</translation>
    </message>
    <message>
        <source>Enable %1</source>
        <translation>%1 aktivieren</translation>
    </message>
</context>
<context>
    <name>RepoRowParts</name>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
</context>
<context>
    <name>SettingsView</name>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Directories</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>Downloads</source>
        <translation>Downloads</translation>
    </message>
    <message>
        <source>Default</source>
        <translation>Standard</translation>
    </message>
    <message>
        <source>Default Downloads folder</source>
        <translation>Standard-Downloadordner</translation>
    </message>
    <message>
        <source>Select</source>
        <translation>Auswählen</translation>
    </message>
    <message>
        <source>Select Downloads folder</source>
        <translation>Downloadordner auswählen</translation>
    </message>
    <message>
        <source>LiveContainer</source>
        <translation>LiveContainer</translation>
    </message>
    <message>
        <source>Default LiveContainer folder</source>
        <translation>Standardordner von LiveContainer</translation>
    </message>
    <message>
        <source>Select LiveContainer folder</source>
        <translation>LiveContainer-Ordner auswählen</translation>
    </message>
    <message>
        <source>Auto .ipa to .app</source>
        <translation>Automatisch .ipa zu .app</translation>
    </message>
    <message>
        <source>Store</source>
        <translation>Store</translation>
    </message>
    <message>
        <source>Strict Grouping</source>
        <translation>Strikte Gruppierung</translation>
    </message>
    <message>
        <source>Apps with different sources, names, or descriptions will be listed separately.</source>
        <translation>Apps mit unterschiedlichen Quellen, Namen oder Beschreibungen werden getrennt aufgeführt.</translation>
    </message>
    <message>
        <source>Apps with the same Bundle ID will be grouped together regardless of source.</source>
        <translation>Apps mit derselben Bundle-ID werden unabhängig von der Quelle zusammengefasst.</translation>
    </message>
    <message>
        <source>Repositories</source>
        <translation>Repositorys</translation>
    </message>
    <message>
        <source>Manage Sources</source>
        <translation>Quellen verwalten</translation>
    </message>
    <message>
        <source>Sort Repos By</source>
        <translation>Repos sortieren nach</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Backup/Restore</source>
        <translation>Sichern/Wiederherstellen</translation>
    </message>
    <message>
        <source>Export Repos...</source>
        <translation>Repos exportieren …</translation>
    </message>
    <message>
        <source>Import Repos (JSON)</source>
        <translation>Repos importieren (JSON)</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>Kivo v1.2</source>
        <translation>Kivo v1.2</translation>
    </message>
    <message>
        <source>Reset to Defaults</source>
        <translation>Auf Standard zurücksetzen</translation>
    </message>
    <message>
        <source>Copy as JSON</source>
        <translation>Als JSON kopieren</translation>
    </message>
    <message>
        <source>Copy as URL List</source>
        <translation>Als URL-Liste kopieren</translation>
    </message>
    <message>
        <source>Share JSON File</source>
        <translation>JSON-Datei teilen</translation>
    </message>
    <message>
        <source>Select LiveContainer Folder</source>
        <translation>LiveContainer-Ordner auswählen</translation>
    </message>
    <message>
        <source>Select Downloads Folder</source>
        <translation>Downloadordner auswählen</translation>
    </message>
    <message>
        <source>Have trouble selecting?</source>
        <translation>Probleme beim Auswählen?</translation>
    </message>
    <message>
        <source>Solution: Open LiveContainer, find Kivo in the &quot;My Apps&quot; list, press and hold the icon, tap Settings, and enable Fix File Picker. Then try selecting the directory again.</source>
        <translation>Lösung: Öffnen Sie LiveContainer, suchen Sie Kivo in der Liste „My Apps“, halten Sie das Symbol gedrückt, tippen Sie auf „Settings“ und schalten Sie „Fix File Picker“ ein. Wählen Sie den Ordner danach erneut aus.</translation>
    </message>
    <message>
        <source>Open LiveContainer</source>
        <translation>LiveContainer öffnen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Reset?</source>
        <translation>Zurücksetzen?</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>Zurücksetzen</translation>
    </message>
    <message>
        <source>Copy Options</source>
        <translation>Kopieroptionen</translation>
    </message>
    <message>
        <source>Some repositories are disabled. Which would you like to copy?</source>
        <translation>Einige Repositorys sind deaktiviert. Welche möchten Sie kopieren?</translation>
    </message>
    <message>
        <source>Copy All</source>
        <translation>Alle kopieren</translation>
    </message>
    <message>
        <source>Only Enabled</source>
        <translation>Nur aktivierte</translation>
    </message>
</context>
<context>
    <name>SetupRequiredAlert</name>
    <message>
        <source>Setup Required</source>
        <translation>Einrichtung erforderlich</translation>
    </message>
    <message>
        <source>This app has not been configured yet. Please open LiveContainer, then find and run this app once to generate the configuration.</source>
        <translation>Diese App ist noch nicht eingerichtet. Öffnen Sie bitte LiveContainer, suchen Sie die App und starten Sie sie einmal, damit die Konfiguration entsteht.</translation>
    </message>
    <message>
        <source>Open LiveContainer</source>
        <translation>LiveContainer öffnen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>StoreView</name>
    <message>
        <source>Store</source>
        <translation>Store</translation>
    </message>
    <message>
        <source>Sort By</source>
        <translation>Sortieren nach</translation>
    </message>
    <message>
        <source>Search apps, bundles...</source>
        <translation>Apps, Bundles suchen …</translation>
    </message>
    <message>
        <source>Updating Repositories...</source>
        <translation>Repositorys werden aktualisiert …</translation>
    </message>
    <message>
        <source>Source</source>
        <translation>Quelle</translation>
    </message>
    <message>
        <source>Release to refresh</source>
        <translation>Zum Aktualisieren loslassen</translation>
    </message>
    <message>
        <source>No Results</source>
        <translation>Keine Ergebnisse</translation>
    </message>
    <message>
        <source>No Apps</source>
        <translation>Keine Apps</translation>
    </message>
    <message>
        <source>No apps match your search.</source>
        <translation>Keine App passt zu Ihrer Suche.</translation>
    </message>
    <message>
        <source>Your repositories have no apps to show yet. Pull down to refresh.</source>
        <translation>Ihre Repositorys enthalten noch keine Apps. Zum Aktualisieren nach unten ziehen.</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>No App Selected</source>
        <translation>Keine App ausgewählt</translation>
    </message>
    <message>
        <source>Choose an app from the list to see its details and versions.</source>
        <translation>Wählen Sie eine App aus der Liste, um ihre Details und Versionen zu sehen.</translation>
    </message>
    <message>
        <source>Sort</source>
        <translation>Sortieren</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Suchen</translation>
    </message>
    <message>
        <source>Apps</source>
        <translation>Apps</translation>
    </message>
</context>
<context>
    <name>StoreViewState</name>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Date</source>
        <translation>Datum</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>All Sources</source>
        <translation>Alle Quellen</translation>
    </message>
</context>
<context>
    <name>UpdateButton</name>
    <message>
        <source>Update %1</source>
        <translation>%1 aktualisieren</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Update</translation>
    </message>
</context>
<context>
    <name>VersionRow</name>
    <message>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>Current</source>
        <translation>Aktuell</translation>
    </message>
</context>
</TS>
