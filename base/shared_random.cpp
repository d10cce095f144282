#include "base/shared_random.h"

#include <ctime>
#include <unistd.h>

namespace gorvale {

bool LcgRandom::SeedForEncryption(std::uint32_t secondsSince1970, std::uint32_t processNumber) {
    if (seededForEncryption_) return false;
    seededForEncryption_ = true;
    state_ = secondsSince1970 ^ processNumber;
    return true;
}

LcgRandom& SharedRandom() {
    static LcgRandom generator;
    return generator;
}

void SeedSharedRandomAtEncryptedArchive() {
    SharedRandom().SeedForEncryption(static_cast<std::uint32_t>(std::time(nullptr)),
                                     static_cast<std::uint32_t>(::getpid()));
}

}  // namespace gorvale
