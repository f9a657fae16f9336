#include "FFolders.h"

#include <QDir>
#include <QFileSystemModel>
#include <QMouseEvent>
#include <QSortFilterProxyModel>

namespace tavrel::editor {

// Above the home folder only the chain of folders leading to it passes, so the home
// folder is the one item under the view's root; everything below it passes.
class TFolderProxy : public QSortFilterProxyModel {
public:
    TFolderProxy(const QString& home, QObject* parent)
        : QSortFilterProxyModel(parent), home_(home), homeAsFolder_(AsFolder(home)) {}

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
        const auto* folders = static_cast<const QFileSystemModel*>(sourceModel());
        const QString path = folders->filePath(folders->index(row, 0, parent));
        return path == home_ || home_.startsWith(AsFolder(path)) || path.startsWith(homeAsFolder_);
    }

private:
    static QString AsFolder(const QString& path) {
        return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
    }
    QString home_;
    QString homeAsFolder_;
};

TFolderTree::TFolderTree(QWidget* parent)
    : QTreeView(parent), folders_(new QFileSystemModel(this)),
      home_(QDir::cleanPath(QDir::homePath())) {
    // Like the folder tree it stands for, the view is a snapshot: no file-system watching.
    folders_->setOption(QFileSystemModel::DontWatchForChanges);
    folders_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    folders_->setRootPath(QDir::rootPath());
    proxy_ = new TFolderProxy(home_, this);
    proxy_->setSourceModel(folders_);
    setModel(proxy_);

    QDir above(home_);
    const bool hasParent = above.cdUp();
    setRootIndex(hasParent ? proxy_->mapFromSource(folders_->index(above.path())) : QModelIndex());
    setHeaderHidden(true);
    for (int column = 1; column < proxy_->columnCount(rootIndex()); ++column)
        hideColumn(column);
    setIndentation(19);
    setRootIsDecorated(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
}

QModelIndex TFolderTree::RootItem() const {
    return IndexOfPath(home_);
}

QModelIndex TFolderTree::IndexOfPath(const QString& path) const {
    return proxy_->mapFromSource(folders_->index(QDir::cleanPath(path)));
}

QString TFolderTree::SelectedPath() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (rows.isEmpty())
        return {};
    return QDir::toNativeSeparators(folders_->filePath(proxy_->mapToSource(rows.first())));
}

void TFolderTree::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        const QModelIndex index = indexAt(event->position().toPoint());
        if (index.isValid())
            setCurrentIndex(index);
    }
    QTreeView::mousePressEvent(event);
}

TFolders::TFolders()
    : TEditorDialog(QStringLiteral("Select a Folder"), 349, 276),
      Button1(new QPushButton(QStringLiteral("OK"), this)),
      Button2(new QPushButton(QStringLiteral("Cancel"), this)), PathList(new TFolderTree(this)) {
    setObjectName(QStringLiteral("Folders"));
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2->setObjectName(QStringLiteral("Button2"));
    PathList->setObjectName(QStringLiteral("PathList"));

    PathList->setGeometry(12, 8, 325, 225);
    Button1->setGeometry(95, 245, 75, 25);
    Button2->setGeometry(179, 245, 75, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

    const QModelIndex root = PathList->RootItem();
    PathList->expand(root);
    PathList->setCurrentIndex(root);

    setTabOrder(Button1, Button2);
    setTabOrder(Button2, PathList);
    PathList->setFocus();
}

} // namespace tavrel::editor
