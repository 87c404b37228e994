#include "views/link_segment.h"

#include "core/report.h"

#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace vistra {
namespace {

constexpr int kSegmentProject = 'N';
constexpr int kSemaphoreProject = 'O';
// Only semaphore 0 is used; the set has two for the copies that came before.
constexpr int kSemaphores = 2;

// "<what>: <the system's text for errno>".
std::string failure(const char* what)
{
    const int error = errno;
    return std::string(what) + ": " + std::strerror(error);
}

} // namespace

LinkSegment::~LinkSegment()
{
    close();
}

std::string LinkSegment::open(const std::string& keyPath)
{
    close();
    // A failed ftok gives key -1, which every failing copy would share with strangers.
    const key_t shmKey = ::ftok(keyPath.c_str(), kSegmentProject);
    const key_t semKey = ::ftok(keyPath.c_str(), kSemaphoreProject);
    if (shmKey == -1 || semKey == -1)
        return failure(("could not make a link key from " + keyPath).c_str());
    int id = ::shmget(shmKey, sizeof(SharedRecord), IPC_CREAT | IPC_EXCL | 0666);
    if (id == -1)
        id = ::shmget(shmKey, sizeof(SharedRecord), 0); // another copy made it
    if (id == -1)
        return failure("shmget failed");
    void* attachedAt = ::shmat(id, nullptr, 0);
    if (attachedAt == reinterpret_cast<void*>(-1))
        return failure("could not map shared mem into process");
    const int semaphores = ::semget(semKey, kSemaphores, IPC_CREAT | 0660);
    if (semaphores == -1) {
        const std::string text = failure("semget failed");
        ::shmdt(attachedAt);
        return text;
    }
    shm = id;
    sem = semaphores;
    memory = static_cast<SharedRecord*>(attachedAt);
    return {};
}

void LinkSegment::close()
{
    if (memory)
        ::shmdt(memory);
    memory = nullptr;
    shm = -1;
    sem = -1;
}

bool LinkSegment::lock()
{
    if (sem == -1)
        return false;
    // Wait until nobody holds it, then take it, in one step. SEM_UNDO: the kernel undoes
    // the take when this process ends before the matching unlock.
    sembuf ops[2] = {{0, 0, 0}, {0, 1, SEM_UNDO}};
    timespec timeout{1, 10000};
    return ::semtimedop(sem, ops, 2, &timeout) == 0;
}

void LinkSegment::unlock()
{
    sembuf op = {0, -1, SEM_UNDO};
    if (::semop(sem, &op, 1) != 0)
        fail("release semaphore failed: %s", std::strerror(errno));
}

std::string executablePath(std::string& error)
{
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof path) {
        if (length > 0)
            errno = ENAMETOOLONG;
        error = failure("could not read exec path");
        return {};
    }
    return std::string(path, static_cast<std::size_t>(length));
}

} // namespace vistra
