// The upgrade service's result: success, or what failed and why.
//
// One small value type for every layer of the service (record store, flash,
// command runner, partition copy). It holds only pointers to fixed texts and
// two numbers, so it is cheap to return and never allocates; describe() turns
// it into the one line the tools print. The service's C calls still return
// 0 / -1 and keep the text of their last failure for the tools to fetch.
#pragma once

#include <cstddef>

namespace bsp_upgrade {

class Status {
public:
    static constexpr int kNoIndex = -1;

    constexpr Status() = default;

    // what: the step that failed, in words ("erase of block", "read of copy").
    // call: the system call or check that reported it ("MEMERASE64", "pread").
    // err: its errno, 0 when the failure carries none (a check failed).
    // index: the copy, slot or block concerned, kNoIndex when there is none.
    static constexpr Status failure(const char *what, const char *call, int err, int index = kNoIndex)
    {
        Status s;
        s.what_ = what;
        s.call_ = call;
        s.err_ = err;
        s.index_ = index;
        return s;
    }

    constexpr bool ok() const { return what_ == nullptr; }
    constexpr explicit operator bool() const { return ok(); }
    constexpr const char *what() const { return what_; }
    constexpr const char *call() const { return call_; }
    constexpr int err() const { return err_; }
    constexpr int index() const { return index_; }

    // The same failure about another copy, slot or block.
    constexpr Status at(int index) const
    {
        Status s = *this;
        s.index_ = index;
        return s;
    }

    // "erase of block 3 (MEMERASE64): Input/output error"; "" for success.
    // Always NUL-terminates (when len > 0); returns the length written.
    size_t describe(char *buf, size_t len) const;

private:
    const char *what_ = nullptr;
    const char *call_ = nullptr;
    int err_ = 0;
    int index_ = kNoIndex;
};

// errno of the failed call, as a Status.
Status errno_failure(const char *what, const char *call, int index = Status::kNoIndex);

} // namespace bsp_upgrade
