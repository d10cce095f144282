#pragma once
// The program's one random number generator: the classic C runtime linear
// congruential generator, so that a run draws the same numbers every time
// after a program start. Tree placement draws from it; nothing in the
// pipeline seeds it. The only seeding happens once per program run, when
// the first password-protected archive is made (from the clock and the
// process number), as the zip encryption of the original toolchain did.

#include <cstdint>

namespace gorvale {

class LcgRandom {
public:
    static constexpr int kMax = 0x7FFF;  // results lie from 0 to kMax

    // state = state * 22695477 + 1 (32-bit wrap-around); (state >> 16) & 0x7FFF.
    int Next() {
        state_ = state_ * 22695477u + 1u;
        return static_cast<int>((state_ >> 16) & 0x7FFFu);
    }

    std::uint32_t State() const { return state_; }
    void SetState(std::uint32_t state) { state_ = state; }

    // Seeds from the clock and the process number the first time it is
    // called for this generator; later calls change nothing. True when it seeded.
    bool SeedForEncryption(std::uint32_t secondsSince1970, std::uint32_t processNumber);
    bool SeededForEncryption() const { return seededForEncryption_; }

private:
    std::uint32_t state_ = 1;  // the runtime's state before any seeding
    bool seededForEncryption_ = false;
};

// The generator shared by the whole program.
LcgRandom& SharedRandom();

// Called when an encrypted archive is made: the first call of a program run
// seeds the shared generator from the current time and the process number.
void SeedSharedRandomAtEncryptedArchive();

}  // namespace gorvale
