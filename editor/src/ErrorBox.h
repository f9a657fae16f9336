#pragma once

// Failures that leave a handler end up here: one error box per failure, after which the
// event loop goes on.

#include <exception>
#include <functional>
#include <QString>
#include <utility>

namespace tavrel::editor {

// The box's text for a failure message: a full stop is appended when the last character
// has a code above that of the full stop.
QString ErrorBoxText(const QString& message);

// The message of an exception as the user reads it. Messages are mostly core text
// (Windows-1252) but may carry native (UTF-8) paths; valid UTF-8 is taken as such.
QString ExceptionMessage(const std::exception& error);

// Shows the error box: the application's title as caption, an error icon, an OK button.
void ShowErrorMessage(const QString& message);
void ShowException(const std::exception& error);
// Shows the failure that is currently being handled (call only inside a catch block).
void ShowCurrentException();

// Replaces how the box is shown, e.g. to collect failures in tests; receives the caption
// and the final text. An empty presenter restores the real box.
using ErrorPresenter = std::function<void(const QString& caption, const QString& text)>;
void SetErrorPresenter(ErrorPresenter presenter);

// Runs a handler; a failure leaving it is shown and goes no further.
template <class Handler> void RunGuarded(Handler&& handler) noexcept {
    try {
        std::forward<Handler>(handler)();
    } catch (...) {
        ShowCurrentException();
    }
}

} // namespace tavrel::editor
