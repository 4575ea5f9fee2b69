#pragma once

#include <QList>
#include <QUrl>

// Every link the program asked the desktop to open, in any scheme; none is really opened.
QList<QUrl> &openedLinks();
