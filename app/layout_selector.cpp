#include "layout_selector.h"

#include <QSignalBlocker>
#include <algorithm>

#include "config_image.h"
#include "widgets.h"

namespace vorkal {

bool LayoutSelector::applyHeader(uint8_t layoutByte) {
    // Counts 9..15 read as 8 and are compared as 8, or every header read of such a byte
    // would rebuild the entries and undo the user's choices.
    const int count = std::min(layoutByte >> 4, kMaxLayouts);
    const bool rebuild = count != shownCount_;
    if (rebuild) {
        fill(count);
        group->setItemIndex(std::min(layoutByte & 7, count - 1));
    }
    shownCount_ = count;
    return rebuild;
}

bool LayoutSelector::followCount(int count) {
    if (count <= 0 || count == group->count()) return false;
    const int keep = group->itemIndex();
    const QSignalBlocker blocked(group);
    fill(count);
    group->setItemIndex(std::clamp(keep, 0, count - 1));
    shownCount_ = count;
    return true;
}

void LayoutSelector::fill(int count) {
    QStringList entries;
    for (int n = 1; n <= count; ++n) entries << QString::number(n);
    group->setColumns(count < 5 ? 1 : 2);
    group->setItems(entries);
}

}  // namespace vorkal
