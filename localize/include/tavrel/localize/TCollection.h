#pragma once

#include "tavrel/localize/TPersistent.h"

#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace tavrel {

class TCollection;

// An element of a collection. The collection owns its items: they are created by
// TCollection::Add and destroyed by Delete, Clear or the collection itself.
class TCollectionItem : public TPersistent {
    TAVREL_CLASS(TCollectionItem)
public:
    TCollectionItem() = default;
    ~TCollectionItem() override = default;
    TCollectionItem(const TCollectionItem&) = delete;
    TCollectionItem& operator=(const TCollectionItem&) = delete;

    TCollection* Collection() const { return collection_; }
    // Position in the collection (from 0), -1 while in none.
    int Index() const { return index_; }
    // Moves the item to `index` (clamped to the collection's range).
    void SetIndex(int index);
    // The name shown for the item; the class name unless a descendant says otherwise.
    virtual std::string DisplayName() const { return ClassName(); }

private:
    friend class TCollection;
    TCollection* collection_ = nullptr;
    int index_ = -1;
};

// An indexed list of items of one family, such as the columns of a grid. It publishes no
// property; reflection reaches its items through "#" path segments.
class TCollection : public TPersistent {
    TAVREL_CLASS(TCollection)
public:
    TCollection() = default;
    // Destroys the items, the last first.
    ~TCollection() override;
    TCollection(const TCollection&) = delete;
    TCollection& operator=(const TCollection&) = delete;

    int Count() const { return static_cast<int>(items_.size()); }
    // Throws EListError for an index outside 0..Count()-1.
    TCollectionItem* Items(int index) const;

    // Creates an item of class T at the end and returns it (owned by the collection).
    template <class T = TCollectionItem, class... Args> T* Add(Args&&... args) {
        static_assert(std::is_base_of_v<TCollectionItem, T>, "collections hold TCollectionItem");
        auto item = std::make_unique<T>(std::forward<Args>(args)...);
        T* result = item.get();
        Append(std::move(item));
        return result;
    }
    // Throws EListError for an index outside 0..Count()-1.
    void Delete(int index);
    void Clear();

private:
    friend class TCollectionItem;
    void Append(std::unique_ptr<TCollectionItem> item);
    void Move(int from, int to);
    void Renumber(std::size_t from);
    std::vector<std::unique_ptr<TCollectionItem>> items_;
};

} // namespace tavrel
