#!/usr/bin/env python3
"""Peak memory of tessalok-vdrive while iSCSI sessions hold what they may: two writes of
16 MiB short of their last 256 KiB (the 32 MiB of pending writes), 1 MiB of NOP-Out data
and 26 reads of 4 MiB held behind a CmdSN gap, released at once when the gap fills.
Prints VmHWM (peak resident size) before and after.

usage: measure-iscsi-memory.py PATH/TO/tessalok-vdrive [SESSIONS]"""
import os, socket, subprocess, sys, tempfile, time

EXE = sys.argv[1]
SESSIONS = int(sys.argv[2]) if len(sys.argv) > 2 else 1
MIB = 1 << 20

def keys(pairs):
    return b"".join(f"{k}={v}".encode() + b"\0" for k, v in pairs)

def pdu(op, flags, tag, data=b"", words=None, cdb=b"", lun0=True, immediate=False):
    h = bytearray(48)
    h[0] = op | (0x40 if immediate else 0)
    h[1] = flags
    h[5:8] = len(data).to_bytes(3, "big")
    h[16:20] = tag.to_bytes(4, "big")
    for off, val in (words or {}).items():
        h[off:off + 4] = (val & 0xFFFFFFFF).to_bytes(4, "big")
    if cdb:
        h[32:32 + len(cdb)] = cdb
    return bytes(h) + data + b"\0" * ((4 - len(data) % 4) % 4)

def recv_pdu(s):
    head = b""
    while len(head) < 48:
        chunk = s.recv(48 - len(head))
        if not chunk:
            raise EOFError
        head += chunk
    n = int.from_bytes(head[5:8], "big")
    n += (4 - n % 4) % 4
    data = b""
    while len(data) < n:
        chunk = s.recv(min(n - len(data), 1 << 20))
        if not chunk:
            raise EOFError
        data += chunk
    return head, data

def hwm(pid):
    for line in open(f"/proc/{pid}/status"):
        if line.startswith(("VmHWM", "VmRSS")):
            print("   ", line.strip())
        if line.startswith("VmHWM"):
            return int(line.split()[1])

def session(port, isid):
    s = socket.create_connection(("127.0.0.1", port))
    login = pdu(0x03, 0x80 | 0x04 | 0x03, 1, keys([
        ("InitiatorName", "iqn.2026-12.measure:i"), ("TargetName", "iqn.2026-12.org.tessalok:vdrive-e"),
        ("MaxRecvDataSegmentLength", "262144"), ("MaxBurstLength", "1048576")]), {24: 1}, immediate=True)
    login = bytearray(login); login[13] = isid; login[1] = 0x87
    s.sendall(login)
    h, d = recv_pdu(s)
    assert h[36] == 0, d
    return s

def fill(s):
    cmdsn = 1
    # Two writes of 16 MiB each, their data sent but for the last 256 KiB.
    for tag in (10, 11):
        cdb = bytes([0x2A, 0, 0, 0, 0, 0, 0, 0x80, 0x00, 0])  # 32768 blocks: refused only once whole
        s.sendall(pdu(0x01, 0x80 | 0x20, tag, b"", {20: 16 * MIB, 24: cmdsn}, cdb))
        cmdsn += 1
        sent = 0
        while sent < 16 * MIB - 256 * 1024:
            h, _ = recv_pdu(s)
            assert h[0] & 0x3F == 0x31, hex(h[0])  # R2T
            ttt = int.from_bytes(h[20:24], "big")
            offset = int.from_bytes(h[40:44], "big")
            length = int.from_bytes(h[44:48], "big")
            datasn = 0
            while length > 0 and sent < 16 * MIB - 256 * 1024:
                piece = min(256 * 1024, length)
                final = 0x80 if piece == length else 0
                s.sendall(pdu(0x05, final, tag, b"w" * piece, {20: ttt, 36: datasn, 40: offset}))
                datasn += 1; offset += piece; length -= piece; sent += piece
    # NOP-Outs with 1 MiB of data and 31 reads of 4 MiB behind a gap at `cmdsn`.
    gap = cmdsn
    for i in range(4):
        s.sendall(pdu(0x00, 0x80, 100 + i, b"n" * (256 * 1024), {20: 0xFFFFFFFF, 24: gap + 1 + i}))
    for i in range(26):
        cdb = bytes([0x28, 0, 0, 0, 0, 0, 0, 0x20, 0x00, 0])  # 8192 blocks, 4 MiB
        s.sendall(pdu(0x01, 0x80 | 0x40, 200 + i, b"", {20: 4 * MIB, 24: gap + 5 + i}, cdb))
    return gap

def release(s, gap):
    s.sendall(pdu(0x00, 0x80, 99, b"", {20: 0xFFFFFFFF, 24: gap}))
    got = 0
    while got < 26 * 4 * MIB:
        h, d = recv_pdu(s)
        if h[0] & 0x3F == 0x25:
            got += len(d)

with tempfile.TemporaryDirectory() as tmp:
    pf = os.path.join(tmp, "iscsi")
    proc = subprocess.Popen([EXE, "--port", "0", "--iscsi", "0", "--iscsi-port-file", pf],
                            stdout=subprocess.DEVNULL)
    for _ in range(100):
        if os.path.exists(pf) and open(pf).read().strip():
            break
        time.sleep(0.05)
    port = int(open(pf).read())
    time.sleep(0.2)
    print("idle server:"); base = hwm(proc.pid)
    sockets = [session(port, i + 1) for i in range(SESSIONS)]
    gaps = [fill(s) for s in sockets]
    time.sleep(0.5)
    print(f"{SESSIONS} session(s) holding pending writes and held commands:"); hwm(proc.pid)
    for s, g in zip(sockets, gaps):
        release(s, g)
    print("after the held reads went out:"); peak = hwm(proc.pid)
    print(f"peak above the idle server: {(peak - base) / 1024:.1f} MiB, "
          f"{(peak - base) / 1024 / SESSIONS:.1f} MiB per session")
    proc.terminate(); proc.wait()
