#!/usr/bin/env python3
"""Generates Quorrel's demo data: the sample catalogue (demo/catalogue) and the folder of games the update
server's tree is built from (demo/games; the build makes the tree with quorrel-catalogue). Every picture is drawn
here and every game archive is built here.

    python3 demo/make-demo-data.py     (writes into the demo/ folder beside this script)
"""
import io
import math
import os
import shutil
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
FIXED_TIME = (2026, 11, 20, 12, 0, 0)


# ---------------------------------------------------------------------------------------------- GIF writer
def lzw_encode(pixels, min_code_size=8):
    clear = 1 << min_code_size
    end = clear + 1
    out = bytearray()
    acc = 0
    nbits = 0
    code_size = min_code_size + 1

    def emit(code):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += code_size
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8

    table = {}
    next_code = end + 1
    emit(clear)
    prefix = None
    for p in pixels:
        if prefix is None:
            prefix = (p,)
            continue
        key = prefix + (p,)
        if key in table or len(key) == 1:
            prefix = key
            continue
        emit(table[prefix] if len(prefix) > 1 else prefix[0])
        if next_code < 4096:
            table[key] = next_code
            next_code += 1
            if next_code > (1 << code_size) and code_size < 12:
                code_size += 1
        else:
            emit(clear)
            table = {}
            next_code = end + 1
            code_size = min_code_size + 1
        prefix = (p,)
    if prefix is not None:
        emit(table[prefix] if len(prefix) > 1 else prefix[0])
    emit(end)
    if nbits:
        out.append(acc & 0xFF)
    blocks = bytearray()
    for i in range(0, len(out), 255):
        chunk = out[i:i + 255]
        blocks.append(len(chunk))
        blocks += chunk
    blocks.append(0)
    return bytes(blocks)


def gif(width, height, palette, frames, delay=12):
    pal = list(palette) + [(0, 0, 0)] * (256 - len(palette))
    data = bytearray(b"GIF89a")
    data += width.to_bytes(2, "little") + height.to_bytes(2, "little")
    data += bytes([0xF7, 0, 0])
    for r, g, b in pal:
        data += bytes([r, g, b])
    if len(frames) > 1:
        data += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00"
    for frame in frames:
        data += b"\x21\xF9\x04\x00" + delay.to_bytes(2, "little") + b"\x00\x00"
        data += b"\x2C" + (0).to_bytes(2, "little") * 2
        data += width.to_bytes(2, "little") + height.to_bytes(2, "little") + b"\x00"
        data += b"\x08" + lzw_encode(frame)
    data += b"\x3B"
    return bytes(data)


class Canvas:
    def __init__(self, w, h, bg=0):
        self.w, self.h = w, h
        self.px = bytearray([bg]) * (w * h)

    def rect(self, x, y, w, h, c):
        for yy in range(max(0, y), min(self.h, y + h)):
            row = yy * self.w
            for xx in range(max(0, x), min(self.w, x + w)):
                self.px[row + xx] = c

    def circle(self, cx, cy, r, c):
        for yy in range(max(0, cy - r), min(self.h, cy + r + 1)):
            for xx in range(max(0, cx - r), min(self.w, cx + r + 1)):
                if (xx - cx) ** 2 + (yy - cy) ** 2 <= r * r:
                    self.px[yy * self.w + xx] = c

    def frame(self):
        return bytes(self.px)


PALETTE = [
    (16, 24, 40), (240, 240, 240), (230, 190, 60), (70, 160, 230), (220, 70, 60), (90, 190, 90),
    (150, 90, 200), (250, 140, 40), (60, 60, 80), (120, 200, 220), (30, 110, 60), (200, 200, 210),
]


def sky(c, top, bottom):
    for y in range(c.h):
        c.rect(0, y, c.w, 1, top if y < c.h * 2 // 3 else bottom)


def scene(kind, w=128, h=128, frames=8):
    out = []
    for k in range(frames):
        t = k / frames
        c = Canvas(w, h)
        if kind == "ball":
            sky(c, 3, 5)
            x = int(10 + (w - 20) * t)
            y = int(h * 2 // 3 - 12 - abs(math.sin(t * math.pi * 2)) * 50)
            c.circle(x, y, 9, 4)
            c.rect(0, h * 2 // 3, w, 3, 10)
        elif kind == "blocks":
            c.rect(0, 0, w, h, 0)
            for i, col in enumerate([4, 5, 3, 6, 7]):
                c.rect(14 + i * 20, h - 20 - (i % 3) * 16, 18, 16 + (i % 3) * 16, col)
            c.rect(34 + (k % 4) * 16, int(8 + t * (h - 60)), 18, 16, 2)
        elif kind == "race":
            c.rect(0, 0, w, h, 10)
            c.rect(w // 4, 0, w // 2, h, 8)
            for i in range(6):
                c.rect(w // 2 - 2, ((i * 28) + k * 7) % h, 4, 14, 1)
            c.rect(w // 2 - 18 + int(8 * math.sin(t * 6.28)), h - 44, 14, 24, 4)
            c.rect(w // 2 + 8, int((t * h * 1.4) % h) - 24, 14, 24, 3)
        elif kind == "stars":
            c.rect(0, 0, w, h, 0)
            for i in range(24):
                x = (i * 37 + k * (i % 5 + 1) * 3) % w
                y = (i * 53) % h
                c.rect(x, y, 2, 2, 1 if i % 3 else 9)
            c.rect(w // 2 - 8, h - 30, 16, 18, 9)
            c.rect(w // 2 - 2, h - 38, 4, 8, 1)
            c.rect(int(w * t), 20 + (k % 2) * 4, 12, 8, 4)
        elif kind == "maze":
            c.rect(0, 0, w, h, 8)
            for i in range(0, w, 16):
                c.rect(i, 0, 3, h - 16 * ((i // 16) % 3), 11)
            c.circle(8 + int((w - 16) * t), h // 2, 6, 2)
        elif kind == "chess":
            for yy in range(8):
                for xx in range(8):
                    c.rect(xx * w // 8, yy * h // 8, w // 8, h // 8, 1 if (xx + yy) % 2 else 8)
            c.circle(w // 16 + (k % 8) * w // 8, h // 16 + 3 * h // 8, 5, 4)
        elif kind == "snake":
            c.rect(0, 0, w, h, 5)
            for i in range(10):
                c.rect(((k * 8 + i * 8) % (w - 8)), h // 2 + (8 if i % 2 else 0), 8, 8, 10)
            c.rect((k * 13) % (w - 8), h // 4, 8, 8, 4)
        elif kind == "cards":
            c.rect(0, 0, w, h, 10)
            for i in range(4):
                c.rect(10 + i * 28, 30 + (4 if (k + i) % 4 == 0 else 0), 24, 36, 1)
                c.rect(18 + i * 28, 42, 8, 8, 4 if i % 2 else 0)
        else:  # "folder" pictures and placeholders: a frame with a badge that pulses
            colour = {"arcade": 4, "puzzle": 6, "racing": 3, "strategy": 5, "x100": 9, "news": 7,
                      "template": 11, "noscr": 11, "sport": 7}.get(kind, 2)
            c.rect(0, 0, w, h, 0)
            c.rect(6, 6, w - 12, h - 12, colour)
            r = 14 + (k % 4) * 3
            c.circle(w // 2, h // 2, r, 1)
            c.circle(w // 2, h // 2, max(4, r - 8), colour)
        out.append(c.frame())
    return gif(w, h, PALETTE, out)


# ------------------------------------------------------------------------------------------- catalogue data
FOLDERS = [
    ("Аркады", "Быстрые игры для коротких поездок: прыгай, беги, уворачивайся.", "arcade"),
    ("Головоломки", "Игры, в которых думать важнее, чем спешить.", "puzzle"),
    ("Гонки", "Машины, мотоциклы и трассы на маленьком экране.", "racing"),
    ("Стратегии", "Партии на несколько вечеров: планируй и побеждай.", "strategy"),
]

# name, folder, file, screenshot, owner, description, local (files on disk in the sample catalogue)
GAMES = [
    ("Прыгающий мяч", 0, "bounceball", "bounceball.gif", "Иван П.",
     "Мяч скачет по холмам и собирает звёзды. Пять миров и секретный уровень.", True, "ball"),
    ("Космический патруль", 0, "spacepatrol", "spacepatrol.gif", "Kelvor",
     "Защищай станцию от метеоритов. Управление одной кнопкой.", True, "stars"),
    ("Змейка 2026", 0, "snake2026", "snake2026.gif", "Ольга",
     "Классическая змейка с новыми режимами и таблицей рекордов.", False, "snake"),
    ("Блоки", 1, "blocks", "blocks.gif", "Сергей",
     "Падающие блоки: собери линию и очисти поле.", True, "blocks"),
    ("Лабиринт", 1, "labyrinth", "labyrinth.gif", "Мария К.",
     "Проведи шарик через сто лабиринтов. Без таймера и без спешки.", False, "maze"),
    ("Пасьянс", 1, "solitaire", "", "Анна",
     "Косынка и паук на телефоне. Скриншота пока нет.", False, None),
    ("Ночная трасса", 2, "nightrace", "nightrace.gif", "Дмитрий",
     "Гонка по ночному городу: обгоняй соперников и не врезайся.", True, "race"),
    ("Мотокросс", 2, "motocross", "motocross.gif", "Алексей",
     "Трюки на мотоцикле, двенадцать трасс.", False, None),
    ("Шахматы", 3, "chess", "chess.gif", "Kelvor",
     "Шахматы с тремя уровнями сложности и разбором партии.", True, "chess"),
    ("Карточный король", 3, "cardking", "cardking.gif", "Павел",
     "Карточная стратегия: собери колоду и завоюй королевство.", False, "cards"),
]

# What the update server adds: a fifth folder and two games.
NEW_FOLDER = ("Спорт", "Футбол, теннис и другие виды спорта.", "sport")
NEW_GAMES = [
    ("Футбол 11", 4, "football11", "football11.gif", "Никита",
     "Футбольный матч одиннадцать на одиннадцать.", False, "ball"),
    ("Теннис", 4, "tennis", "tennis.gif", "Елена",
     "Большой теннис: подача, смэш и турнир на кубок.", False, "blocks"),
]


def cp(text):
    return text.encode("cp1251")


def catalogue(folders, games, version):
    lines = ['<model name="SGH-X100" disp="128" desc="Игры для Samsung SGH-X100 и похожих телефонов." '
             'vers="%s" pic="x100">' % version]
    for fi, (fname, fdesc, fpic) in enumerate(folders):
        lines.append('<folder name="%s" desc="%s" pic="%s">' % (fname, fdesc, fpic))
        for g in games:
            if g[1] != fi:
                continue
            name, _, file, screen, owner, desc = g[:6]
            lines.append('<game name="%s">' % name)
            lines.append('<size="%d">' % len(jar_bytes(g)))
            lines.append('<file="%s">' % file)
            lines.append('<screen="%s">' % screen)
            lines.append('<owner="%s">' % owner)
            lines.append('<desc="%s">' % desc)
        lines.append("</folder>")
    lines.append("<end>")
    return cp("\r\n".join(lines) + "\r\n")


_jar_cache = {}


def manifest_lines(attributes):
    """Manifest lines as the jar tool writes them: at most 72 bytes, longer ones continued after a blank."""
    out = []
    for name, value in attributes:
        line = ("%s: %s" % (name, value)).encode("utf-8")
        out.append(line[:72])
        line = line[72:]
        while line:
            out.append(b" " + line[:71])
            line = line[71:]
    return b"\r\n".join(out) + b"\r\n"


def suite_attributes(game):
    name, _, file, _, owner, desc = game[:6]
    return [("MIDlet-Name", name), ("MIDlet-Version", "1.0.0"), ("MIDlet-Vendor", owner),
            ("MIDlet-1", "%s, /icon.png, %s" % (name, file)), ("MIDlet-Description", desc),
            ("MicroEdition-Profile", "MIDP-2.0"), ("MicroEdition-Configuration", "CLDC-1.1")]


def jar_bytes(game):
    name, file = game[0], game[2]
    if file in _jar_cache:
        return _jar_cache[file]
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
        manifest = manifest_lines([("Manifest-Version", "1.0")] + suite_attributes(game))
        for arcname, data in (("META-INF/MANIFEST.MF", manifest),
                              (file + ".class", bytes((i * 7 + len(file)) % 256 for i in range(6000))),
                              ("data/level.dat", (name.encode("utf-8") + b"\n") * 200)):
            info = zipfile.ZipInfo(arcname, FIXED_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data)
    _jar_cache[file] = buf.getvalue()
    return _jar_cache[file]


def jad_bytes(game):
    """The descriptor, UTF-8; on the phone the pair is File_suite.jad and File_suite.jar."""
    jar = jar_bytes(game)
    attributes = suite_attributes(game) + [("MIDlet-Jar-URL", game[2] + "_suite.jar"),
                                           ("MIDlet-Jar-Size", str(len(jar)))]
    return "".join("%s: %s\r\n" % a for a in attributes).encode("utf-8")


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def main():
    cat = os.path.join(HERE, "catalogue")
    games_dir = os.path.join(HERE, "games")
    for d in (cat, games_dir, os.path.join(HERE, "server")):
        if os.path.isdir(d):
            shutil.rmtree(d)
    # The sample catalogue the demo starts from.
    write(os.path.join(cat, "Javadata.xml"), catalogue(FOLDERS, GAMES, "2026.11"))
    write(os.path.join(cat, "Base", "news.new"), cp(
        "Добро пожаловать в Quorrel!\r\n\r\nВ каталоге десять игр для SGH-X100. Выберите игру в дереве слева, "
        "чтобы увидеть её описание и скриншот.\r\n\r\nКнопка «Обновить базу» загрузит новый каталог с сервера "
        "обновлений.\r\n"))
    for name, _, pic in FOLDERS:
        write(os.path.join(cat, "Base", "dir", pic + ".gif"), scene(pic, frames=4))
    for pic in ("x100", "template", "news"):
        write(os.path.join(cat, "Base", "dir", pic + ".gif"), scene(pic, frames=4))
    write(os.path.join(cat, "Base", "screen", "noscr.gif"), scene("noscr", frames=1))
    for g in GAMES:
        name, _, file, screen, _, _, local, kind = g
        if local:
            write(os.path.join(cat, "Base", "games", file + ".jad"), jad_bytes(g))
            write(os.path.join(cat, "Base", "games", file + ".jar"), jar_bytes(g))
        if screen and kind and local:
            write(os.path.join(cat, "Base", "screen", screen), scene(kind))
    # What the update server is made from (by quorrel-catalogue, at build time): one folder per catalogue
    # folder with its description and picture, each game's pair with its screenshot beside it, the model's
    # picture and the news. The server adds a fifth folder and two games to the sample.
    folders = FOLDERS + [NEW_FOLDER]
    write(os.path.join(games_dir, "model.gif"), scene("x100", frames=4))
    # The same placeholders as the sample's, so that an update finds them unchanged.
    for pic in ("template", "news"):
        write(os.path.join(games_dir, pic + ".gif"), scene(pic, frames=4))
    write(os.path.join(games_dir, "noscr.gif"), scene("noscr", frames=1))
    write(os.path.join(games_dir, "news.txt"), (
        "Обновление каталога от декабря 2026 года.\n\nНовая папка «Спорт» с двумя играми: «Футбол 11» и "
        "«Теннис». Скриншоты добавлены для всех игр, у которых они есть.\n").encode("utf-8"))
    for fname, fdesc, fpic in folders:
        write(os.path.join(games_dir, fname, "folder.txt"), fdesc.encode("utf-8"))
        write(os.path.join(games_dir, fname, "folder.gif"), scene(fpic, frames=4))
    for g in GAMES + NEW_GAMES:
        name, fi, file, screen, _, _, _, kind = g
        folder = os.path.join(games_dir, folders[fi][0])
        write(os.path.join(folder, file + ".jad"), jad_bytes(g))
        write(os.path.join(folder, file + ".jar"), jar_bytes(g))
        if screen and kind:
            write(os.path.join(folder, file + ".gif"), scene(kind))


if __name__ == "__main__":
    main()
