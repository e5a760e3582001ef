// Scoped lock over the driver's QMutexes. In a ThreadSanitizer build it announces each
// lock and unlock itself, since Debian's Qt is not instrumented and TSan would otherwise
// see neither the ordering a QMutex gives nor the order in which mutexes are taken.
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
#include <sanitizer/tsan_interface.h>
#endif

// In a TSan build the lock and unlock are announced as those of a mutex: TSan then
// orders the accesses the mutex guards and checks the order in which mutexes are taken.
inline void lockMutex(QMutex& m) {
#ifdef DRIVER_TSAN
    __tsan_mutex_pre_lock(&m, 0);
#endif
    m.lock();
#ifdef DRIVER_TSAN
    __tsan_mutex_post_lock(&m, 0, 0);
#endif
}

inline void unlockMutex(QMutex& m) {
#ifdef DRIVER_TSAN
    __tsan_mutex_pre_unlock(&m, 0);
#endif
    m.unlock();
#ifdef DRIVER_TSAN
    __tsan_mutex_post_unlock(&m, 0);
#endif
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
