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

// One received session of the other TUIO 1.1 profiles (blobs, 2.5D and 3D), values as they came
// off the wire; what a profile does not send stays 0.
struct TuioItemRecord
{
    int classId = 0;
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    // Angles in radians.
    float a = 0.0f;
    float b = 0.0f;
    float c = 0.0f;
    float w = 0.0f;
    float h = 0.0f;
    float d = 0.0f;
    // A blob's area (f), or a 3D blob's volume (v).
    float size = 0.0f;
    float vx = 0.0f;
    float vy = 0.0f;
    float vz = 0.0f;
    float va = 0.0f;
    float vb = 0.0f;
    float vc = 0.0f;
    float motionAcceleration = 0.0f;
    float rotationAcceleration = 0.0f;
};

using TuioCursorTable = QMap<int, TuioCursorRecord>;
using TuioObjectTable = QMap<int, TuioObjectRecord>;
using TuioItemTable = QMap<int, TuioItemRecord>;
