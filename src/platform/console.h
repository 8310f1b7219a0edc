#pragma once

#include <QString>

// The one way the engines report a failure or a step on the diagnostic console: one line on
// standard output, written whole so lines from different threads never interleave.
void printLine(const QString &line);
