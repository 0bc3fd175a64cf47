#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause-Patent
# The Debian package and the tarball as a user gets them: made by cpack from
# this build twice, to the same bytes; the package's control fields and files;
# its `sio` run from a copy of the extracted root with an empty environment,
# from /, with the sources and the build out of reach (hidden under empty
# folders when the system lets a test mount; in any case every path the tool
# names must lie inside the root); the tarball's `sio` run where it unpacked.
#   CheckDebianPackage.sh BINARY_DIR SOURCE_DIR WORK_DIR VERSION
set -euo pipefail
Build=$1 Source=$2 Work=$3 Version=$4
Fail() {
  echo "FAIL: $*" >&2
  exit 1
}
rm -rf "$Work"
mkdir -p "$Work"
Arch=$(dpkg --print-architecture)
Deb=sio-f81216a_${Version}_${Arch}.deb
Tgz=sio-f81216a-${Version}-$(uname -m).tar.gz
for Run in 1 2; do
  cpack --config "$Build/CPackConfig.cmake" -G "DEB;TGZ" -B "$Work/out$Run" >"$Work/cpack$Run.log" ||
    { cat "$Work/cpack$Run.log"; Fail "cpack"; }
  for File in "$Deb" "$Tgz"; do
    [[ -f $Work/out$Run/$File ]] || Fail "cpack made no $File (made: $(ls "$Work/out$Run"))"
  done
done
for File in "$Deb" "$Tgz"; do
  Sums=$(cd "$Work" && sha256sum "out1/$File" "out2/$File")
  echo "$Sums"
  [[ $(awk '{print $1}' <<<"$Sums" | uniq | wc -l) == 1 ]] || Fail "$File differs between two runs of cpack"
done
Deb=$Work/out1/$Deb
Tgz=$Work/out1/$Tgz

Field() { dpkg-deb -f "$Deb" "$1"; }
[[ $(Field Package) == sio-f81216a ]] || Fail "Package: $(Field Package)"
[[ $(Field Version) == "$Version" ]] || Fail "Version: $(Field Version), not $Version"
[[ $(Field Architecture) == "$Arch" ]] || Fail "Architecture: $(Field Architecture)"
# Worked out by dpkg-shlibdeps: the C library with a minimum version at least.
[[ $(Field Depends) =~ (^|, )libc6\ \(\>=\ [0-9] ]] || Fail "Depends not computed: $(Field Depends)"
[[ $(Field Recommends) == "qemu-system-x86, ovmf-ia32, ovmf, uefitool-cli" ]] ||
  Fail "Recommends: $(Field Recommends)"

Listing=$(dpkg-deb -c "$Deb" | awk '{print $NF}')
Data=./usr/share/sio-f81216a
for File in ./usr/bin/sio ./usr/bin/sio-inspect \
  $Data/SioF81216aPkg/SioF81216aPei.efi $Data/SioF81216aPkg/SioF81216aPeiX64.efi \
  $Data/SioF81216aPkg/SioF81216aPei.depex \
  $Data/SioF81216aPkg/SioF81216aPei.inf $Data/SioF81216aPkg/SioF81216aPkg.dec \
  $Data/SioF81216aPkg/Include/Guid/SioF81216aSetupVariable.h \
  $Data/SioF81216aPkg/Include/Ppi/SioF81216aReady.h \
  $Data/SioF81216aPkg/Platform/SioF81216aPei.dsc.inc \
  $Data/SioF81216aPkg/Platform/SioF81216aPeiX64.dsc.inc $Data/SioF81216aPkg/Depex/TRUE.depex \
  $Data/SioF81216aPei.ffs $Data/SioF81216aPei-te.ffs $Data/SioF81216aPei.fv \
  $Data/scenarios/default.json ./usr/share/doc/sio-f81216a/README.md \
  ./usr/share/doc/sio-f81216a/LICENSE ./usr/share/doc/sio-f81216a/CHANGELOG.md \
  ./usr/share/man/man1/sio.1 ./usr/share/man/man1/sio-inspect.1; do
  grep -qxF "$File" <<<"$Listing" || Fail "the package has no $File"
done

# A copy of the extracted root in a fresh folder outside the build.
dpkg-deb -x "$Deb" "$Work/extracted"
Root=$(mktemp -d /tmp/sio-deb-root.XXXXXX)
trap 'rm -rf "$Root"' EXIT
cp -a "$Work/extracted/." "$Root/"

# Runs the root's sio with nothing of this shell: empty environment, cwd /,
# the sources and the build hidden when a private mount namespace is allowed.
Hidden=0
unshare -m true 2>/dev/null && Hidden=1
RunRoot() {
  local Out Rc=0
  if ((Hidden)); then
    Out=$(cd / && env -i PATH=/usr/bin:/bin unshare -m sh -c \
      'mount -t tmpfs none "$0" && mount -t tmpfs none "$1" && shift && exec "$@"' \
      "$Build" "$Source" "$Root/usr/bin/$@" 2>&1) || Rc=$?
  else
    Out=$(cd / && env -i PATH=/usr/bin:/bin "$Root/usr/bin/$@" 2>&1) || Rc=$?
  fi
  printf '%s\n' "$Out"
  return $Rc
}
if ((Hidden)); then
  echo "the sources and the build are hidden from the packaged sio"
else
  echo "no private mounts here: the packaged sio runs beside a visible build"
fi

Out=$(RunRoot sio --version) || Fail "sio --version: $Out"
[[ $Out == "sio $Version" ]] || Fail "sio --version: $Out"
Out=$(RunRoot sio-inspect --version) || Fail "sio-inspect --version: $Out"
[[ $Out == "sio-inspect $Version" ]] || Fail "sio-inspect --version: $Out"

Out=$(RunRoot sio image check) || Fail "sio image check: $Out"
[[ $Out == "Image $Root/usr/share/sio-f81216a/SioF81216aPkg/SioF81216aPei.efi:"* ]] ||
  Fail "sio image check did not read the root's image: ${Out%%$'\n'*}"
grep -q '^Image check passed$' <<<"$Out" || Fail "sio image check: $Out"

Out=$(RunRoot sio run) || Fail "sio run: $Out"
grep -q '^Status: EFI_SUCCESS$' <<<"$Out" || Fail "sio run: $Out"
grep -q '^Engine: image, ' <<<"$Out" || Fail "sio run did not run the image: $Out"

# No path the packaged tool names lies outside its root.
Out=$(RunRoot sio ovmf --help) || Fail "sio ovmf --help: $Out"
grep -qE "$Root/usr/share/sio-f81216a/.*/SioF81216aPei\.efi" <<<"$Out" ||
  Fail "sio ovmf's default module image is not the root's: $Out"
for Dir in "$Source" "$Build"; do
  ! grep -qF "$Dir" <<<"$Out" || Fail "sio ovmf --help names $Dir"
done
# The tarball runs from wherever it is unpacked, too.
mkdir "$Root/tgz"
tar -xzf "$Tgz" -C "$Root/tgz"
Unpacked=$Root/tgz/sio-f81216a-${Version}-$(uname -m)
Out=$(cd / && env -i PATH=/usr/bin:/bin "$Unpacked/bin/sio" image check) || Fail "tarball's sio: $Out"
[[ $Out == "Image $Unpacked/share/sio-f81216a/SioF81216aPkg/SioF81216aPei.efi:"* ]] ||
  Fail "the tarball's sio did not read its own image: ${Out%%$'\n'*}"

echo "$(basename "$Deb"): Depends $(Field Depends); sio run and image check from $Root"
