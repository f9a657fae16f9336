#pragma once

// What a reviewer would flag in a language's translations.

#include "tavrel/catalog/TCatalog.h"

#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

enum class TFindingLevel { Error, Warning };

struct TFinding {
    TFindingLevel level;
    std::string check; // "placeholders", "accelerator", "menu-accelerator", "blanks",
                       // "punctuation", "length", "untranslated", "needs-review"
    std::string context, source, translation;
    std::string message;
};

// "error", "warning".
std::string_view FindingLevelName(TFindingLevel level);

// The placeholders of a text in order: %1..%99 (and %L1), %n (and %Ln), printf's %s, %d
// and their kin, {0}..{99}. "%%" is none.
std::vector<std::string> Placeholders(std::string_view text);
// What is wrong with the translation's placeholders against the source's; empty when
// nothing. `pluralForm` lets a form drop %n (see MaySpellCountOut).
std::string PlaceholderProblem(std::string_view source, std::string_view translation,
                               bool pluralForm = false);

// Whether the form of a plural category may spell its count out ("one file" for "%n
// files"): those that stand for one number in most languages (zero, one, two).
bool MaySpellCountOut(std::string_view category);

// The findings of every entry that is not obsolete, in catalog order; entries of one menu
// (TCatalogEntry::menus) are checked for accelerators they share.
std::vector<TFinding> CheckCatalog(const TCatalog& catalog);

struct TCatalogStats {
    int entries = 0, done = 0, needsReview = 0, untranslated = 0;
    double PercentDone() const { return entries == 0 ? 100.0 : 100.0 * done / entries; }
};
// Obsolete entries are not counted.
TCatalogStats CatalogStats(const TCatalog& catalog);

// A text for pseudo-localization: letters accented, about 40 % longer, in brackets, with
// placeholders, accelerator marks (and the letter they mark), markup and entities kept.
std::string PseudoText(std::string_view text);

} // namespace tavrel
