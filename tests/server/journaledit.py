"""Journals written another way, cut at a name's DONE, with other keys typed or with a stall:
the edits the score server's test makes of a game (docs/JOURNAL.md), with the program as the
oracle of the checksums an edit changes."""
import json
import os
import re
import struct
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "golden"))
from journalwalk import encode, variants, varint, walk  # noqa: E402

HEADER = 34
FLAGS = 30
WM_KEYDOWN, WM_KEYUP = 0x100, 0x101
PLAY, SCORE_TABLE, ENTER_NAME = 2, 3, 4


def segments(data):
    """The records after the header as (tag, start, end, first pass, passes); a pass's own
    records as (tag, start, end) in its fifth place instead of the count (it counts one)."""
    found, inside, passes = [], [], 0
    for tag, start, end, number in walk(data):
        if tag == "I":
            found.append(("I", start, end, passes + 1, number))
            passes += number
        elif tag == "P":
            found.append(("P", start, end, number, inside))
            inside, passes = [], number
        elif tag == "Z":
            found.append(("Z", start, end, passes + 1, 0))
        else:
            inside.append((tag, start, end))
    return found


def split_idle(data):
    """The longest idle run written as two, the first of one pass."""
    return variants(data, 1)[0]


def longer_numbers(data):
    """Every idle run's number written a byte longer."""
    out, at = bytearray(), 0
    for tag, start, end, _, count in segments(data):
        if tag == "I":
            out += data[at:start] + b"I" + encode(count, longer=True)
            at = end
    return bytes(out + data[at:])


def with_pass(data, number, change):
    """data with pass number made a pass of its own if it lies in an idle run, and its records
    (the bytes between P and E) given to change."""
    for tag, start, end, first, rest in segments(data):
        if tag == "P" and first == number:
            return data[:start + 1] + change(data[start + 1:end - 1]) + data[end - 1:]
        if tag == "I" and first <= number < first + rest:
            before, after = number - first, first + rest - number - 1
            idle = lambda n: b"I" + encode(n) if n else b""  # noqa: E731
            return data[:start] + idle(before) + b"P" + change(b"") + b"E" + idle(after) + data[end:]
    raise ValueError(f"the journal has no pass {number}")


def set_frame(data, number, checksum):
    """The frame checksum of pass number set, recorded there if it was not."""
    def change(records):
        alone = bytes(HEADER) + b"P" + records + b"EZ"
        for kind, start, _, _ in walk(alone):
            if kind == "F":
                at = start - HEADER - 1
                return records[:at + 1] + struct.pack("<I", checksum) + records[at + 5:]
        return records + b"F" + struct.pack("<I", checksum)
    return with_pass(data, number, change)


def end_record(data, checksum=None, length=None):
    """The end record's high score checksum or length set."""
    z = data.rindex(b"Z", len(data) - 20)
    out = bytearray(data)
    if checksum is not None:
        struct.pack_into("<I", out, z + 1, checksum)
    if length is not None:
        struct.pack_into("<I", out, z + 5, length)
    return bytes(out)


def keys_typed(data, passes, codes):
    """The key codes typed in the given passes changed by codes ({old: new})."""
    out = bytearray(data)
    for tag, start, end, first, inside in segments(data):
        if tag != "P" or first not in passes:
            continue
        for kind, begin, _ in inside:
            message, at = varint(data, begin + 1)
            code, code_end = varint(data, at)
            if kind == "M" and message in (WM_KEYDOWN, WM_KEYUP) and code in codes:
                assert code_end == at + 1 and codes[code] < 0x80
                out[at] = codes[code]
    return bytes(out)


class Oracle:
    """The program (BUILD/marrowdale) replaying journals, and what it says of them."""

    def __init__(self, build, work):
        self.program = os.path.join(build, "marrowdale")
        self.work = work
        self.replays = 0

    def replay(self, data, dump=False):
        path = os.path.join(self.work, "oracle.mdj")
        with open(path, "wb") as out:
            out.write(data)
        command = [self.program, "--replay", path, "--verify"]
        if dump:
            command += ["--dump-state", os.path.join(self.work, "oracle.jsonl")]
        self.replays += 1
        run = subprocess.run(command, capture_output=True, text=True)
        return run.returncode, run.stderr.strip()

    def screens(self, data):
        """The screen after each pass (index 0: pass 1)."""
        status, said = self.replay(data, dump=True)
        assert status == 0, said
        with open(os.path.join(self.work, "oracle.jsonl")) as lines:
            return [json.loads(line)["ScreenState"] for line in lines]

    def fixed(self, data, most=200):
        """data with each frame checksum and the end record the replay finds different set as
        it says, until it replays whole."""
        for _ in range(most):
            status, said = self.replay(data)
            if status == 0:
                return data
            frame = re.search(r"diverges at pass (\d+) \(frame checksum ([0-9A-F]{8}),", said)
            scores = re.search(r"\(high scores checksum ([0-9A-F]{8}),", said)
            length = re.search(r"high score file holds (\d+) bytes", said)
            if frame:
                data = set_frame(data, int(frame[1]), int(frame[2], 16))
            elif scores:
                data = end_record(data, checksum=int(scores[1], 16))
            elif length:
                data = end_record(data, length=int(length[1]))
            else:
                raise AssertionError(f"the replay says: {said}")
        raise AssertionError(f"still no whole replay after {most} fixes")


def kept_at_done(oracle, data):
    """The journal as the game keeps it at its name's DONE: up to the end of the pass that
    confirmed the name, flagged, with the high scores as they stood then."""
    screens = oracle.screens(data)
    done = next(p + 1 for p in range(1, len(screens)) if screens[p - 1] == ENTER_NAME and screens[p] == SCORE_TABLE)
    cut = with_pass(data, done + 1, lambda records: records)
    end = next(s[1] for s in segments(cut) if s[3] == done + 1)
    head = bytearray(cut[:end])
    head[FLAGS] |= 1
    return oracle.fixed(bytes(head) + b"Z" + struct.pack("<II", 0, 0) + encode(done))


def name_entry_passes(screens):
    return {p + 1 for p, screen in enumerate(screens) if screen == ENTER_NAME}


def typed_otherwise(oracle, data, codes):
    """The game with the name typed with other keys, its checksums as the program makes them."""
    return oracle.fixed(keys_typed(data, name_entry_passes(oracle.screens(data)), codes))


def stalled(oracle, data, milliseconds):
    """The game with a stall in a pass of play with nothing else in it, and that pass's number."""
    screens = oracle.screens(data)
    for tag, _, _, first, rest in segments(data):
        middle = first + rest // 2 if tag == "I" else 0
        if middle > 1 and screens[middle - 2] == PLAY and screens[middle - 1] == PLAY:
            return with_pass(data, middle, lambda records: b"T" + encode(milliseconds)), middle
    raise AssertionError("the game has no idle pass in play")
