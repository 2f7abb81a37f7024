#!/usr/bin/env python3
"""Writes the seed corpus of usbip_device_fuzz: valid USB/IP client streams, one a file.

Each stream is what vhci-hcd sends: an operation request (device list or import of 1-1),
then the URB messages of the imported device. Run from anywhere; the files land in
tests/fuzz/corpus/usbip_device_fuzz/.
"""
import pathlib
import struct

VERSION = 0x0111
CMD_SUBMIT, CMD_UNLINK = 1, 2
DIR_OUT, DIR_IN = 0, 1
NOT_ISO = 0xFFFFFFFF


def op(code, bus_id=None):
    data = struct.pack(">HHI", VERSION, code, 0)
    if bus_id is not None:
        data += bus_id.encode().ljust(32, b"\0")
    return data


def submit(seq, endpoint, direction, length, data=b"", setup=bytes(8)):
    header = struct.pack(">IIIII", CMD_SUBMIT, seq, 0x00010001, direction, endpoint)
    header += struct.pack(">IIIII", 0, length, 0, NOT_ISO, 0) + setup
    return header + (data if direction == DIR_OUT else b"")


def unlink(seq, victim):
    return struct.pack(">IIIII", CMD_UNLINK, seq, 0x00010001, 0, 0) + struct.pack(">I", victim) + bytes(24)


def setup(request_type, request, value, index, length):
    return struct.pack("<BBHHH", request_type, request, value, index, length)


def control(seq, request_type, request, value=0, index=0, length=0):
    direction = DIR_IN if request_type & 0x80 else DIR_OUT
    return submit(seq, 0, direction, length if direction == DIR_IN else 0,
                  setup=setup(request_type, request, value, index, length))


def cbw(tag, length, reads, cdb):
    return struct.pack("<IIIBBB", 0x43425355, tag, length, 0x80 if reads else 0, 0, len(cdb)) + cdb.ljust(16, b"\0")


def command(seq, tag, cdb, length, reads, data=b""):
    """A whole SCSI command: CBW, data stage, CSW; gives the stream and the next seqnum."""
    stream = submit(seq, 2, DIR_OUT, 31, cbw(tag, length, reads, cdb))
    seq += 1
    if length and reads:
        stream += submit(seq, 1, DIR_IN, length)
        seq += 1
    elif length:
        stream += submit(seq, 2, DIR_OUT, length, data)
        seq += 1
    stream += submit(seq, 1, DIR_IN, 13)
    return stream, seq + 1


def enumeration():
    stream = op(0x8003, "1-1")
    stream += control(1, 0x80, 0x06, 0x0100, 0, 18)
    stream += control(2, 0x80, 0x06, 0x0200, 0, 9)
    stream += control(3, 0x80, 0x06, 0x0200, 0, 32)
    stream += control(4, 0x80, 0x06, 0x0300, 0, 255)
    stream += control(5, 0x80, 0x06, 0x0303, 0, 255)
    stream += control(6, 0x80, 0x06, 0x0600, 0, 10)
    stream += control(7, 0x00, 0x09, 1)
    stream += control(8, 0xA1, 0xFE, 0, 0, 1)
    return stream, 9


def main():
    folder = pathlib.Path(__file__).resolve().parent / "corpus" / "usbip_device_fuzz"
    folder.mkdir(parents=True, exist_ok=True)
    seeds = {"devlist": op(0x8005), "import": op(0x8003, "1-1")}

    stream, _ = enumeration()
    stream += control(20, 0x82, 0x00, 0, 0x81, 2)
    stream += control(21, 0x02, 0x01, 0, 0x81)
    stream += control(22, 0x21, 0xFF)
    stream += control(23, 0x80, 0x08, 0, 0, 1)
    stream += control(24, 0xC0, 0x01, 0, 0, 4)  # stalls
    seeds["control_requests"] = stream

    stream, seq = enumeration()
    part, seq = command(seq, 1, bytes([0x12, 0, 0, 0, 36, 0]), 36, True)
    seeds["inquiry"] = stream + part

    identify = bytes([0xFC] + [0] * 11) + b"INQU"
    stream, seq = enumeration()
    part, seq = command(seq, 2, identify, 512, True)
    seeds["vendor_identify"] = stream + part

    stream, seq = enumeration()
    for tag, (cdb, length, reads) in enumerate([
        (bytes([0x00, 0, 0, 0, 0, 0]), 0, False),
        (bytes([0x23, 0, 0, 0, 0, 0, 0, 0, 252, 0]), 252, True),
        (bytes([0x25] + [0] * 9), 8, True),
        (bytes([0x1A, 0, 0x3F, 0, 192, 0]), 192, True),
        (bytes([0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0]), 512, True),
        (bytes([0x2A, 0, 0, 0, 0, 8, 0, 0, 1, 0]), 512, False),
        (bytes([0x1E, 0, 0, 0, 1, 0]), 0, False),
    ]):
        part, seq = command(seq, tag, cdb, length, reads, bytes(length))
        stream += part
    seeds["block_commands"] = stream

    stream, seq = enumeration()
    stream += submit(seq, 1, DIR_IN, 13)  # waits: no command yet
    stream += unlink(seq + 1, seq)
    stream += submit(seq + 2, 2, DIR_OUT, 30, bytes(30))  # invalid CBW: both halted
    stream += control(seq + 3, 0x21, 0xFF)
    stream += control(seq + 4, 0x02, 0x01, 0, 0x81)
    stream += control(seq + 5, 0x02, 0x01, 0, 0x02)
    seeds["unlink_and_reset_recovery"] = stream

    for name, data in seeds.items():
        (folder / name).write_bytes(data)


if __name__ == "__main__":
    main()
