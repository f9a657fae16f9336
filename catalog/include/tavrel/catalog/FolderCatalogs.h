#pragma once

// A whole folder of dictionaries to and from translators' files, several languages at once
// (one per processor): each language is independent of the others.

#include "tavrel/catalog/CatalogFormats.h"
#include "tavrel/catalog/DictionaryCatalog.h"

#include <exception>
#include <filesystem>
#include <vector>

namespace tavrel {

struct TCatalogExport {
    TDictionarySource source;
    std::filesystem::path file;
    TCatalogFormat format;
};

// Writes each dictionary's catalog into its file (replaced atomically). Every export is
// tried; the failures, in the order of `exports`, are rethrown as the first of them.
void ExportCatalogs(const std::vector<TCatalogExport>& exports);

struct TCatalogImport {
    std::filesystem::path file; // a PO, XLIFF or TS file
    TDictionarySource target;
};

struct TCatalogImportResult {
    TImportReport report;
    std::exception_ptr failure; // set when the file could not be read or the write failed
};

// Imports each file into its dictionary (see ImportCatalog); one result per import, in order.
std::vector<TCatalogImportResult> ImportCatalogs(const std::vector<TCatalogImport>& imports);

// The bytes of a translator's file in its format (recognised from its name and bytes).
// Throws ECatalogFormatError for a file of no known format or a broken one, with the file
// named, and std::runtime_error when it cannot be read.
TCatalog ReadCatalogFile(const std::filesystem::path& file);

} // namespace tavrel
