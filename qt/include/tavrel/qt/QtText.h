#pragma once

// The one place where core text (UTF-8) meets QString.

#include <QString>
#include <string>
#include <string_view>

namespace tavrel {

// Bytes that are not valid UTF-8 become U+FFFD.
QString ToQString(std::string_view utf8);
// Never fails: UTF-8 holds every character (a lone surrogate becomes U+FFFD).
std::string FromQString(const QString& text);

} // namespace tavrel
