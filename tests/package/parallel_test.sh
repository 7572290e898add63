#!/usr/bin/env bash
# The GNU parallel recipe of docs/scale-out.md with two local workers gives every photograph's
# reading exactly once, the same as one `karvona read` over the whole folder.
#
#   parallel_test.sh KARVONA DATA_FOLDER PHOTO_FOLDER
set -euo pipefail
karvona=$1
data=$2
photos=$3

if ! command -v parallel >/dev/null; then
  echo "GNU parallel is not installed: the scale-out test is skipped"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export KARVONA_ROOT=$work/root

# file and code of each JSON line, sorted by file
codes() { sed -E 's/.*"code":"([^"]*)".*"file":"([^"]*)".*/\2 \1/' "$1" | sort; }

"$karvona" read --json --data "$data" "$photos" >"$work/one.jsonl" 2>/dev/null || [ $? -le 1 ]

# The recipe, with batches of 5 so that the twelve photographs make three batches.
find "$photos" -type f \( -iname '*.jpg' -o -iname '*.bmp' \) -print0 | sort -z |
  parallel -0 --jobs 2 -n 5 --keep-order "$karvona" read --json --data "$data" {} \
    >"$work/parallel.jsonl" 2>/dev/null || [ $? -le 3 ]

if ! diff <(codes "$work/one.jsonl") <(codes "$work/parallel.jsonl"); then
  echo "the workers' readings differ from one run's"
  exit 1
fi
echo "$(wc -l <"$work/parallel.jsonl") photographs read by two workers, as by one run"
[ -s "$work/parallel.jsonl" ]
