#pragma once
// The pictures of the login dialog, drawn once at first use. The 16 x 16
// background pattern is the one the main window tiles too.
//
// Threads: user-interface thread (QPixmap).
#include <QPixmap>

QPixmap BackgroundPattern();
QPixmap LoginEmblem();      // 32 x 32
QPixmap LoginOkPicture();   // 72 x 21, pill-shaped blue button reading OK
QPixmap LoginCancelPicture(); // 74 x 23, pill-shaped white button, no text
