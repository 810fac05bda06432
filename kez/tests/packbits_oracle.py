# An independent PackBits coder for the codec tests. Each input line is "unit row stream" in hex
# (unit 1 for bytes, 2 for 16-bit pixels); each output line is the row decoded from the stream and
# the row encoded greedily: runs of 2 to 129 units (header -128 for 129) and literals of up to 128.
import sys

def decode(data, unit, units):
    out, i = b"", 0
    while len(out) < units * unit:
        h = data[i]; i += 1
        if h >= 128:
            out += data[i:i + unit] * (257 - h); i += unit
        else:
            out += data[i:i + (h + 1) * unit]; i += (h + 1) * unit
    return out if i == len(data) else b"?"

def encode(row, unit):
    px = [row[k:k + unit] for k in range(0, len(row) - len(row) % unit, unit)]
    out, i = b"", 0
    while i < len(px):
        j = i
        while j + 1 < len(px) and px[j + 1] == px[i] and j - i < 128: j += 1
        if j > i:
            out += bytes([(257 - (j - i + 1)) & 255]) + px[i]; i = j + 1; continue
        j = i + 1
        while j < len(px) and j - i < 128 and not (j + 1 < len(px) and px[j] == px[j + 1]): j += 1
        out += bytes([j - i - 1]) + b"".join(px[i:j]); i = j
    return out

for line in open(sys.argv[1]):
    unit, row, stream = line.split() + [""] * (3 - len(line.split()))
    unit, row, stream = int(unit), bytes.fromhex(row), bytes.fromhex(stream)
    print(decode(stream, unit, len(row) // unit).hex() or "-", encode(row, unit).hex() or "-")
