// Small helpers around the POSIX locks that Kez's state uses.
#pragma once

#include <pthread.h>

namespace kez {

// Holds a mutex for the length of a scope.
class Locked {
public:
    explicit Locked(pthread_mutex_t* mutex) : mutex_(mutex) { pthread_mutex_lock(mutex_); }
    ~Locked() { pthread_mutex_unlock(mutex_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    pthread_mutex_t* mutex_;
};

// Creates a recursive mutex (PTHREAD_MUTEX_RECURSIVE), the kind of every lock of Kez's state but
// the sleep lock.
inline void InitRecursiveMutex(pthread_mutex_t* mutex) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

}  // namespace kez
