#pragma once

#include <QString>

class QApplication;

// Applies the dark theme: the compiled-in sheet, else "DarkTheme.qss" beside the executable.
// Returns whether a sheet was applied.
bool applyTheme(QApplication &app,
                const QString &resourcePath = QStringLiteral(":/styles/DarkTheme.qss"));

// The whole start-up sequence and event loop; returns the process exit code.
int runTactora(int &argc, char **argv);
