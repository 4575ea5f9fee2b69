#pragma once

// Simulated items and the simulation mode, shared by the canvas, the TUIO sender and the window.
// Kept free of widget headers so protocol code can include it.

struct SimObject
{
    int sid = 0;
    int cid = 0;
    float x = 0;
    float y = 0;
    float angle = 0;
};

struct Anchor
{
    int sid = 0;
    float x = 0;
    float y = 0;
};

// Index of the window's simulation-mode combo.
enum SimMode : int
{
    CursorMode = 0,
    ObjectMode = 1,
    MultiTouchMode = 2
};
