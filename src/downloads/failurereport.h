#pragma once

#include <QString>

// A failure of something the user asked for (rename, delete, import, conversion): the console
// line as before, and the user hears of it too, by banner while the window is active and by
// system notification otherwise.
void reportFailure(const QString &title, const QString &consolePrefix, const QString &description);
