#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause-Patent
# Puts the licence line "SPDX-License-Identifier: BSD-2-Clause-Patent" at the
# top of every source, build, script and EDK2 package file under ROOT (the
# project by default) that lacks it, in the file's own comment syntax:
#   // ...            C and C++ sources and headers, *.h.in
#   inside /** @file  EDK2 headers that open with that block
#   # ...             CMake, shell, Python, YAML, DEC, INF, DSC, FDF, *.inc,
#                     and any file that starts with #! (after that line;
#                     after "## @file" in EDK2 files)
# Data files (JSON, binaries, Markdown, ...) and fuzz corpora are exempt;
# build*/ and .git are not looked at. Running it twice changes nothing.
#   scripts/add-spdx.sh [ROOT]           add the line where it is missing
#   scripts/add-spdx.sh --check [ROOT]   list the files without it; exit 1 if any
# Exit codes: 0 done (every file has the line), 1 files lack it (--check), 2 usage.
set -euo pipefail

readonly kLine='SPDX-License-Identifier: BSD-2-Clause-Patent'
readonly kHeadLines=5 # the line must be among a file's first lines

Check=0
if [[ ${1:-} == --check ]]; then
  Check=1
  shift
fi
if (($# > 1)) || [[ ${1:-} == -* ]]; then
  echo "add-spdx: error: usage: add-spdx.sh [--check] [ROOT]" >&2
  exit 2
fi
Root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
if [[ ! -d $Root ]]; then
  echo "add-spdx: error: $Root: not a folder" >&2
  exit 2
fi

# The comment syntax of FILE: slash, hash, or nothing for a file that is not
# a source (exempt).
Syntax() {
  local Name=${1##*/}
  case $Name in
    *.in) Name=${Name%.in} ;;
  esac
  case $Name in
    *.c | *.cc | *.cpp | *.cxx | *.h | *.hh | *.hpp) echo slash ;;
    CMakeLists.txt | *.cmake | *.sh | *.bash | *.py | *.yml | *.yaml | *.dec | *.inf | *.dsc | *.fdf | *.inc)
      echo hash ;;
    *.*) ;; # any other extension: data
    *)
      local First
      IFS= read -r First <"$1" 2>/dev/null || true
      [[ $First == '#!'* ]] && echo hash
      ;;
  esac
  return 0
}

# Whether FILE of SYNTAX carries the line, in that syntax, in its first lines.
HasLine() {
  head -n "$kHeadLines" "$1" | awk -v Syntax="$2" -v Line="$kLine" '
    BEGIN { Found = 0; InBlock = 0 }
    {
      Text = $0; sub(/\r$/, "", Text)
      if (Syntax == "hash") {
        if (Text ~ ("^#+[ \t]*" Line "[ \t]*$")) Found = 1
        next
      }
      if (Text ~ ("^//[ \t]*" Line "[ \t]*$")) Found = 1
      if (Text ~ ("^/\\*[ \t]*" Line "[ \t]*\\*/[ \t]*$")) Found = 1
      if (InBlock && Text ~ ("^[ \t]*\\**[ \t]*" Line "[ \t]*(\\*/)?[ \t]*$")) Found = 1
      Open = index(Text, "/*"); Close = index(Text, "*/")
      if (Open && (!Close || Close < Open)) InBlock = 1
      else if (Close) InBlock = 0
    }
    END { exit Found ? 0 : 1 }'
}

# Puts the line into FILE of SYNTAX, keeping a first line that must stay first.
AddLine() {
  local File=$1 First After=0 Text
  IFS= read -r First <"$File" || true
  if [[ $2 == slash ]]; then
    if [[ $First == '/** @file'* ]]; then
      After=1 Text="  $kLine"
    else
      Text="// $kLine"
    fi
  else
    if [[ $First == '#!'* ]]; then
      After=1 Text="# $kLine"
    elif [[ $First == '## @file'* ]]; then
      After=1 Text="#  $kLine"
    else
      Text="# $kLine"
    fi
  fi
  local Temp
  Temp=$(mktemp "$File.spdx.XXXXXX")
  {
    if ((After)); then
      head -n 1 "$File"
      printf '%s\n' "$Text"
      tail -n +2 "$File"
    else
      printf '%s\n' "$Text"
      cat "$File"
    fi
  } >"$Temp"
  chmod --reference="$File" "$Temp"
  mv "$Temp" "$File"
}

Missing=0
while IFS= read -r -d '' File; do
  Kind=$(Syntax "$File")
  [[ -z $Kind ]] && continue
  HasLine "$File" "$Kind" && continue
  if ((Check)); then
    echo "${File#"$Root"/}: no '$kLine' in its first $kHeadLines lines"
    Missing=$((Missing + 1))
  else
    AddLine "$File" "$Kind"
    echo "added: ${File#"$Root"/}"
  fi
done < <(find "$Root" \( -path "$Root/build*" -o -name .git -o -path "$Root/fuzz/corpus" \) -prune \
  -o -type f -print0 | LC_ALL=C sort -z)

if ((Missing)); then
  echo "$Missing files lack the licence line; scripts/add-spdx.sh adds it" >&2
  exit 1
fi
