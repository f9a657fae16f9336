#pragma once

#include "EditorDialog.h"

#include <QFileIconProvider>
#include <QPushButton>
#include <QTreeWidget>

namespace tavrel::editor {

// A folder-only tree of two top items: the user's home folder, first, and the whole file
// system (/), so that a folder outside home (another disk, /opt, /srv) can be chosen too.
// A folder's sub-folders are read when its item opens, once: like the folder tree it stands
// for, the view is a snapshot. A right click selects the folder under the mouse, like a left
// click.
class TFolderTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit TFolderTree(QWidget* parent = nullptr);

    // The full path of the selected folder, or the empty text when none is selected.
    QString SelectedPath() const;
    // The item of a shown folder: below the home item for a folder at or below home, below
    // the file system item for any other; invalid when it is not shown. Reads the folders
    // on the way that have not been read yet.
    QModelIndex IndexOfPath(const QString& path) const;
    // The home folder's item.
    QModelIndex RootItem() const;

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    QTreeWidgetItem* FolderItem(const QString& path, const QString& text) const;
    void ReadFolders(QTreeWidgetItem* item) const;
    QTreeWidgetItem* ChildNamed(QTreeWidgetItem* item, const QString& name) const;

    QString home_;
    QFileIconProvider icons_;
};

// Lets the user pick a folder. OK returns the full path of the selected folder, or the
// empty text when none is selected.
class TFolders : public TEditorDialog {
    Q_OBJECT
public:
    TFolders();

    QPushButton* Button1;
    QPushButton* Button2;
    TFolderTree* PathList;

    QString SelectedPath() const { return PathList->SelectedPath(); }
};

} // namespace tavrel::editor
