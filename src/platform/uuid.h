#pragma once

#include <QString>

// A new random UUID in its canonical 36-character upper-case form, the form every identifier
// the system makes takes (folder ids, temporary folders, backups, resume-data files).
QString newUuidString();
