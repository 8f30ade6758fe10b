// The record store's lock: an advisory lock (flock) on the store itself, the
// MTD device node or the record file, held by every client of the service
// across a whole read (shared) or store (exclusive). Readers thus never meet
// a half-written state, and stores are serialised, each choosing its slot
// from what the one before it left.
//
// The lock belongs to the open file: it goes when the descriptor is closed,
// also when the process dies, so a killed writer never leaves it held.
#pragma once

#include "status.h"

namespace bsp_upgrade {

enum class LockMode { Shared, Exclusive };

// How long a read or store waits for the lock before it fails.
constexpr int kStoreLockTimeoutMs = 10000;

// Takes the lock on fd, waiting at most timeout_ms; never waits for ever.
Status lock_store(int fd, LockMode mode, int timeout_ms = kStoreLockTimeoutMs);

} // namespace bsp_upgrade
