#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kx::settings {

// The marker a lookup returns for a group or key the table does not hold.
inline constexpr std::string_view k_noStringError = "%NO_STRING_ERROR%";

// Builds the table from the built-in English texts, then overlays the texts of the
// translation file at `translationPath` when it is not empty and can be read. Building again
// replaces everything. Call before any lookup; not thread-safe.
void loadStringTable(const std::string& translationPath = {});

// The text of `key` in `group`, both matched without regard to case, or
// "%NO_STRING_ERROR%". Lookups come from one thread at a time.
std::string lookupText(std::string_view group, std::string_view key);

// Names of the table's groups, upper-cased, in the order of the built-in data; empty before
// the first load. For translation templates and checks of the table.
std::vector<std::string> stringTableGroups();

// Keys of `group` (matched without regard to case), upper-cased, in lookup order (ascending
// by byte); empty for a group the table does not hold. Does not touch the lookup cache.
std::vector<std::string> stringTableKeys(std::string_view group);

} // namespace kx::settings