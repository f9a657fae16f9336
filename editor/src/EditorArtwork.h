#pragma once

// The editor's own artwork, drawn in code: tool-bar images, the open-folder glyph and the
// default flags picture.

#include <QIcon>
#include <QImage>
#include <QList>
#include <QPixmap>

namespace tavrel::editor {

// Indexes shared by the three tool-bar image lists.
enum ToolImage : int { CheckImage = 0, MinusImage = 1, PlusImage = 2, RefreshImage = 3 };
inline constexpr int kToolImageCount = 4;

using TImageList = QList<QPixmap>;

// The tool-bar image lists, all 16 x 16: for enabled buttons, disabled buttons and the
// button under the mouse.
TImageList EnabledToolImages();
TImageList DisabledToolImages();
TImageList HotToolImages();
// An icon whose Normal, Disabled and Active modes come from the three lists.
QIcon ToolIcon(const TImageList& enabled, const TImageList& disabled, const TImageList& hot,
               int index);

// The open-folder glyph of the folder button, with its greyed form as the Disabled mode.
QIcon OpenFolderIcon();

// The built-in 16 x 16 picture of small national flags. Its bottom-left pixel carries the
// background colour, which a transparent image view leaves out.
QImage DefaultFlagsImage();

// The greyed, embossed form of an image, as disabled buttons show it.
QPixmap GreyedPixmap(const QPixmap& source);

} // namespace tavrel::editor
