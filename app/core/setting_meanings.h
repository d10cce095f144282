#pragma once
// One line of meaning for every setting key, for listings of the keys.

#include <string_view>

namespace gorvale {

// The meaning of a key of a section (zone keys with or without their row
// number); empty when unknown.
const char* settingMeaning(std::string_view section, std::string_view key);

}  // namespace gorvale
