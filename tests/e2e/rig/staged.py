"""The staged archive, seen through fanotify: a copy of every "Bulktemp.eek" closed after writing
in the watched folders. fanotify needs root: without it the watcher's `error` says why."""

from __future__ import annotations

import ctypes
import hashlib
import os
import struct
from dataclasses import dataclass
from pathlib import Path
from typing import Iterable, Optional

from .product import STAGED_NAME


@dataclass
class Snapshot:
    folder: Path  # Unix folder it was written in
    name: str
    size: int
    sha256: str
    copy: Path  # the bytes as they were when the writer closed the file
    pid: int

    def data(self) -> bytes:
        return self.copy.read_bytes()


class StagedWatcher:
    """Keeps a copy of every "Bulktemp.eek" closed after writing in the watched folders.

    fanotify hands over an open descriptor of the file with each close-after-write event, so
    the bytes stay readable after the launcher has deleted the file: no race with the run."""

    _FAN_CLOSE_WRITE = 0x08
    _FAN_EVENT_ON_CHILD = 0x08000000
    _FAN_CLOEXEC, _FAN_NONBLOCK = 0x1, 0x2
    _FAN_MARK_ADD = 0x1
    _AT_FDCWD = -100
    _METADATA = struct.Struct("IBBHQii")

    def __init__(self, folders: Iterable[Path], out_dir: Path):
        self.out_dir = out_dir
        self.snapshots: list[Snapshot] = []
        self.error: Optional[str] = None
        self.fd = -1
        libc = ctypes.CDLL(None, use_errno=True)
        libc.fanotify_init.argtypes = [ctypes.c_uint, ctypes.c_uint]
        libc.fanotify_mark.argtypes = [ctypes.c_int, ctypes.c_uint, ctypes.c_uint64, ctypes.c_int, ctypes.c_char_p]
        fd = libc.fanotify_init(self._FAN_CLOEXEC | self._FAN_NONBLOCK, os.O_RDONLY | os.O_LARGEFILE)
        if fd < 0:
            self.error = "fanotify_init: " + os.strerror(ctypes.get_errno()) + " (needs root)"
            return
        self.fd = fd
        for folder in folders:
            mask = self._FAN_CLOSE_WRITE | self._FAN_EVENT_ON_CHILD
            if libc.fanotify_mark(fd, self._FAN_MARK_ADD, mask, self._AT_FDCWD, str(folder).encode()) < 0:
                self.error = f"fanotify_mark {folder}: " + os.strerror(ctypes.get_errno())

    def drain(self) -> None:
        if self.fd < 0:
            return
        while True:
            try:
                buffer = os.read(self.fd, 65536)
            except BlockingIOError:
                return
            offset = 0
            while offset + self._METADATA.size <= len(buffer):
                length, _, _, _, _, event_fd, pid = self._METADATA.unpack_from(buffer, offset)
                offset += length
                if event_fd >= 0:
                    try:
                        self._keep(event_fd, pid)
                    finally:
                        os.close(event_fd)

    def _keep(self, event_fd: int, pid: int) -> None:
        target = os.readlink(f"/proc/self/fd/{event_fd}")
        if target.endswith(" (deleted)"):
            target = target[: -len(" (deleted)")]
        path = Path(target)
        if path.name.lower() != STAGED_NAME.lower():
            return
        data = bytearray()
        while True:
            chunk = os.pread(event_fd, 1 << 20, len(data))
            if not chunk:
                break
            data += chunk
        self.out_dir.mkdir(parents=True, exist_ok=True)
        copy = self.out_dir / f"{len(self.snapshots) + 1}-{path.name}"
        copy.write_bytes(data)
        self.snapshots.append(
            Snapshot(folder=path.parent, name=path.name, size=len(data),
                     sha256=hashlib.sha256(data).hexdigest(), copy=copy, pid=pid))

    def close(self) -> None:
        self.drain()
        if self.fd >= 0:
            os.close(self.fd)
            self.fd = -1
