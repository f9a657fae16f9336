#pragma once

#include "tavrel/localize/IPicture.h"
#include "tavrel/localize/TComponent.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tavrel {

// A menu item of the core model: caption, click handler, tag, optional bitmap and
// sub-items. A toolkit renders it and listens for changes to rebuild what it shows.
// Sub-items are normally owned by their parent item (created with it as owner) and must
// be heap-allocated: Clear() and the item's destruction destroy them, whoever owns them.
// Published: Caption, Hint (long strings), besides Name and Tag.
class TMenuItem : public TComponent {
    TAVREL_CLASS(TMenuItem)
public:
    explicit TMenuItem(TComponent* owner = nullptr);
    ~TMenuItem() override;

    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& caption);
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& hint);

    TNotifyEvent OnClick;
    // Runs OnClick with this item as sender. The handler may destroy the item (a language
    // menu rebuilds itself when a language is chosen); nothing touches it afterwards.
    void Click();

    const IPicture* Bitmap() const { return bitmap_.get(); }
    void SetBitmap(std::unique_ptr<IPicture> bitmap);

    int Count() const { return static_cast<int>(items_.size()); }
    // Throws EListError for an index outside 0..Count()-1.
    TMenuItem* Items(int index) const;
    // Position among the sub-items, -1 when not a sub-item.
    int IndexOf(const TMenuItem* item) const;
    TMenuItem* Parent() const { return parent_; }
    // The parent item's name: the menu this item belongs to.
    std::vector<std::string> MenuNames() const override;
    // Appends a sub-item (the item's ownership is not changed). An item that has another
    // parent moves here; adding the item itself or one of its parents throws Exception.
    void Add(TMenuItem* item);
    // Detaches a sub-item without destroying it.
    void Remove(TMenuItem* item);
    // Removes and destroys every sub-item (one change notification).
    void Clear();

    // Change listeners: called after the caption, bitmap or sub-items change, here or in
    // any sub-item below; the argument is the item the listener was added to. Listeners
    // may add or remove listeners and change or destroy items while being called.
    using ChangeListener = std::function<void(TMenuItem& item)>;
    int AddChangeListener(ChangeListener listener);
    void RemoveChangeListener(int id);

    // Between BeginUpdate and the matching EndUpdate changes are collected; EndUpdate
    // then notifies once if anything changed. Use it around Clear and a series of Add.
    void BeginUpdate();
    void EndUpdate();
    class UpdateScope {
    public:
        explicit UpdateScope(TMenuItem& item) : item_(item) { item_.BeginUpdate(); }
        ~UpdateScope() { item_.EndUpdate(); }
        UpdateScope(const UpdateScope&) = delete;
        UpdateScope& operator=(const UpdateScope&) = delete;

    private:
        TMenuItem& item_;
    };

private:
    void Changed();
    std::string caption_;
    std::string hint_;
    std::unique_ptr<IPicture> bitmap_;
    TMenuItem* parent_ = nullptr;
    std::vector<TMenuItem*> items_;
    std::vector<std::pair<int, ChangeListener>> listeners_;
    int nextListener_ = 1;
    int updateCount_ = 0;
    bool changedInUpdate_ = false;
    // Expires with the item, so a notification loop can tell that a listener destroyed it.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

} // namespace tavrel
