#pragma once

#include <QStringList>

// The companion's commands. Each takes its arguments with the program name first and returns the
// exit status: 0 done, 1 a failure while running (or, for check, a protocol check fired), 2 bad
// usage or bad input.
int runListen(const QStringList &arguments);
int runRecord(const QStringList &arguments);
int runReplay(const QStringList &arguments);
int runCheck(const QStringList &arguments);
