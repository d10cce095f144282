#pragma once
// Conversions of typed text to numbers with the C rules the program uses
// everywhere. They never consult the user's locale.
//
//  scan*     behave like sscanf with "%d", "%ld", "%f": leading white space is
//            skipped, the longest number prefix is taken, and when no number
//            can be read the previous value is left untouched (returns false).
//  decimal*  behave like atoi/atof: the leading number, or 0.

#include <cstdint>
#include <string>
#include <string_view>

namespace gorvale {

bool scanInt(std::string_view text, int& value);          // "%d"
bool scanLong(std::string_view text, std::int32_t& value); // "%ld" (32-bit long, as written files expect)
bool scanFloat(std::string_view text, float& value);      // "%f"
bool scanDouble(std::string_view text, double& value);    // "%lf"
bool scanHex(std::string_view text, std::uint32_t& value); // "%x"

int decimalInt(std::string_view text);      // atoi
double decimalReal(std::string_view text);  // atof

// Convenience: "%d" with a fallback used when the text does not parse.
inline int intOr(std::string_view text, int fallback) {
    scanInt(text, fallback);
    return fallback;
}
inline float floatOr(std::string_view text, float fallback) {
    scanFloat(text, fallback);
    return fallback;
}

// printf into a std::string, always with the C locale's numbers ("0.333333"),
// whatever locale the process runs in.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Lower-case / upper-case in the C locale (ASCII only).
std::string toLowerAscii(std::string_view text);
std::string toUpperAscii(std::string_view text);

// Remove trailing white space (blank, tab, CR, LF, VT, FF).
std::string trimRight(std::string_view text);

}  // namespace gorvale
