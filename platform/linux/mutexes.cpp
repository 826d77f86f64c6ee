// Mutexes, recursive for their owner and abandoned when the owner ends while
// holding them. A named mutex is shared by every process that opens the name:
// it is a robust, process-shared pthread mutex in a POSIX shared memory
// object, so the kernel reports the death of an owning process to the next
// waiter.
//
// The objects of a store live in a directory of /dev/shm of its own, with
// the store's mode (private, or shared with the printing group), whose random
// name the store records in its file ".par1-objects": no other user can
// guess, create, open, hold or break them. A directory that is missing (after
// a reboot) or not the store's (planted by another user) is replaced by a new
// one. Objects are created O_EXCL | O_NOFOLLOW and never open to all.
//
// Lifetime of a name: every process that has it open holds a shared flock on
// the memory object; the last one to close it (the one that gets the lock
// exclusively) removes the name, as Windows forgets a name with its last
// handle. An opener that gets the lock exclusively is alone with the name and
// sets the object up afresh; one that finds it already unlinked starts over.
#include "platform/linux/host_paths.h"
#include "platform/linux/sync.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/random.h>
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
constexpr uint32_t kReady = 0x50415231; // "PAR1": a block that says otherwise is not a mutex

const char sharedMemory[] = "/dev/shm";
const char namespaceRecord[] = ".par1-objects";

// A directory of /dev/shm may hold the store's objects when root, the caller
// or (for a group store) the store's group made it and no one else may
// enter it.
bool isStoreObjectDirectory(const struct stat& info, const struct stat& store) {
    const bool groupStore = (store.st_mode & S_IWGRP) != 0;
    const bool owner =
        info.st_uid == 0 || info.st_uid == geteuid() || (groupStore && info.st_gid == store.st_gid);
    return S_ISDIR(info.st_mode) && owner && (info.st_mode & S_IRWXO) == 0 &&
           (groupStore || (info.st_mode & S_IRWXG) == 0);
}

// A new directory with a random name, with the store's mode; its name or
// empty.
std::string makeObjectDirectory(int shm, const StateDirectory& store, gid_t group) {
    static const char digits[] = "0123456789abcdef";
    for (int attempt = 0; attempt < 10; ++attempt) {
        unsigned char random[12];
        if (getrandom(random, sizeof random, 0) != ssize_t(sizeof random)) {
            return std::string();
        }
        std::string name = "par1-";
        for (unsigned char c : random) {
            name += digits[c >> 4];
            name += digits[c & 15];
        }
        if (mkdirat(shm, name.c_str(), 0700) != 0) {
            if (errno == EEXIST) {
                continue;
            }
            return std::string();
        }
        int fd = openat(shm, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            return std::string();
        }
        bool done = (store.directoryMode & S_IRWXG) == 0 ||
                    (fchown(fd, uid_t(-1), group) == 0 && fchmod(fd, store.directoryMode) == 0);
        close(fd);
        return done ? name : std::string();
    }
    return std::string();
}

// Opens the directory of the named objects of drive C:'s store; its
// descriptor, or -1 with the last error set.
int openObjectDirectory() {
    StateDirectory store;
    if (int error = openStateDirectory(driveCRoot(), store)) {
        SetLastError(error == EACCES ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND);
        return -1;
    }
    struct stat storeInfo;
    int record = openStateFile(store, namespaceRecord, O_RDWR | O_CREAT);
    if (record < 0 || fstat(store.fd, &storeInfo) != 0) {
        if (record >= 0) {
            close(record);
        }
        SetLastError(ERROR_ACCESS_DENIED);
        return -1;
    }
    struct stat recordInfo;
    if (fstat(record, &recordInfo) == 0 && recordInfo.st_uid == geteuid()) {
        fchmod(record, store.fileMode); // whatever the umask
    }
    // The record's lock makes one process at a time check or replace the
    // directory. Only the store's users can open the record; they hold it
    // for a moment, and the wait is bounded all the same.
    Deadline deadline(5000);
    while (flock(record, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK || deadline.expired()) {
            close(record);
            SetLastError(ERROR_TIMEOUT);
            return -1;
        }
        usleep(1000);
    }
    char text[64] = {};
    ssize_t length = pread(record, text, sizeof text - 1, 0);
    std::string name(text, length > 0 ? size_t(length) : 0);
    int shm = open(sharedMemory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int directory = -1;
    if (shm >= 0 && name.size() == 29 && name.compare(0, 5, "par1-") == 0) {
        directory = openat(shm, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat info;
        if (directory >= 0 &&
            (fstat(directory, &info) != 0 || !isStoreObjectDirectory(info, storeInfo))) {
            reportStateProblem(std::string("par1: ") + sharedMemory + "/" + name +
                               " is not the store's own; the store's objects move");
            close(directory);
            directory = -1;
        }
    }
    if (shm >= 0 && directory < 0) {
        name = makeObjectDirectory(shm, store, storeInfo.st_gid);
        if (!name.empty() && ftruncate(record, 0) == 0 &&
            pwrite(record, name.data(), name.size(), 0) == ssize_t(name.size())) {
            directory = openat(shm, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
    }
    if (shm >= 0) {
        close(shm);
    }
    close(record); // and its lock
    if (directory < 0) {
        SetLastError(ERROR_GEN_FAILURE);
    }
    return directory;
}

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
    return "mutex-" + encoded;
}

class NamedMutex : public MutexObject {
public:
    NamedMutex(int directory, int fd, SharedMutexBlock* block, std::string shmName)
        : directory_(directory), fd_(fd), block_(block), shmName_(std::move(shmName)) {}

    ~NamedMutex() override {
        CancellationBlock block;
        munmap(block_, sizeof(SharedMutexBlock));
        // Converting to an exclusive lock succeeds only for the last holder
        // of the name in any process. Remove the name only while it still
        // names this object.
        if (flock(fd_, LOCK_EX | LOCK_NB) == 0) {
            struct stat ours {};
            struct stat named {};
            if (fstat(fd_, &ours) == 0 &&
                fstatat(directory_, shmName_.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                ours.st_ino == named.st_ino && ours.st_dev == named.st_dev) {
                unlinkat(directory_, shmName_.c_str(), 0);
            }
        }
        close(fd_);
        close(directory_);
    }

    // Opens or creates the shared object of a name; null with the last error
    // set on failure. created tells whether no other process had it open.
    static std::shared_ptr<NamedMutex> open(const std::string& name, bool& created) {
        const std::string shmName = sharedMemoryName(name);
        const int directory = openObjectDirectory();
        if (directory < 0) {
            return nullptr;
        }
        struct stat directoryInfo {};
        fstat(directory, &directoryInfo);
        const mode_t mode = (directoryInfo.st_mode & S_IRWXG) != 0 ? 0660 : 0600;
        auto fail = [&](int fd, DWORD error) -> std::shared_ptr<NamedMutex> {
            if (fd >= 0) {
                close(fd);
            }
            close(directory);
            SetLastError(error);
            return nullptr;
        };
        for (int attempt = 0; attempt < 100; ++attempt) {
            const int flags = O_RDWR | O_NOFOLLOW | O_CLOEXEC;
            int fd = openat(directory, shmName.c_str(), flags | O_CREAT | O_EXCL, mode);
            if (fd < 0 && errno == EEXIST) {
                fd = openat(directory, shmName.c_str(), flags);
            }
            if (fd < 0) {
                if (errno == ENOENT) {
                    continue; // removed by its last holder in between
                }
                return fail(-1, errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_GEN_FAILURE);
            }
            // Exclusively ours: nobody has the name open (it is new, or left
            // behind by a process that died), so it starts afresh. Otherwise
            // wait for a shared lock, which an opener setting the object up
            // or the last closer removing it holds off for a moment.
            created = flock(fd, LOCK_EX | LOCK_NB) == 0;
            if (!created && !lockShared(fd)) {
                return fail(fd, ERROR_TIMEOUT);
            }
            struct stat status {};
            if (fstat(fd, &status) != 0 || status.st_nlink == 0) {
                close(fd); // the last holder removed it before we locked it
                continue;
            }
            if (!S_ISREG(status.st_mode)) {
                return fail(fd, ERROR_INVALID_HANDLE);
            }
            if (created) {
                fchmod(fd, mode); // whatever the umask
                if (ftruncate(fd, 0) != 0 || ftruncate(fd, sizeof(SharedMutexBlock)) != 0) {
                    return fail(fd, ERROR_NOT_ENOUGH_MEMORY);
                }
            } else if (status.st_size != static_cast<off_t>(sizeof(SharedMutexBlock))) {
                reportStateProblem("par1: the named mutex " + name + " is not a mutex");
                return fail(fd, ERROR_INVALID_HANDLE);
            }
            void* memory =
                mmap(nullptr, sizeof(SharedMutexBlock), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
            if (memory == MAP_FAILED) {
                return fail(fd, ERROR_NOT_ENOUGH_MEMORY);
            }
            auto* block = static_cast<SharedMutexBlock*>(memory);
            const bool ready = created ? initialise(block) : block->state.load() == kReady;
            if (!ready && !created) {
                reportStateProblem("par1: the named mutex " + name + " is not a mutex");
            }
            // From exclusive to shared: others may open it now.
            if (!ready || (created && flock(fd, LOCK_SH) != 0)) {
                munmap(memory, sizeof(SharedMutexBlock));
                return fail(fd, ready ? ERROR_GEN_FAILURE : ERROR_INVALID_HANDLE);
            }
            return std::make_shared<NamedMutex>(directory, fd, block, shmName);
        }
        return fail(-1, ERROR_GEN_FAILURE);
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
                // Not a working mutex (broken by a user of the store).
                reportStateProblem("par1: a named mutex is not a mutex: " + shmName_);
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
    // The shared lock that keeps the name: its holders hold it exclusively
    // only for a moment, yet the wait is bounded.
    static bool lockShared(int fd) {
        Deadline deadline(5000);
        while (flock(fd, LOCK_SH | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK || deadline.expired()) {
                return false;
            }
            usleep(200);
        }
        return true;
    }

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

    int directory_;
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
