#pragma once

// The window's pictures. Each comes from the desktop's icon theme when it has one and is drawn
// here otherwise, so that no button is ever blank.

#include <QIcon>
#include <QPixmap>

// The six 16 x 16 pictures of the file actions: 0 an open folder, 1 a diskette, 2 two
// diskettes, 3 a closed folder, 4 a circular arrow, 5 a door with an arrow leaving it.
inline constexpr int ImageListCount = 6;
QIcon ImageList1(int Index);

// A question mark on a round badge, Size x Size, transparent around it.
QPixmap QuestionPicture(int Size);
