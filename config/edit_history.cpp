#include "edit_history.h"

#include <algorithm>
#include <cstring>

namespace vorkal {

namespace {

// Changed bytes closer than this are kept in one run: a run costs more than a few
// unchanged bytes.
constexpr size_t kRunGap = 8;

// Adds the runs where `before` and `after` differ; offsets start at `base`.
template <class Bytes, class AddRun>
void diffRuns(const Bytes& before, const Bytes& after, uint32_t base, AddRun&& addRun) {
    if (std::memcmp(before.data(), after.data(), before.size()) == 0) return;
    const size_t n = before.size();
    size_t i = 0;
    while (i < n) {
        while (i < n && before[i] == after[i]) ++i;
        if (i == n) break;
        const size_t start = i;
        size_t end = i + 1;  // one past the last changed byte of the run
        for (size_t j = end; j < n && j - end <= kRunGap; ++j)
            if (before[j] != after[j]) end = j + 1;
        addRun(base + uint32_t(start), uint32_t(end - start), before.data() + start);
        i = end;
    }
}

uint8_t* address(ConfigImage& config, uint32_t offset) {
    return offset < kImageSize ? config.image.data() + offset : config.logImage.data() + (offset - kImageSize);
}

}  // namespace

EditHistory::EditHistory(int capacity) : capacity_(std::max(capacity, 1)) {}

bool EditHistory::record(const ConfigImage& before, const ConfigImage& after) {
    Step step;
    auto addRun = [&step](uint32_t offset, uint32_t length, const uint8_t* was) {
        step.runs.push_back({offset, length, uint32_t(step.bytes.size())});
        step.bytes.insert(step.bytes.end(), was, was + length);
    };
    diffRuns(before.image, after.image, 0, addRun);
    diffRuns(before.logImage, after.logImage, kImageSize, addRun);
    step.variant = before.variant();
    step.separateLog = before.separateLog;
    step.shown = before.configurationLoaded;
    step.logChanged =
        (!step.runs.empty() && step.runs.back().offset >= kImageSize) || before.separateLog != after.separateLog;
    if (step.runs.empty() && before.variant() == after.variant() && before.separateLog == after.separateLog &&
        before.configurationLoaded == after.configurationLoaded)
        return false;

    step.runs.shrink_to_fit();
    step.bytes.shrink_to_fit();
    step.idBefore = stateId();
    step.idAfter = ++lastId_;
    steps_.erase(steps_.begin() + std::ptrdiff_t(position_), steps_.end());
    steps_.push_back(std::move(step));
    if (int(steps_.size()) > capacity_) {
        baseId_ = steps_.front().idAfter;
        steps_.pop_front();
    }
    position_ = steps_.size();
    return true;
}

void EditHistory::swap(Step& step, ConfigImage& config, bool* logChanged) {
    if (logChanged) *logChanged = step.logChanged;
    for (const Run& run : step.runs) {
        uint8_t* held = step.bytes.data() + run.data;
        std::swap_ranges(held, held + run.length, address(config, run.offset));
    }
    const DisplayVariant variant = config.variant();
    config.setVariant(step.variant);
    step.variant = variant;
    std::swap(config.separateLog, step.separateLog);
    std::swap(config.configurationLoaded, step.shown);
}

bool EditHistory::undo(ConfigImage& config, bool* logChanged) {
    if (!canUndo()) return false;
    swap(steps_[--position_], config, logChanged);
    return true;
}

bool EditHistory::redo(ConfigImage& config, bool* logChanged) {
    if (!canRedo()) return false;
    swap(steps_[position_++], config, logChanged);
    return true;
}

void EditHistory::clear() {
    baseId_ = stateId();
    steps_.clear();
    position_ = 0;
}

uint64_t EditHistory::stateId() const {
    if (position_ < steps_.size()) return steps_[position_].idBefore;
    return steps_.empty() ? baseId_ : steps_.back().idAfter;
}

size_t EditHistory::memoryBytes() const {
    size_t total = sizeof(*this);
    for (const Step& s : steps_) total += sizeof(Step) + s.runs.capacity() * sizeof(Run) + s.bytes.capacity();
    return total;
}

}  // namespace vorkal
