#pragma once

#include "tuio/tuiodecoder.h"
#include "tuio/tuiorecords.h"

#include <QByteArrayView>
#include <QLatin1String>

// The seven TUIO 1.1 profiles past the 2D cursor and object ("items" here), indexed 0..6 in the
// protocol's order: 2Dblb, 25Dcur, 25Dobj, 25Dblb, 3Dcur, 3Dobj, 3Dblb.
constexpr int tuioItemProfileCount = 7;

// -1 for Other and the two 2D profiles.
int tuioItemIndex(TuioProfile profile);
TuioProfile tuioItemProfile(int index);
// Other for an address that is none of the seven.
TuioProfile tuioItemProfileOf(const QString &address);

// "2Dcur", "25Dblb", ...; empty for Other.
QLatin1String tuioProfileName(TuioProfile profile);

// A set's arguments after the command word, a letter each as the TUIO 1.1 protocol names them:
// s session id, i class id, x y z position, a b c angles, w h d size, f area, v volume, X Y Z
// velocity, A B C rotation velocity, m motion and r rotation acceleration. Empty for Other.
QLatin1String tuioSetArguments(TuioProfile profile);
// The type tags a set must carry, e.g. ",sifffff".
QByteArrayView tuioSetTags(TuioProfile profile);

bool tuioProfileHasZ(TuioProfile profile);
bool tuioProfileIsBlob(TuioProfile profile);
bool tuioProfileIsObject(TuioProfile profile);

// Reads an item profile's set; false, and nothing read, when its tags or word count do not fit.
bool readTuioItemSet(const TuioMessage &message, int &sid, TuioItemRecord &record);
