#!/bin/sh
# The zip an operator unpacks: exactly the program, settings.ini and README.txt in one folder, the text
# files in CR LF, and the program runs from there with no DLL beside it.
#   zip_check.sh ZIP WINE64
set -eu
zip=$1
wine64=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[ -f "$zip" ] || { echo "no zip at $zip: build the target package first" >&2; exit 1; }
unzip -q "$zip" -d "$work"
folder=$(basename "$zip" .zip)
names=$(cd "$work" && find . -type f | sort | tr '\n' ' ')
expected="./$folder/README.txt ./$folder/settings.ini ./$folder/zarn-vote.exe "
[ "$names" = "$expected" ] || { echo "the zip holds: $names; expected: $expected" >&2; exit 1; }
for text in settings.ini README.txt; do
  if tr -d '\r' <"$work/$folder/$text" | cmp -s - "$work/$folder/$text"; then
    echo "$text has no CR LF line ends" >&2
    exit 1
  fi
  if grep -q "$(printf '[^\r]$')" "$work/$folder/$text"; then
    echo "$text has a line without CR" >&2
    exit 1
  fi
done
"$wine64" "$work/$folder/zarn-vote.exe" --version | grep -q "^zarn-vote " ||
  { echo "zarn-vote.exe --version from the zip failed" >&2; exit 1; }
echo "the zip is whole: $names"
