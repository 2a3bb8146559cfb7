#!/usr/bin/env python3
"""Writes the seed corpora in fuzz/corpus/<target>/: small inputs in the shapes the unit, the
configuration file, the registry and sysfs really have, and the edge cases around them. The
fuzzers grow their working corpora from these; the seeds themselves are committed."""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def frame(header, kind, payload):
    body = bytes([header, kind]) + bytes(payload)
    total = sum(body) & 0xFFFF
    return body + bytes([total >> 8, total & 0xFF])


def live(raw, stoich_x100):
    body = bytes([ord("W"), 0, raw >> 16 & 0xFF, raw >> 8 & 0xFF, raw & 0xFF,
                  stoich_x100 >> 8, stoich_x100 & 0xFF])
    total = sum(body) & 0xFFFF
    return body + bytes([total >> 8, total & 0xFF])


BANNER = (b"MQ-6 LSU 4.2 Controller. Copyright (c) 2026 MQ-6 Project. "
          b"All rights reserved. Version: 1.01")


def data_block(banner=BANNER, mode=0):
    block = bytearray([0xA5] * 128) + bytearray([0x55] * 128)
    block[128:128 + len(banner)] = banner
    if 128 + len(banner) < 255:
        block[128 + len(banner)] = 0
    block[255] = mode
    return bytes(block)


W, Z = ord("W"), ord("Z")
LAMBDA_1 = 0x0A3D70  # about lambda 1.0 in the fine range

RESPONSE_SCAN = {
    "ack_w": frame(W, ord("A"), b"\x00\x00\x00"),
    "refusal_z": frame(Z, ord("N"), b"   "),
    "data_block_w": frame(W, ord("E"), data_block()),
    "data_block_z": frame(Z, ord("E"), data_block(mode=1)),
    "read_back_z": frame(Z, ord("F"), bytes(range(16))),
    "y_frame": frame(Z, ord("Y"), b"\x07"),
    "bad_sum": frame(W, ord("A"), b"abc")[:-1] + b"\x00",
    "double_header": b"WW" + frame(W, ord("A"), b"xyz"),
    "unknown_type": b"WQ" + frame(W, ord("A"), b"xyz"),
    "live_then_ack": live(LAMBDA_1, 1470) * 3 + frame(W, ord("A"), b"\x00\x00\x00"),
    "noise_then_block": bytes(range(0, 256, 7)) + frame(W, ord("E"), data_block()),
    "short_block": frame(W, ord("E"), data_block())[:100],
}

LIVE_FRAME = {
    "one_frame": live(LAMBDA_1, 1470),
    "stream": live(LAMBDA_1, 1470) + live(0x7FFF00, 1470) + live(0xFFFFFF, 65535),
    "bad_sum": live(LAMBDA_1, 1470)[:-1] + b"\x00" + live(LAMBDA_1, 1470),
    "partial": live(LAMBDA_1, 1470) + live(LAMBDA_1, 1470)[:5],
    "noise_before": b"\x00\x13\xff" + live(0x800000, 1460),
    "w_in_payload": live(0x575757, 0x5757),
    "zero": live(0, 0),
}

CONFIG = "[ID] MQ-6 WB Utility\n[PORT] COM3\n[AUTOPORT] 0\n[XPOSHWND] 100\n" \
         "[YPOSHWND] 200\n[LAMBLOW] 0.860000\n[LAMBHIGH] 0.880000\n[LAMBFILT] 50\n"
CONFIG_FILE = {
    "written": CONFIG.encode(),
    "crlf": CONFIG.replace("\n", "\r\n").encode(),
    "no_last_newline": CONFIG.rstrip("\n").encode(),
    "out_of_range": b"[AUTOPORT] 7\n[XPOSHWND] -2\n[YPOSHWND] 99999999999\n"
                    b"[LAMBLOW] nan\n[LAMBHIGH] 2.5\n[LAMBFILT] -1\n",
    "port_31": b"[PORT] /dev/ttyUSB0-" + b"p" * 20 + b"\n",
    "port_32": b"[PORT] /dev/ttyUSB0-" + b"p" * 21 + b"\n",
    "port_blanks": b"[PORT]\t  COM4 \t\n[PORT]\n",
    # The longest recording folder, which once read back as none, and one character more.
    "folder_999": b"[RECFOLDER] " + b"f" * 999 + b"\n",
    "folder_1000": b"[RECFOLDER] " + b"f" * 1000 + b"\n",
    "long_line": b"[PORT] " + b"x" * 1100 + b"\n[LAMBFILT] 10\n",
    "nul_line": b"[PORT] CO\x00M5\n[LAMBFILT] 20\n",
    "unknown": b"[COLOUR] red\n[ID] other\n[LAMBLOW]0.9\n]\n[\n",
    "numbers": b"[LAMBLOW] 1e-300\n[LAMBHIGH] 0x1p0\n[XPOSHWND] +12abc\n[LAMBFILT] 0100\n",
}

USB = "UA10K2QX7\nTLocationInformation=MQ-6\n"
FTDI = "BVid_0403+Pid_6001+A10K2QX7A\\0000\nTFriendlyName=USB Serial Port (COM7)\n"
SERIALCOMM = "C\nT\\Device\\VCP0=COM7\n"
REGISTRY = {
    "attached_unit": (USB + FTDI + SERIALCOMM).encode(),
    "unplugged_unit": (USB + FTDI + "C\nT\\Device\\VCP0=COM9\n").encode(),
    "other_adapter_first": ("UA0000001\nTLocationInformation=FT232R\n"
                            "BVid_0403+Pid_6001+A0000001A\\0000\n"
                            "TFriendlyName=USB Serial Port (COM5)\n"
                            + USB + FTDI + "C\nT\\Device\\VCP0=COM5\nT\\Device\\VCP1=COM7\n"
                            ).encode(),
    "no_serial_number": ("U5&1f2e3d4c&0&2\nTLocationInformation=MQ-6\n"
                         "BVid_0403+Pid_6001+5&1f2e3d4c&0&2A\\0000\n"
                         "TFriendlyName=USB Serial Port (COM12)\n"
                         "C\nT\\Device\\VCP3=COM12\n").encode(),
    "unterminated": ("UA10K2QX7\nSLocationInformation=MQ-6\n"
                     "BVid_0403+Pid_6001+A10K2QX7A\\0000\n"
                     "SFriendlyName=USB Serial Port (COM7\n"
                     "C\nS\\Device\\VCP0=COM7\nO\\Device\\Serial0=COM1\n").encode(),
    "retry_count_low": (USB + FTDI + SERIALCOMM + "P\nDRetryResetCount=\x0a\x00\x00\x00\n").encode(),
    "retry_count_bad": ("P\nDRetryResetCount=\x0a\x00\nOOther=1\n").encode(),
    "read_only": ("R\n" + USB + FTDI + SERIALCOMM).encode(),
}

SYSFS = {
    "unit_by_id": b"1-1.2\t0403\t6001\tMQ-6\tA10K2QX7\tttyUSB0\tusb-MQ-6_A10K2QX7-if00-port0\n",
    "unit_no_link": b"3-2\t0403\t6001\tMQ-6\t\tttyUSB3\n",
    "acm_layout": b"1-4\t0403\t6001\tMQ-6\tX1\ttty/ttyACM0\tusb-acm\n",
    "ordering": b"1-1.10\t0403\t6001\tMQ-6\tB\tttyUSB1\n1-1.2\t0403\t6001\tMQ-6\tA\tttyUSB0\n"
                b"1-1.2:1.0\t0403\t6001\tMQ-6\n",
    "others": b"2-1\t067b\t2303\tMQ-6\tP\tttyUSB4\n2-2\t0403\t6001\tFT232R\tF\tttyUSB5\n"
              b"2-3\t0403\t6001\tMQ-6\tU\n",
}

BANNER_FUZZ = {
    "sample": data_block(),
    "setup_mode": data_block(mode=2),
    "no_nul": data_block(banner=BANNER + b" " * 100),
    "words_out_of_order": data_block(banner=b"Version: 2.10 All Copy"),
    "version_at_end": data_block(banner=b"x" * 120 + b"Version"),
    "long_number": data_block(banner=b"Version: 123456789.987654321"),
    "empty": data_block(banner=b""),
}

SETUP_JSON = """{
  "stoich_afr": 14.70,
  "flags": 0,
  "a1_volts": 0.0,
  "a1_afr": 10.00,
  "a2_volts": 5.0,
  "a2_afr": 20.00,
  "a_response": "Medium",
  "b_mode": "nb",
  "b1_volts": 0.0,
  "b1_afr": 10.00,
  "b2_volts": 5.0,
  "b2_afr": 20.00,
  "b_response": "Medium",
  "nb_offset": 128
}
"""
SETUP_FILE = {
    "printed": SETUP_JSON.encode(),
    "partial": b'{"b_mode": "WB", "b1_volts": 1, "b2_afr": 210, "a_response": null}',
    "edges": b'{"stoich_afr": 0, "a2_afr": 210.0, "a1_volts": 5, "nb_offset": 255, '
             b'"flags": 255, "b_response": "fastest"}',
    "out_of_range": b'{"a1_volts": 5.01, "nb_offset": 256, "stoich_afr": -0.01}',
    "overflow": b'{"a1_volts": 1e5555}',
    "wrong_types": b'{"flags": 1.5, "b_mode": 1, "a_response": "Quick", "a1_afr": "14.7"}',
    "unknown_key": b'{"colour": "red"}',
    "not_object": b'[1, 2, 3]',
    "syntax": b'{"a1_volts": 1,\n  "a2_volts" 2}',
    "escapes": b'{"a_response": "Me\\u0064ium", "b_mode": "\\u006eb"}',
    "empty": b"",
}


def setup_block(stoich, flags, responses, channels, nb_offset):
    block = bytearray([0x5A] * 64)
    block[0:2] = bytes([stoich >> 8, stoich & 0xFF])
    block[2] = flags
    block[3] = block[4] = 0
    block[5], block[6] = responses
    for index, (v1, v2, a1, a2) in enumerate(channels):
        at = 7 + 6 * index
        block[at:at + 6] = bytes([v1, v2, a1 >> 8, a1 & 0xFF, a2 >> 8, a2 & 0xFF])
    block[19] = nb_offset
    info = bytearray(data_block())
    info[4:68] = block
    return bytes(info)


SETUP_BLOCK = {
    "defaults": setup_block(1470, 0, (64, 64), [(0, 50, 1000, 2000)] * 2, 128),
    "linear_b": setup_block(1470, 2, (8, 120), [(0, 50, 1000, 2000), (10, 40, 2000, 1000)], 100),
    "extremes": setup_block(0xFFFF, 0xFF, (0xFF, 0), [(0xFF, 0, 0xFFFF, 0), (0, 0xFF, 0, 0xFFFF)],
                            0xFF),
    "equal_afrs": setup_block(1470, 2, (64, 64), [(10, 40, 1470, 1470)] * 2, 0),
    "short": data_block()[:20],
}

RECORDING = {
    "five_columns": b"time_s,lambda,afr,lambda_raw,stoich\n0.000,0.90,13.2,0.9000,14.70\n",
    "markers_crlf": b"time_s,lambda,afr,lambda_raw,stoich,mark\r\n0.000,0.80,11.8,0.8000,14.70,\r\n"
                    b"0.700,1.20,17.6,1.2000,14.70,1\r\n0.720,1.21,17.8,1.2100,14.70,2\r\n",
    "cut_short": b"time_s,lambda,afr,lambda_raw,stoich,mark\n1.0,0.9,13.2,0.9,14.7,\n1.02,0.",
    "backwards": b"time_s,lambda,afr,lambda_raw,stoich,mark\n5,0.9,13.2,0.9,14.7,\n4,0.9,13.2,0.9,14.7,\n",
}

CORPORA = {
    "response_scan": RESPONSE_SCAN,
    "live_frame": LIVE_FRAME,
    "config_file": CONFIG_FILE,
    "registry": REGISTRY,
    "sysfs": SYSFS,
    "banner": BANNER_FUZZ,
    "setup_file": SETUP_FILE,
    "setup_block": SETUP_BLOCK,
    "recording": RECORDING,
}


def main():
    for target, seeds in CORPORA.items():
        directory = os.path.join(HERE, "corpus", target)
        os.makedirs(directory, exist_ok=True)
        for name, data in seeds.items():
            with open(os.path.join(directory, name), "wb") as out:
                out.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
