#pragma once

#include <QIcon>
#include <QPixmap>

// The program's pictures. They are drawn as vectors, so they stay crisp at every size and
// on screens with a high device pixel ratio.
namespace Pictures {

// The tray picture at image-list index 1..12: 1..6 the plain set (black outline on a white
// clock face), 7..12 the grey-shaded set, in the same order. 1 synchronized, 2 clock too far
// off, 3 error, 4 paused, 5 looking for a server: the clock face with a badge in the lower
// right; 6 the bare clock face. Any other index gives the bare grey-shaded face (12).
QIcon trayPicture(int index);

// The grey clock face alone: the window icon of every window and the application icon.
QIcon clockFace();

// Status images of the server list, 1..3: 1 not tried or attempt under way (white question
// mark on a green disc), 2 succeeded (grey clock face with a small green tick), 3 failed
// (white cross on a red disc).
QIcon listStatus(int image);

// Pictures beside the captions of push buttons.
enum class Button {
    New,         // a grey clock face
    Edit,        // a notepad with a pencil
    Delete,      // a dark red cross
    Synchronize, // two opposed arrows: red pointing left above green pointing right
    Save,        // a green tick
    Cancel,      // a dark red cross
};
QIcon buttonPicture(Button which);

// The About window's logo: 284 x 89 logical pixels at the given device pixel ratio.
QPixmap logo(qreal devicePixelRatio = 1.0);

} // namespace Pictures
