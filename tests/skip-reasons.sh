#!/bin/sh
# Run by ctest after the tests: names every test that skipped and why (the missing tool), read from
# the log of the run, so that a skip never passes unnoticed among the passes.
# Usage: skip-reasons.sh BUILD_DIR (or the log itself)
log=$1
[ -f "$log" ] || log=$(ls "$1"/Testing/Temporary/LastTest*.log 2>/dev/null | head -n 1)
[ -n "$log" ] || exit 0
awk '
  /^[0-9]+\/[0-9]+ Test: / { sub(/^[0-9]+\/[0-9]+ Test: /, ""); test = $0; reason = ""; next }
  take { reason = $0; take = 0; next }
  /: Skipped$/ { take = 1; next }                       # GoogleTest: the reason is the next line
  /^skipped: / { reason = substr($0, 10); next }        # the workflow test says it so
  /^<end of output>$/ { if (reason != "" && !(test in seen)) { seen[test]; list = list "  " test ": " reason "\n" } }
  END { if (list != "") printf "Skipped tests, and why:\n%s", list }
' "$log"
