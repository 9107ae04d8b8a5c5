#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks that a live recording (.trd) is in the format other programs read: "." as the
# decimal point in the header's numbers and in every row, tab-separated values with six
# decimals, CR LF line ends, and rows that all carry the #CHAN= count of values.
#
#   scripts/check-recording.sh FILE
set -euo pipefail
file="$1"
[ -s "$file" ] || { echo "check-recording: $file: missing or empty" >&2; exit 1; }
LC_ALL=C awk '
    BEGIN { d6 = "[0-9]+\\.[0-9][0-9][0-9][0-9][0-9][0-9]" }
    !/\r$/ { bad = "line " NR " does not end in CR LF"; exit }
    { sub(/\r$/, "") }
    /^#CHAN=/ { chan = substr($0, 7) + 0; next }
    /^#F=/ { if ($0 !~ ("^#F=" d6 "$")) bad = "bad sample rate line: " $0; if (bad) exit; next }
    /^#XX=/ { if ($0 !~ ("^#XX=0," d6 "$")) bad = "bad step line: " $0; if (bad) exit; next }
    /^#/ { next }
    {
        n = split($0, v, "\t")
        if (n != chan + 1 || v[n] != "") { bad = "row " NR " does not hold " chan " tab-ended values"; exit }
        for (i = 1; i < n; i++)
            if (v[i] !~ ("^-?" d6 "$")) { bad = "row " NR " value " i " reads " v[i]; exit }
        rows++
    }
    END {
        if (bad == "" && !chan) bad = "no #CHAN= line"
        if (bad == "" && !rows) bad = "no rows"
        if (bad != "") { print "check-recording: " FILENAME ": " bad > "/dev/stderr"; exit 1 }
        print FILENAME ": " rows " rows of " chan " values, \".\" as the decimal point"
    }' "$file"
