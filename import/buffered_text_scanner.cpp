#include "import/buffered_text_scanner.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <system_error>

namespace gorvale {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// True when [p, limit) starts with the lower-case word, in any case.
bool startsWithWord(const char* p, const char* limit, const char* word) {
    const std::size_t n = std::strlen(word);
    if (static_cast<std::size_t>(limit - p) < n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (lowerAscii(p[i]) != word[i]) return false;
    return true;
}

// Whether a decimal text too large or too small for a double names a huge
// number (rather than a tiny one): the power of ten of its first significant
// digit decides.
bool namesHugeNumber(std::string_view text) {
    long long position = 0;  // power of ten of the first significant digit, + 1
    bool seenSignificant = false;
    bool inFraction = false;
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.') {
            inFraction = true;
        } else if (isDigit(c)) {
            if (!seenSignificant && c != '0') seenSignificant = true;
            if (!inFraction && seenSignificant) ++position;
            if (inFraction && !seenSignificant) --position;
        } else {
            break;
        }
    }
    long long exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
        for (; i < text.size() && isDigit(text[i]); ++i)
            exponent = std::min<long long>(exponent * 10 + (text[i] - '0'), 1'000'000'000);
        if (negative) exponent = -exponent;
    }
    return seenSignificant && position + exponent > 0;
}

// Converts an unsigned decimal real (digits, one optional point, optional
// exponent) the way strtof does, with correct rounding; out-of-range values
// become infinity or zero as strtof makes them.
float convertDecimal(std::string_view text) {
    float f = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), f,
                                     std::chars_format::general);
    if (ec == std::errc()) return f;
    if (ec == std::errc::result_out_of_range) {
        double d = 0;
        auto [dptr, dec] = std::from_chars(text.data(), text.data() + text.size(), d,
                                           std::chars_format::general);
        if (dec == std::errc()) return static_cast<float>(d);
        return namesHugeNumber(text) ? std::numeric_limits<float>::infinity() : 0.0f;
    }
    return 0.0f;
}

}  // namespace

BufferedTextScanner::BufferedTextScanner(std::FILE* in, std::size_t bufferBytes)
    : in_(in), buffer_(std::max(bufferBytes, 4 * kMaxNumberChars)) {}

void BufferedTextScanner::ensure(std::size_t want) {
    want = std::min(want, buffer_.size());
    if (end_ - pos_ >= want) return;
    if (pos_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + pos_, end_ - pos_);
        end_ -= pos_;
        pos_ = 0;
    }
    while (end_ < want && !streamEnded_) {
        const std::size_t got = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, in_);
        end_ += got;
        if (got == 0) {
            streamEnded_ = true;
            if (std::ferror(in_)) readFailed_ = true;
        }
    }
}

void BufferedTextScanner::restart() {
    pos_ = 0;
    end_ = 0;
    streamEnded_ = false;
    readFailed_ = false;
}

bool BufferedTextScanner::skipSpace() {
    for (;;) {
        while (pos_ < end_ && isSpace(buffer_[pos_])) ++pos_;
        if (pos_ < end_) return true;
        if (!available(1)) return false;
    }
}

void BufferedTextScanner::skipBlanks() {
    for (;;) {
        while (pos_ < end_ && (buffer_[pos_] == ' ' || buffer_[pos_] == '\t')) ++pos_;
        if (pos_ < end_ || !available(1)) return;
    }
}

void BufferedTextScanner::skipToken() {
    if (!skipSpace()) return;
    for (;;) {
        while (pos_ < end_ && !isSpace(buffer_[pos_])) ++pos_;
        if (pos_ < end_ || !available(1)) return;
    }
}

int BufferedTextScanner::peek(std::size_t ahead) {
    if (!available(ahead + 1)) return -1;
    return static_cast<unsigned char>(buffer_[pos_ + ahead]);
}

int BufferedTextScanner::get() {
    if (!available(1)) return -1;
    return static_cast<unsigned char>(buffer_[pos_++]);
}

bool BufferedTextScanner::readLine(std::string& line, std::size_t maxChars) {
    line.clear();
    if (!available(1)) return false;
    for (;;) {
        const char* from = buffer_.data() + pos_;
        const char* to = buffer_.data() + end_;
        const char* lf = static_cast<const char*>(std::memchr(from, '\n', end_ - pos_));
        const char* stop = lf ? lf + 1 : to;
        const std::size_t room = maxChars - std::min(maxChars, line.size());
        line.append(from, std::min<std::size_t>(room, stop - from));
        pos_ = static_cast<std::size_t>(stop - buffer_.data());
        if (lf || !available(1)) return true;
    }
}

BufferedTextScanner::Scan BufferedTextScanner::readInt(int& value) {
    if (!skipSpace()) return Scan::End;
    available(kMaxNumberChars);
    const char* p = buffer_.data() + pos_;
    const char* const limit = buffer_.data() + end_;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (p == limit || !isDigit(*p)) return Scan::NotANumber;
    constexpr long long kLimit = static_cast<long long>(std::numeric_limits<int>::max()) + 1;
    long long magnitude = 0;
    for (; p < limit && isDigit(*p); ++p) magnitude = std::min(magnitude * 10 + (*p - '0'), kLimit);
    if (negative)
        value = static_cast<int>(-magnitude);
    else
        value = static_cast<int>(std::min(magnitude, kLimit - 1));
    pos_ = static_cast<std::size_t>(p - buffer_.data());
    return Scan::Value;
}

BufferedTextScanner::Scan BufferedTextScanner::readFloat(float& value) {
    if (!skipSpace()) return Scan::End;
    available(kMaxNumberChars);
    const char* const start = buffer_.data() + pos_;
    const char* const limit = buffer_.data() + end_;
    const char* p = start;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';

    const char* const number = p;
    // All digits, point ignored, as one integer while it stays exact.
    std::uint64_t mantissa = 0;
    for (; p < limit && isDigit(*p); ++p) mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
    const std::size_t integerDigits = static_cast<std::size_t>(p - number);
    std::size_t fractionDigits = 0;
    bool hasPoint = false;
    bool hasComma = false;
    if (p < limit && (*p == '.' || *p == ',')) {
        hasPoint = true;
        hasComma = *p == ',';
        const char* fraction = ++p;
        for (; p < limit && isDigit(*p); ++p) mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
        fractionDigits = static_cast<std::size_t>(p - fraction);
    }
    const std::size_t digits = integerDigits + fractionDigits;

    if (digits == 0) {
        // No digits: only the words C's "%f" knows are left.
        float special = 0;
        if (startsWithWord(number, limit, "nan")) {
            special = std::numeric_limits<float>::quiet_NaN();
            p = number + 3;
        } else if (startsWithWord(number, limit, "infinity")) {
            special = std::numeric_limits<float>::infinity();
            p = number + 8;
        } else if (startsWithWord(number, limit, "inf")) {
            special = std::numeric_limits<float>::infinity();
            p = number + 3;
        } else {
            return Scan::NotANumber;
        }
        value = negative ? -special : special;
        pos_ = static_cast<std::size_t>(p - buffer_.data());
        return Scan::Value;
    }

    bool hasExponent = false;
    long exponent = 0;
    if (p < limit && (*p == 'e' || *p == 'E')) {
        const char* q = p + 1;
        bool negativeExponent = false;
        if (q < limit && (*q == '+' || *q == '-')) negativeExponent = *q++ == '-';
        if (q < limit && isDigit(*q)) {
            for (; q < limit && isDigit(*q); ++q) exponent = std::min(exponent * 10 + (*q - '0'), 100000L);
            if (negativeExponent) exponent = -exponent;
            p = q;
            hasExponent = true;
        }
    }

    // Exact operands give one correctly rounded result, as strtof's:
    // a mantissa of at most 24 bits times or over a power of ten that float
    // holds exactly (up to 10^10), or a whole number of up to 18 digits.
    constexpr std::uint64_t kExactMantissa = std::uint64_t{1} << 24;
    constexpr long kExactPowers = 10;
    static constexpr float kPowersOfTen[kExactPowers + 1] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                                             1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
    const long scale = exponent - static_cast<long>(fractionDigits);
    float magnitude;
    if (!hasPoint && !hasExponent && integerDigits <= 18) {
        magnitude = static_cast<float>(static_cast<std::int64_t>(mantissa));
    } else if (digits <= 19 && mantissa <= kExactMantissa && scale >= -kExactPowers && scale <= kExactPowers) {
        const float m = static_cast<float>(mantissa);
        magnitude = scale < 0 ? m / kPowersOfTen[-scale] : m * kPowersOfTen[scale];
    } else {
        const std::size_t length = static_cast<std::size_t>(p - number);
        if (!hasComma) {
            magnitude = convertDecimal(std::string_view(number, length));
        } else if (length <= kMaxNumberChars) {
            char text[kMaxNumberChars];
            std::memcpy(text, number, length);
            std::replace(text, text + length, ',', '.');
            magnitude = convertDecimal(std::string_view(text, length));
        } else {
            std::string text(number, length);
            std::replace(text.begin(), text.end(), ',', '.');
            magnitude = convertDecimal(text);
        }
    }
    value = negative ? -magnitude : magnitude;
    pos_ = static_cast<std::size_t>(p - buffer_.data());
    return Scan::Value;
}

}  // namespace gorvale
