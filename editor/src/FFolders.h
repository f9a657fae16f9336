#pragma once

#include "EditorDialog.h"

#include <QPushButton>
#include <QTreeView>

class QFileSystemModel;

namespace tavrel::editor {

class TFolderProxy;

// A folder-only tree whose single root item is the user's home folder. A right click
// selects the folder under the mouse, like a left click.
class TFolderTree : public QTreeView {
    Q_OBJECT
public:
    explicit TFolderTree(QWidget* parent = nullptr);

    // The full path of the selected folder, or the empty text when none is selected.
    QString SelectedPath() const;
    // The item of a folder at or below the home folder; invalid when it is not shown.
    QModelIndex IndexOfPath(const QString& path) const;
    // The home folder's item.
    QModelIndex RootItem() const;

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    QFileSystemModel* folders_;
    TFolderProxy* proxy_;
    QString home_;
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
