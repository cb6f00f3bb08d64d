#!/bin/sh
# Compares the validator of this tree with that of an earlier commit on the same lines: every
# line of the real corpus, every sentence quoted in the validation tests, every seed of the
# validation fuzz target, and a few hundred thousand mutations of them. Prints the lines on
# which the two disagree and how many there are; exits non-zero when there are any.
#
# Usage: bench/validation/differential.sh COMMIT [MUTATIONS]
# The earlier commit is checked out in a temporary worktree; only its validation library is built,
# and this tree's dump tool is compiled against each of the two libraries.
set -eu
base=${1:?usage: differential.sh COMMIT [MUTATIONS]}
mutations=${2:-300000}
root=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
corpus=${VORLANE_CORPUS:-$root/../shared/corpus/real-sentences.txt}
work=$(mktemp -d)
trap 'git -C "$root" worktree remove --force "$work/base" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

git -C "$root" worktree add --detach "$work/base" "$base" >/dev/null 2>&1
for tree in "$root" "$work/base"; do
    name=$([ "$tree" = "$root" ] && echo new || echo base)
    cmake -S "$tree" -B "$work/build-$name" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DVORLANE_TESTS=OFF -DVORLANE_BENCH=OFF >/dev/null
    cmake --build "$work/build-$name" --target vorlane_validation >/dev/null
    ${CXX:-g++} -std=c++20 -O2 -I"$tree" "$root/bench/validation/validation_dump.cpp" \
        "$work/build-$name/validation/libvorlane_validation.a" -o "$work/dump-$name"
done

# The sentences the tests and seeds quote, one per line, C escapes resolved.
python3 - "$root" >"$work/quoted.txt" <<'PY'
import ast, pathlib, re, sys
root = pathlib.Path(sys.argv[1])
for source in sorted((root / "tests" / "validation").glob("*.[ch]*")):
    for literal in re.findall(r'"([$!](?:[^"\\\n]|\\.)*)"', source.read_text()):
        try:
            text = ast.literal_eval('"' + literal + '"')
        except (SyntaxError, ValueError):
            continue
        if "\n" not in text and "\r" not in text:
            sys.stdout.buffer.write(text.encode("latin-1", "replace") + b"\n")
for seed in sorted((root / "fuzz" / "seeds" / "fuzz-validate").iterdir()):
    sys.stdout.buffer.write(seed.read_bytes().split(b"\n")[0].rstrip(b"\r") + b"\n")
PY

inputs="$work/quoted.txt"
if [ -r "$corpus" ]; then
    inputs="$inputs $corpus"
else
    echo "real corpus not found at $corpus: comparing quoted sentences and their mutations only" >&2
fi
# shellcheck disable=SC2086
"$work/dump-base" --mutations "$mutations" $inputs >"$work/base.txt"
# shellcheck disable=SC2086
"$work/dump-new" --mutations "$mutations" $inputs >"$work/new.txt"

lines=$(wc -l <"$work/new.txt")
inconsistent=$(grep -c 'consistent=0$' "$work/new.txt" || true)
disagreements=$(diff "$work/base.txt" "$work/new.txt" | grep -c '^>' || true)
diff "$work/base.txt" "$work/new.txt" | head -40 || true
echo "$lines lines judged; $disagreements disagreements with $base; $inconsistent judged differently in place"
[ "$disagreements" -eq 0 ] && [ "$inconsistent" -eq 0 ]
