#pragma once
// The transfer's worker without its thread, for the transfer target: the
// jobs a FileTransfer posts wait until the target runs them, one at a time,
// so that an input decides where file work falls between the peer's
// messages and replays the same way every time (a real thread would pick
// one interleaving by chance and make coverage flicker). SteppedWorker.cpp
// defines TransferWorker's members, so the linker takes them instead of the
// library's TransferWorker.cpp; a clash would fail the link, never pass
// silently.

#include <cstdint>

namespace corvala::fuzz {

// Runs the oldest job of the live workers; false when none waits.
bool RunWorkerJob();
// Jobs run and results handed back to the main thread so far; only grow.
std::uint64_t JobsRun();
std::uint64_t DeliveriesRun();

}  // namespace corvala::fuzz
