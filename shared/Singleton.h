// The accessor pattern of the module's singletons: created on first use,
// exactly once even when several threads ask at the same time, under a
// critical section of its own that exists from library load.
//
//   class Par1Thing {
//   public:
//       static Par1Thing* getInstance() { return Singleton<Par1Thing>::getInstance(); }
//       static void destroyInstance() { Singleton<Par1Thing>::destroyInstance(); }
//   private:
//       friend class Singleton<Par1Thing>;
//       Par1Thing();
//   };
#pragma once

#include "shared/CriticalSection.h"
#include "shared/CriticalSectionLock.h"

#include <atomic>
#include <new>

template <class T> class Singleton {
public:
    // The instance, created if needed. Exceptions of T's constructor pass to
    // the caller and leave no instance; a failed allocation answers null and
    // a later call tries again.
    static T* getInstance() {
        T* instance = instance_.load(std::memory_order_acquire);
        if (instance == nullptr) {
            CriticalSectionLock lock(section_);
            instance = instance_.load(std::memory_order_relaxed);
            if (instance == nullptr) {
                instance = new (std::nothrow) T();
                instance_.store(instance, std::memory_order_release);
            }
        }
        return instance;
    }

    // Whether an instance exists, without creating one.
    static bool exists() { return instance_.load(std::memory_order_acquire) != nullptr; }

    // Deletes the instance through its virtual destructor; the next
    // getInstance creates a new one.
    static void destroyInstance() {
        CriticalSectionLock lock(section_);
        T* instance = instance_.exchange(nullptr, std::memory_order_acq_rel);
        delete instance;
    }

private:
    static CriticalSection section_;
    static std::atomic<T*> instance_;
};

template <class T> CriticalSection Singleton<T>::section_;
template <class T> std::atomic<T*> Singleton<T>::instance_{nullptr};
