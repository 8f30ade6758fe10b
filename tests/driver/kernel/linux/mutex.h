/* Stand-in for the kernel header of the same name. The fake is single-threaded:
 * it checks the locking discipline instead of blocking. */
#ifndef FAKE_LINUX_MUTEX_H
#define FAKE_LINUX_MUTEX_H

#ifdef __cplusplus
extern "C" {
#endif

struct mutex {
    const char *name;
    int locked;
};

/* Like the kernel's, names the lock after the expression that initialises it. */
#define mutex_init(lock) fake_mutex_init((lock), #lock)
void fake_mutex_init(struct mutex *lock, const char *name);
void mutex_lock(struct mutex *lock);
void mutex_unlock(struct mutex *lock);

#ifdef __cplusplus
}
#endif

#endif
