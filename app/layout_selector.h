#pragma once
// The layout selector: one radio button per screen layout of the image, rebuilt when
// the layout count changes and only then, so that a poll that reads the same header
// again leaves the user's choice alone.

#include <cstdint>

namespace vorkal {

class TRadioGroup;

class LayoutSelector {
public:
    TRadioGroup* group = nullptr;

    // The next header applied rebuilds the entries, whatever they show.
    void rebuildOnNextHeader() { shownCount_ = kRebuild; }
    // The image's layout byte: a count that is not the one shown rebuilds the entries
    // and selects the stored layout, running the click handler as a user click does.
    // True when it rebuilt.
    bool applyHeader(uint8_t layoutByte);
    // After an undo or redo: the entries follow `count` without the click handler (it
    // would tell the display to show a layout), and the selection stays within them.
    // True when it rebuilt.
    bool followCount(int count);

private:
    static constexpr int kRebuild = 200;  // no layout count is this
    void fill(int count);                 // entries 1..count, without selecting one
    int shownCount_ = 100;
};

}  // namespace vorkal
