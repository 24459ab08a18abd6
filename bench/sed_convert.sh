#!/bin/sh
# sed_convert.sh IN.fxml OUT.flt: the conversion as a sed script, which a
# user might write instead of a program. Each substitution loops until none
# is left on the line; the two closing lines are deleted whole and the lines
# before "[Main]" dropped, which is exact for files in the expected layout
# (every element on its own line), such as the benchmark's.
LC_ALL=C exec sed \
  -e 's/\r$//' \
  -e ':r1' -e 's/    //' -e 't r1' \
  -e ':r2' -e 's/<Section Name="/[/' -e 't r2' \
  -e ':r3' -e 's/">/]/' -e 't r3' \
  -e ':r4' -e 's/<Property Name="//' -e 't r4' \
  -e ':r5' -e 's/" Value="/=/' -e 't r5' \
  -e ':r6' -e 's/" \/>//' -e 't r6' \
  -e ':r7' -e 's/<\/Section>//' -e 't r7' \
  -e 's/&#xB0;/\xB0/g' -e "s/&apos;/'/g" -e 's/&quot;/"/g' \
  -e '/^<\/Flight\.Sections>$/d' -e '/^<\/SimBase\.Document>$/d' \
  -e '0,/^\[Main\]$/{/^\[Main\]$/!d;s/^/\r\n/}' \
  -e 's/$/\r/' \
  "$1" > "$2"
