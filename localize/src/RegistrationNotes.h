#pragma once

// Private to the localize layer.

#include "tavrel/localize/TOvkLocalizeServer.h"

#include <vector>

namespace tavrel {

class ProfileFile;

// Notes on the dictionary's entries what registration learnt of their texts: where the
// application shows each and the menus it is an item of. A place that now shows another
// text is taken from the entry that had it; an entry left with no place is marked obsolete,
// so a changed text of the application leaves its old entry recognisable rather than
// silently orphaned. `texts` hold the section and key as stored.
void NoteRegisteredTexts(ProfileFile& dictionary, const std::vector<TRegisteredText>& texts);

} // namespace tavrel
