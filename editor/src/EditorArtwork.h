#pragma once

// The editor's own artwork, drawn in code: tool-bar images, the open-folder glyph and the
// default flags picture. Icons made here draw their images anew for each size and device
// pixel ratio they are shown at, and for the brightness of the application's palette.

#include <functional>
#include <QIcon>
#include <QImage>
#include <QList>
#include <QPalette>
#include <QPixmap>

namespace tavrel::editor {

// Indexes shared by the three tool-bar image lists.
enum ToolImage : int { CheckImage = 0, MinusImage = 1, PlusImage = 2, RefreshImage = 3 };
inline constexpr int kToolImageCount = 4;
// The side of the tool-bar images and of the folder glyph, in device-independent pixels.
inline constexpr int kArtSide = 16;

// Draws image `index` of a list `side` device pixels square for a palette.
using TImageDrawer = std::function<QImage(int index, int side, const QPalette& palette)>;

// The images of one state of the tool-bar buttons: kArtSide pixmaps as a light palette
// shows them, and for a list drawn in code also how to draw them at any size and for any
// palette.
class TImageList : public QList<QPixmap> {
public:
    using QList<QPixmap>::QList;
    TImageList(QList<QPixmap> images, TImageDrawer drawer);

    // Image `index`, `side` device pixels square, for `palette`: drawn anew where the list
    // knows how, else its pixmap scaled smoothly.
    QPixmap Image(int index, int side, const QPalette& palette) const;

private:
    TImageDrawer drawer_;
};

// The tool-bar image lists: for enabled buttons, disabled buttons and the button under
// the mouse.
TImageList EnabledToolImages();
TImageList DisabledToolImages();
TImageList HotToolImages();
// An icon whose Normal, Disabled and Active modes come from the three lists. It asks them
// for every size and pixel ratio it is drawn at, in the application palette of the moment,
// so that a change of screen or of desktop colours is followed.
QIcon ToolIcon(const TImageList& enabled, const TImageList& disabled, const TImageList& hot,
               int index);

// The open-folder glyph of the folder button, with its greyed form as the Disabled mode.
QIcon OpenFolderIcon();

// The built-in 16 x 16 picture of small national flags. Its bottom-left pixel carries the
// background colour, which a transparent image view leaves out.
QImage DefaultFlagsImage();

// The greyed, embossed form of an image, as disabled buttons show it on a light palette.
QPixmap GreyedPixmap(const QPixmap& source);

// A dark palette has text lighter than its window; the artwork then outlines its glyphs
// with light rims and greys disabled ones toward the window colour.
bool IsDarkPalette(const QPalette& palette);

} // namespace tavrel::editor
