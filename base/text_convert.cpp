#include "base/text_convert.h"

#include <cctype>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <vector>

#include <locale.h>

namespace gorvale {
namespace {

bool isCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view skipSpace(std::string_view t) {
    std::size_t i = 0;
    while (i < t.size() && isCSpace(t[i])) ++i;
    return t.substr(i);
}

// Parses an optionally signed decimal integer prefix; clamps like strtol.
bool parseIntegerPrefix(std::string_view t, long long minV, long long maxV, long long& out) {
    t = skipSpace(t);
    bool negative = false;
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    if (i >= t.size() || !isDigit(t[i])) return false;
    long long v = 0;
    bool overflow = false;
    for (; i < t.size() && isDigit(t[i]); ++i) {
        if (!overflow) {
            v = v * 10 + (t[i] - '0');
            if (v > maxV + 1) overflow = true;
        }
    }
    if (negative) v = -v;
    if (overflow || v > maxV) v = negative ? minV : maxV;
    if (v < minV) v = minV;
    out = v;
    return true;
}

template <typename Real>
bool parseRealPrefix(std::string_view t, Real& out) {
    t = skipSpace(t);
    bool negative = false;
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    std::string_view rest = t.substr(i);
    if (rest.empty() || rest[0] == '+' || rest[0] == '-') return false;
    Real v{};
    auto [ptr, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), v,
                                     std::chars_format::general);
    if (ptr == rest.data()) return false;
    if (ec == std::errc::result_out_of_range) {
        // Match strtod: overflow gives infinity, underflow gives zero.
        bool tiny = false;
        for (const char* p = rest.data(); p < ptr; ++p) {
            if (*p == 'e' || *p == 'E') { tiny = (p + 1 < ptr && p[1] == '-'); break; }
        }
        v = tiny ? Real(0) : std::numeric_limits<Real>::infinity();
    }
    out = negative ? -v : v;
    return true;
}

// The C locale for this thread while formatting: the desktop program runs
// in the user's locale, where "%f" could write "0,333333", and every number
// this program formats ends up in a settings text or a file.
class ClassicNumbers {
public:
    ClassicNumbers() : previous_(classic() ? ::uselocale(classic()) : nullptr) {}
    ~ClassicNumbers() {
        if (previous_) ::uselocale(previous_);
    }
    ClassicNumbers(const ClassicNumbers&) = delete;
    ClassicNumbers& operator=(const ClassicNumbers&) = delete;

private:
    static locale_t classic() {
        static const locale_t c = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
        return c;
    }
    locale_t previous_;
};

}  // namespace

bool scanInt(std::string_view text, int& value) {
    long long v;
    if (!parseIntegerPrefix(text, std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), v))
        return false;
    value = static_cast<int>(v);
    return true;
}

bool scanLong(std::string_view text, std::int32_t& value) {
    long long v;
    if (!parseIntegerPrefix(text, std::numeric_limits<std::int32_t>::min(),
                            std::numeric_limits<std::int32_t>::max(), v))
        return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

bool scanFloat(std::string_view text, float& value) { return parseRealPrefix(text, value); }
bool scanDouble(std::string_view text, double& value) { return parseRealPrefix(text, value); }

bool scanHex(std::string_view text, std::uint32_t& value) {
    std::string_view t = skipSpace(text);
    bool negative = false;
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    if (i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X') &&
        i + 2 < t.size() && std::isxdigit(static_cast<unsigned char>(t[i + 2])))
        i += 2;
    std::uint32_t v = 0;
    auto [ptr, ec] = std::from_chars(t.data() + i, t.data() + t.size(), v, 16);
    if (ptr == t.data() + i) return false;
    if (ec == std::errc::result_out_of_range) v = std::numeric_limits<std::uint32_t>::max();
    value = negative ? static_cast<std::uint32_t>(0u - v) : v;
    return true;
}

int decimalInt(std::string_view text) {
    int v = 0;
    scanInt(text, v);
    return v;
}

double decimalReal(std::string_view text) {
    double v = 0;
    scanDouble(text, v);
    return v;
}

std::string format(const char* fmt, ...) {
    const ClassicNumbers classicNumbers;
    char small[256];
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(small, sizeof small, fmt, args);
    va_end(args);
    if (n < 0) {
        va_end(copy);
        return {};
    }
    if (static_cast<std::size_t>(n) < sizeof small) {
        va_end(copy);
        return std::string(small, static_cast<std::size_t>(n));
    }
    std::string big(static_cast<std::size_t>(n), '\0');
    std::vsnprintf(big.data(), big.size() + 1, fmt, copy);
    va_end(copy);
    return big;
}

std::string toLowerAscii(std::string_view text) {
    std::string r(text);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return r;
}

std::string toUpperAscii(std::string_view text) {
    std::string r(text);
    for (char& c : r)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return r;
}

std::string trimRight(std::string_view text) {
    std::size_t n = text.size();
    while (n > 0 && isCSpace(text[n - 1])) --n;
    return std::string(text.substr(0, n));
}

}  // namespace gorvale
