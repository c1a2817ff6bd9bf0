#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into fuzz/corpus/<target>/: small valid files and a few damaged
ones, made here rather than taken from anywhere. Run it again after changing it; files it does not make (the
crash inputs kept for the regression run) are left alone."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def cp(text):
    return text.encode("cp1251")


def put(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = cp(data)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def crlf(lines):
    return "".join(line + "\r\n" for line in lines)


# ---- catalogue ---------------------------------------------------------------------------------------------
GOOD_CATALOGUE = crlf([
    '<model name="SGH-X100" disp="128" desc="Игры для X100" vers="1.3" pic="x100">',
    '<folder name="Аркады" desc="Быстрые игры" pic="arcade">',
    '<game name="Blocks">',
    '<size="20480">', '<file="blocks">', '<screen="blocks.gif">', '<owner="Иван">', '<desc="Падающие блоки">',
    '</game>',
    '<folder name="Гонки" desc="" pic="racing">',
    '<game name="Night Race">', '<desc="Ночные гонки">', '<file="nightrace">',
    '</folder>',
    '</folder>',
    '<game name="Chess">', '<size="31000">',
    '<end>',
])


def catalogue_seeds():
    put("catalogue", "good.xml", GOOD_CATALOGUE)
    put("catalogue", "end-only.xml", "<end>\r\n")
    put("catalogue", "empty.xml", b"")
    put("catalogue", "no-end-lf.xml", GOOD_CATALOGUE.replace("\r\n<end>\r\n", "\n").replace("\r\n", "\n"))
    put("catalogue", "two-models.xml", crlf([
        '<model name="A" disp="160" vers="1" desc="a" pic="a">', '<game name="g1">',
        '<model name="B" disp="128" vers="2" desc="b" pic="b">', '<folder name="f" desc="" pic="">',
        '<game name="">', '</folder>', '<end> trailing', '<game name="after end">']))
    # Unbalanced folders and details before any game: the tree builder's error path.
    put("catalogue", "unbalanced.xml", crlf([
        '<size="1">', '<folder name="deep" desc="" pic="">', '<folder name="deeper">', '<game name="g">',
        '</folder>', '</folder>', '</folder>', '</folder>', '<game name="  blank start">', '<end>']))
    put("catalogue", "unterminated.xml", crlf(['<model name="no quote', '<folder name', '<game name="x', '<desc=',
                                               '<screen', '<owner="a"b"', ' <game name="indented">', '<end>']))
    # More folders and games than the tables hold.
    many = ['<model name="M" disp="128" desc="" vers="9" pic="">']
    for i in range(260):
        many.append('<folder name="f%d" desc="" pic="">' % i)
        if i % 60 == 0:
            many += ['<game name="g%d_%d">' % (i, j) for j in range(300)]
        many.append('</folder>')
    many.append('<end>')
    put("catalogue", "over-capacity.xml", "\n".join(many) + "\n")
    # Values longer than a load keeps (cut at 64 KB) in every field the window shows; the huge one-line
    # description that once froze and crashed the window, scaled down to the fuzzer's input size.
    long = "w" * 65600
    put("catalogue", "long-values.xml", crlf([
        '<model name="M" disp="128" desc="%s" vers="%s" pic="p">' % (long[:100], long[:200]),
        '<game name="%s">' % long[:70000 - 65600 + 100], '<desc="%s' % long, '<owner="%s">' % long[:300],
        '<end>']))
    # Detail lines after folder and model lines still belong to the game before them.
    put("catalogue", "details-after-folder.xml", crlf([
        '<model name="M">', '<game name="G">', '<folder name="F">', '<size="100">', '</folder>', '<file="ff">',
        '<model name="N">', '<desc="d">', '<end>']))


# ---- outline -----------------------------------------------------------------------------------------------
def outline_seeds():
    put("outline", "good.tmp", crlf(["SGH-X100", " Аркады", "  Blocks", "  Гонки", "   Night Race", " Chess",
                                     "Новости"]))
    put("outline", "too-deep.tmp", crlf(["root", "   deep"]))
    put("outline", "tabs.tmp", "a\n\tb\n\t \tc\n\t\td\n\n e\n")
    put("outline", "starts-deep.tmp", crlf([" first", "second", "  third"]))
    put("outline", "empty.tmp", b"")


# ---- settings ----------------------------------------------------------------------------------------------
def settings_file(server="http://127.0.0.1:8080/", mode="3", pics="1", proxy="0", host="proxy", port="3128",
                  user="user", password="пароль", com="COM3", speed="115200", java="1", sort="0"):
    return crlf(["[Update Server]", server, mode, pics, "", "[Proxy Settings]", proxy, host, port, user, password, "",
                 "[Connection]", com, speed, java, "", "[Interface]", sort])


def settings_seeds():
    put("settings", "good.ini", settings_file())
    put("settings", "proxy-on.ini", settings_file(proxy="1", mode="2", sort="1", java="0"))
    put("settings", "bad-numbers.ini", settings_file(mode="x", port="12a", speed="fast", proxy="1"))
    put("settings", "big-numbers.ini", settings_file(mode="  258 rest", speed="-2147483648", port="4294967295",
                                                     proxy="yes", pics=" 0"))
    put("settings", "truncated.ini", settings_file()[:120])
    put("settings", "sections-swapped.ini", crlf(["[Interface]", "1", "[Connection]", "COM16", "460800", "0",
                                                  "[Update Server]", "srv", "1"]))
    put("settings", "lf-only.ini", settings_file().replace("\r\n", "\n"))
    put("settings", "empty.ini", b"")
    # A read that stops at a bad line, and files whose headers are damaged: a save keeps what it did not read,
    # or keeps the old file beside the new one.
    put("settings", "bad-pictures-line.ini", settings_file(pics="x", proxy="1", sort="1"))
    put("settings", "damaged-header.ini", settings_file(proxy="1").replace("[Proxy Settings]", "[Proxy settings]"))
    put("settings", "misspelt-connection.ini", settings_file().replace("[Connection]", "[Conection]"))
    put("settings", "byte-order-mark.ini", b"\xef\xbb\xbf" + cp(settings_file(proxy="1")))
    # A proxy section that ends after its flag, as a file written with the proxy off may hold it, and one that
    # ends after its port: the next section's lines are no proxy details.
    put("settings", "short-proxy.ini", crlf(["[Update Server]", "srv", "1", "0", "", "[Proxy Settings]", "0", "",
                                             "[Connection]", "COM3", "230400", "0", "", "[Interface]", "1"]))
    put("settings", "short-proxy-on.ini", crlf(["[Update Server]", "srv", "1", "0", "", "[Proxy Settings]", "1",
                                                "proxy", "3128", "[Connection]", "COM3", "230400", "0", "",
                                                "[Interface]", "1"]))
    # A read that stops early over a short section: the next header stands where a value belongs, so the lines
    # not read cannot be written back where they stood.
    put("settings", "short-connection.ini", crlf(["[Update Server]", "s", "x", "0", "", "[Proxy Settings]", "0", "h",
                                                  "1", "u", "p", "", "[Connection]", "COM3", "115200", "[Interface]",
                                                  "0"]))


# ---- zip archives --------------------------------------------------------------------------------------------
def make_zip(members, comment=b"", compression=None, host=None):
    import io
    import zipfile
    buf = io.BytesIO()
    method = zipfile.ZIP_DEFLATED if compression is None else compression
    with zipfile.ZipFile(buf, "w", method) as z:
        z.comment = comment
        for name, data in members:
            info = zipfile.ZipInfo(name, date_time=(2024, 5, 1, 12, 0, 0))
            if host is not None:
                info.create_system = host
            info.compress_type = method
            z.writestr(info, data)
    return buf.getvalue()


def io_zip_with_modes(members):
    import io
    import zipfile
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_STORED) as z:
        for name, data, mode in members:
            info = zipfile.ZipInfo(name, date_time=(2024, 5, 1, 12, 0, 0))
            info.create_system = 3
            info.external_attr = mode << 16
            z.writestr(info, data)
    return buf.getvalue()


def zip_seeds():
    import zipfile
    good = make_zip([("Javadata.xml", GOOD_CATALOGUE.encode("cp1251")), ("Base/dir/arcade.gif", b"GIF89a" + bytes(20))])
    oem = make_zip([("Игры/новое.txt".encode("cp866").decode("cp437"), b"x" * 50)], host=0)
    stored = make_zip([("a.txt", b"hello"), ("dir/", b""), ("dir/b.txt", b"world" * 10)],
                      compression=zipfile.ZIP_STORED, comment=b"archive comment")
    climbing = make_zip([("../outside.txt", b"bad"), ("../../far.txt", b"bad"), ("ok.txt", b"ok"),
                         ("/quorrel-fuzz-absolute/x.txt", b"bad"), ("a/../../b.txt", b"bad")])
    # A damaged member: its CRC no longer matches (byte flipped inside the stored data).
    damaged = bytearray(make_zip([("crc.txt", b"0123456789" * 4)], compression=zipfile.ZIP_STORED))
    damaged[damaged.index(b"0123456789") + 3] ^= 0x20
    # An encrypted-looking member: flag bit 0 set in both headers.
    enc = bytearray(make_zip([("secret.txt", b"secret data")], compression=zipfile.ZIP_STORED))
    for sig, flag_at in ((b"PK\x03\x04", 6), (b"PK\x01\x02", 8)):
        at = enc.index(sig) + flag_at
        enc[at] |= 1
    empty = b"PK\x05\x06" + bytes(18)
    stub = b"MZ self-extracting stub" * 8 + good
    many = make_zip([("f%03d.txt" % i, b"%d" % i) for i in range(40)])
    # Members a Unix host recorded as a link, a set-id program, a pipe: written, if at all, as plain files.
    odd_members = io_zip_with_modes([("link", b"/etc/passwd", 0o120777), ("sub/up", b"../..", 0o120777),
                                 ("run.sh", b"#!/bin/sh\n", 0o106755), ("fifo", b"f", 0o010644),
                                 ("Javadata.xml/", b"", 0o040755), ("Javadata.xml/keep", b"k", 0o100644)])
    # Sizes that lie: 4 MB of zeros whose headers claim 1 KB.
    lying = bytearray(make_zip([("zeros.bin", bytes(4 * 1024 * 1024))]))
    for sig, size_at in ((b"PK\x03\x04", 22), (b"PK\x01\x02", 24)):
        at = lying.index(sig) + size_at
        lying[at:at + 4] = (1024).to_bytes(4, "little")
    seeds = {"good.zip": good, "odd-members.zip": odd_members, "lying-sizes.zip": bytes(lying), "oem-names.zip": oem, "stored-comment.zip": stored, "climbing.zip": climbing,
             "crc-error.zip": bytes(damaged), "encrypted.zip": bytes(enc), "empty.zip": empty, "stub.zip": stub,
             "many.zip": many, "truncated.zip": good[:-30], "no-end.zip": good[:len(good) // 2]}
    for name, data in seeds.items():
        put("zipdir", name, data)
        put("unzip", name, data)
    # End-record search: three bytes of filler length, then the archive.
    for name, filler, data in (("near.bin", 10, good), ("window-edge.bin", 65535 - len(empty) + 1, empty),
                               ("beyond.bin", 70000, empty), ("two-records.bin", 100, empty + b"x" * 30 + empty),
                               ("comment.bin", 0, stored), ("nothing.bin", 500, b"no record here")):
        put("zipend", name, bytes([filler & 255, filler >> 8 & 255, filler >> 16 & 255]) + data)


# ---- HTTP responses ------------------------------------------------------------------------------------------
def http_seeds():
    body = b"PK\x03\x04 game bytes " * 20
    def response(status=b"HTTP/1.0 200 OK", headers=None, payload=body):
        if headers is None:
            headers = [b"Content-Length: %d" % len(payload)]
        return status + b"\r\n" + b"".join(h + b"\r\n" for h in headers) + b"\r\n" + payload
    # First byte: bit 0 a size query, bit 1 binary data.
    seeds = {
        "ok.bin": response(),
        "not-found.bin": response(b"HTTP/1.0 404 Not Found", payload=b"<html>no such game</html>"),
        "no-length.bin": response(headers=[b"Content-Type: text/plain"]),
        "short-body.bin": response(headers=[b"Content-Length: 9999"]),
        "long-body.bin": response(headers=[b"Content-Length: 10"]),
        "bad-length.bin": response(headers=[b"Content-Length: 12x", b"Content-Length: 5"]),
        "huge-length.bin": response(headers=[b"Content-Length: 99999999999999999999"]),
        "chunked.bin": response(b"HTTP/1.1 200 OK", [b"Transfer-Encoding: chunked"], b"5\r\nhello\r\n0\r\n\r\n"),
        "continue.bin": b"HTTP/1.1 100 Continue\r\n\r\n" + response(),
        "lf-only.bin": response().replace(b"\r\n", b"\n"),
        "redirect.bin": response(b"HTTP/1.0 302 Found", [b"Location: http://127.0.0.1:1/x", b"Content-Length: 0"], b""),
        "garbage.bin": b"\x00\xffnot http at all\r\n\r\n",
        "head-only.bin": b"HTTP/1.0 200 OK\r\nContent-Length: 4",
        # An error answer with a second status line among its headers must stay an error.
        "status-twice.bin": b"HTTP/1.0 404 Not Found\r\nHTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nerror",
    }
    for name, data in seeds.items():
        put("http", "get-" + name, b"\x00" + data)
    for name in ("ok.bin", "not-found.bin", "no-length.bin", "huge-length.bin", "continue.bin"):
        put("http", "size-" + name, b"\x01" + seeds[name])
    put("http", "binary-no-length.bin", b"\x02" + seeds["no-length.bin"])


# ---- phone -------------------------------------------------------------------------------------------------
def provider_string(text):
    """A string as FuzzedDataProvider.ConsumeRandomLengthString reads it: a backslash doubled, then the end
    marked by a backslash and another character."""
    return text.replace(b"\\", b"\\\\") + b"\\e"


def find_record(name, size, folder=False):
    import struct
    record = struct.pack("<I", 0x10 if folder else 0x20) + bytes(24) + struct.pack("<II", 0, size) + bytes(8)
    return record + name.ljust(260, b"\0")[:260] + bytes(14)


def phone_input(replies, records, list_piece, repeat=1):
    data = b"".join(provider_string(r) for r in replies)
    # Integers are read from the end of the data backwards: the record count, a byte that asks for a big list
    # when below 16, and the repeat count (two bytes for a big list, one for a small one). The bytes left in
    # the middle are the list piece.
    body = data + b"".join(records) + list_piece
    if repeat > 4:
        tail = bytes([(repeat - 1) & 255, (repeat - 1) >> 8 & 255, 0])
    else:
        tail = bytes([repeat - 1, 200])
    return body + tail + bytes([len(records)])


def phone_seeds():
    ok = [b"SAMSUNG\r\n\r\nOK\r\n", b"SGH-X100\r\n\r\nOK\r\n", b"350123456789012\r\n\r\nOK\r\n"]
    records = [find_record(b"blocks_suite.jad", 210), find_record(b"blocks_suite.jar", 20480),
               find_record(b"x" * 260, 1), find_record(b"folder", 0, True)]
    put("phone", "connect.bin", phone_input(ok, records, "Chess\r\nblocks\r\nАркада\r\n".encode("cp1251")))
    put("phone", "odd-replies.bin", phone_input([b"ERROR", b"\r\n\r\n", b"no break at all"], [], b"a\nb\rc"))
    put("phone", "big-list.bin", phone_input(ok, [], b"\n", 40000))
    put("phone", "near-limit.bin", phone_input(ok, [], b"Game\n", 13000))
    put("javalist", "crlf.txt", "beta\r\nAlpha\r\ngamma\r\n")
    put("javalist", "mixed.txt", "one\ntwo\rthree\r\n\r\nfive")
    put("javalist", "nul.txt", b"before\r\nx\0after\r\n")
    put("javalist", "cyrillic.txt", "Шахматы\r\nшашки\r\nАрканоид\r\nаркада\r\n")


# ---- dir.lst -----------------------------------------------------------------------------------------------
def dirlist_seeds():
    put("dirlist", "good.lst", crlf(["arcade", "puzzle", "racing", "<end>", "after-end"]))
    put("dirlist", "no-end.lst", "arcade\nstrategy\n")
    put("dirlist", "empty-line.lst", crlf(["", "x100", "<end>"]))
    put("dirlist", "climbing.lst", crlf(["../../outside", "..\\..\\outside", "/etc/x", "a/../../b", "ok", "<end>"]))
    put("dirlist", "odd.lst", b"<end> \r\n<END>\r\nname\x00with nul\r\r\n\xc0\xe1\r\n<end>")
    put("dirlist", "empty.lst", b"")


# ---- the cable: AT replies and OBEX folder listings ----------------------------------------------------------
def cable_seeds():
    put("atreply", "plain.bin", b"\x05\r\nSAMSUNG\r\n\r\nOK\r\n")
    put("atreply", "echo-urc.bin", b"\x01AT+CGMI\r\r\n+CREG: 1\r\nRING\r\n+CGMI: SAMSUNG\r\nOK\r\n")
    put("atreply", "cme.bin", b"\x7f\r\n+CME ERROR: 21\r\n")
    put("atreply", "connect-then-obex.bin", b"\x03\r\nCONNECT\r\n\xa0\x00\x07\x10\x00\x40\x00")
    put("atreply", "long.bin", b"\x00" + (b"x" * 300 + b"\r\n") * 40 + b"OK\r\n")
    put("atreply", "nul-lf.bin", b"\x02\nA\x00B\n\nERROR\n")
    head = '<?xml version="1.0"?>\n<!DOCTYPE folder-listing SYSTEM "obex-folder-listing.dtd">\n'
    put("folderlisting", "java.xml", (head + '<folder-listing version="1.0"><parent-folder/><folder name="sub"/>'
        '<file name="a_suite.jad" size="16" modified="20240131T235959Z"/></folder-listing>').encode())
    put("folderlisting", "odd-names.xml", ('<folder-listing><file name="../x"/><file name="&#x418;гра.jar" size="9x"/>'
        '<file size="1"/><folder name=".."/><other name="o"/></folder-listing>').encode())
    put("folderlisting", "entities.xml", b'<!DOCTYPE f [<!ENTITY a "aaaa">]><folder-listing><file name="&a;&a;"/>'
        b'</folder-listing>')
    put("folderlisting", "cut.xml", b'<folder-listing><file name="a" size="1')


if __name__ == "__main__":
    cable_seeds()
    dirlist_seeds()
    phone_seeds()
    http_seeds()
    zip_seeds()
    catalogue_seeds()
    outline_seeds()
    settings_seeds()
