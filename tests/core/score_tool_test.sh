#!/usr/bin/env bash
# orvinta-score: pairing by id and by position, clear errors, and word error
# counts that agree with NIST sclite on the same trn files.
set -euo pipefail
score=$1
data=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Per-utterance word errors from both tools, as "id errors" lines.
"$score" "$data/reference.trn" "$data/hypothesis.trn" |
  awk 'NF == 4 && $4 ~ /\// { split($4, e, "/"); print $1, e[1] + 0 }' | sort >"$work/ours"
sctk sclite -r "$data/reference.trn" trn -h "$data/hypothesis.trn" trn -i spu_id -s -o pra stdout |
  awk '/^id: / { id = $2; gsub(/[()]/, "", id) }
       /^Scores:/ { print id, $7 + $8 + $9 }' | sort >"$work/sclite"
[ "$(wc -l <"$work/ours")" -eq 10 ] || fail "expected 10 scored utterances, got: $(cat "$work/ours")"
diff -u "$work/sclite" "$work/ours" || fail "word errors differ from sclite"

# Without ids, lines pair by position; a perfect hypothesis scores zero.
printf 'a b c\nd e\n' >"$work/ref.txt"
printf 'a b c\nd e\n' >"$work/hyp.txt"
"$score" "$work/ref.txt" "$work/hyp.txt" | grep -Eq '^aggregate +0\.0000 +0\.0000$' || fail "perfect score"

# --normalize and --json.
printf 'Twenty One, Mr. Smith! (x1)\n' >"$work/ref.trn"
printf '21 mister smith (x1)\n' >"$work/hyp.trn"
"$score" --normalize --json "$work/ref.trn" "$work/hyp.trn" >"$work/out.json"
grep -q '"aggregateWER": 0.000000' "$work/out.json" || fail "normalised JSON: $(cat "$work/out.json")"
grep -q '"reference": "21 mister smith"' "$work/out.json" || fail "normalised reference in JSON"

# Errors: clear message, non-zero exit.
expect_error() {
  local pattern=$1; shift
  if "$score" "$@" >"$work/stdout" 2>"$work/stderr"; then fail "succeeded: $*"; fi
  grep -q "$pattern" "$work/stderr" || fail "message for $*: $(cat "$work/stderr")"
}
expect_error "cannot open" "$work/missing.trn" "$data/hypothesis.trn"
printf 'a b (x1)\n' >"$work/one.trn"
printf 'a b (x2)\n' >"$work/other.trn"
expect_error "has no hypothesis" "$work/one.trn" "$work/other.trn"
printf 'a\nb\n' >"$work/two.txt"
printf 'a\n' >"$work/plain.txt"
expect_error "utterances but the hypothesis has" "$work/two.txt" "$work/plain.txt"
expect_error "either every line" "$work/plain.txt" "$work/one.trn"
expect_error "Usage" "$work/one.trn"
echo "orvinta-score agrees with sclite on $(wc -l <"$work/ours") utterances"
