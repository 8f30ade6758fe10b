/* Stand-in for the kernel header of the same name: compile-time checks. */
#ifndef FAKE_LINUX_BUG_H
#define FAKE_LINUX_BUG_H

#define BUILD_BUG_ON(cond) _Static_assert(!(cond), "BUILD_BUG_ON: " #cond)

#endif
