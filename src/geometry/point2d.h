#ifndef KINDORA_GEOMETRY_POINT2D_H
#define KINDORA_GEOMETRY_POINT2D_H

// A point on the screen plane. The saver core keeps its banner position in
// one, so this header stays free of every other include.
struct point2d {
    float x;
    float y;
};

inline point2d Make2DPoint(float x, float y) {
    point2d p;
    p.x = x;
    p.y = y;
    return p;
}

#endif
