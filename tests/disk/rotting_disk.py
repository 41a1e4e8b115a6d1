#!/usr/bin/python3
"""A disk that lies, for the tests: mounts FOLDER read-write at MOUNTPOINT through FUSE, with the
kernel's page cache kept (kernel_cache) as a real disk's is, and stores what is written as it is
written, but gives other bytes back than it stored, as a failing drive or a cheap bridge does, or
fills, fails or stalls.

    rotting_disk.py FOLDER MOUNTPOINT [--rot NAME:OFFSET]... [--lose-tail NAME:BYTES] [--full NAME:OFFSET]
                    [--eio NAME:OFFSET] [--stall NAME:OFFSET:SECONDS] [--no-new-files] [--log FILE [--label L]]
    fusermount -u MOUNTPOINT

--rot NAME:OFFSET   reads of the file NAME (a path under FOLDER) give the byte at OFFSET inverted
--lose-tail NAME:N  reads of the file NAME end N bytes before its end
--full NAME:OFFSET  writes to the file NAME that reach OFFSET fail: no space left on the device
--eio NAME:OFFSET   reads of the file NAME that reach OFFSET fail with an input/output error
--stall NAME:OFFSET:SECONDS  the first write to NAME that reaches OFFSET waits SECONDS first
--no-new-files      no file or folder can be created, as in a folder the user may not write;
                    the files there can still be written
--log FILE          appends a line for each fsync, read, write and rename: "fsync NAME",
                    "read NAME OFFSET SIZE", "write NAME OFFSET SIZE", "rename OLD NEW", and
                    "stall NAME" and "stalled NAME" around a stall; disks may share one log
--label L           begins each line of the log with "L ", to tell disks that share it apart

Runs in the foreground until unmounted. Needs Debian's fuse3 and python3-fuse, and /dev/fuse (as
root); run it with /usr/bin/python3.
"""
import errno
import os
import sys
import threading
import time

import fuse

fuse.fuse_python_api = (0, 2)


class RottingDisk(fuse.Fuse):
    def __init__(self, *args, **kw):
        super().__init__(*args, **kw)
        self.root = "."
        self.rot = {}  # "/NAME" -> offsets whose bytes read back inverted
        self.lost = {}  # "/NAME" -> bytes lost at the end
        self.full = {}  # "/NAME" -> offset no write may reach
        self.eio = {}  # "/NAME" -> offset no read may reach
        self.stall = {}  # "/NAME" -> (offset, seconds), once
        self.no_new_files = False
        self.log = ""
        self.label = ""
        self.log_lock = threading.Lock()

    def real(self, path):
        return os.path.join(self.root, path.lstrip("/"))

    def note(self, line):
        if self.log:
            with self.log_lock, open(self.log, "a") as f:
                f.write(self.label + line + "\n")

    def getattr(self, path):
        try:
            return os.lstat(self.real(path))
        except OSError as e:
            return -e.errno

    def readdir(self, path, offset):
        for name in [".", ".."] + os.listdir(self.real(path)):
            yield fuse.Direntry(name)

    def mkdir(self, path, mode):
        if self.no_new_files:
            return -errno.EACCES
        os.mkdir(self.real(path), mode)

    def unlink(self, path):
        os.unlink(self.real(path))

    def utimens(self, path, accessed, modified):
        os.utime(self.real(path), ns=(accessed.tv_sec * 10**9 + accessed.tv_nsec,
                                      modified.tv_sec * 10**9 + modified.tv_nsec))

    def open(self, path, flags):
        return 0 if os.path.exists(self.real(path)) else -errno.ENOENT

    def create(self, path, flags, mode):
        if self.no_new_files:
            return -errno.EACCES
        os.close(os.open(self.real(path), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, mode))
        return 0

    def truncate(self, path, size):
        os.truncate(self.real(path), size)

    def rename(self, old, new):
        self.note(f"rename {old} {new}")
        os.rename(self.real(old), self.real(new))

    def chmod(self, path, mode):
        os.chmod(self.real(path), mode)

    def write(self, path, data, offset):
        self.note(f"write {path} {offset} {len(data)}")
        if path in self.full and offset + len(data) > self.full[path]:
            return -errno.ENOSPC
        if path in self.stall and offset + len(data) > self.stall[path][0]:
            self.note(f"stall {path}")
            time.sleep(self.stall.pop(path)[1])
            self.note(f"stalled {path}")
        with open(self.real(path), "r+b") as f:
            f.seek(offset)
            f.write(data)
        return len(data)

    def fsync(self, path, datasync):
        self.note(f"fsync {path}")
        return 0

    def read(self, path, size, offset):
        self.note(f"read {path} {offset} {size}")
        if path in self.eio and offset + size > self.eio[path]:
            return -errno.EIO
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
    plain, rot, lost, full, eio, stall, log, no_new_files, label = [], {}, {}, {}, {}, {}, "", False, ""
    while args:
        a = args.pop(0)
        if a == "--no-new-files":
            no_new_files = True
        elif a == "--stall":
            name, offset, seconds = args.pop(0).rsplit(":", 2)
            stall["/" + name.lstrip("/")] = (int(offset), float(seconds))
        elif a in ("--rot", "--lose-tail", "--full", "--eio"):
            name, _, number = args.pop(0).rpartition(":")
            name = "/" + name.lstrip("/")
            if a == "--rot":
                rot.setdefault(name, []).append(int(number))
            else:
                {"--lose-tail": lost, "--full": full, "--eio": eio}[a][name] = int(number)
        elif a == "--label":
            label = args.pop(0) + " "
        elif a == "--log":
            log = os.path.abspath(args.pop(0))
        else:
            plain.append(a)
    if len(plain) != 2:
        sys.exit(__doc__)
    server = RottingDisk(version="%prog 1", usage=__doc__, dash_s_do="setsingle")
    server.root = os.path.abspath(plain[0])
    server.rot, server.lost, server.full, server.eio, server.stall, server.log = rot, lost, full, eio, stall, log
    server.no_new_files, server.label = no_new_files, label
    server.parse([plain[1], "-f", "-s", "-o", "kernel_cache"], errex=1)
    server.main()


if __name__ == "__main__":
    main()
