#include "FFolders.h"

#include <QDir>
#include <QMouseEvent>

namespace tavrel::editor {

namespace {
// Where an item keeps its folder's full path, and whether its sub-folders have been read.
constexpr int kPathRole = Qt::UserRole;
constexpr int kReadRole = Qt::UserRole + 1;
} // namespace

TFolderTree::TFolderTree(QWidget* parent)
    : QTreeWidget(parent), home_(QDir::cleanPath(QDir::homePath())) {
    setColumnCount(1);
    setHeaderHidden(true);
    setIndentation(19);
    // The file system item starts closed; its mark shows that it opens.
    setRootIsDecorated(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    const QString homeName = QFileInfo(home_).fileName();
    addTopLevelItem(FolderItem(home_, homeName.isEmpty() ? home_ : homeName));
    addTopLevelItem(FolderItem(QDir::rootPath(), QDir::rootPath()));
    connect(this, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem* item) { ReadFolders(item); });
}

QTreeWidgetItem* TFolderTree::FolderItem(const QString& path, const QString& text) const {
    auto* item = new QTreeWidgetItem(QStringList{text});
    item->setData(0, kPathRole, path);
    // The system's own icons: home for the home folder, a drive for the file system.
    item->setIcon(0, icons_.icon(QFileInfo(path)));
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return item;
}

void TFolderTree::ReadFolders(QTreeWidgetItem* item) const {
    if (item->data(0, kReadRole).toBool())
        return;
    item->setData(0, kReadRole, true);
    const QDir folder(item->data(0, kPathRole).toString());
    const QStringList names = folder.entryList(QDir::AllDirs | QDir::NoDotAndDotDot,
                                               QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
    for (const QString& name : names)
        item->addChild(FolderItem(folder.filePath(name), name));
    item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

QTreeWidgetItem* TFolderTree::ChildNamed(QTreeWidgetItem* item, const QString& name) const {
    ReadFolders(item);
    for (int row = 0; row < item->childCount(); ++row)
        if (item->child(row)->text(0) == name)
            return item->child(row);
    return nullptr;
}

QModelIndex TFolderTree::RootItem() const {
    return indexFromItem(topLevelItem(0));
}

QModelIndex TFolderTree::IndexOfPath(const QString& path) const {
    const QString clean = QDir::cleanPath(path);
    const QString homeAsFolder = home_.endsWith(QLatin1Char('/')) ? home_ : home_ + '/';
    QTreeWidgetItem* item = nullptr;
    QString rest;
    if (clean == home_ || clean.startsWith(homeAsFolder)) {
        item = topLevelItem(0);
        rest = clean.mid(homeAsFolder.size());
    } else if (QDir::isAbsolutePath(clean)) {
        item = topLevelItem(1);
        rest = clean.mid(QDir::rootPath().size());
    } else {
        return {};
    }
    for (const QString& name : rest.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        item = ChildNamed(item, name);
        if (item == nullptr)
            return {};
    }
    return indexFromItem(item);
}

QString TFolderTree::SelectedPath() const {
    const QList<QTreeWidgetItem*> items = selectedItems();
    if (items.isEmpty())
        return {};
    return QDir::toNativeSeparators(items.first()->data(0, kPathRole).toString());
}

void TFolderTree::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        const QModelIndex index = indexAt(event->position().toPoint());
        if (index.isValid())
            setCurrentIndex(index);
    }
    QTreeWidget::mousePressEvent(event);
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
