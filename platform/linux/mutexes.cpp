// Mutexes, recursive for their owner and abandoned when the owner ends while
// holding them. A named mutex is shared by every process that opens the name:
// it is a robust, process-shared pthread mutex in a POSIX shared memory
// object, so the kernel reports the death of an owning process to the next
// waiter. The memory object is readable and writable by all users.
//
// Lifetime of a name: every process that has it open holds a shared flock on
// the memory object; the last one to close it (the one that gets the lock
// exclusively) removes the name, as Windows forgets a name with its last
// handle. An opener that gets the lock exclusively is alone with the name and
// sets the object up afresh; one that finds it already unlinked starts over.
#include "platform/linux/sync.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

namespace platform {

namespace {

// Waits on a named mutex wake up this often to let TerminateThread act:
// locking a pthread mutex is not a cancellation point.
constexpr long kCancellationSliceMs = 50;

class LocalMutex : public MutexObject {
public:
    explicit LocalMutex(bool initialOwner) {
        if (initialOwner) {
            owner_ = currentThreadId();
            count_ = 1;
        }
    }

    // Called right after creation, once shared_from_this works.
    void noteInitialOwner() {
        if (owner_ != 0) {
            noteOwned(shared_from_this());
        }
    }

    DWORD wait(DWORD milliseconds) override {
        const DWORD self = currentThreadId();
        MonitorLock guard(monitor_);
        if (owner_ == self) {
            ++count_;
            return WAIT_OBJECT_0;
        }
        Deadline deadline(milliseconds);
        while (owner_ != 0) {
            if (milliseconds == 0 || !monitor_.wait(deadline)) {
                if (owner_ == 0) {
                    break;
                }
                return WAIT_TIMEOUT;
            }
        }
        owner_ = self;
        count_ = 1;
        noteOwned(shared_from_this());
        if (abandoned_) {
            abandoned_ = false;
            return WAIT_ABANDONED;
        }
        return WAIT_OBJECT_0;
    }

    BOOL release() override {
        MonitorLock guard(monitor_);
        if (owner_ != currentThreadId()) {
            SetLastError(ERROR_NOT_OWNER);
            return FALSE;
        }
        if (--count_ == 0) {
            owner_ = 0;
            noteReleased(this);
            monitor_.notifyAll();
        }
        return TRUE;
    }

    void abandon() override {
        MonitorLock guard(monitor_);
        if (owner_ == currentThreadId()) {
            owner_ = 0;
            count_ = 0;
            abandoned_ = true;
            monitor_.notifyAll();
        }
    }

private:
    Monitor monitor_;
    DWORD owner_ = 0;
    DWORD count_ = 0;
    bool abandoned_ = false;
};

// The shared block. The abandoned flag is touched only by the mutex's owner.
struct SharedMutexBlock {
    std::atomic<uint32_t> state; // kUnset or kReady
    uint32_t abandoned;          // the last owner ended without releasing
    pthread_mutex_t mutex;
};

constexpr uint32_t kUnset = 0;
constexpr uint32_t kReady = 1;

std::string sharedMemoryName(const std::string& name) {
    // Bytes other than letters, digits, '.', '_' and '-' are escaped, so every
    // Windows name gives a distinct, valid shared memory name; names too long
    // for the file system keep their start and a hash of the whole.
    static const char digits[] = "0123456789abcdef";
    std::string encoded;
    for (unsigned char c : name) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '.' || c == '_' || c == '-') {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += digits[c >> 4];
            encoded += digits[c & 15];
        }
    }
    if (encoded.size() > 200) {
        uint64_t hash = 1469598103934665603ull; // FNV-1a
        for (unsigned char c : name) {
            hash = (hash ^ c) * 1099511628211ull;
        }
        encoded.resize(180);
        encoded += '~';
        for (int shift = 60; shift >= 0; shift -= 4) {
            encoded += digits[(hash >> shift) & 15];
        }
    }
    return "/par1-mutex-" + encoded;
}

class NamedMutex : public MutexObject {
public:
    NamedMutex(int fd, SharedMutexBlock* block, std::string shmName)
        : fd_(fd), block_(block), shmName_(std::move(shmName)) {}

    ~NamedMutex() override {
        CancellationBlock block;
        munmap(block_, sizeof(SharedMutexBlock));
        // Converting to an exclusive lock succeeds only for the last holder
        // of the name in any process. Remove the name only while it still
        // names this object.
        if (flock(fd_, LOCK_EX | LOCK_NB) == 0) {
            struct stat ours {};
            struct stat named {};
            const std::string path = "/dev/shm" + shmName_;
            if (fstat(fd_, &ours) == 0 && stat(path.c_str(), &named) == 0 &&
                ours.st_ino == named.st_ino && ours.st_dev == named.st_dev) {
                shm_unlink(shmName_.c_str());
            }
        }
        close(fd_);
    }

    // Opens or creates the shared object of a name; null with the last error
    // set on failure. created tells whether no other process had it open.
    static std::shared_ptr<NamedMutex> open(const std::string& name, bool& created) {
        const std::string shmName = sharedMemoryName(name);
        for (int attempt = 0; attempt < 100; ++attempt) {
            int fd = shm_open(shmName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
            if (fd < 0) {
                SetLastError(errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_GEN_FAILURE);
                return nullptr;
            }
            // Exclusively ours: nobody has the name open (it is new, or left
            // behind by a process that died), so it starts afresh. Otherwise
            // wait for a shared lock, which an opener setting the object up
            // or the last closer removing it holds off for a moment.
            created = flock(fd, LOCK_EX | LOCK_NB) == 0;
            if (!created && flock(fd, LOCK_SH) != 0) {
                close(fd);
                SetLastError(ERROR_GEN_FAILURE);
                return nullptr;
            }
            struct stat status {};
            if (fstat(fd, &status) != 0 || status.st_nlink == 0) {
                close(fd); // the last holder removed it before we locked it
                continue;
            }
            if (created) {
                fchmod(fd, 0666); // whatever the umask
                if (ftruncate(fd, 0) != 0 || ftruncate(fd, sizeof(SharedMutexBlock)) != 0) {
                    close(fd);
                    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                    return nullptr;
                }
            } else if (status.st_size < static_cast<off_t>(sizeof(SharedMutexBlock))) {
                close(fd);
                SetLastError(ERROR_INVALID_HANDLE); // not one of ours
                return nullptr;
            }
            void* memory =
                mmap(nullptr, sizeof(SharedMutexBlock), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
            if (memory == MAP_FAILED) {
                close(fd);
                SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return nullptr;
            }
            auto* block = static_cast<SharedMutexBlock*>(memory);
            const bool ready = created ? initialise(block) : block->state.load() == kReady;
            // From exclusive to shared: others may open it now.
            if (!ready || (created && flock(fd, LOCK_SH) != 0)) {
                munmap(memory, sizeof(SharedMutexBlock));
                close(fd);
                SetLastError(ERROR_GEN_FAILURE);
                return nullptr;
            }
            return std::make_shared<NamedMutex>(fd, block, shmName);
        }
        SetLastError(ERROR_GEN_FAILURE);
        return nullptr;
    }

    DWORD wait(DWORD milliseconds) override {
        // One object stands for the name in this process, so the owner and
        // the recursion count can live here, out of reach of other processes.
        const DWORD self = currentThreadId();
        if (owner_.load() == self) {
            ++count_;
            return WAIT_OBJECT_0;
        }
        Deadline deadline(milliseconds);
        for (;;) {
            int result;
            if (milliseconds == 0) {
                result = pthread_mutex_trylock(&block_->mutex);
                if (result == EBUSY) {
                    return WAIT_TIMEOUT;
                }
            } else {
                // timedlock rather than clocklock: ThreadSanitizer knows only
                // the former, and the deadline itself stays monotonic.
                timespec until = deadline.wallClockSliceEnd(kCancellationSliceMs);
                result = pthread_mutex_timedlock(&block_->mutex, &until);
                if (result == ETIMEDOUT) {
                    if (deadline.expired()) {
                        return WAIT_TIMEOUT;
                    }
                    pthread_testcancel();
                    continue;
                }
            }
            bool abandoned = false;
            if (result == EOWNERDEAD) {
                // The owning process (or thread) died holding it.
                pthread_mutex_consistent(&block_->mutex);
                abandoned = true;
#if defined(__SANITIZE_THREAD__)
                // ThreadSanitizer takes a timed lock (unlike a try lock) for
                // held only when it answers 0: tell it this thread owns it.
                if (milliseconds != 0) {
                    __tsan_mutex_pre_lock(&block_->mutex, __tsan_mutex_try_lock);
                    __tsan_mutex_post_lock(&block_->mutex, __tsan_mutex_try_lock, 0);
                }
#endif
            } else if (result != 0) {
                SetLastError(ERROR_INVALID_HANDLE);
                return WAIT_FAILED;
            }
            if (block_->abandoned != 0) {
                block_->abandoned = 0;
                abandoned = true;
            }
            owner_.store(self);
            count_ = 1;
            noteOwned(shared_from_this());
            return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
        }
    }

    BOOL release() override {
        if (owner_.load() != currentThreadId()) {
            SetLastError(ERROR_NOT_OWNER);
            return FALSE;
        }
        if (--count_ == 0) {
            owner_.store(0);
            pthread_mutex_unlock(&block_->mutex);
            noteReleased(this);
        }
        return TRUE;
    }

    void abandon() override {
        if (owner_.load() == currentThreadId()) {
            owner_.store(0);
            count_ = 0;
            block_->abandoned = 1;
            pthread_mutex_unlock(&block_->mutex);
        }
    }

private:
    // With the object locked exclusively.
    static bool initialise(SharedMutexBlock* block) {
        pthread_mutexattr_t attributes;
        pthread_mutexattr_init(&attributes);
        pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
        pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
        pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_ERRORCHECK);
        int result = pthread_mutex_init(&block->mutex, &attributes);
        pthread_mutexattr_destroy(&attributes);
        block->abandoned = 0;
        block->state.store(result == 0 ? kReady : kUnset);
        return result == 0;
    }

    int fd_;
    SharedMutexBlock* block_;
    std::string shmName_;
    std::atomic<DWORD> owner_{0};
    DWORD count_ = 0; // touched only by the owner
};

} // namespace

} // namespace platform

using platform::LocalMutex;
using platform::MutexObject;
using platform::NamedMutex;

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR name) {
    std::string objectName;
    if (!platform::normaliseObjectName(name, objectName)) {
        return nullptr;
    }
    if (objectName.empty()) {
        auto mutex = std::make_shared<LocalMutex>(initialOwner != FALSE);
        mutex->noteInitialOwner();
        HANDLE handle = platform::addHandle(mutex);
        SetLastError(ERROR_SUCCESS);
        return handle;
    }
    bool existed = false;
    bool createdShared = false;
    DWORD error = ERROR_SUCCESS;
    std::shared_ptr<platform::KernelObject> object = platform::openOrCreateNamed(
        objectName, existed, [&]() -> std::shared_ptr<platform::KernelObject> {
            auto mutex = NamedMutex::open(objectName, createdShared);
            if (!mutex) {
                error = GetLastError();
            }
            return mutex;
        });
    if (!object) {
        SetLastError(error);
        return nullptr;
    }
    auto mutex = std::dynamic_pointer_cast<NamedMutex>(object);
    if (!mutex) {
        SetLastError(ERROR_INVALID_HANDLE); // the name belongs to another kind of object
        return nullptr;
    }
    existed = existed || !createdShared;
    // The caller of an existing mutex gets no ownership, as on Windows.
    if (!existed && initialOwner && mutex->wait(INFINITE) == WAIT_FAILED) {
        return nullptr;
    }
    HANDLE handle = platform::addHandle(mutex);
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL ReleaseMutex(HANDLE mutex) {
    auto object = platform::findHandleAs<MutexObject>(mutex);
    if (!object) {
        return FALSE;
    }
    return object->release();
}
