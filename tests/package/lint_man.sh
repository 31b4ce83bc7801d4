#!/usr/bin/env bash
# The man pages render without a single warning.
set -euo pipefail
status=0
for page in "$@"; do
    out=$(groff -ww -z -t -man "$page" 2>&1) || status=1
    out+=$(MANWIDTH=80 man -l "$page" 2>&1 >/dev/null) || status=1
    if command -v mandoc >/dev/null; then
        out+=$(mandoc -T lint -W warning "$page" 2>&1) || status=1
    fi
    if [[ -n $out ]]; then
        echo "$page:"; echo "$out"; status=1
    fi
done
exit $status
