#pragma once
// A buffered reader of numbers and lines from a C text stream, for the
// readers of plain-text grids. Numbers follow the rules of scanf's "%f" and
// "%d" in the C locale, without consulting the user's locale and without an
// allocation per value, so multi-million-value grids read quickly.
//
// The scanner reads ahead: once it is in use the stream's own position says
// nothing about what has been consumed. Call restart() after moving the
// stream.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace gorvale {

class BufferedTextScanner {
public:
    enum class Scan {
        Value,       // a number was read
        NotANumber,  // the next text is not a number; it is left unread
        End,         // only white space (or nothing) was left
    };

    explicit BufferedTextScanner(std::FILE* in, std::size_t bufferBytes = kDefaultBufferBytes);

    // "%f": skips white space and reads one real. A decimal comma is taken
    // for the decimal point (grids written under a comma locale); "nan" and
    // "inf"/"infinity" are accepted in any case, with an optional sign.
    Scan readFloat(float& value);
    // "%d": skips white space and reads an optionally signed integer;
    // values beyond the int range are clamped.
    Scan readInt(int& value);
    // Skips white space, then one run of characters that are not white space.
    void skipToken();

    // Reads one line through its line feed; keeps at most maxChars of its
    // characters in line (line feed included when it fits), the rest of the
    // line is consumed and dropped. False when nothing was left.
    bool readLine(std::string& line, std::size_t maxChars);
    // Skips blanks and tabs, never line ends.
    void skipBlanks();
    // The character `ahead` positions on, without consuming it; -1 past the end.
    int peek(std::size_t ahead = 0);
    // The next character, consumed; -1 at the end.
    int get();

    // Forgets what was read ahead; the next read starts at the stream's position.
    void restart();
    // The stream reported a read error (reading then behaves as at the end).
    bool readFailed() const { return readFailed_; }

    static constexpr std::size_t kDefaultBufferBytes = std::size_t{1} << 16;
    // Longest number text that is guaranteed to be read as one piece.
    static constexpr std::size_t kMaxNumberChars = 256;

    // The characters C's isspace() accepts in the C locale.
    static bool isSpace(int c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    }

private:
    // Makes at least `want` unread bytes available unless the stream ends first.
    void ensure(std::size_t want);
    bool available(std::size_t want) {
        if (end_ - pos_ < want) ensure(want);
        return end_ - pos_ >= want;
    }
    // Skips white space; false when nothing but white space was left.
    bool skipSpace();

    std::FILE* in_;
    std::vector<char> buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool streamEnded_ = false;
    bool readFailed_ = false;
};

}  // namespace gorvale
