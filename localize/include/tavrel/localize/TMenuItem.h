#pragma once

#include "tavrel/localize/IPicture.h"
#include "tavrel/localize/TComponent.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tavrel {

// A menu item of the core model: caption, click handler, tag, optional bitmap and owned
// sub-items. A toolkit renders it and listens for changes to rebuild what it shows.
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
    // Runs OnClick with this item as sender.
    void Click();

    const IPicture* Bitmap() const { return bitmap_.get(); }
    void SetBitmap(std::unique_ptr<IPicture> bitmap);

    int Count() const { return static_cast<int>(items_.size()); }
    TMenuItem* Items(int index) const { return items_.at(static_cast<std::size_t>(index)); }
    TMenuItem* Parent() const { return parent_; }
    // Appends a sub-item (the item's ownership is not changed).
    void Add(TMenuItem* item);
    void Remove(TMenuItem* item);
    // Removes and destroys every sub-item.
    void Clear();

    // Change listeners: called after the caption, bitmap or sub-items change.
    using ChangeListener = std::function<void(TMenuItem& item)>;
    int AddChangeListener(ChangeListener listener);
    void RemoveChangeListener(int id);

private:
    void Changed();
    std::string caption_;
    std::string hint_;
    std::unique_ptr<IPicture> bitmap_;
    TMenuItem* parent_ = nullptr;
    std::vector<TMenuItem*> items_;
    std::vector<std::pair<int, ChangeListener>> listeners_;
    int nextListener_ = 1;
};

} // namespace tavrel
