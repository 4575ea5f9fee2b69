#include "tuio/tuioprofiles.h"

namespace {

struct Layout
{
    TuioProfile profile;
    const char *name;
    const char *arguments;
    const char *tags;
};

const Layout layouts[tuioItemProfileCount] = {
    {TuioProfile::Blob2D, "2Dblb", "sxyawhfXYAmr", ",sifffffffffff"},
    {TuioProfile::Cursor25D, "25Dcur", "sxyzXYZm", ",sifffffff"},
    {TuioProfile::Object25D, "25Dobj", "sixyzaXYZAmr", ",siiffffffffff"},
    {TuioProfile::Blob25D, "25Dblb", "sxyzawhfXYZAmr", ",sifffffffffffff"},
    {TuioProfile::Cursor3D, "3Dcur", "sxyzXYZm", ",sifffffff"},
    {TuioProfile::Object3D, "3Dobj", "sixyzabcXYZABCmr", ",siiffffffffffffff"},
    {TuioProfile::Blob3D, "3Dblb", "sxyzabcwhdvXYZABCmr", ",siffffffffffffffffff"},
};

float *fieldOf(TuioItemRecord &record, char letter)
{
    switch (letter) {
    case 'x':
        return &record.x;
    case 'y':
        return &record.y;
    case 'z':
        return &record.z;
    case 'a':
        return &record.a;
    case 'b':
        return &record.b;
    case 'c':
        return &record.c;
    case 'w':
        return &record.w;
    case 'h':
        return &record.h;
    case 'd':
        return &record.d;
    case 'f':
    case 'v':
        return &record.size;
    case 'X':
        return &record.vx;
    case 'Y':
        return &record.vy;
    case 'Z':
        return &record.vz;
    case 'A':
        return &record.va;
    case 'B':
        return &record.vb;
    case 'C':
        return &record.vc;
    case 'm':
        return &record.motionAcceleration;
    default:
        return &record.rotationAcceleration;
    }
}

} // namespace

int tuioItemIndex(TuioProfile profile)
{
    const int index = int(profile) - int(TuioProfile::Blob2D);
    return index >= 0 && index < tuioItemProfileCount ? index : -1;
}

TuioProfile tuioItemProfile(int index)
{
    return layouts[index].profile;
}

TuioProfile tuioItemProfileOf(const QString &address)
{
    if (!address.startsWith(QLatin1String("/tuio/")))
        return TuioProfile::Other;
    const QStringView name = QStringView(address).mid(6);
    for (const Layout &layout : layouts)
        if (name == QLatin1String(layout.name))
            return layout.profile;
    return TuioProfile::Other;
}

QLatin1String tuioProfileName(TuioProfile profile)
{
    if (profile == TuioProfile::Cursor2D)
        return QLatin1String("2Dcur");
    if (profile == TuioProfile::Object2D)
        return QLatin1String("2Dobj");
    const int index = tuioItemIndex(profile);
    return index < 0 ? QLatin1String() : QLatin1String(layouts[index].name);
}

QLatin1String tuioSetArguments(TuioProfile profile)
{
    if (profile == TuioProfile::Cursor2D)
        return QLatin1String("sxyXYm");
    if (profile == TuioProfile::Object2D)
        return QLatin1String("sixyaXYAmr");
    const int index = tuioItemIndex(profile);
    return index < 0 ? QLatin1String() : QLatin1String(layouts[index].arguments);
}

QByteArrayView tuioSetTags(TuioProfile profile)
{
    if (profile == TuioProfile::Cursor2D)
        return ",sifffff";
    if (profile == TuioProfile::Object2D)
        return ",siiffffffff";
    const int index = tuioItemIndex(profile);
    return index < 0 ? QByteArrayView() : QByteArrayView(layouts[index].tags);
}

bool tuioProfileHasZ(TuioProfile profile)
{
    return tuioItemIndex(profile) > 0;
}

bool tuioProfileIsBlob(TuioProfile profile)
{
    return profile == TuioProfile::Blob2D || profile == TuioProfile::Blob25D ||
           profile == TuioProfile::Blob3D;
}

bool tuioProfileIsObject(TuioProfile profile)
{
    return profile == TuioProfile::Object2D || profile == TuioProfile::Object25D ||
           profile == TuioProfile::Object3D;
}

bool readTuioItemSet(const TuioMessage &message, int &sid, TuioItemRecord &record)
{
    const int index = tuioItemIndex(message.profile);
    if (index < 0)
        return false;
    const Layout &layout = layouts[index];
    const QByteArrayView tags(layout.tags);
    if (message.tags() != tags || message.words.size() != tags.size() - 2)
        return false;
    record = TuioItemRecord();
    for (qsizetype i = 0; i < message.words.size(); ++i) {
        const char letter = layout.arguments[i];
        if (letter == 's')
            sid = message.intAt(i);
        else if (letter == 'i')
            record.classId = message.intAt(i);
        else
            *fieldOf(record, letter) = message.floatAt(i);
    }
    return true;
}
