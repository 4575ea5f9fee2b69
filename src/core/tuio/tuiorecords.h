#pragma once

#include <QMap>

// One received session of the 2D cursor profile, values as they came off the wire.
struct TuioCursorRecord
{
    float x = 0.0f;
    float y = 0.0f;
};

// One received session of the 2D object profile, values as they came off the wire.
struct TuioObjectRecord
{
    int classId = 0;
    float x = 0.0f;
    float y = 0.0f;
    float angle = 0.0f;
};

using TuioCursorTable = QMap<int, TuioCursorRecord>;
using TuioObjectTable = QMap<int, TuioObjectRecord>;
