#!/usr/bin/env python3
"""Inclusive instruction counts of a callgrind profile as a call tree below chosen functions.

    callgrind_tree.py CALLGRIND_OUT [--per N] [--depth D] [--min PERCENT] [--top K] ROOT...

ROOT is the start of a function's name (before its argument list), e.g.
karvona::recognition::BuildCharacterEvidence. Each root is printed with its inclusive count and,
indented, what it spends in each function it calls (the callgrind cost of those calls, which is
inclusive), down to --depth levels and leaving out calls below --min percent of the root. --per
divides every count (e.g. by the number of photographs read). --top K prints the K functions with
the largest own (exclusive) counts first; --stages prints the table of the reading's stages. Below the first level, what a callee spends is shared
out by the part of its cost that the path brings (marked ~), as gprof does.
"""

import argparse
import collections
import re
import sys


def short(name):
    """The function's name without its argument list and return type, for matching and printing."""
    name = name.replace("(anonymous namespace)", "{anonymous}")
    depth = 0
    for i, ch in enumerate(name):
        if ch == "<":
            depth += 1
        elif ch == ">":
            depth -= 1
        elif ch == "(" and depth == 0 and i > 0:
            return name[:i]
    return name


def parse(path):
    names = {}  # compressed id -> name, per kind
    own = collections.Counter()
    calls = collections.defaultdict(collections.Counter)  # caller -> callee -> inclusive
    count = collections.defaultdict(collections.Counter)  # caller -> callee -> number of calls
    fn = None
    cfn = None
    pending_calls = None
    event_index = 0

    def resolve(kind, text):
        m = re.match(r"\((\d+)\)(?:\s+(.*))?$", text)
        if not m:
            return text
        key = (kind, m.group(1))
        if m.group(2) is not None:
            names[key] = m.group(2)
        return names.get(key, text)

    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line:
                continue
            head = line[0]
            if head.isdigit() or head in "+-*":
                parts = line.split()
                cost = int(parts[1 + event_index]) if len(parts) > 1 + event_index else 0
                if pending_calls is not None:
                    calls[fn][cfn] += cost
                    count[fn][cfn] += pending_calls
                    pending_calls = None
                else:
                    own[fn] += cost
                continue
            if line.startswith("fn="):
                fn = short(resolve("fn", line[3:]))
            elif line.startswith("cfn="):
                cfn = short(resolve("fn", line[4:]))
            elif line.startswith("calls="):
                pending_calls = int(line[6:].split()[0])
            elif line.startswith(("fl=", "fi=", "fe=", "cfi=", "cfl=", "ob=", "cob=")):
                key, value = line.split("=", 1)
                kind = {"fi": "fl", "fe": "fl", "cfi": "fl", "cfl": "fl", "cob": "ob"}.get(key, key)
                resolve(kind, value)
            elif line.startswith("events:"):
                event_index = line.split()[1:].index("Ir")
    return own, calls, count


# The stages of one reading, as edges from a caller to a callee (names by prefix; "*" for a
# function's whole cost wherever it is called). Each stage sums its edges.
NS = "karvona::recognition::"
IM = "karvona::imaging::"
EVIDENCE = [NS + "BuildCharacterEvidence", NS + "{anonymous}::DetailImage"]
STAGES = [
    ("decode (cv::imdecode)", [("*", "cv::imdecode")]),
    ("evidence: grey", [(EVIDENCE, "cv::cvtColor")]),
    ("evidence: the two 31x31 blurs", [(EVIDENCE, ["cv::GaussianBlur", IM + "GaussianBlurWithInverse"])]),
    ("evidence: detail and Otsu", [(EVIDENCE, ["cv::subtract", "cv::threshold", "cv::bitwise_not"])]),
    ("evidence: Canny", [(EVIDENCE, "cv::Canny")]),
    ("evidence: labelling, filters, repaint", [(EVIDENCE, NS + "KeepCharacterShapedBlobs")]),
    ("evidence: sum and edges", [(EVIDENCE, ["cv::add"])]),
    ("line masks (all)", [(NS + "SearchLayouts", NS + "BuildLineMasks")]),
    ("  of which labelling", [(NS + "BuildLineMasks", [IM + "CBlobList::Label", IM + "CBlobList::SetImage"])]),
    ("  of which tilt (warp)", [(NS + "BuildLineMasks", ["cv::warpAffine", NS + "{anonymous}::CorrectTilt"])]),
    ("seed labelling", [(NS + "SearchLayouts", [IM + "CBlobList::Label", IM + "CBlobList::SetImage"])]),
    ("search: scoring the hypotheses", [(NS + "SearchLayouts", [NS + "ScoreTemplate", NS + "ScoreLayout", NS + "MakeLayoutTemplate", NS + "BoxSums::BoxSums"])]),
    ("extraction", [(NS + "FindIsoCharacters", NS + "ExtractCharacterSet")]),
    ("morphology reader (all)", [(NS + "Recognizer::Run", NS + "ReadByMorphology")]),
    ("  of which labelling", [(NS + "ReadByMorphology", [IM + "CBlobList::Label", IM + "CBlobList::SetImage"])]),
    ("  of which reading pass", [(NS + "ReadByMorphology", NS + "ReadCharacterBoxes")]),
    ("cluster reader (all)", [(NS + "Recognizer::Run", NS + "ReadByClusterSegmentation")]),
    ("  of which labelling", [(NS + "ReadByClusterSegmentation", [IM + "CBlobList::Label", IM + "CBlobList::SetImage"])]),
    ("  of which k-means", [(NS + "ReadByClusterSegmentation", [NS + "ClusterValues", NS + "SeedFromPixels", "cv::LUT", "cv::split"])]),
    ("  of which reading pass", [(NS + "ReadByClusterSegmentation", NS + "ReadCharacterBoxes")]),
    ("classification (both readers)", [(NS + "ReadCharacterBoxes", "karvona::classifier::ClassifyCharacter")]),
    ("recognition pass (Recognizer::Run)", [("*", NS + "Recognizer::Run")]),
    ("start-up: reference data", [("*", NS + "LoadReferenceData")]),
]


def stage_table(own, calls, per):
    def matches(name, prefixes):
        if isinstance(prefixes, str):
            prefixes = [prefixes]
        return any(name.startswith(p) for p in prefixes)

    def inclusive(name):
        return own[name] + sum(c for callee, c in calls[name].items() if callee != name)

    names = set(own) | set(calls)
    rows = []
    for label, edges in STAGES:
        total = 0
        for callers, callees in edges:
            if callers == "*":
                total += sum(inclusive(n) for n in names if matches(n, callees))
                continue
            for caller in names:
                if not matches(caller, callers):
                    continue
                total += sum(c for callee, c in calls[caller].items() if matches(callee, callees))
        rows.append((label, total / per))
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("profile")
    parser.add_argument("roots", nargs="*")
    parser.add_argument("--per", type=float, default=1.0)
    parser.add_argument("--depth", type=int, default=2)
    parser.add_argument("--min", type=float, default=2.0)
    parser.add_argument("--top", type=int, default=0)
    parser.add_argument("--stages", action="store_true",
                        help="print the instructions per stage of the reading (per unit)")
    args = parser.parse_intermixed_args()

    own, calls, count = parse(args.profile)
    total = sum(own.values())

    def inclusive(name):
        return own[name] + sum(c for callee, c in calls[name].items() if callee != name)

    def fmt(value):
        return f"{value / args.per / 1e6:9.3f} MIr"

    print(f"total {fmt(total)} per unit ({total / 1e6:.1f} MIr in all, --per {args.per:g})")
    if args.stages:
        print("\nstage                                      MIr per unit")
        for label, value in stage_table(own, calls, args.per):
            print(f"  {label:40s} {value / 1e6:9.3f}")
    if args.top:
        print(f"\nlargest own counts:")
        for name, value in own.most_common(args.top):
            print(f"  {fmt(value)} {100.0 * value / total:5.1f}%  {name}")

    # Below the first level a function's calls are shared out in proportion: a callee reached
    # from several places is split by the share of its cost that this path brings (marked ~).
    def walk(name, share, depth, root_value, indent):
        if depth >= args.depth:
            return
        children = sorted(calls[name].items(), key=lambda kv: -kv[1])
        for callee, edge in children:
            cost = edge * share
            if callee == name or cost < root_value * args.min / 100.0:
                continue
            n = count[name][callee] * share / args.per
            mark = "~" if depth > 0 else " "
            print(f"{indent}{mark}{fmt(cost)} {100.0 * cost / root_value:5.1f}%  {callee}  ({n:.3g} calls)")
            total_callee = inclusive(callee)
            walk(callee, cost / total_callee if total_callee else 0.0, depth + 1, root_value,
                 indent + "    ")

    for root in args.roots:
        matches = [n for n in set(own) | set(calls) if n.startswith(root)]
        if not matches:
            print(f"\n{root}: not in the profile")
            continue
        for name in sorted(matches, key=inclusive, reverse=True):
            value = inclusive(name)
            if value == 0:
                continue
            print(f"\n{fmt(value)} {100.0 * value / total:5.1f}% of all  {name}")
            walk(name, 1.0, 0, value, "  ")
    return 0


if __name__ == "__main__":
    sys.exit(main())
