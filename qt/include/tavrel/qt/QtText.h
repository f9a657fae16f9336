#pragma once

// The one place where core text (8-bit, Windows-1252) meets QString.

#include <QString>
#include <string>
#include <string_view>

namespace tavrel {

// Every byte has a character, so this never fails.
QString ToQString(std::string_view cp1252);
// Throws CodePageError naming the first character that has no byte in the code page.
std::string FromQString(const QString& text);

} // namespace tavrel
