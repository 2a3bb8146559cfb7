#!/usr/bin/env python3
"""The unit's side of the Windows benchmark.

relay UNIT_TTY LINK LOG: stands between mq6-sim's terminal and a pseudo-terminal of its own,
linked at LINK (the prefix's COM port), passing bytes both ways as they come. It notes, by
the system clock (CLOCK_REALTIME), the moment it has written the last byte of each live frame
("F <ns>") and the moment it has read each chunk from the utility ("R <ns> <bytes as hex>").

report RELAY_LOG APP_LOG FROM_NS TO_NS: pairs each change of the readouts that the utility
noted ("D <ns> ..." in its MQ6WB_BENCH_LOG, taken with GetSystemTimePreciseAsFileTime) with the
last live frame written before it, and prints the latency figures of the frames written in
[FROM_NS, TO_NS]. The two clocks are checked against each other both ways: a frame the utility
starts to write ("S <ns> class subcommand") must reach the relay after it was started, and a
readout must change after its frame was written; the smallest gaps each way bound the offset.
"""
import os
import select
import sys
import time
import tty

FRAME_SIZE = 9
FRAME_HEADER = 0x57


def is_live_frame(window):
    """A live frame: "W", six bytes, their 16-bit sum with the header, high byte first."""
    if len(window) != FRAME_SIZE or window[0] != FRAME_HEADER:
        return False
    return sum(window[:7]) & 0xFFFF == (window[7] << 8) | window[8]


def now_ns():
    return time.clock_gettime_ns(time.CLOCK_REALTIME)


def relay(unit_tty, link, log_path):
    unit = os.open(unit_tty, os.O_RDWR | os.O_NOCTTY)
    tty.setraw(unit)
    master, slave = os.openpty()
    tty.setraw(slave)
    # The slave stays open here (and is never read) so that the master does not fail while
    # the utility has the port closed.
    if os.path.lexists(link):
        os.unlink(link)
    os.symlink(os.ttyname(slave), link)
    log = open(log_path, "w", buffering=1)
    window = bytearray()
    while True:
        ready, _, _ = select.select([unit, master], [], [])
        if unit in ready:
            try:
                data = os.read(unit, 4096)
            except OSError:  # the simulated unit has gone
                return
            if not data:
                return
            os.write(master, data)
            written = now_ns()
            for byte in data:
                window.append(byte)
                del window[:-FRAME_SIZE]
                if is_live_frame(window):
                    log.write(f"F {written}\n")
        if master in ready:
            data = os.read(master, 4096)
            received = now_ns()
            os.write(unit, data)
            log.write(f"R {received} {data.hex()}\n")


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))]


def report(relay_log, app_log, start, end):
    frames, chunks, changes, sends = [], [], [], []
    for line in open(relay_log):
        fields = line.split()
        if fields[0] == "F":
            frames.append(int(fields[1]))
        elif fields[0] == "R":
            chunks.append((int(fields[1]), bytes.fromhex(fields[2])))
    for line in open(app_log):
        fields = line.split()
        if fields[0] == "D":
            changes.append(int(fields[1]))
        elif fields[0] == "S":
            sends.append((int(fields[1]), int(fields[2]), int(fields[3])))

    # Down: each readout change after the last frame written before it.
    latencies, unexplained = [], 0
    index = 0
    window_frames = [f for f in frames if start <= f <= end]
    for change in changes:
        while index < len(frames) and frames[index] <= change:
            index += 1
        if index == 0:
            continue
        frame = frames[index - 1]
        if start <= frame <= end:
            gap = change - frame
            if gap > 50_000_000:  # later than the next frame: not the frame that caused it
                unexplained += 1
            else:
                latencies.append(gap)
    # Up: each frame the utility wrote, matched by its first two bytes to the first chunk the
    # relay read after the send was noted.
    up = []
    position = 0
    for sent, klass, sub in sends:
        for number in range(position, len(chunks)):
            received, data = chunks[number]
            if len(data) >= 2 and data[0] == klass and data[1] == sub and received >= sent - 50_000_000:
                up.append(received - sent)
                position = number + 1
                break
    # A log without sends (the desktop program's, mq6 live's rows) has no upward figure.
    if not latencies or (sends and not up):
        print(f"no latency: {len(latencies)} readout changes, {len(up)} frames to the unit matched")
        return 1
    ms = 1e-6
    print(f"{percentile(latencies, 0.5) * ms:.2f} {percentile(latencies, 0.99) * ms:.2f} "
          f"{max(latencies) * ms:.2f} {len(latencies)} {len(window_frames)} {unexplained} "
          f"{min(latencies) * ms:.3f} {f'{min(up) * ms:.3f}' if up else '-'} {len(up)}")
    return 0


def main(argv):
    if len(argv) == 5 and argv[1] == "relay":
        relay(argv[2], argv[3], argv[4])
        return 0
    if len(argv) == 6 and argv[1] == "report":
        return report(argv[2], argv[3], int(argv[4]), int(argv[5]))
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
