"""Trains the character network: a small convolutional network that reads one character crop
(strokes 255 on 0, cut as the readers cut it) and gives the probabilities of the 36 characters.

Called by scripts/train-net with sample folders (SAMPLES/<c>/*.bmp); writes the ONNX model and
the text file that describes its input and classes. Fixed seeds; the same folders give the same
model on the same machine.
"""

import argparse
import os
import random
import sys
import time

import cv2
import numpy as np
import torch
import torch.nn as nn

CLASSES = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"
SIZE = 32  # the network reads SIZE x SIZE


def fit(crop, size=SIZE):
    """The crop fitted into size x size, its aspect kept, centred, as floats 0..1. The same
    arithmetic as the reader's (src/recognition/character_net.cpp)."""
    h, w = crop.shape
    scale = min(size / w, size / h)
    nw = max(1, min(size, int(round(w * scale))))
    nh = max(1, min(size, int(round(h * scale))))
    small = cv2.resize(crop, (nw, nh), interpolation=cv2.INTER_AREA)
    out = np.zeros((size, size), np.uint8)
    x = (size - nw) // 2
    y = (size - nh) // 2
    out[y:y + nh, x:x + nw] = small
    return out.astype(np.float32) / 255.0


def load(folders):
    images, labels, origin = [], [], []
    for index, folder in enumerate(folders):
        for c in CLASSES:
            d = os.path.join(folder, c)
            if not os.path.isdir(d):
                continue
            for name in sorted(os.listdir(d)):
                if not name.lower().endswith((".bmp", ".png")):
                    continue
                img = cv2.imread(os.path.join(d, name), cv2.IMREAD_GRAYSCALE)
                if img is None or img.size == 0 or img.max() == 0:
                    continue
                img = np.where(img >= 128, 255, 0).astype(np.uint8)
                images.append(img)
                labels.append(CLASSES.index(c))
                origin.append(index)
    return images, np.array(labels, np.int64), np.array(origin)


def augment(crop, rng):
    """A copy of a binary crop as another painter, camera or site might give it: slant, stretch,
    stroke width, blur with noise and a new threshold, and a piece covered."""
    h, w = crop.shape
    scale = 48.0 / h
    img = cv2.resize(crop, (max(2, int(round(w * scale))), 48), interpolation=cv2.INTER_LINEAR)
    h, w = img.shape
    pad = 12
    img = cv2.copyMakeBorder(img, pad, pad, pad, pad, cv2.BORDER_CONSTANT, value=0)
    stretch = rng.uniform(0.8, 1.4)
    slant = rng.uniform(-0.25, 0.25)
    squash = rng.uniform(0.9, 1.1)
    m = np.array([[stretch, slant, 0], [0, squash, 0]], np.float32)
    cx, cy = img.shape[1] / 2, img.shape[0] / 2
    m[0, 2] = cx - stretch * cx - slant * cy
    m[1, 2] = cy - squash * cy
    out_w = int(img.shape[1] * 1.5)
    m[0, 2] += (out_w - img.shape[1]) / 2
    img = cv2.warpAffine(img, m, (out_w, img.shape[0]), flags=cv2.INTER_LINEAR)
    k = rng.random()
    if k < 0.2:
        img = cv2.dilate(img, np.ones((3, 3), np.uint8))
    elif k < 0.4:
        img = cv2.erode(img, np.ones((3, 3), np.uint8))
    if rng.random() < 0.5:
        sigma = rng.uniform(0.5, 2.0)
        img = cv2.GaussianBlur(img, (0, 0), sigma).astype(np.float32)
        noise = np.random.RandomState(rng.randrange(1 << 31))
        img += noise.normal(0, rng.uniform(5, 40), img.shape).astype(np.float32)
        img = np.where(img >= rng.uniform(90, 170), 255, 0).astype(np.uint8)
    else:
        img = np.where(img >= 128, 255, 0).astype(np.uint8)
    pts = cv2.findNonZero(img)
    if pts is None:
        return crop
    x, y, w, h = cv2.boundingRect(pts)
    img = img[y:y + h, x:x + w].copy()
    if rng.random() < 0.25 and w > 4 and h > 4:
        # A piece covered (a bar, a dent, a label), or a neighbour's stroke at the edge.
        if rng.random() < 0.5:
            bh = max(1, int(h * rng.uniform(0.1, 0.3)))
            by = rng.randrange(0, h - bh + 1)
            img[by:by + bh, :] = 0 if rng.random() < 0.7 else 255
        else:
            bw = max(1, int(w * rng.uniform(0.1, 0.2)))
            img[:, (0 if rng.random() < 0.5 else w - bw):][:, :bw] = 255
        pts = cv2.findNonZero(img)
        if pts is None:
            return crop
        x, y, w, h = cv2.boundingRect(pts)
        img = img[y:y + h, x:x + w].copy()
    return img


class CharacterNet(nn.Module):
    def __init__(self):
        super().__init__()
        self.features = nn.Sequential(
            nn.Conv2d(1, 16, 3, padding=1), nn.ReLU(), nn.MaxPool2d(2),
            nn.Conv2d(16, 32, 3, padding=1), nn.ReLU(), nn.MaxPool2d(2),
            nn.Conv2d(32, 64, 3, padding=1), nn.ReLU(), nn.MaxPool2d(2),
        )
        self.classify = nn.Sequential(
            nn.Flatten(), nn.Dropout(0.3), nn.Linear(64 * 4 * 4, 128), nn.ReLU(),
            nn.Linear(128, len(CLASSES)))

    def forward(self, x):
        return self.classify(self.features(x))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--samples", action="append", required=True,
                        help="sample folder; real ones may repeat with --weight")
    parser.add_argument("--weight", action="append", type=int, default=[],
                        help="times the samples of each folder count per epoch, in order")
    parser.add_argument("--out", required=True, help="the ONNX file to write")
    parser.add_argument("--epochs", type=int, default=4)
    parser.add_argument("--seed", type=int, default=20261221)
    args = parser.parse_args()
    weights = args.weight + [1] * (len(args.samples) - len(args.weight))

    random.seed(args.seed)
    np.random.seed(args.seed)
    torch.manual_seed(args.seed)
    torch.set_num_threads(2)
    torch.use_deterministic_algorithms(True)
    start = time.time()

    images, labels, origin = load(args.samples)
    if len(images) == 0:
        sys.exit("train-net: no samples in " + " ".join(args.samples))
    for i, folder in enumerate(args.samples):
        print(f"train-net: {int((origin == i).sum())} samples from {folder} (x{weights[i]})",
              file=sys.stderr)
    order = []
    for i in range(len(images)):
        order += [i] * weights[origin[i]]

    model = CharacterNet()
    optimiser = torch.optim.Adam(model.parameters(), lr=2e-3)
    schedule = torch.optim.lr_scheduler.OneCycleLR(
        optimiser, max_lr=3e-3, total_steps=args.epochs * ((len(order) + 127) // 128))
    loss_of = nn.CrossEntropyLoss(label_smoothing=0.05)
    rng = random.Random(args.seed)
    for epoch in range(args.epochs):
        model.train()
        rng.shuffle(order)
        total, right, seen = 0.0, 0, 0
        for b in range(0, len(order), 128):
            batch = order[b:b + 128]
            # The first sight of a sample is as it was cut; the other half of the time, changed.
            x = np.stack([fit(augment(images[i], rng) if rng.random() < 0.6 else images[i])
                          for i in batch])[:, None]
            y = torch.from_numpy(labels[batch])
            out = model(torch.from_numpy(x))
            loss = loss_of(out, y)
            optimiser.zero_grad()
            loss.backward()
            optimiser.step()
            schedule.step()
            total += float(loss) * len(batch)
            right += int((out.argmax(1) == y).sum())
            seen += len(batch)
        print(f"train-net: epoch {epoch + 1}/{args.epochs}: loss {total / seen:.3f}, "
              f"train {100.0 * right / seen:.1f}% ({time.time() - start:.0f} s)", file=sys.stderr)

    model.eval()

    dummy = torch.zeros(1, 1, SIZE, SIZE)
    torch.onnx.export(model, dummy, args.out, opset_version=11, input_names=["crop"],
                      output_names=["logits"],
                      dynamic_axes={"crop": {0: "n"}, "logits": {0: "n"}}, do_constant_folding=True)
    print(f"train-net: wrote {args.out} in {time.time() - start:.0f} s", file=sys.stderr)


if __name__ == "__main__":
    main()
