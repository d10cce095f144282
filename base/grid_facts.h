#pragma once
// The read-outs of the loaded grid and its selection (name, extents, ranges,
// sizes, dump origin) as texts owned by the core, so every window and the
// model writer read the same facts instead of asking a widget.

#include <array>
#include <string>

#include "base/user_interface.h"

namespace gorvale {

class GridFacts {
public:
    const std::string& text(Label which) const { return texts_[static_cast<int>(which)]; }
    void set(Label which, std::string text) { texts_[static_cast<int>(which)] = std::move(text); }

private:
    std::array<std::string, kLabelCount> texts_;
};

}  // namespace gorvale
