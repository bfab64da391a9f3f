#!/usr/bin/env python3
"""Floods a pty with the receive benchmark's kind of data (text lines between runs of random
bytes, 16 MiB) and prints how fast the program on its terminal side drained it. The terminal
side is linked at argv[1]; the flood starts when the file argv[2] appears, and argv[2].done is
made when every byte has been read."""
import fcntl, os, random, struct, sys, termios, time, tty

link, go = sys.argv[1], sys.argv[2]
total = 16 << 20
random.seed(2024)
parts, size, line = [], 0, 0
while size < total:
    text = "".join("Line %06d: PAPER OK, DRAWER CLOSED, 0123456789\r\n" % (line + i) for i in range(8)).encode()
    line += 8
    binary = random.randbytes(64 + random.randrange(448))
    parts += [text, binary]
    size += len(text) + len(binary)
data = b"".join(parts)[:total]

master, slave = os.openpty()
tty.setraw(slave)
if os.path.lexists(link):
    os.remove(link)
os.symlink(os.ttyname(slave), link)
while not os.path.exists(go):
    time.sleep(0.05)
time.sleep(0.5)
start = time.monotonic()
view = memoryview(data)
at = 0
while at < len(data):
    at += os.write(master, view[at:at + 65536])
written = time.monotonic()
while struct.unpack("i", fcntl.ioctl(slave, termios.FIONREAD, b"\0\0\0\0"))[0] > 0:
    time.sleep(0.001)
drained = time.monotonic()
print("drained %d bytes in %.3f s: %.2f MB/s (writes done after %.3f s)" %
      (len(data), drained - start, len(data) / (drained - start) / 1e6, written - start), flush=True)
open(go + ".done", "w").close()
time.sleep(3)
