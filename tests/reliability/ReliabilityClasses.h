#pragma once

// A small application-like component tree: a form owning labels, each with a caption and a
// hint, for clients of the translation engine in the reliability tests and workers.

#include "tavrel/localize/TComponent.h"

#include <memory>
#include <string>
#include <vector>

namespace tavrel::reliability {

class TLabel : public TComponent {
    TAVREL_CLASS(TLabel)
public:
    using TComponent::TComponent;
    std::string caption, hint;
};

inline const TClassInfo& TLabel::StaticClassInfo() {
    static const TClassInfo info(
        "TLabel", &TComponent::StaticClassInfo(),
        {StringProp("Caption", &TLabel::caption), StringProp("Hint", &TLabel::hint)});
    return info;
}

// A form whose labels show the given captions.
inline std::unique_ptr<TLabel> NewForm(const std::vector<std::string>& captions) {
    auto form = std::make_unique<TLabel>(nullptr);
    form->SetName("Form1");
    form->caption = "Main";
    int n = 0;
    for (const auto& text : captions) {
        auto* label = new TLabel(form.get()); // owned and destroyed by the form
        label->SetName("Label" + std::to_string(++n));
        label->caption = text;
    }
    return form;
}

} // namespace tavrel::reliability
