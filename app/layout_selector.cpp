#include "layout_selector.h"

#include <QSignalBlocker>
#include <algorithm>

#include "config_image.h"
#include "widgets.h"

namespace vorkal {

bool LayoutSelector::applyHeader(uint8_t layoutByte) {
    int count = layoutByte >> 4;
    const bool rebuild = count != shownCount_;
    if (rebuild) {
        if (layoutByte >= 144) count = kMaxLayouts;
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
