#pragma once
// The 18 x 18 pictures of the catalogue: lights for RowLight (0 green,
// 1 red, 2 to 4 yellow) and arrows for RowMark (0 blue down, 1 green right),
// drawn once. UI thread only.
#include <QPixmap>

const QPixmap& LightPicture(int light);
const QPixmap& MarkPicture(int mark);
