#pragma once

#include "tuio/tuioprofiles.h"

class QTreeWidgetItem;

// The "TUIO 对象" tree group of one of the seven profiles past 2D cursors and objects.
// Its title in the current language, e.g. "斑块 (2Dblb)".
QString itemGroupTitle(TuioProfile profile);
// Puts the table's rows into the group: id (with class id for objects), position (with z where the
// profile has one), then angles in radians and degrees and a blob's size and area or volume.
void putItemRows(QTreeWidgetItem *group, TuioProfile profile, const TuioItemTable &table);
