#include "wire_backlog.h"

#include <algorithm>

namespace vorkal {

void WireBacklog::add(int bytes, int64_t nowNs) {
    if (byteNs_ == 0 || bytes <= 0) return;
    lineFreeNs_ = std::max(lineFreeNs_, nowNs) + int64_t(bytes) * byteNs_;
}

int WireBacklog::pending(int64_t nowNs) const {
    if (byteNs_ == 0 || lineFreeNs_ <= nowNs) return 0;
    return int((lineFreeNs_ - nowNs + byteNs_ - 1) / byteNs_);
}

int64_t WireBacklog::waitNs(int bytes, int64_t nowNs) const {
    if (byteNs_ == 0) return 0;
    return std::max<int64_t>(0, lineFreeNs_ - int64_t(std::max(bytes, 0)) * byteNs_ - nowNs);
}

}  // namespace vorkal
