#!/usr/bin/python3
"""Trains the line network: a code line as the locator cuts it (the characters with a margin of
the door around them, the lines of a code of several lines side by side) in, the characters out
by connectionist temporal classification (CTC). Exported as ONNX for OpenCV's dnn module.

Samples are folders of photographs with labels.csv (file,code[,...]) and boxes.csv
(file,index,char,x0,y0,x1,y1): the boxes are grouped into lines, every line is levelled by the
slope of its box centres, and each training step cuts it anew with random margins, blur, noise,
contrast and polarity. Fixed seeds, two threads: the same folders give the same network.

The input is what classifier/line_net.cpp feeds: grey, scaled to a height of 32 (aspect kept,
squeezed to 256 when wider), normalised to zero mean and unit deviation, padded with 0 to 256.
The output is (1, 37, 1, 64): per column of four pixels, the blank and the 36 characters.
"""

import argparse
import csv
import math
import os
import random
import sys

import cv2
import numpy as np
import torch
import torch.nn as nn

ALPHABET = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"
HEIGHT, WIDTH, STEPS = 32, 256, 64


def read_folder(folder):
    """The codes of a folder as lists of levelled line crops with their text and geometry."""
    labels = {}
    with open(os.path.join(folder, "labels.csv"), newline="") as f:
        for row in csv.reader(f):
            if row and row[0] != "file" and len(row) >= 2:
                labels[row[0]] = row[1]
    boxes = {}
    with open(os.path.join(folder, "boxes.csv"), newline="") as f:
        for row in csv.reader(f):
            if not row or row[0] == "file" or len(row) != 7:
                continue
            boxes.setdefault(row[0], []).append(
                (int(row[1]), row[2], *[float(v) for v in row[3:]]))
    codes = []
    for name in sorted(boxes):
        code = labels.get(name, "")
        chars = sorted(boxes[name])
        if len(code) != 11 or "".join(c[1] for c in chars) != code:
            continue
        image = cv2.imread(os.path.join(folder, name), cv2.IMREAD_GRAYSCALE)
        if image is None:
            continue
        lines = group_lines(chars)
        if lines is None:
            continue
        parts = [cut_line(image, line) for line in lines]
        if all(p is not None for p in parts):
            codes.append(parts)
    return codes


def group_lines(chars):
    """Boxes in reading order split where the centre drops by more than half a box; None for a
    code that runs top to bottom (a line of a single box but the check digit)."""
    heights = [c[5] - c[3] for c in chars]
    h = float(np.median(heights))
    lines = [[chars[0]]]
    for prev, c in zip(chars, chars[1:]):
        py, cy = (prev[3] + prev[5]) / 2, (c[3] + c[5]) / 2
        px, cx = (prev[2] + prev[4]) / 2, (c[2] + c[4]) / 2
        if abs(cy - py) > 0.5 * h or cx < px:
            lines.append([])
        lines[-1].append(c)
    if len(lines) > 3 or any(len(line) < 3 for line in lines[:-1]):
        return None
    return lines


def cut_line(image, line):
    """The line levelled and cut with a generous margin (12 box widths left, 6 right, 1.2 box
    heights above and below); the geometry of the characters in the cut."""
    x0 = min(c[2] for c in line)
    x1 = max(c[4] for c in line)
    y0 = min(c[3] for c in line)
    y1 = max(c[5] for c in line)
    w = float(np.median([c[4] - c[2] for c in line]))
    h = float(np.median([c[5] - c[3] for c in line]))
    if w < 2 or h < 6:
        return None
    angle = 0.0
    if len(line) >= 3:
        cx = np.array([(c[2] + c[4]) / 2 for c in line])
        cy = np.array([(c[3] + c[5]) / 2 for c in line])
        if cx.max() - cx.min() > 1:
            angle = math.degrees(math.atan(np.polyfit(cx, cy, 1)[0]))
    centre = ((x0 + x1) / 2, (y0 + y1) / 2)
    length = x1 - x0
    out_w = int(round(length + 18 * w))
    out_h = int(round(h * 3.4))
    m = cv2.getRotationMatrix2D(centre, angle, 1.0)
    m[0, 2] += 12 * w + length / 2 - centre[0]
    m[1, 2] += out_h / 2 - centre[1]
    cut = cv2.warpAffine(image, m, (out_w, out_h), flags=cv2.INTER_LINEAR,
                         borderMode=cv2.BORDER_REPLICATE)
    text = "".join(c[1] for c in line)
    return {"image": cut, "text": text, "x0": 12 * w, "x1": 12 * w + length,
            "y0": out_h / 2 - (y1 - y0) / 2, "y1": out_h / 2 + (y1 - y0) / 2, "w": w, "h": h}


def prepare(gray):
    """The network's input from a grey line: what classifier/line_net.cpp does."""
    h, w = gray.shape
    width = max(1, min(WIDTH, int(round(w * HEIGHT / h))))
    small = cv2.resize(gray, (width, HEIGHT), interpolation=cv2.INTER_AREA).astype(np.float32)
    small = (small - small.mean()) / (small.std() + 1.0)
    out = np.zeros((HEIGHT, WIDTH), np.float32)
    out[:, :width] = small
    return out


def augment(parts, rng):
    """One random cut of a code: every line with its margins, the lines side by side."""
    several = len(parts) > 1
    pieces = []
    for p in parts:
        w, h = p["w"], p["h"]
        left = rng.uniform(0.3, 3.5 if several else 9.5) * w
        right = rng.uniform(0.3, 3.5 if several else 4.5) * w
        above = rng.uniform(0.3, 0.9) * h
        below = rng.uniform(0.3, 0.9) * h
        xa = int(max(0, p["x0"] - left))
        xb = int(min(p["image"].shape[1], p["x1"] + right))
        ya = int(max(0, p["y0"] - above))
        yb = int(min(p["image"].shape[0], p["y1"] + below))
        pieces.append(p["image"][ya:yb, xa:xb])
    height = max(q.shape[0] for q in pieces)
    pieces = [cv2.resize(q, (max(1, int(q.shape[1] * height / q.shape[0])), height))
              for q in pieces]
    line = np.hstack(pieces) if len(pieces) > 1 else pieces[0]
    stretch = rng.uniform(0.75, 1.35)
    line = cv2.resize(line, (max(8, int(line.shape[1] * stretch)), line.shape[0]))
    if rng.random() < 0.3:  # a little slope the look did not take out
        a = rng.uniform(-2.5, 2.5)
        m = cv2.getRotationMatrix2D((line.shape[1] / 2, line.shape[0] / 2), a, 1.0)
        line = cv2.warpAffine(line, m, (line.shape[1], line.shape[0]),
                              borderMode=cv2.BORDER_REPLICATE)
    line = line.astype(np.float32)
    if rng.random() < 0.4:
        line = cv2.GaussianBlur(line, (0, 0), rng.uniform(0.4, 1.4))
    line = line * rng.uniform(0.5, 1.3) + rng.uniform(-40, 40)
    if rng.random() < 0.5:
        line = line + np.random.default_rng(rng.getrandbits(32)).normal(
            0, rng.uniform(2, 14), line.shape)
    if rng.random() < 0.5:
        line = 255 - line
    line = np.clip(line, 0, 255).astype(np.uint8)
    text = "".join(p["text"] for p in parts)
    return prepare(line), [ALPHABET.index(c) + 1 for c in text]


class LineNet(nn.Module):
    def __init__(self):
        super().__init__()

        def block(i, o, k=3, p=1, s=1):
            return [nn.Conv2d(i, o, k, stride=s, padding=p, bias=False), nn.BatchNorm2d(o),
                    nn.ReLU()]

        self.features = nn.Sequential(
            *block(1, 16, s=2),
            *block(16, 32), nn.MaxPool2d(2),
            *block(32, 64), nn.MaxPool2d((2, 1)),
            *block(64, 96, (4, 1), 0))
        self.head = nn.Sequential(
            nn.Conv2d(96, 96, (1, 3), padding=(0, 1)), nn.ReLU(), nn.Dropout(0.2),
            nn.Conv2d(96, len(ALPHABET) + 1, 1))

    def forward(self, x):
        return self.head(self.features(x))  # N x 37 x 1 x 64


def decode(logits):
    best = logits.argmax(1).reshape(logits.shape[0], -1)
    out = []
    for row in best.tolist():
        text, last = "", 0
        for k in row:
            if k != last and k != 0:
                text += ALPHABET[k - 1]
            last = k
        out.append(text)
    return out


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--lines", action="append", required=True,
                    help="a folder with labels.csv and boxes.csv")
    ap.add_argument("--repeat", action="append", type=int, default=[],
                    help="times each folder's codes are cut per epoch (one per --lines)")
    ap.add_argument("--epochs", type=int, default=20)
    ap.add_argument("--out", required=True)
    ap.add_argument("--seed", type=int, default=20261221)
    args = ap.parse_args()
    random.seed(args.seed)
    np.random.seed(args.seed)
    torch.manual_seed(args.seed)
    torch.set_num_threads(2)
    cv2.setNumThreads(1)

    codes = []
    for k, folder in enumerate(args.lines):
        read = read_folder(folder)
        repeat = args.repeat[k] if k < len(args.repeat) else 1
        print(f"train_line_net: {len(read)} codes from {folder} (x{repeat})", file=sys.stderr)
        codes += read * repeat
    order = random.Random(args.seed).sample(range(len(codes)), len(codes))
    held = set(order[: max(1, len(codes) // 20)])  # a check of the training, not a measurement
    train = [c for i, c in enumerate(codes) if i not in held]
    check = [codes[i] for i in sorted(held)]

    net = LineNet()
    batch = 48
    steps = args.epochs * ((len(train) + batch - 1) // batch)
    opt = torch.optim.AdamW(net.parameters(), lr=2e-3, weight_decay=1e-4)
    sched = torch.optim.lr_scheduler.OneCycleLR(opt, max_lr=3e-3, total_steps=steps)
    ctc = nn.CTCLoss(blank=0, zero_infinity=True)
    for epoch in range(args.epochs):
        rng = random.Random(args.seed * 1000 + epoch)
        net.train()
        picks = rng.sample(range(len(train)), len(train))
        total = 0.0
        for b in range(0, len(picks), batch):
            made = [augment(train[i], rng) for i in picks[b:b + batch]]
            x = torch.from_numpy(np.stack([m[0] for m in made]))[:, None]
            targets = torch.tensor([t for m in made for t in m[1]], dtype=torch.long)
            lengths = torch.tensor([len(m[1]) for m in made], dtype=torch.long)
            logp = net(x).squeeze(2).permute(2, 0, 1).log_softmax(2)  # T x N x C
            loss = ctc(logp, targets, torch.full((len(made),), STEPS, dtype=torch.long), lengths)
            opt.zero_grad()
            loss.backward()
            opt.step()
            sched.step()
            total += loss.item() * len(made)
        net.eval()
        rng = random.Random(args.seed + 7)
        made = [augment(c, rng) for c in check]
        with torch.no_grad():
            read = decode(net(torch.from_numpy(np.stack([m[0] for m in made]))[:, None]))
        right = sum(r == "".join(ALPHABET[t - 1] for t in m[1]) for r, m in zip(read, made))
        print(f"train_line_net: epoch {epoch + 1} loss {total / len(train):.3f} "
              f"held-out codes {right}/{len(check)}", file=sys.stderr, flush=True)
        # Written after every epoch, so that a long run leaves its latest network.
        torch.onnx.export(net, torch.zeros(1, 1, HEIGHT, WIDTH), args.out, opset_version=11,
                          input_names=["line"], output_names=["logits"])
    print(f"train_line_net: wrote {args.out} ({os.path.getsize(args.out)} bytes)",
          file=sys.stderr)


if __name__ == "__main__":
    main()
