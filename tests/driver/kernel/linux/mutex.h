/* Stand-in for the kernel header of the same name. The fake's mutexes block
 * like the kernel's, and report a thread that would deadlock on itself. */
#ifndef FAKE_LINUX_MUTEX_H
#define FAKE_LINUX_MUTEX_H

#ifdef __cplusplus
extern "C" {
#endif

struct mutex {
    const char *name;
    int locked;
    int is_static; /* defined with DEFINE_MUTEX, not part of a record */
    const void *owner;
};

#define DEFINE_MUTEX(lock) struct mutex lock = {#lock, 0, 1, 0}

/* Like the kernel's, names the lock after the expression that initialises it. */
#define mutex_init(lock) fake_mutex_init((lock), #lock)
void fake_mutex_init(struct mutex *lock, const char *name);
void mutex_lock(struct mutex *lock);
void mutex_unlock(struct mutex *lock);

#ifdef __cplusplus
}
#endif

#endif
