#!/usr/bin/python3
"""A disk that lies, for the tests: mounts FOLDER read-write at MOUNTPOINT through FUSE, with the
kernel's page cache kept (kernel_cache) as a real disk's is, and stores what is written as it is
written, but gives other bytes back than it stored, as a failing drive or a cheap bridge does.

    rotting_disk.py FOLDER MOUNTPOINT [--rot NAME:OFFSET]... [--lose-tail NAME:BYTES] [--log FILE]
    fusermount -u MOUNTPOINT

--rot NAME:OFFSET   reads of the file NAME (a path under FOLDER) give the byte at OFFSET inverted
--lose-tail NAME:N  reads of the file NAME end N bytes before its end
--log FILE          appends a line for each fsync and read: "fsync NAME", "read NAME OFFSET SIZE"

Runs in the foreground until unmounted. Needs Debian's fuse3 and python3-fuse, and /dev/fuse (as
root); run it with /usr/bin/python3.
"""
import errno
import os
import sys
import threading

import fuse

fuse.fuse_python_api = (0, 2)


class RottingDisk(fuse.Fuse):
    def __init__(self, *args, **kw):
        super().__init__(*args, **kw)
        self.root = "."
        self.rot = {}  # "/NAME" -> offsets whose bytes read back inverted
        self.lost = {}  # "/NAME" -> bytes lost at the end
        self.log = ""
        self.log_lock = threading.Lock()

    def real(self, path):
        return os.path.join(self.root, path.lstrip("/"))

    def note(self, line):
        if self.log:
            with self.log_lock, open(self.log, "a") as f:
                f.write(line + "\n")

    def getattr(self, path):
        try:
            return os.lstat(self.real(path))
        except OSError as e:
            return -e.errno

    def readdir(self, path, offset):
        for name in [".", ".."] + os.listdir(self.real(path)):
            yield fuse.Direntry(name)

    def mkdir(self, path, mode):
        os.mkdir(self.real(path), mode)

    def unlink(self, path):
        os.unlink(self.real(path))

    def utimens(self, path, accessed, modified):
        os.utime(self.real(path), ns=(accessed.tv_sec * 10**9 + accessed.tv_nsec,
                                      modified.tv_sec * 10**9 + modified.tv_nsec))

    def open(self, path, flags):
        return 0 if os.path.exists(self.real(path)) else -errno.ENOENT

    def create(self, path, flags, mode):
        os.close(os.open(self.real(path), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, mode))
        return 0

    def truncate(self, path, size):
        os.truncate(self.real(path), size)

    def write(self, path, data, offset):
        with open(self.real(path), "r+b") as f:
            f.seek(offset)
            f.write(data)
        return len(data)

    def fsync(self, path, datasync):
        self.note(f"fsync {path}")
        return 0

    def read(self, path, size, offset):
        self.note(f"read {path} {offset} {size}")
        with open(self.real(path), "rb") as f:
            end = os.fstat(f.fileno()).st_size - self.lost.get(path, 0)
            f.seek(offset)
            data = bytearray(f.read(max(0, min(size, end - offset))))
        for at in self.rot.get(path, []):
            if offset <= at < offset + len(data):
                data[at - offset] ^= 0xFF
        return bytes(data)


def main():
    args = sys.argv[1:]
    plain, rot, lost, log = [], {}, {}, ""
    while args:
        a = args.pop(0)
        if a in ("--rot", "--lose-tail"):
            name, _, number = args.pop(0).rpartition(":")
            name = "/" + name.lstrip("/")
            if a == "--rot":
                rot.setdefault(name, []).append(int(number))
            else:
                lost[name] = int(number)
        elif a == "--log":
            log = os.path.abspath(args.pop(0))
        else:
            plain.append(a)
    if len(plain) != 2:
        sys.exit(__doc__)
    server = RottingDisk(version="%prog 1", usage=__doc__, dash_s_do="setsingle")
    server.root = os.path.abspath(plain[0])
    server.rot, server.lost, server.log = rot, lost, log
    server.parse([plain[1], "-f", "-s", "-o", "kernel_cache"], errex=1)
    server.main()


if __name__ == "__main__":
    main()
