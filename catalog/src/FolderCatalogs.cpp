#include "tavrel/catalog/FolderCatalogs.h"

#include "tavrel/storage/FolderFile.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <libxml/parser.h>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace tavrel {

namespace {

// Runs work(i) for every i below count on as many threads as there are processors; the
// failure of one item is kept in its slot and does not stop the others.
template <class Work>
std::vector<std::exception_ptr> ForEachAtOnce(std::size_t count, const Work& work) {
    std::vector<std::exception_ptr> failures(count);
    xmlInitParser(); // libxml2 sets up its globals once, before any thread parses
    std::atomic<std::size_t> next = 0;
    auto run = [&] {
        for (std::size_t i = next++; i < count; i = next++) {
            try {
                work(i);
            } catch (...) {
                failures[i] = std::current_exception();
            }
        }
    };
    const std::size_t threads =
        std::min<std::size_t>(count, std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::jthread> helpers;
    for (std::size_t t = 1; t < threads; ++t)
        helpers.emplace_back(run);
    run();
    return failures;
}

} // namespace

TCatalog ReadCatalogFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("Cannot read " + file.string());
    std::ostringstream bytes;
    bytes << in.rdbuf();
    const std::string text = bytes.str();
    const auto format = DetectCatalogFormat(file.filename().string(), text);
    if (!format)
        throw ECatalogFormatError(file.string() + " is not a PO, XLIFF or TS file");
    try {
        return ReadCatalog(text, *format);
    } catch (const ECatalogFormatError& e) {
        throw ECatalogFormatError(file.string() + ": " + e.what());
    }
}

void ExportCatalogs(const std::vector<TCatalogExport>& exports) {
    const auto failures = ForEachAtOnce(exports.size(), [&](std::size_t i) {
        const TCatalogExport& job = exports[i];
        WriteFolderFile(job.file, WriteCatalog(ReadDictionaryCatalog(job.source), job.format));
    });
    for (const std::exception_ptr& failure : failures)
        if (failure)
            std::rethrow_exception(failure);
}

std::vector<TCatalogImportResult> ImportCatalogs(const std::vector<TCatalogImport>& imports) {
    std::vector<TCatalogImportResult> results(imports.size());
    const auto failures = ForEachAtOnce(imports.size(), [&](std::size_t i) {
        results[i].report = ImportCatalog(ReadCatalogFile(imports[i].file), imports[i].target);
    });
    for (std::size_t i = 0; i < results.size(); ++i)
        results[i].failure = failures[i];
    return results;
}

} // namespace tavrel
