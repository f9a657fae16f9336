#pragma once

// Small widgets and helpers shared by the editor's window and dialogs.

#include <QComboBox>
#include <QFont>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QString>
#include <string>

namespace tavrel::editor {

// The font of the editor's window and dialogs: "MS Sans Serif" 8 point, or a face of
// similar width where that one is not installed.
QFont EditorFont();

// Paths cross between the core (native bytes) and the widgets as file names, not as
// code-page text.
QString PathText(const std::string& nativePath);
std::string NativePathText(const QString& path);

// Places a word-wrapped label like an auto-sized one: it keeps its place and width and
// takes the height its text needs. Where that would reach below `maxBottom` (the fonts of
// this system may be wider than the ones the layout was drawn for), the label widens to
// the left instead, down to `minLeft` at most.
void PlaceWrappedLabel(QLabel& label, const QRect& place, int maxBottom = -1, int minLeft = 0);

// Inserts `text` into a combo box kept in alphabetical order: before the first row that
// sorts after it, compared with the user's locale ignoring letter case.
void AddSorted(QComboBox& box, const QString& text);
// The first row whose text equals `text` without regard to case, or -1.
int FindRowIgnoringCase(const QComboBox& box, const QString& text);

// A single-selection list box that reports selections made by the user only (a left
// click on a row, or moving the selection with the mouse or the keyboard); selections
// made from code report nothing. Typing does not search the rows, and only the left
// mouse button selects.
class TEditorListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TEditorListBox(QWidget* parent = nullptr);

    void keyboardSearch(const QString& search) override;

signals:
    void userSelect();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

// A label that shows a picture stretched to its size, leaving out the picture's
// background (the colour of its bottom-left pixel), and reports double clicks. The picture
// is scaled for the screen's pixel ratio with ScaledPictureImage, so that a small flag
// stays crisp at any ratio.
class TImageView : public QLabel {
    Q_OBJECT
public:
    explicit TImageView(QWidget* parent = nullptr);

    void ShowPicture(const QImage& image);
    // What the view shows in `deviceSize` pixels: the picture, its background transparent,
    // stretched to that size.
    QImage ShownImage(const QSize& deviceSize) const;

signals:
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
    QPixmap shown_;
};

// A panel framed by a lowered outer and a raised inner bevel, one pixel each.
class TBevelPanel : public QFrame {
    Q_OBJECT
public:
    explicit TBevelPanel(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A bar holding one raised band with a gripper at its left edge; the band's control sits
// to the right of the gripper.
class TCoolBar : public QFrame {
    Q_OBJECT
public:
    explicit TCoolBar(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace tavrel::editor
