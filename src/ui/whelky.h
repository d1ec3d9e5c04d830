#pragma once

#include <QPixmap>

// The assistant's mascot, a whelk, drawn at `size` logical pixels square.
[[nodiscard]] QPixmap whelkyPicture(int size);
