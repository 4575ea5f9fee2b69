#pragma once

#include <QMap>
#include <QString>

// Chinese-to-English dictionary shared by the suite's tools; compiled in, no translation files.
QMap<QString, QString> buildUiDictionary();
