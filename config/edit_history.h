#pragma once
// Undo and redo of the changes made to the configuration: each step keeps only the
// byte runs it changed in the configuration image and the log image, plus the variant
// the separate-log flag and whether a configuration is shown, so a dragged element costs a few bytes and an imported
// 33792-byte file at most one copy of what it changed. A step holds the side that is
// not in the image: undo and redo swap it with the image's bytes.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "config_image.h"

namespace vorkal {

class EditHistory {
public:
    static constexpr int kDefaultCapacity = 256;

    explicit EditHistory(int capacity = kDefaultCapacity);

    // Records the step that turned `before` into `after` and drops the steps that could
    // be redone. Nothing happens when the two hold the same configuration; returns
    // whether a step was recorded. The oldest step goes when the capacity is reached.
    bool record(const ConfigImage& before, const ConfigImage& after);

    bool canUndo() const { return position_ > 0; }
    bool canRedo() const { return position_ < steps_.size(); }
    int undoCount() const { return int(position_); }
    int redoCount() const { return int(steps_.size() - position_); }
    int capacity() const { return capacity_; }

    // Puts the bytes, variant and flags the last step changed back as they were before
    // it; false when there is nothing to undo. Bytes the step did not change stay as
    // they are in `config`. `logChanged` tells whether the log image was touched.
    bool undo(ConfigImage& config, bool* logChanged = nullptr);
    // Applies the next undone step again; false when there is none.
    bool redo(ConfigImage& config, bool* logChanged = nullptr);

    // Forgets every step; the present state keeps its id.
    void clear();

    // Names the present point in the history: the same id means the same configuration
    // as when the id was taken, as far as recorded steps go.
    uint64_t stateId() const;

    // Heap and object bytes the history holds.
    size_t memoryBytes() const;

private:
    struct Run {
        uint32_t offset;  // in the image, then the log image (1024 + log offset)
        uint32_t length;
        uint32_t data;  // index of the run's bytes in Step::bytes
    };
    struct Step {
        std::vector<Run> runs;
        std::vector<uint8_t> bytes;  // the side of the runs that is not in the image
        DisplayVariant variant;      // likewise for the variant and the flags
        bool separateLog;
        bool shown;  // configurationLoaded
        bool logChanged;
        uint64_t idBefore, idAfter;
    };

    // Swaps the step's side with the configuration's.
    static void swap(Step& step, ConfigImage& config, bool* logChanged);

    int capacity_;
    std::deque<Step> steps_;
    size_t position_ = 0;  // steps_[0 .. position_) are applied
    uint64_t baseId_ = 0;  // id of the state when no step is kept
    uint64_t lastId_ = 0;
};

}  // namespace vorkal
