#pragma once

// Reading and writing the translators' file formats: gettext PO and POT, XLIFF 1.2 and 2.0,
// and Qt TS. Each writer gives the bytes of a whole file; each reader takes them.

#include "tavrel/catalog/TCatalog.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tavrel {

enum class TCatalogFormat { Po, Pot, Xliff, Xliff2, Ts };

// A file that is not a well-formed file of its format; the message says where and why.
class ECatalogFormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "po", "pot", "xliff", "xliff2", "ts"; nothing for any other name.
std::optional<TCatalogFormat> CatalogFormatByName(std::string_view name);
std::string_view CatalogFormatName(TCatalogFormat format);
// The usual file-name extension, with its dot (".po", ".pot", ".xlf", ".xlf", ".ts").
std::string_view CatalogFormatExtension(TCatalogFormat format);
// The format of a file from its bytes (and, where they leave it open, its name).
std::optional<TCatalogFormat> DetectCatalogFormat(std::string_view fileName,
                                                  std::string_view bytes);

std::string WriteCatalog(const TCatalog& catalog, TCatalogFormat format);
// Throws ECatalogFormatError.
TCatalog ReadCatalog(std::string_view bytes, TCatalogFormat format);

} // namespace tavrel
