#pragma once
// The smallest and largest value a reader stored, for the reader tail.

#include <cstdint>

namespace gorvale {

// Minimum and maximum of the values a reader stored; (0, 0) when none.
class MinMaxTracker {
public:
    void add(std::int32_t v) {
        if (empty_) {
            min_ = max_ = v;
            empty_ = false;
        } else if (v < min_) {
            min_ = v;
        } else if (v > max_) {
            max_ = v;
        }
    }
    void merge(const MinMaxTracker& other) {
        if (other.empty_) return;
        add(other.min_);
        add(other.max_);
    }
    bool empty() const { return empty_; }
    std::int32_t minimum() const { return min_; }
    std::int32_t maximum() const { return max_; }

private:
    bool empty_ = true;
    std::int32_t min_ = 0;
    std::int32_t max_ = 0;
};

}  // namespace gorvale
