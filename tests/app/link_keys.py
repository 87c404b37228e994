"""The System V keys through which copies of one tarnwick executable link, and their removal.

usage: link_keys.py <tarnwick>   removes the segment and semaphores of that executable
                                 unless a running program is still attached to them

Every run of the program attaches to them and none removes them; the tests that run the
built program remove them when they are done, so that test runs leave nothing behind.
Keys are made from part of a file's inode number, so another executable on this machine
can share them: a segment that something is still attached to is left alone.
"""
import ctypes
import sys

libc = ctypes.CDLL(None, use_errno=True)
IPC_CREAT = 0o1000
IPC_EXCL = 0o2000
IPC_RMID = 0
RECORD_SIZE = 64
SEMAPHORES = 2


def keys(path):
    return [libc.ftok(path.encode(), ord(project)) for project in "NO"]


def create_exclusively(path):
    """Makes the segment and the semaphore set of path; False when either key is taken."""
    segment_key, semaphore_key = keys(path)
    if -1 in (segment_key, semaphore_key):
        return False
    segment = libc.shmget(segment_key, RECORD_SIZE, IPC_CREAT | IPC_EXCL | 0o666)
    if segment == -1:
        return False
    if libc.semget(semaphore_key, SEMAPHORES, IPC_CREAT | IPC_EXCL | 0o660) == -1:
        libc.shmctl(segment, IPC_RMID, None)
        return False
    return True


def attached(segment):
    """How many processes have the segment attached (from /proc/sysvipc/shm)."""
    with open("/proc/sysvipc/shm") as table:
        header = table.readline().split()
        for line in table:
            fields = dict(zip(header, line.split()))
            if int(fields["shmid"]) == segment:
                return int(fields["nattch"])
    return 0


def remove_link(path, even_if_attached=False):
    segment_key, semaphore_key = keys(path)
    if -1 in (segment_key, semaphore_key):
        return
    segment = libc.shmget(segment_key, 0, 0)
    if segment != -1:
        if not even_if_attached and attached(segment) > 0:
            return
        libc.shmctl(segment, IPC_RMID, None)
    semaphores = libc.semget(semaphore_key, 0, 0)
    if semaphores != -1:
        libc.semctl(semaphores, 0, IPC_RMID)


if __name__ == "__main__":
    remove_link(sys.argv[1])
