"""Archives of the launcher's .eek format written and read in Python, apart from the project's
own codec: to craft records the packer refuses to write (unsafe names, names used twice, empty
entries, layout 1), and to know independently what a payload holds.

Layout 2 record: 0x02, name length - 1, compressed size (int32 LE), decoded size (int32 LE),
name, stream. Layout 1 record: 12-byte blank-padded name, 8-byte decimal end position, stream.
The first byte of the archive decides the layout of every record (0x02: layout 2).
Stream tokens: x <= 0x7F is a literal run of x + 1 bytes; x >= 0x80 copies (x - 0x80) + 4 bytes
from position p (the next byte, 1 = oldest) of the last 256 output bytes, as they were before
the token, cut short at the history's end."""

from __future__ import annotations

import struct
from dataclasses import dataclass

HISTORY = 256
LONGEST_LITERAL = 128


def literal_stream(data: bytes) -> bytes:
    """A stream of literal runs only: valid for any bytes, and no copy to get wrong."""
    out = bytearray()
    for at in range(0, len(data), LONGEST_LITERAL):
        run = data[at:at + LONGEST_LITERAL]
        out.append(len(run) - 1)
        out += run
    return bytes(out)


def decode_stream(stream: bytes) -> bytes:
    out = bytearray()
    i = 0
    while i < len(stream):
        x = stream[i]
        i += 1
        if x >= 0x80:
            length = x - 0x80 + 4
            p = stream[i] if i < len(stream) else 0
            i += 1
            history = out[-HISTORY:]
            piece = history[p - 1:p - 1 + length] if p >= 1 else b""
        else:
            piece = stream[i:i + x + 1]
            i += x + 1
        out += piece
    return bytes(out)


def record2(name: bytes, data: bytes, stream: bytes | None = None) -> bytes:
    """One layout-2 record holding `data` (or the given stream) under the stored `name`."""
    if not 1 <= len(name) <= 256:
        raise ValueError("layout-2 names are 1 to 256 bytes")
    stream = literal_stream(data) if stream is None else stream
    return struct.pack("<BBii", 0x02, len(name) - 1, len(stream), len(data)) + name + stream


def archive1(entries: list) -> bytes:
    """A layout-1 archive of (name field, data, end field format) entries: the 12-byte name
    field as given (padded with blanks), the end position written with `format` (such as
    "{:<8}" or "{:>8}"), which must give 8 characters."""
    out = bytearray()
    for name, data, end_format in entries:
        if len(name) > 12:
            raise ValueError("layout-1 names are at most 12 bytes")
        stream = literal_stream(data)
        end = len(out) + 20 + len(stream)
        field = end_format.format(end).encode("ascii")
        if len(field) != 8:
            raise ValueError(f"end field {field!r} is not 8 bytes")
        out += name.ljust(12, b" ") + field + stream
    if out and out[0] == 0x02:
        raise ValueError("a layout-1 archive must not start with 0x02")
    return bytes(out)


@dataclass
class Entry:
    stored_name: bytes
    data: bytes  # decoded


def read_archive(archive: bytes) -> list:
    """The entries of a well-formed archive in either layout, decoded."""
    entries = []
    layout2 = archive[:1] == b"\x02"
    pos = 0
    while pos < len(archive):
        if layout2:
            name_length = archive[pos + 1] + 1
            size = struct.unpack_from("<i", archive, pos + 2)[0]
            start = pos + 10 + name_length
            name = archive[pos + 10:start]
            end = start + size
        else:
            name = archive[pos:pos + 12]
            start = pos + 20
            end = int(archive[pos + 12:pos + 20].decode("ascii").strip())
        if end <= pos or end > len(archive):
            raise ValueError(f"record at {pos} does not end inside the archive")
        entries.append(Entry(stored_name=name, data=decode_stream(archive[start:end])))
        pos = end
    return entries


def is_archive(data: bytes) -> bool:
    """Whether `data` is a layout-2 archive of at least one record (as nested archives are)."""
    if data[:1] != b"\x02":
        return False
    try:
        return bool(read_archive(data))
    except (ValueError, struct.error, IndexError):
        return False


def unpacked_name(stored: bytes, layout2: bool = True) -> str:
    """The file name the launcher gives an entry with ASCII name bytes: blanks cut (both ends
    in layout 2, the right end in layout 1), then upper case."""
    name = stored.decode("ascii")
    name = name.strip(" ") if layout2 else name.rstrip(" ")
    return name.upper()
