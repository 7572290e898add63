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
import time

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
    # Where each character stands across the cut: its centre and width.
    chars = [(m[0, 0] * (c[2] + c[4]) / 2 + m[0, 1] * (c[3] + c[5]) / 2 + m[0, 2], c[4] - c[2])
             for c in line]
    return {"image": cut, "text": text, "chars": chars, "x0": 12 * w, "x1": 12 * w + length,
            "y0": out_h / 2 - (y1 - y0) / 2, "y1": out_h / 2 + (y1 - y0) / 2, "w": w, "h": h}


def input_width(shape):
    """The width a line of this shape takes in the network's input."""
    h, w = shape
    return max(1, min(WIDTH, int(round(w * HEIGHT / h))))


def prepare(gray):
    """The network's input from a grey line: what classifier/line_net.cpp does."""
    width = input_width(gray.shape)
    small = cv2.resize(gray, (width, HEIGHT), interpolation=cv2.INTER_AREA).astype(np.float32)
    small = (small - small.mean()) / (small.std() + 1.0)
    out = np.zeros((HEIGHT, WIDTH), np.float32)
    out[:, :width] = small
    return out


def column_labels(chars, text):
    """The class each output column should give where the boxes tell: the character over the
    middle of its box, the blank between characters and beyond the line. A guide for the first
    steps of training, where CTC alone learns slowly (it must find the alignment first)."""
    labels = np.zeros(STEPS, np.int64)
    owner = np.full(STEPS, -1)
    scale = WIDTH // STEPS
    for k, ((centre, width), ch) in enumerate(zip(chars, text)):
        half = max(0.5 * scale, 0.22 * width)
        a = int(math.floor((centre - half) / scale))
        b = int(math.floor((centre + half) / scale))
        for t in range(max(0, a), min(STEPS - 1, b) + 1):
            labels[t], owner[t] = ALPHABET.index(ch) + 1, k
    # Two like characters that touch need a blank between them to be read as two.
    for t in range(1, STEPS):
        if labels[t] and labels[t] == labels[t - 1] and owner[t] != owner[t - 1]:
            labels[t] = 0
    return labels


def augment(parts, rng):
    """One random cut of a code: every line with its margins, the lines side by side; the
    input, the targets and the column labels."""
    several = len(parts) > 1
    pieces, spots = [], []
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
        spots.append([(c - xa, cw) for c, cw in p["chars"]])
    height = max(q.shape[0] for q in pieces)
    chars, offset = [], 0
    for k, q in enumerate(pieces):
        width = max(1, int(q.shape[1] * height / q.shape[0]))
        f = width / q.shape[1]
        chars += [(offset + c * f, cw * f) for c, cw in spots[k]]
        offset += width
        pieces[k] = cv2.resize(q, (width, height))
    line = np.hstack(pieces) if len(pieces) > 1 else pieces[0]
    stretch = rng.uniform(0.75, 1.35)
    width = max(8, int(line.shape[1] * stretch))
    f = width / line.shape[1]
    line = cv2.resize(line, (width, line.shape[0]))
    f *= input_width(line.shape) / line.shape[1]
    chars = [(c * f, cw * f) for c, cw in chars]
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
    return prepare(line), [ALPHABET.index(c) + 1 for c in text], column_labels(chars, text)


class LineNet(nn.Module):
    """Convolutions down to a height of 1 at a quarter of the width, then a head of convolutions
    across the columns (the last one dilated) that sees about three characters around each
    column: a recurrent head would see more, but OpenCV's ONNX import of recurrent layers is
    limited."""

    def __init__(self):
        super().__init__()

        def block(i, o, k=(3, 3), p=(1, 1), s=1, d=(1, 1)):
            return [nn.Conv2d(i, o, k, stride=s, padding=p, dilation=d, bias=False),
                    nn.BatchNorm2d(o), nn.ReLU()]

        self.features = nn.Sequential(
            *block(1, 16, s=2), nn.MaxPool2d(2),      # 8 x 64
            *block(16, 48), *block(48, 64), nn.MaxPool2d((2, 1)),  # 4 x 64
            *block(64, 96),
            *block(96, 128, (4, 1), (0, 0)))          # 1 x 64
        self.head = nn.Sequential(
            *block(128, 128, (1, 3), (0, 1)),
            *block(128, 128, (1, 3), (0, 2), d=(1, 2)),
            nn.Dropout(0.2),
            nn.Conv2d(128, len(ALPHABET) + 1, 1))

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
    ap.add_argument("--batch", type=int, default=32)
    ap.add_argument("--lr", type=float, default=1e-3)
    ap.add_argument("--guide", type=float, default=1.0,
                    help="weight of the column labels beside CTC in the first half")
    ap.add_argument("--out", required=True)
    ap.add_argument("--seed", type=int, default=20261221)
    args = ap.parse_args()
    random.seed(args.seed)
    np.random.seed(args.seed)
    torch.manual_seed(args.seed)
    torch.set_num_threads(1)  # faster than two on a busy machine
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
    batch = args.batch
    per_epoch = (len(train) + batch - 1) // batch
    steps = args.epochs * per_epoch
    opt = torch.optim.Adam(net.parameters(), lr=args.lr)
    # Full rate for the first two thirds, then down tenfold in two stages.
    sched = torch.optim.lr_scheduler.MultiStepLR(
        opt, milestones=[int(steps * 0.67), int(steps * 0.87)], gamma=0.3)
    ctc = nn.CTCLoss(blank=0, zero_infinity=True)
    frames = nn.CrossEntropyLoss()
    print(f"train_line_net: {len(train)} codes, {steps} steps of {batch}", file=sys.stderr)
    start = time.time()
    for epoch in range(args.epochs):
        rng = random.Random(args.seed * 1000 + epoch)
        net.train()
        picks = rng.sample(range(len(train)), len(train))
        total = 0.0
        # The column labels guide the first half of training and then let CTC alone finish.
        guide = args.guide if epoch < args.epochs // 2 else 0.0
        for b in range(0, len(picks), batch):
            made = [augment(train[i], rng) for i in picks[b:b + batch]]
            x = torch.from_numpy(np.stack([m[0] for m in made]))[:, None]
            targets = torch.tensor([t for m in made for t in m[1]], dtype=torch.long)
            lengths = torch.tensor([len(m[1]) for m in made], dtype=torch.long)
            logits = net(x).squeeze(2)  # N x C x T
            logp = logits.permute(2, 0, 1).log_softmax(2)  # T x N x C
            loss = ctc(logp, targets, torch.full((len(made),), STEPS, dtype=torch.long), lengths)
            if guide > 0:
                columns = torch.from_numpy(np.stack([m[2] for m in made]))
                loss = loss + guide * frames(logits, columns)
            opt.zero_grad()
            loss.backward()
            nn.utils.clip_grad_norm_(net.parameters(), 5.0)
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
              f"held-out codes {right}/{len(check)} ({time.time() - start:.0f} s)", file=sys.stderr, flush=True)
        # Written after every epoch, so that a long run leaves its latest network.
        torch.onnx.export(net, torch.zeros(1, 1, HEIGHT, WIDTH), args.out, opset_version=11,
                          input_names=["line"], output_names=["logits"])
    print(f"train_line_net: wrote {args.out} ({os.path.getsize(args.out)} bytes)",
          file=sys.stderr)


if __name__ == "__main__":
    main()
