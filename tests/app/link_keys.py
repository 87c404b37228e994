"""The System V keys through which copies of one tarnwick executable link, and their removal.

usage: link_keys.py <tarnwick>   removes the segment and semaphores of that executable

Every run of the program attaches to them and none removes them; the tests that run the
built program remove them when they are done, so that test runs leave nothing behind.
"""
import ctypes
import sys

libc = ctypes.CDLL(None, use_errno=True)
IPC_RMID = 0


def keys(path):
    return [libc.ftok(path.encode(), ord(project)) for project in "NO"]


def keys_unused(path):
    segment_key, semaphore_key = keys(path)
    return -1 not in (segment_key, semaphore_key) and libc.shmget(segment_key, 0, 0) == -1 \
        and libc.semget(semaphore_key, 0, 0) == -1


def remove_link(path):
    segment_key, semaphore_key = keys(path)
    if -1 in (segment_key, semaphore_key):
        return
    segment = libc.shmget(segment_key, 0, 0)
    if segment != -1:
        libc.shmctl(segment, IPC_RMID, None)
    semaphores = libc.semget(semaphore_key, 0, 0)
    if semaphores != -1:
        libc.semctl(semaphores, 0, IPC_RMID)


if __name__ == "__main__":
    remove_link(sys.argv[1])
