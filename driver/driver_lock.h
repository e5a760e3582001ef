// Scoped lock over the driver's QMutexes. In a ThreadSanitizer build it announces
// acquire and release itself, since Debian's Qt is not instrumented and TSan would
// otherwise not see that a QMutex orders the accesses it guards.
#ifndef DRIVER_LOCK_H
#define DRIVER_LOCK_H

#include <QMutex>

#if defined(__SANITIZE_THREAD__)
#define DRIVER_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define DRIVER_TSAN 1
#endif
#endif

#ifdef DRIVER_TSAN
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#endif

inline void lockMutex(QMutex& m) {
    m.lock();
#ifdef DRIVER_TSAN
    __tsan_acquire(&m);
#endif
}

inline void unlockMutex(QMutex& m) {
#ifdef DRIVER_TSAN
    __tsan_release(&m);
#endif
    m.unlock();
}

class DriverLock {
public:
    explicit DriverLock(QMutex& m) : m_(m), locked_(true) { lockMutex(m_); }
    ~DriverLock() { unlock(); }
    void unlock() {
        if (locked_) {
            locked_ = false;
            unlockMutex(m_);
        }
    }

private:
    DriverLock(const DriverLock&);
    DriverLock& operator=(const DriverLock&);
    QMutex& m_;
    bool locked_;
};

#endif
