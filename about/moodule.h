#pragma once
// Quarter turns of the mascot's sprite.

#include <cstdint>

#include <QImage>

namespace Moodule {

// Makes a copy of the width x height region at the origin of `surface`, turned by `angle`
// whole radians (0, 2, 3 and 5 give no turn and a quarter, half and three-quarter turn
// clockwise on screen). The copy is made one pixel at a time; each copy pixel (j, i) takes the
// source pixel the turn maps it to, where the source may be read one column and one row past
// the region, so the turned copies sit one pixel off an exact turn. A source position outside
// the surface copies nothing and leaves the copy's black. On return `surface` holds the copy
// (the caller's source image itself is only read), `width` and `height` the copy's size;
// `angle` is unchanged.
void RotateImage(QImage& surface, std::int32_t& width, std::int32_t& height, std::int32_t& angle);

// a when a < b, else b.
std::int32_t MinOf(std::int32_t& a, std::int32_t& b);
// a when a >= b, else b.
std::int32_t MaxOf(std::int32_t& a, std::int32_t& b);

}  // namespace Moodule
