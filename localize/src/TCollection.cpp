#include "tavrel/localize/TCollection.h"

#include "tavrel/localize/Exception.h"

#include <algorithm>

namespace tavrel {

const TClassInfo& TCollectionItem::StaticClassInfo() {
    static const TClassInfo info("TCollectionItem", &TPersistent::StaticClassInfo());
    return info;
}

const TClassInfo& TCollection::StaticClassInfo() {
    static const TClassInfo info("TCollection", &TPersistent::StaticClassInfo());
    return info;
}

void TCollectionItem::SetIndex(int index) {
    if (collection_ != nullptr)
        collection_->Move(index_, index);
}

TCollection::~TCollection() {
    Clear();
}

TCollectionItem* TCollection::Items(int index) const {
    if (index < 0 || index >= Count())
        throw EListError::IndexOutOfBounds(index);
    return items_[static_cast<std::size_t>(index)].get();
}

void TCollection::Append(std::unique_ptr<TCollectionItem> item) {
    item->collection_ = this;
    item->index_ = Count();
    items_.push_back(std::move(item));
}

void TCollection::Delete(int index) {
    if (index < 0 || index >= Count())
        throw EListError::IndexOutOfBounds(index);
    const auto at = static_cast<std::size_t>(index);
    // Out of the list first, so the item's destructor sees a consistent collection.
    std::unique_ptr<TCollectionItem> doomed = std::move(items_[at]);
    items_.erase(items_.begin() + index);
    doomed->collection_ = nullptr;
    doomed->index_ = -1;
    Renumber(at);
}

void TCollection::Clear() {
    while (!items_.empty())
        Delete(Count() - 1);
}

void TCollection::Move(int from, int to) {
    to = std::clamp(to, 0, Count() - 1);
    if (from == to)
        return;
    auto item = std::move(items_[static_cast<std::size_t>(from)]);
    items_.erase(items_.begin() + from);
    items_.insert(items_.begin() + to, std::move(item));
    Renumber(static_cast<std::size_t>(std::min(from, to)));
}

void TCollection::Renumber(std::size_t from) {
    for (std::size_t i = from; i < items_.size(); ++i)
        items_[i]->index_ = static_cast<int>(i);
}

} // namespace tavrel
