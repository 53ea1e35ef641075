"""The records of a journal (docs/JOURNAL.md), for the scripts that change journals."""


def varint(data, at):
    """The unsigned LEB128 number at at, and where it ends."""
    value = shift = 0
    while True:
        byte = data[at]
        at += 1
        value |= (byte & 0x7F) << shift
        shift += 7
        if not byte & 0x80:
            return value, at


def walk(data):
    """Yields (tag, start, end, number) for each record after the header: an idle run's number
    is its passes, any other record's the pass it lies in (from 1); the end mark comes last."""
    at, passes = 34, 0
    while True:
        start, tag = at, chr(data[at])
        at += 1
        if tag == "Z":
            yield tag, start, len(data), passes
            return
        if tag == "I":
            count, at = varint(data, at)
            yield tag, start, at, count
            passes += count
            continue
        passes += 1
        while chr(data[at]) != "E":
            start, tag = at, chr(data[at])
            at += 1
            if tag == "T":
                _, at = varint(data, at)
            elif tag in "SVF":
                at += 4
            elif tag == "M":
                for _ in range(3):
                    _, at = varint(data, at)
            elif tag == "K":
                at += 16
            elif tag == "H":
                length, at = varint(data, at + 1)
                at += length
            elif tag == "A":
                at += 1
            yield tag, start, at, passes
        at += 1


def encode(value):
    """value as an unsigned LEB128 number."""
    out = bytearray()
    while value >= 0x80:
        out.append(value & 0x7F | 0x80)
        value >>= 7
    out.append(value)
    return bytes(out)


def variants(data, count):
    """count journals of the same game, each one idle run split in two at a different place; []
    when the journal has too few idle passes for so many."""
    made = []
    runs = [record for record in walk(data) if record[0] == "I"]
    for _, start, end, passes in sorted(runs, key=lambda run: -run[3]):
        for cut in range(1, passes):
            if len(made) == count:
                return made
            made.append(data[:start] + b"I" + encode(cut) + b"I" + encode(passes - cut) + data[end:])
    return made if len(made) == count else []


def lengthened(data, extra, run=-1):
    """The journal with extra idle passes in one idle run (the last, or the run-th), its end mark
    counting them."""
    records = list(walk(data))
    _, start, end, passes = [record for record in records if record[0] == "I"][run]
    mark = records[-1][1] + 9
    total, _ = varint(data, mark)
    return data[:start] + b"I" + encode(passes + extra) + data[end:mark] + encode(total + extra)
