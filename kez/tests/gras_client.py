#!/usr/bin/env python3
"""An independent client of Kez's remote-access protocol (port 34130, 12-byte little-endian
headers), run by kez.remote's tests. Usage: gras_client.py PORT SCENARIO [ARGS...]. Prints one
line per check and exits non-zero on the first that fails."""
import os
import socket
import struct
import subprocess
import sys
import tempfile
import time

PORT = int(sys.argv[1])


def connect():
    s = socket.create_connection(("127.0.0.1", PORT), timeout=10)
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return s


def recv_exactly(s, n):
    data = b""
    while len(data) < n:
        chunk = s.recv(n - len(data))
        if not chunk:
            return None
        data += chunk
    return data


def command(s, opcode, data=b"", version=0x100):
    s.sendall(struct.pack("<IHHI", len(data), opcode, version, 0) + data)
    header = recv_exactly(s, 12)
    if header is None:
        return None
    length, op, ver, status = struct.unpack("<IHHI", header)
    assert op == opcode and ver == version, (op, ver)
    body = recv_exactly(s, length) if status == 0 and length else b""
    return status, body


def closed(s):
    try:
        return s.recv(1) == b""
    except (ConnectionResetError, socket.timeout):
        return True


def open_when_served():
    """Opens a control session, retrying while the server still counts ended sessions."""
    for _ in range(200):
        try:
            s = connect()
            reply = command(s, 1, u32(2))
            if reply is not None and reply[0] == 0:
                return s
        except OSError:
            pass
        time.sleep(0.05)
    return None


def check(name, condition, detail=""):
    print(("ok " if condition else "FAILED ") + name + (" " + str(detail) if detail else ""))
    if not condition:
        sys.exit(1)


def session(kind):
    s = connect()
    status, body = command(s, 1, struct.pack("<I", kind))
    check("open session %d" % kind, status == 0 and len(body) == 4, status)
    return s


def u32(*values):
    return struct.pack("<%dI" % len(values), *values)


def protocol():
    s = connect()
    check("a command before opening answers F303", command(s, 5)[0] == 0xF303)
    check("opcode 29 answers F302", command(s, 29)[0] == 0xF302)
    check("open without its data answers F305", command(s, 1)[0] == 0xF305)
    status, body = command(s, 1, u32(2))
    check("open control session", status == 0 and len(body) == 4)
    check("opcode 0 answers F302", command(s, 0)[0] == 0xF302)
    status, body = command(s, 5)
    check("ping answers the process id", status == 0 and body == body[:4] and len(body) == 4)
    check("db_list from a control session answers F304", command(s, 6, u32(0, 0))[0] == 0xF304)
    status, body = command(s, 28)
    check("key_get_default answers 44 bytes", status == 0 and len(body) == 44, body)
    status, body = command(s, 2, u32(0))
    check("close answers whether the process ends", status == 0 and body == u32(0), (status, body))
    check("the session ends after close", closed(s))

    s = connect()
    check("open type 5 answers F306", command(s, 1, u32(5))[0] == 0xF306)
    check("a rejected session is closed", closed(s))

    s = connect()
    s.sendall(struct.pack("<IHHI", 0, 1, 0x101, 0))
    check("version 0x101 ends the session without a reply", closed(s))

    s = connect()
    status, body = command(s, 1, u32(2), version=0)
    check("version 0 is served", status == 0)
    s.close()


def storage(directory, good_file, bad_file, memo_file):
    s = session(3)
    status, body = command(s, 8, u32(1) + good_file.encode() + b"\0")
    check("import answers the new database", status == 0 and len(body) == 44, status)
    name = body[12:44].split(b"\0")[0]
    check("import names it", name == b"RemoteDB", name)
    status, body = command(s, 8, u32(0) + good_file.encode() + b"\0")
    check("import without overwrite of an existing database answers 0x0219", status == 0x0219, status)
    status, body = command(s, 8, u32(1) + bad_file.encode() + b"\0")
    check("import of a corrupt file answers 0x0209", status == 0x0209, status)
    status, body = command(s, 8, u32(1) + (directory + "/none.vrx").encode() + b"\0")
    check("import of a missing file answers 0x0207", status == 0x0207, status)
    check("import with a short request answers F305", command(s, 8, b"\1\0")[0] == 0xF305)
    # An unterminated path is read up to the end of the data.
    status, body = command(s, 8, u32(1) + b"/nonexistent/" + b"x" * 40)
    check("import of an unterminated path answers 0x0207", status == 0x0207, status)

    status, body = command(s, 6, u32(0, 0))
    names = [body[i:i + 32].split(b"\0")[0] for i in range(0, len(body), 80)]
    check("db_list has 80-byte entries", len(body) % 80 == 0 and b"RemoteDB" in names, names)
    status, body = command(s, 6, u32(0, 1))
    check("db_list of a slot without a volume lists nothing", status == 0 and body == b"", (status, body))
    check("db_list with a short request answers F305", command(s, 6, u32(0))[0] == 0xF305)

    status, body = command(s, 10, u32(0, 0, 0) + b"RemoteDB\0")
    check("db_info answers one entry", status == 0 and len(body) == 80 and body[:8] == b"RemoteDB", status)
    check("db_info of an unknown name answers 0x0207", command(s, 10, u32(0, 0, 0) + b"Nope\0")[0] == 0x0207)
    check("db_info naming nothing answers 0x0207", command(s, 10, u32(0, 0, 0))[0] == 0x0207)
    status, body = command(s, 8, u32(1) + memo_file.encode() + b"\0")
    check("import of a record database", status == 0, status)
    status, body = command(s, 7, u32(0, 0) + b"RemoteDB\0" + directory.encode() + b"\0")
    check("db_export of a resource database", status == 0 and body == b"", status)
    status, body = command(s, 7, u32(0, 0) + b"Memo/Pad:1\0" + directory.encode() + b"/\0")
    check("db_export of a record database", status == 0, status)
    status, body = command(s, 7, u32(0, 0) + b"Nope\0" + directory.encode() + b"\0")
    check("db_export of an unknown database answers 0x0207", status == 0x0207, status)
    status, body = command(s, 7, u32(0, 0) + b"RemoteDB\0/nonexistent-dir\0")
    check("db_export into a missing directory answers the negated errno", status == (-2) & 0xFFFF, status)
    status, body = command(s, 9, u32(0, 0, 0) + b"RemoteDB\0")
    check("db_delete deletes it", status == 0, status)
    check("it is gone", command(s, 10, u32(0, 0, 0) + b"RemoteDB\0")[0] == 0x0207)
    s.close()


def sessions():
    """Four sessions at once; a fifth connection is closed; after one ends a new one is served."""
    open_sessions = [session(2) for _ in range(4)]
    fifth = connect()
    check("a fifth connection is closed", closed(fifth))
    for s in open_sessions:
        check("each of four sessions is served", command(s, 5)[0] == 0)
    command(open_sessions[0], 2, u32(0))
    closed(open_sessions[0])
    check("a new connection is served after one ended", open_when_served() is not None)


def hostile():
    """Peers that disconnect mid-request and a flood of half requests leave the server serving."""
    for cut in (1, 6, 11, 12, 13):
        s = connect()
        s.sendall(struct.pack("<IHHI", 8, 1, 0x100, 0) [:cut] if cut <= 12
                  else struct.pack("<IHHI", 8, 1, 0x100, 0) + b"\2")
        s.close()
    half = []
    for _ in range(20):
        try:
            s = socket.create_connection(("127.0.0.1", PORT), timeout=10)
            s.sendall(struct.pack("<IHHI", 1000, 8, 0x100, 0) + b"partial")
            half.append(s)
        except OSError:
            pass
    for s in half:
        s.close()
    s = connect()
    s.sendall(struct.pack("<IHHI", 0xFFFFFFF0, 1, 0x100, 0))
    check("a huge data length ends the session", closed(s))
    s = open_when_served()
    check("the server still serves", s is not None)
    check("and pings", command(s, 5)[0] == 0)


def hold(count):
    """Opens `count` sessions and blocks in a read until the server closes them."""
    held = [session(2) for _ in range(int(count))]
    print("held", flush=True)
    for s in held:
        check("held session closed by the server", closed(s))


def fourcc(text):
    return int.from_bytes(text.encode(), "big")


def tester_state(s, done, tries=600):
    """Polls the tester's status record every 50 ms until `done` holds (at most `tries` times)."""
    state = None
    for _ in range(tries):
        state = struct.unpack("<5I", command(s, 23)[1])
        if done(state):
            break
        time.sleep(0.05)
    return state


def tester():
    s = session(0)
    check("hobgobs command 7 answers F305", command(s, 22, u32(7, 0, 0))[0] == 0xF305)
    check("control without its command answers F305", command(s, 22)[0] == 0xF305)
    check("start without seed and limit answers F305", command(s, 22, u32(1))[0] == 0xF305)
    status, body = command(s, 23)
    check("a stopped tester's status", status == 0 and len(body) == 20 and struct.unpack("<5I", body)[0] == 0,
          (status, body))
    check("an empty application list answers F301", command(s, 25)[0] == 0xF301)
    check("a list longer than its data answers F305", command(s, 24, u32(3, 0, 1))[0] == 0xF305)
    check("a list without its count answers F305", command(s, 24, u32(1))[0] == 0xF305)
    memo, todo = fourcc("memo"), fourcc("todo")
    check("set the application list", command(s, 24, u32(2, todo, memo, todo))[0] == 0)
    status, body = command(s, 25)
    check("the list comes back with its first creator", status == 0 and body == u32(2, memo, memo, todo), body)
    check("start with seed 5 and limit 3", command(s, 22, u32(1, 5, 3))[0] == 0)
    state = tester_state(s, lambda state: state[0] == 2)
    check("paused after three events", state[0] == 2 and state[1] == 3 and state[3:] == (5, 3), state)
    check("single step", command(s, 22, u32(4, 0, 0))[0] == 0)
    state = tester_state(s, lambda state: state[1] == 4)
    check("one more event, paused again", state[0] == 2 and state[1] == 4, state)
    check("stop", command(s, 22, u32(0, 0, 0))[0] == 0)
    check("stopped", struct.unpack("<5I", command(s, 23)[1])[0] == 0)
    control = session(2)
    check("the tester's rows refuse a control session", command(control, 23)[0] == 0xF304)


def apps():
    memo, todo, appl = fourcc("memo"), fourcc("todo"), fourcc("appl")
    launcher = session(4)
    check("app_launch without its creator answers F305", command(launcher, 15, u32(0))[0] == 0xF305)
    check("app_launch of a missing application answers 0207", command(launcher, 15, u32(0, fourcc("none")))[0] == 0x0207)
    check("app_launch on a volume finds nothing", command(launcher, 15, u32(1, memo))[0] == 0x0207)
    check("app_launch by creator", command(launcher, 15, u32(0, memo))[0] == 0)
    check("app_launch by creator and name", command(launcher, 15, u32(0, todo) + b"ToDo\0")[0] == 0)
    check("app_launch with another name finds nothing", command(launcher, 15, u32(0, todo) + b"Todo\0")[0] == 0x0207)
    s = session(3)
    status, body = command(s, 26, u32(0, memo))
    check("app_display_name", status == 0 and body == b"Memo Pad\0", (status, body))
    status, body = command(s, 17, u32(5, 0, memo))
    check("app_default_category", status == 0 and body == b"Business\0", (status, body))
    check("a category id above 0xFFFF answers F305", command(s, 17, u32(0x10000, 0, memo))[0] == 0xF305)
    check("a missing category resource is an error", command(s, 17, u32(6, 0, memo))[0] not in (0, 0xF302))
    status, body = command(s, 21)
    check("sync_get_log", status == 0 and body == b"synced 3 records\0", (status, body))
    check("app_delete on a volume answers F305", command(s, 27, u32(appl, memo, 1))[0] == 0xF305)
    check("app_delete", command(s, 27, u32(appl, memo, 0))[0] == 0)
    check("app_delete again finds nothing", command(s, 27, u32(appl, memo, 0))[0] == 0x0207)
    status, body = command(s, 6, u32(0, 0))
    creators = [struct.unpack_from("<I", body, i + 64)[0] for i in range(0, len(body), 80)]
    check("the application and its data are gone, the others stay", memo not in creators and todo in creators,
          creators)


def xpm_pixels(body):
    """The XPM image of an app_icon reply (u32 offsets, then strings) read by netpbm's xpmtoppm:
    the offsets' count, then a function giving the RGB of (x, y), None where transparent."""
    def string(offset):
        return body[offset:body.index(b"\0", offset)].decode()
    values = string(struct.unpack_from("<I", body, 0)[0])
    width, height, colours, chars = map(int, values.split())
    count = 1 + colours + height
    strings = [string(o) for o in struct.unpack_from("<%dI" % count, body, 0)]
    with tempfile.TemporaryDirectory() as folder:
        source, mask = os.path.join(folder, "icon.xpm"), os.path.join(folder, "mask.pbm")
        with open(source, "w") as f:
            f.write("/* XPM */\nstatic char *icon[] = {\n")
            f.write(",\n".join('"%s"' % t for t in strings) + "\n};\n")
        ppm = subprocess.run(["xpmtoppm", "--alphaout=" + mask, source], capture_output=True, check=True).stdout
        alpha = open(mask, "rb").read()
    rgb = netpbm_body(ppm, b"P6")
    bits = netpbm_body(alpha, b"P4")
    row_bytes = (width + 7) // 8

    def pixel(x, y):
        if bits[y * row_bytes + x // 8] & (0x80 >> (x % 8)):  # black in the mask: transparent
            return None
        return rgb[3 * (y * width + x):3 * (y * width + x) + 3].hex().upper()
    return count, (width, height, colours, chars), pixel


def netpbm_body(data, magic):
    """The raster of a binary PPM or PBM file (one header field a token)."""
    check("xpmtoppm wrote " + magic.decode(), data.startswith(magic))
    fields, at = [], 2
    while len(fields) < (3 if magic == b"P6" else 2):
        while data[at:at + 1].isspace():
            at += 1
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(int(data[at:end]))
        at = end
    return data[at + 1:]


def icon(a, b, c):
    memo, todo = fourcc("memo"), fourcc("todo")
    s = session(3)
    status, body = command(s, 16, u32(1000, 0, memo))
    check("app_icon answers", status == 0, status)
    count, values, pixel = xpm_pixels(body)
    check("a 32 x 32 picture of 256 colours: 1 + 256 + 32 offsets", values == (32, 32, 256, 2) and count == 289,
          (values, count))
    # The last bitmap of the family, at (8, 8): a two-pixel transparent ring around two colours.
    cases = [((0, 0), None), ((8, 8), None), ((9, 12), None), ((10, 10), a), ((15, 21), a), ((16, 10), b),
             ((21, 19), b), ((24, 12), None), ((31, 0), None)]
    for (x, y), want in cases:
        check("icon pixel %d,%d" % (x, y), pixel(x, y) == want, pixel(x, y))
    # The corner mark: its top-left cell is left as drawn, light and dark cells below it.
    check("mark cells", pixel(21, 20) == b and pixel(22, 21) == "FFFFFF" and pixel(21, 21) == "000000",
          (pixel(21, 20), pixel(22, 21), pixel(21, 21)))
    # No icon 1001: the OS's own 10001, 64 x 64 at double density, fills the picture.
    status, body = command(s, 16, u32(1001, 0, memo) + b"Memo\0")
    check("app_icon falls back to the OS's icon", status == 0, status)
    count, values, pixel = xpm_pixels(body)
    check("scaled to fill the picture", all(pixel(x, y) == c for x, y in ((0, 0), (31, 0), (0, 31), (20, 19))),
          [pixel(x, y) for x, y in ((0, 0), (31, 0), (0, 31), (20, 19))])
    for request, want, name in [(u32(0x10000, 0, memo), 0xF305, "an id above 0xFFFF"),
                                (u32(1000, 0), 0xF305, "a request without its creator"),
                                (u32(1000, 0, fourcc("none")), 0x0207, "an unknown application"),
                                (u32(1000, 0, memo) + b"Other\0", 0x0207, "another name"),
                                (u32(1000, 1, memo), 0x0207, "a volume")]:
        check("app_icon of %s answers %04X" % (name, want), command(s, 16, request)[0] == want)
    for request, name in [(u32(5, 0, memo), "a missing icon"), (u32(1002, 0, memo), "a truncated bitmap"),
                          (u32(1000, 0, todo), "an application without icons")]:
        status = command(s, 16, request)[0]
        check("app_icon of %s fails" % name, status not in (0, 0xF302), status)
    check("app_icon from a control session answers F304", command(session(2), 16, u32(1000, 0, memo))[0] == 0xF304)
    check("the session still serves", command(s, 16, u32(1000, 0, memo))[0] == 0)


def delete(*pairs):
    """app_delete of each (creator, expected status in hex) in turn."""
    s = session(3)
    for creator, want in zip(pairs[::2], pairs[1::2]):
        status = command(s, 27, u32(fourcc("appl"), fourcc(creator), 0))[0]
        check("app_delete of %s answers %s" % (creator, want), status == int(want, 16), "%04X" % status)


def booted_session(kind):
    """A session of `kind` once the OS serves one, or None; the OS may take a while to boot under
    emulation."""
    for _ in range(1200):
        try:
            s = connect()
            if command(s, 1, u32(kind))[0] == 0:
                return s
        except (OSError, TypeError):
            pass
        time.sleep(0.05)
    return None


def endurance(seed, limit):
    """Against a running OS: the tester sends `limit` events from `seed` and pauses; the OS still
    answers, and then ends on the exit request."""
    s = booted_session(0)
    check("the OS serves a tester session", s is not None)
    check("start the tester", command(s, 22, u32(1, int(seed), int(limit)))[0] == 0)
    state = tester_state(s, lambda state: state[0] == 2, 1600)
    check("paused after its limit of events", state[0] == 2 and state[1] == int(limit), state)
    check("stop", command(s, 22, u32(0, 0, 0))[0] == 0)
    control = session(2)
    check("the OS still answers", command(control, 5)[0] == 0)
    check("exit", command(control, 4)[0] == 0)


def volumes(folder):
    """Without a file-system library to serve it, a host folder does not mount."""
    s = session(3)
    check("volume_mount without its path answers F305", command(s, 11, u32(0))[0] == 0xF305)
    check("mounting a missing folder answers 2A0B", command(s, 11, u32(0) + b"/nonexistent/folder\0")[0] == 0x2A0B)
    check("mounting a folder that no library serves answers 2A0B",
          command(s, 11, u32(0) + folder.encode() + b"\0")[0] == 0x2A0B)
    check("unmounting an unknown volume answers 1", command(s, 12, u32(7) + b"x")[0] == 1)


def db_image(name, type_, creator, resources=(), attributes=1, claimed=None):
    """A database file: the 78-byte header, one 10-byte entry per (type, id, bytes), two zero
    bytes, then the resources' bytes. `claimed` overrides the resource count in the header."""
    count = len(resources) if claimed is None else claimed
    header = struct.pack(">32sHHIIIIII4s4sIIH", name.encode(), attributes, 1, 100, 200, 0, 7, 0, 0,
                         type_.encode(), creator.encode(), 0, 0, count)
    offset = 78 + 10 * len(resources) + 2
    entries = b""
    for rtype, rid, data in resources:
        entries += struct.pack(">4sHI", rtype.encode(), rid, offset)
        offset += len(data)
    return header + entries + b"\0\0" + b"".join(data for _, _, data in resources)


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def entries_of(body):
    """(name, storage, type, creator, attributes) of each 80-byte entry of a db_list reply."""
    out = []
    for i in range(0, len(body), 80):
        e = body[i:i + 80]
        out.append((e[:32].split(b"\0")[0].decode(), e[52], e[60:64][::-1].decode(), e[64:68][::-1].decode(),
                    struct.unpack_from("<H", e, 32)[0]))
    return out


def host(bin_dir, work):
    """kez-host with the host file-system and 68K modules, started from `work`; a host folder
    mounted through the server serves the database rows from its launcher directory."""
    autoload = os.path.join(work, "autoload")
    os.makedirs(autoload, exist_ok=True)
    for f in ("kez-host", "libKez.so", "libVantorOS.so", "libDurnix.so", "libMorvel.so"):
        subprocess.run(["cp", os.path.join(bin_dir, f), work], check=True)
    write(os.path.join(autoload, "Durnix.vrx"), db_image("libDurnix.dll", "libf", "drnx"))
    write(os.path.join(autoload, "Morvel.vrx"), db_image("libMorvel.dll", "libr", "a68k"))
    folder = os.path.join(work, "card")
    launcher = os.path.join(folder, "VANTOR", "LAUNCHER")
    os.makedirs(os.path.join(launcher, "sub.vrx"))
    # A 1-bit 16 x 16 bitmap, all set (version 2).
    bitmap = struct.pack(">HHHHBBHBBH", 16, 16, 2, 0, 1, 2, 0, 0, 0, 0) + b"\xff" * 32
    write(os.path.join(launcher, "Clock.vrx"), db_image("Clock", "appl", "clok", [
        ("tAIN", 1000, b"Clock Face\0"), ("taic", 3, b"Tools\0"), ("tAIB", 1000, bitmap)]))
    write(os.path.join(launcher, "Notes.VRX"), db_image("NotesDB", "DATA", "note"))
    write(os.path.join(launcher, "readme.txt"), b"not a database")
    # Claims three resources that lie past its end.
    write(os.path.join(launcher, "Broken.vrx"), db_image("Broken", "appl", "brkn", claimed=3))
    rom, log = os.path.join(work, "test.rom"), open(os.path.join(work, "log"), "wb")
    subprocess.run([os.path.join(work, "kez-host"), "--make-rom", rom], check=True, stdout=subprocess.DEVNULL)
    os_process = subprocess.Popen([os.path.join(work, "kez-host"), "--rom", rom, "--storage",
                                   os.path.join(work, "storage.img"), "--headless", "--heap-kb", "2048",
                                   "--remote-access", "--run-ms", "100000"], stdout=log, stderr=subprocess.STDOUT)
    finished = False
    try:
        card_rows(folder, launcher)
        finished = True
    finally:
        # After the exit request the OS ends by itself; after a failed check it is stopped.
        try:
            code = os_process.wait(timeout=60 if finished else 0.1)
        except subprocess.TimeoutExpired:
            os_process.terminate()
            code = os_process.wait(timeout=60)
        log.close()
    check("kez-host ended cleanly", code == 0, open(os.path.join(work, "log")).read()[-3000:])


def card_rows(folder, launcher):
    s = booted_session(3)
    check("the OS serves a storage session", s is not None)
    status, body = command(s, 11, u32(0) + folder.encode() + b"\0")
    check("volume_mount of the folder", status == 0 and len(body) == 8, (status, body))
    volume = struct.unpack("<2I", body)[0]
    any_storage = 0xFFFFFFFF
    status, body = command(s, 6, u32(0, any_storage))
    listed = {e[0]: e for e in entries_of(body)}
    check("db_list of every storage names the volume's database files",
          status == 0 and {"Clock", "NotesDB", "Broken"} <= set(listed) and "sub" not in listed, (status, listed))
    slot = listed["Clock"][1]
    check("volume files carry the volume's slot number", slot > 0 and listed["NotesDB"][1] == slot, listed)
    status, body = command(s, 6, u32(fourcc("appl"), slot))
    check("db_list of the volume by type", status == 0 and sorted(e[0] for e in entries_of(body)) == ["Broken", "Clock"],
          (status, entries_of(body)))
    status, body = command(s, 6, u32(0, 0))
    check("db_list of the internal storage has no volume file", status == 0 and "Clock" not in
          [e[0] for e in entries_of(body)])
    status, body = command(s, 6, u32(0, slot + 1))
    check("db_list of a slot without a volume lists nothing", status == 0 and body == b"", (status, body))

    status, body = command(s, 10, u32(0, fourcc("note"), any_storage))
    check("db_info of a volume file", status == 0 and entries_of(body) == [("NotesDB", slot, "DATA", "note", 1)],
          (status, entries_of(body)))
    check("db_info by name on the volume", command(s, 10, u32(0, 0, slot) + b"Clock\0")[0] == 0)
    check("db_info of the volume's file in the internal storage answers 0207",
          command(s, 10, u32(0, fourcc("note"), 0))[0] == 0x0207)
    clock = fourcc("clok")
    status, body = command(s, 26, u32(slot, clock))
    check("app_display_name from the volume file", status == 0 and body == b"Clock Face\0", (status, body))
    status, body = command(s, 17, u32(3, any_storage, clock))
    check("app_default_category from the volume file", status == 0 and body == b"Tools\0", (status, body))
    check("a missing resource of a volume file answers 0210", command(s, 17, u32(4, slot, clock))[0] == 0x0210)
    check("a volume file whose resources lie past its end answers 0209",
          command(s, 26, u32(slot, fourcc("brkn")))[0] == 0x0209)
    status, body = command(s, 16, u32(1000, slot, clock))
    check("app_icon from the volume file", status == 0 and
          body[struct.unpack_from("<I", body, 0)[0]:].startswith(b"32 32 "), status)

    launcher_session = session(4)
    check("app_launch copies the application from the volume", command(launcher_session, 15, u32(slot, clock))[0] == 0)
    status, body = command(s, 6, u32(fourcc("appl"), 0))
    copies = [e for e in entries_of(body) if e[0] == "Clock"]
    check("the copy is in the internal storage, marked as from a volume",
          len(copies) == 1 and copies[0][4] & 0x0400 and copies[0][1] == 0, copies)
    check("launching it again uses the copy", command(launcher_session, 15, u32(slot, clock) + b"Clock\0")[0] == 0)

    check("db_delete of a volume file", command(s, 9, u32(0, fourcc("note"), slot))[0] == 0)
    check("the file is gone from the folder", not os.path.exists(os.path.join(launcher, "Notes.VRX")))
    check("volume_unmount", command(s, 12, u32(volume))[0] == 0)
    status, body = command(s, 6, u32(0, any_storage))
    check("after the unmount no volume file is listed", status == 0 and
          all(e[1] == 0 for e in entries_of(body)), entries_of(body))
    control = session(2)
    check("exit", command(control, 4)[0] == 0)


def exit_():
    s = session(2)
    status, body = command(s, 4)
    check("exit replies before the socket closes", status == 0)
    check("then the session ends", closed(s))


SCENARIOS = {"protocol": protocol, "storage": storage, "sessions": sessions, "hostile": hostile,
             "hold": hold, "exit": exit_, "tester": tester, "apps": apps, "volumes": volumes, "icon": icon,
             "delete": delete, "endurance": endurance, "host": host}
SCENARIOS[sys.argv[2]](*sys.argv[3:])
print("done")
