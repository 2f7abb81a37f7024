"""Rewrites a package so that its bytes depend only on the files it holds.

A zip: entries in name order; each with the given time (seconds since 1970, as UTC: a zip
keeps no time zone, and the archiver would have written the builder's local time), mode
755 for folders and executables and 644 for the rest, no extra fields, and deflate at one
level.
A .deb (an ar archive): each member's mode 644, where the archiver wrote the builder's umask.
Usage: normalize_package.py PACKAGE SECONDS
"""
import os
import sys
import tempfile
import time
import zipfile

AR_MAGIC = b"!<arch>\n"
AR_HEADER_SIZE = 60
AR_MODE = slice(40, 48)
AR_SIZE = slice(48, 58)


def normalized_entry(source: zipfile.ZipInfo, date_time: tuple) -> zipfile.ZipInfo:
    entry = zipfile.ZipInfo(source.filename, date_time=date_time)
    entry.create_system = 3  # Unix, so the mode below is read
    unix_mode = source.external_attr >> 16
    if source.is_dir():
        entry.external_attr = (0o40755 << 16) | 0x10
        entry.compress_type = zipfile.ZIP_STORED
    else:
        mode = 0o755 if unix_mode & 0o100 else 0o644
        entry.external_attr = (0o100000 | mode) << 16
        entry.compress_type = zipfile.ZIP_DEFLATED
    return entry


def normalize_zip(archive: str, temporary: str, seconds: int) -> None:
    # A zip cannot hold a time before 1980.
    date_time = max(time.gmtime(seconds)[:6], (1980, 1, 1, 0, 0, 0))
    with zipfile.ZipFile(archive) as source, \
            zipfile.ZipFile(temporary, "w", compresslevel=9) as target:
        for info in sorted(source.infolist(), key=lambda item: item.filename):
            target.writestr(normalized_entry(info, date_time), source.read(info))


def normalize_deb(archive: str, temporary: str) -> None:
    with open(archive, "rb") as source:
        data = bytearray(source.read())
    if not data.startswith(AR_MAGIC):
        raise ValueError(f"{archive} is not an ar archive")
    offset = len(AR_MAGIC)
    while offset < len(data):
        if offset + AR_HEADER_SIZE > len(data):
            raise ValueError(f"{archive}: a member header is cut short")
        header = offset
        data[header + AR_MODE.start:header + AR_MODE.stop] = b"100644".ljust(8)
        size = int(data[header + AR_SIZE.start:header + AR_SIZE.stop].decode("ascii"))
        offset = header + AR_HEADER_SIZE + size + (size & 1)
    with open(temporary, "wb") as target:
        target.write(data)


def main() -> int:
    if len(sys.argv) != 3 or not sys.argv[2].isdigit():
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    archive = sys.argv[1]
    folder = os.path.dirname(os.path.abspath(archive))
    with tempfile.NamedTemporaryFile(dir=folder, delete=False) as output:
        temporary = output.name
    try:
        if archive.endswith(".deb"):
            normalize_deb(archive, temporary)
        else:
            normalize_zip(archive, temporary, int(sys.argv[2]))
        os.chmod(temporary, 0o644)
        os.replace(temporary, archive)
    finally:
        if os.path.exists(temporary):
            os.remove(temporary)
    return 0


if __name__ == "__main__":
    sys.exit(main())
