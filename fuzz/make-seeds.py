#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/.

The session descriptions and candidates are recorded from the real media
engine by the media component test:
    CORVALA_RECORD_SEEDS=DIR ctest -R media_component_engine_test
    fuzz/make-seeds.py DIR
The other seeds are the lines, messages and files the program and its tests
build (the data-channel messages of the dispatcher's case table, the wire
lines of the signalling tests, a settings record as version 7 writes it).
"""
import hashlib
import io
import json
import pathlib
import shutil
import struct
import sys
import zipfile

ROOT = pathlib.Path(__file__).resolve().parent
CORPUS = ROOT / "corpus"


def recorded(folder, kind, count):
    files = sorted(pathlib.Path(folder).glob(kind + "-*"), key=lambda p: int(p.name.split("-")[1]))
    return [f.read_text() for f in files[:count]]


def envelope(msg, frm="", to="", type_="", payload="", password="", username="", version=""):
    return json.dumps({"msg": msg, "from": frm, "to": to, "type": type_, "payload": payload,
                       "password": password, "username": username, "version": version},
                      separators=(",", ":"))


def compact(obj):
    return json.dumps(obj, separators=(",", ":"))


def write(target, name, data):
    folder = CORPUS / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data if isinstance(data, bytes) else data.encode())


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    rec = sys.argv[1]
    offer, answer = recorded(rec, "offer", 1)[0], recorded(rec, "answer", 1)[0]
    candidates = []
    for text in recorded(rec, "candidate", 2):
        label, mid, line = text.split(" ", 2)
        candidates.append({"label": int(label), "id": mid, "candidate": line})
    shutil.rmtree(CORPUS, ignore_errors=True)
    contacts_seeds()

    relay = {"ice_password": "pw", "ice_username": "user", "ice_url": "turn:127.0.0.1:5501"}
    session_info = dict(relay, screen_monitorcount="2",
                        screen_monitorcoordinates="m0l0m0t0m0w1920m0h1080m1l1920m1t0m1w1280m1h1024m",
                        screen_primarymonitor="0", screen_desktopleft="0", screen_desktoptop="0",
                        screen_desktopwidth="3200", screen_desktopheight="1080", hw_macaddress="AA-BB-CC-DD-EE-FF")
    host, viewer = "111111111", "222222222"
    peer_lines = [
        envelope("message", viewer, host, "init", "", "secret", "viewer", "42"),
        envelope("message", host, viewer, "turn", compact(session_info), "", "", "42"),
        envelope("message", host, viewer, "offer", compact({"type": "offer", "sdp": offer}), "", "", "42"),
        envelope("message", viewer, host, "answer", compact({"type": "answer", "sdp": answer}), "", "", "42"),
        envelope("message", viewer, host, "candidate", compact(candidates[0]), "", "", "42"),
        envelope("message", host, viewer, "error", compact({"type": "invalid_password", "payload": "secret"}), "", "", "42"),
    ]
    server_lines = [
        envelope("joined"), envelope("invalid_id"),
        envelope("publicturn", type_="newconnection", payload=compact(relay)),
        envelope("publicturn", type_="", payload=""), "p", envelope("review"),
    ]

    # The client's reader: streams as the server sends them (first byte: no
    # read sizes, or a few).
    write("signalling_line", "server-lines", b"\0" + "\r\n".join(server_lines).encode() + b"\r\n")
    write("signalling_line", "session", b"\x03\x05\x40\xff" + "\r\n".join(peer_lines).encode() + b"\r\n")
    for i, line in enumerate(peer_lines):
        write("signalling_line", "peer-%d" % i, b"\0" + line.encode() + b"\n")

    # Payload readers: one choice byte, then the text.
    for i, line in enumerate(server_lines + peer_lines):
        write("signalling_payloads", "envelope-%d" % i, b"\0" + line.encode())
    write("signalling_payloads", "relay", b"\1" + compact(dict(relay, country="DE")).encode())
    write("signalling_payloads", "offer", b"\2" + compact({"type": "offer", "sdp": offer}).encode())
    write("signalling_payloads", "answer", b"\2" + compact({"type": "answer", "sdp": answer}).encode())
    for i, c in enumerate(candidates):
        write("signalling_payloads", "candidate-%d" % i, b"\3" + compact(c).encode())
    write("signalling_payloads", "error", b"\4" + compact({"type": "invalid_password", "payload": "p\u00e4ss"}).encode())
    write("signalling_payloads", "session-info", b"\5" + compact(session_info).encode())
    write("signalling_payloads", "monitor-text", b"\6" + session_info["screen_monitorcoordinates"].encode())
    write("signalling_payloads", "monitor-list", b"\7\2" + struct.pack("<8i", 0, 0, 1920, 1080, 1920, 0, 1280, 1024))

    # Data channel: situation byte (bit 0 viewer), then length-prefixed messages.
    messages = [b"RECONNECT", b"DISCONNECT", b"OPENDOCSDIR", b"DEMONSTRATION_ON", b"DEMONSTRATION_OFF",
                b"SPEAK", b"NOSPEAK", b"LOCKSCREEN_OFF", b"ZOOMIN", b"ZOOMOUT", b"CHAThello",
                "CHATét\u00e9".encode(), b"CLIPBRDsome text", b"CONTROL7", b"CONTROLx", b"GETFILEa.txt",
                b"x10y10L", b"K65k65", b"W-120", "c\u00e9".encode(), b"X-5y3", b"LW-", b"C15"]
    for situation, name in ((0, "host"), (1, "viewer"), (8, "host-view-only"), (4, "host-receiving")):
        write("datachannel", name, bytes([situation]) + b"".join(bytes([len(m)]) + m for m in messages))
    for i, m in enumerate(messages):
        write("datachannel", "message-%d" % i, bytes([0]) + bytes([len(m)]) + m)

    for i, m in enumerate([b"x100y200L", b"K65k65", b"K37", "c\u00e9".encode(), b"W-120", b"X-5y3",
                           "c\U0001F600L".encode(), b"l", b"K18K115k115k18"]):
        write("input_tokens", "tokens-%d" % i, m)

    # set.dt plaintext records, as version 7 writes them and as older versions did.
    def s(text):
        units = text.encode("utf-16-le")
        return struct.pack("<i", len(units) // 2) + units

    def record(version, fingerprint="5A1C0F3B9E2D"):
        out = struct.pack("<i", version) + s("123456789")
        if version >= 5:
            out += s(fingerprint)
        out += b"\0" + (b"\0" if version <= 4 else b"") + b"\1" + s("pw") + s("host")
        out += s('123456789,"987 654 321",Anna') + b"\1" + s('111111111,"a b"') + struct.pack("<4i", 480, 270, 1440, 810)
        out += b"\0" + (bytes(14) if version >= 6 else b"") + s("de")
        if version >= 2:
            out += struct.pack("<i", 5501) + s("relay") + s("relaypw")
        return out
    for v in (1, 2, 5, 6, 7):
        write("settings_dt", "record-v%d" % v, record(v))
    write("settings_dt", "other-machine", record(7, "0000"))

    # SDP edits: codec choice byte, three bitrate bytes, the description.
    write("sdp_rewriting", "offer-vp8", b"\0" + struct.pack("<I", 500 + 0x100)[:3] + offer.encode())
    write("sdp_rewriting", "answer-h264", b"\1" + struct.pack("<I", 2000 + 0x100)[:3] + answer.encode())
    write("sdp_rewriting", "offer-opus-audio", b"\x83" + struct.pack("<I", 32 + 0x100)[:3] + offer.encode())

    # crsignal: client byte, line; @N names client N's ID.
    relay_note = compact(dict(relay, country="DE"))
    server_input = [
        "\0" + envelope("message", "@0", "@1", "init", "", "secret", "viewer", "42"),
        "\1" + envelope("message", "@1", "@0", "turn", compact(session_info), "", "", "42"),
        "\1" + envelope("message", "@1", "@0", "offer", compact({"type": "offer", "sdp": offer}), "", "", "42"),
        "\0" + envelope("message", "@0", "@1", "candidate", compact(candidates[0]), "", "", "42"),
        "\2" + envelope("message", "@2", "999999999", "init"),
        "\0" + envelope("getpublicturn", "@0", "", "newconnection", "DE"),
        "\1" + envelope("publicturn", "@1", "", "", relay_note),
        "\1" + envelope("removeturn", "@1"),
        "\2" + envelope("review", "@2", "", "", "Works well."),
        "\2" + envelope("join", "", "", "", "@0"),
        "\0p",
    ]
    write("signal_server", "session", "\n".join(server_input).encode())
    for i, line in enumerate(server_input):
        write("signal_server", "line-%d" % i, line.encode())

    # The payload archive as payload-pack makes it: Unix modes, three programs.
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
        for name, mode in (("crsystem", 0o755), ("crserver", 0o755), ("rt.so", 0o644)):
            info = zipfile.ZipInfo(name)
            info.create_system = 3
            info.external_attr = (0o100000 | mode) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, b"\x7fELF" + name.encode() * 8)
        z.writestr(zipfile.ZipInfo("lib/"), b"")
    write("payload_archive", "payload", buffer.getvalue())

    # Instance channel: message, wParam, lParam, length, payload.
    request = compact({"connect": "123456789", "password": "pw"}).encode()
    show = struct.pack("<4I", 0xAAAB, 1111, 2222, 0)
    connect = struct.pack("<4I", 0xAAAC, 0, 0, len(request)) + request
    write("instance_channel", "show", show)
    write("instance_channel", "connect", connect)
    write("instance_channel", "both", show + connect)

    # The language table: the real one's first rows.
    table = (ROOT.parent / "src/i18n/languages.txt").read_bytes()
    lines = table.split(b"\r\n")
    count = int(lines[0].decode("utf-8-sig"))
    write("language_table", "head", b"\r\n".join(lines[:1 + count * 8]) + b"\r\n")

    # The branding file as a reseller ships it.
    write("branding", "crlf", b"\xef\xbb\xbfsupport@reseller.example\r\nbanner.png\r\n")
    write("branding", "lf", b"Zo\xc3\xab Support +49 30 1234567\nbanner.png")
    # The web site's version answers and change list.
    write("update_answers", "offer", b"43/40")
    write("update_answers", "crlf", b"100/40\r\n")
    write("update_answers", "changes", b"Corvala 4.3\r\n\r\nFaster file transfer\nZo\xc3\xab\n")

    # The connection history as this program writes it, and an older file.
    write("connection_log", "bom-crlf", b"\xef\xbb\xbf11.12.26 10:02:00: Incoming connection from Zo\xc3\xab (400000002)\r\n"
          b"11.12.26 10:01:00: Outgoing connection to Office (111222333)\r\n")
    write("connection_log", "plain-lf", b"10.12.26 09:00:00: Incoming connection from 400000001\n\n")

    transfer_seeds()
    stun_seeds()


def transfer_seeds():
    """The file transfer: header and path texts (first byte even), and
    sessions of one side in either role (first byte odd, bit 1 the viewer)
    as steps: an operation byte (bit 7: settle) and its arguments."""
    def header(data, path):
        return "FILE%d:%s;%s" % (len(data), hashlib.md5(data).hexdigest().upper(), path)

    texts = [header(b"abc", "x.bin"), header(b"", "Photos\\2024\\empty.txt"),
             header(b"abc", "a;b\\c d.txt"), "FILE18446744073709551616:%s;x" % ("0" * 32),
             "Photos\\2024", "Fotos/\u00fcber/\u65e5\u672c", "..\\..\\etc", "C:\\x", "\\\\server\\share"]
    for i, text in enumerate(texts):
        write("transfer", "text-%d" % i, b"\0" + text.encode())

    settle = 0x80
    def peer(message, op=settle):
        message = message.encode() if isinstance(message, str) else message
        return bytes([op | 0, len(message)]) + message

    def stranger(message):
        return peer(message, settle | 1)

    def click(which):  # 0 send, 1 receive, 2 abort, 3 print
        return bytes([settle | 5, which])

    end, abort = bytes.fromhex("176216C8"), bytes.fromhex("580107D3")
    host, viewer = 1, 3
    data = bytes(range(200))
    receive_one = peer(header(data, "Photos\\x.bin")) + peer(data[:120]) + peer(data[120:]) + peer(end)
    folders = peer("DIRECTORYPhotos\\2024") + peer("OPENDOCSDIR")
    write("transfer", "host-receives", bytes([host]) + peer("SELECTDIR") + receive_one + folders)
    write("transfer", "viewer-receives", bytes([viewer]) + click(1) + peer("SELECTDIR") + receive_one + folders)
    write("transfer", "viewer-refuses", bytes([viewer]) + peer(header(b"abc", "x.bin")) + peer("DIRECTORYx"))
    # The sender's batch: a.txt in one record, folder/b.bin in two, then the folders.
    batch = peer("DIRSELECTED") + peer("D") + peer("D") + peer("COMPLETE") + peer("D") * 3 + peer("COMPLETE")
    write("transfer", "host-sends", bytes([host]) + peer("GETFILE") + batch)
    write("transfer", "viewer-sends", bytes([viewer]) + click(0) + batch)
    write("transfer", "sender-told-corrupted", bytes([host]) + peer("GETFILE") + peer("DIRSELECTED") +
          peer("D") + peer("D") + peer("CORRUPTED"))
    # Failures while receiving: the sender aborts, a stranger interferes, the
    # receiver's user aborts, the data stalls, the connection ends.
    start = bytes([host]) + peer(header(data, "y.bin")) + peer(data[:100])
    write("transfer", "sender-aborts", start + peer(abort))
    write("transfer", "stranger-interferes", start + stranger(data[100:]) + stranger(header(b"abc", "z.bin")))
    write("transfer", "user-aborts", start + click(2) + peer(data[100:]))
    write("transfer", "stalls", start + bytes([settle | 4, 20]))
    write("transfer", "peer-ends", start + bytes([settle | 6, 0]))
    write("transfer", "too-long", start + peer(data))
    # Interleaved: the peer's records come before the worker ran anything.
    write("transfer", "interleaved", bytes([host]) + peer(header(data, "i.bin"), 0) + bytes([2, 3]) +
          peer(data[:100], 0) + bytes([2]) + peer(data[100:], 0) + bytes([3, 2, 3]) + peer(end, 0) + bytes([settle | 7]))
    # Paths that try to leave the destination, each refused.
    hostile = ["..\\x", "..\\..\\..\\x", "\\x", "/x", "C:\\x", "a\\.\\b", "a\\\\b", "a\tb"]
    write("transfer", "hostile-paths", bytes([host]) + b"".join(
        peer("DIRECTORY" + path) + peer(header(b"abc", path)) + peer(b"abc") + peer(end) for path in hostile))
    # Names that collide: a folder where a file was kept, a file where a folder stands.
    write("transfer", "collisions", bytes([host]) + peer(header(b"abc", "c")) + peer(b"abc") + peer(end) +
          peer("DIRECTORYc") + peer(header(b"abc", "c\\d")) + peer("DIRECTORYe") + peer(header(b"abc", "e")))
    # A printed document: taken from the host without asking, then sent back.
    write("transfer", "printed", bytes([viewer]) + peer(header(b"%PDF", "VELMORAPRINTER.PDF")) + peer(b"%PDF") +
          peer(end) + click(3) + peer("DIRSELECTED") + peer("D") + peer("D") + peer("COMPLETE"))


def stun_seeds():
    """crserver's datagrams: the published STUN test vectors (a request with
    short-term and one with long-term credentials, IPv4 and IPv6 answers), the
    requests of a TURN session and ChannelData."""
    h = bytes.fromhex
    write("stun_message", "sample-request", h(
        "000100582112a442b7e7a701bc34d686fa87dfae802200105354554e207465737420636c69656e74"
        "002400046e0001ff80290008932ff9b151263b360006000965767"
        "46a3a6836765920202000080014" "9aeaa70cbfd8cb56781ef2b5b2d3f249c1b571a280280004e57a3bcf"))
    write("stun_message", "ipv4-response", h(
        "0101003c2112a442b7e7a701bc34d686fa87dfae8022000b7465737420766563746f7220"
        "002000080001a147e112a64300080014" "2b91f599fd9e90c38c7489f92af9ba53f06be7d780280004c07d4c96"))
    write("stun_message", "ipv6-response", h(
        "010100482112a442b7e7a701bc34d686fa87dfae8022000b7465737420766563746f7220"
        "002000140002a1470113a9faa5d3f179bc25f4b5bed2b9d9"
        "00080014a382954e4be67bf11784c97c8292c275bfe3ed4180280004c8fb0b4c"))
    write("stun_message", "long-term-request", h(
        "000100602112a44278ad3433c6ad72c029da412e00060012e3839ee38388e383aae38383e382afe382b90000"
        "0015001c662f2f3439396b39353464364f4c33346f4c39465354767936347341"
        "0014000b6578616d706c652e6f726700" "00080014f67024656dd64a3e02b8e0712e85c9a28ca89666"))

    def message(method_class, attributes, tid=b"\x01" * 12):
        body = b""
        for kind, value in attributes:
            body += struct.pack(">HH", kind, len(value)) + value + b"\0" * (-len(value) % 4)
        return struct.pack(">HHI", method_class, len(body), 0x2112A442) + tid + body

    peer = struct.pack(">BBH", 0, 1, 3480 ^ 0x2112) + struct.pack(">I", 0x0A4D0002 ^ 0x2112A442)
    auth = [(0x0006, b"alice"), (0x0014, b"corvala"), (0x0015, b"0000002a0123456789abcdef")]
    write("stun_message", "allocate", message(0x0003, [(0x0019, b"\x11\0\0\0"), (0x000D, b"\0\0\x0e\x10")] + auth))
    write("stun_message", "create-permission", message(0x0008, [(0x0012, peer), (0x0012, peer)] + auth))
    write("stun_message", "channel-bind", message(0x0009, [(0x000C, b"\x40\0\0\0"), (0x0012, peer)] + auth))
    write("stun_message", "refresh", message(0x0004, [(0x000D, b"\0\0\0\0")] + auth))
    write("stun_message", "send-indication", message(0x0016, [(0x0012, peer), (0x0013, b"hello")]))
    write("stun_message", "channel-data", struct.pack(">HH", 0x4000, 5) + b"hello\0\0\0")
    write("stun_message", "probe", b"corvala turn-check\n")


def contacts_seeds():
    """adbook.dt and .crc records (versions 1 and 2, with and without a book
    password) and an mc.dt record, as the program writes them."""
    def s(text):
        units = text.encode("utf-16-le")
        return struct.pack("<i", len(units) // 2) + units

    def book(version, password, groups):
        out = struct.pack("<i", version) + (s(password) if version >= 2 else b"")
        out += struct.pack("<i", len(groups))
        for name, contacts in groups:
            out += s(name) + struct.pack("<i", len(contacts))
            for c in contacts:
                fields = c if version >= 2 else c[:2] + c[3:]
                out += b"".join(s(f) for f in fields)
        return out
    groups = [("B\u00fcro", [("Ulla Trevik", "123456789", "host pw", "ulla@example.org", "+46 1", "ulla.t",
                                "\u674e \U0001F600"), ("Bo", "987654321", "", "", "", "", "")]),
              ("Home", [])]
    for target in ("address_book", "book_import"):
        write(target, "v2-protected", book(2, "book pw", groups))
        write(target, "v2-open", book(2, "", groups))
        write(target, "v1", book(1, "", groups))
    table = struct.pack("<ii", 1, 2) + s("123456789") + s("00-1A-2B-3C-4D-5E") + s("255.255.255.255") + s("32767")
    table += s("987654321") + s("00:1a:2b:3c:4d:5e") + s("192.0.2.7") + s("9")
    write("wake_table", "two-records", table)


if __name__ == "__main__":
    main()
