#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause-Patent
# scripts/add-spdx.sh on a scratch tree of sample files, one per comment
# syntax, beside files it must leave alone: --check finds exactly the sources
# without the line, adding it leaves every file valid in its own language
# with its first line kept where it must stay first, and a second run changes
# nothing.
#   CheckAddSpdx.sh SCRIPT WORK_DIR CXX
set -euo pipefail
Script=$1 Work=$2 Cxx=$3
rm -rf "$Work"
mkdir -p "$Work/tree/src" "$Work/tree/pkg/Include" "$Work/tree/fuzz/corpus/t" "$Work/tree/build/x" \
  "$Work/tree/.ci"
cd "$Work/tree"
Fail() {
  echo "FAIL: $*" >&2
  exit 1
}

printf 'int Twice(int X) { return 2 * X; }\n' >src/Twice.cpp
printf 'inline constexpr int kAnswer = 42;\n' >src/Answer.h
printf '// Generated.\ninline constexpr char kPath[] = "@P@";\n' >src/Paths.h.in
printf '/** @file\n  A package header.\n**/\nstruct Ready;\n' >pkg/Include/Ready.h
printf 'set(Value 1)\nif(NOT Value EQUAL 1)\n  message(FATAL_ERROR "bad")\nendif()\n' >src/Rule.cmake
printf 'add_library(x INTERFACE)\n' >src/CMakeLists.txt
printf '#!/usr/bin/env bash\nset -eu\necho ran\n' >src/run.sh
printf '#!/usr/bin/env bash\necho ci\n' >.ci/run
printf '## @file\n#  A package.\n##\n\n[Defines]\n  PACKAGE_NAME = Pkg\n' >pkg/Pkg.dec
printf '## @file\n#  Lines for a DSC.\n##\n[Components.IA32]\n' >pkg/Lines.dsc.inc
printf '# SPDX-License-Identifier: BSD-2-Clause-Patent\nset(Already 1)\n' >src/Done.cmake
# Left alone: data, a fuzz corpus, the build tree, a plain file without #!.
printf '{"a": 1}\n' >src/data.json
printf 'int NotMine;\n' >build/x/Generated.cpp
printf '\x00\x01binary' >fuzz/corpus/t/input
printf 'plain notes\n' >NOTES
chmod +x src/run.sh .ci/run

Sources=(.ci/run pkg/Include/Ready.h pkg/Lines.dsc.inc pkg/Pkg.dec src/Answer.h src/CMakeLists.txt
  src/Paths.h.in src/Rule.cmake src/Twice.cpp src/run.sh)
Listed=$(bash "$Script" --check "$PWD" 2>/dev/null | sed 's/:.*//' | sort | tr '\n' ' ') && Fail "--check passed"
[[ $Listed == "${Sources[*]} " ]] || Fail "--check listed: $Listed"
Untouched=$(sha256sum src/Done.cmake src/data.json build/x/Generated.cpp fuzz/corpus/t/input NOTES)

bash "$Script" "$PWD" >/dev/null
bash "$Script" --check "$PWD" >/dev/null || Fail "--check fails after adding the line"
echo "$Untouched" | sha256sum --quiet -c - || Fail "a file that needed nothing was changed"
[[ $(head -n 1 src/run.sh) == '#!/usr/bin/env bash' && -x src/run.sh ]] || Fail "run.sh lost its #! line or mode"
[[ $(head -n 1 pkg/Pkg.dec) == '## @file' ]] || Fail "the DEC's @file block no longer opens it"
[[ $(head -n 1 pkg/Include/Ready.h) == '/** @file' ]] || Fail "the header's @file block no longer opens it"

# Each file still means what it meant.
[[ $(bash src/run.sh) == ran ]] || Fail "run.sh"
cmake -P src/Rule.cmake || Fail "Rule.cmake"
for Header in src/Answer.h pkg/Include/Ready.h; do
  "$Cxx" -std=c++20 -fsyntax-only -x c++ "$Header" || Fail "$Header"
done
"$Cxx" -std=c++20 -fsyntax-only src/Twice.cpp || Fail "Twice.cpp"
"$Cxx" -std=c++20 -fsyntax-only -x c++ src/Paths.h.in || Fail "Paths.h.in"

Before=$(find . -type f -print0 | sort -z | xargs -0 sha256sum)
bash "$Script" "$PWD" >/dev/null
[[ $(find . -type f -print0 | sort -z | xargs -0 sha256sum) == "$Before" ]] || Fail "a second run changed files"
echo "add-spdx.sh: ${#Sources[@]} sources given the line, other files untouched, second run idempotent"
