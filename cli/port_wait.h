#pragma once
// Waiting for displays to be plugged in: --wait before one command, and --each, which
// runs the command for every display plugged in, one after another, until Ctrl+C.

#include <functional>

#include "cli_options.h"

namespace vorkal::cli {

class InterruptWatch;

// The command for one display on the options' port; returns its exit code.
using OneDisplay = std::function<int(const Options&)>;

// --wait: returns once the options' port is there (kExitOk), or the exit code of Ctrl+C
// or of a port that cannot be named.
int WaitForPort(const Options& options, InterruptWatch& interrupts);

// --each: for every display plugged in, `run` with the port it came on; prints each
// result with its count and at the end the count of those done and failed. 0 only when
// none failed.
int RunForEachDisplay(const Options& options, InterruptWatch& interrupts, const OneDisplay& run);

}  // namespace vorkal::cli
