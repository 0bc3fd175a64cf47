#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause-Patent
# Prepares what the `qemu` guest test of `sio-inspect` boots after OVMF:
# Debian's 32-bit kernel and the kernel's efivarfs module, the i386
# busybox-static, sio-inspect built for i386 (g++-i686-linux-gnu, static) and
# an initramfs holding them with an /init that runs sio-inspect and powers off.
#
#   scripts/guest-inspect.sh OUTDIR SCENARIO.json OTHER.json
#
# Writes OUTDIR/vmlinuz and OUTDIR/initrd.img. The packages come from Debian's
# i386 architecture (`dpkg --add-architecture i386`, then `apt-get update`;
# done here, only for this test) through `apt-get download` and `dpkg-deb -x`,
# so no kernel install script ever runs on this machine. Downloads and the
# i386 build are kept in OUTDIR and reused.
set -euo pipefail
Out=$(realpath -m "$1")
Scenario=$(realpath "$2")
Other=$(realpath "$3")
Src=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$Out/debs" "$Out/pkgs"

# What this needs on the machine: the cross compiler, cpio, the i386 lists.
# A mirror in the middle of a sync can fail one index (apt-get update then
# exits 100 with the others read); what matters is that the i386 packages
# below are known, so the lists are updated until they are, a few times.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
for Attempt in 1 2 3; do
  apt-cache show busybox-static:i386 >/dev/null 2>&1 &&
    apt-cache search --names-only '^linux-image-6\.1\.0-[0-9]+-686$' | grep -q . && break
  apt-get update -qq >/dev/null 2>&1 || echo "guest-inspect: apt-get update attempt $Attempt reported a failure" >&2
done
missing=()
for p in g++-i686-linux-gnu cpio; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# The newest 6.1 kernel for 686 and busybox-static, as i386 packages.
Kernel=$(apt-cache search --names-only '^linux-image-6\.1\.0-[0-9]+-686$' | awk '{print $1}' | sort -V | tail -1)
[[ -n "$Kernel" ]] || { echo "guest-inspect: no linux-image-6.1.0-*-686 package" >&2; exit 2; }
if ! ls "$Out"/debs/"$Kernel"_*.deb >/dev/null 2>&1; then
  (cd "$Out/debs" && apt-get download -q "$Kernel:i386")
fi
if ! ls "$Out"/debs/busybox-static_*.deb >/dev/null 2>&1; then
  (cd "$Out/debs" && apt-get download -q busybox-static:i386)
fi
for Deb in "$Out"/debs/*.deb; do
  Stamp="$Out/pkgs/.$(basename "$Deb")"
  [[ -e "$Stamp" ]] || { dpkg-deb -x "$Deb" "$Out/pkgs"; touch "$Stamp"; }
done
Vmlinuz=$(ls "$Out"/pkgs/boot/vmlinuz-*-686 | head -1)
cp "$Vmlinuz" "$Out/vmlinuz"

# sio-inspect for i386: only it and what it needs, static. -malign-double:
# the host build of the module keeps the firmware's IA-32 layout of the PI
# structures (UINT64 8-byte aligned, as its headers check); -Wno-restrict and
# -Wno-maybe-uninitialized: GCC 12 warns falsely at -O3 for i386 (inside
# <string>; a block-map record pi/VariableStore.cpp reads after checking it fits).
cmake -S "$Src" -B "$Out/build-i386" -G Ninja -DSIO_INSPECT_ONLY=ON -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_C_COMPILER=i686-linux-gnu-gcc -DCMAKE_CXX_COMPILER=i686-linux-gnu-g++ \
  "-DCMAKE_CXX_FLAGS=-malign-double -Wno-restrict -Wno-maybe-uninitialized" >/dev/null
cmake --build "$Out/build-i386" --target sio-inspect >"$Out/build-i386.log" 2>&1 ||
  { tail -30 "$Out/build-i386.log" >&2; exit 1; }

# The initramfs.
Root="$Out/initramfs"
rm -rf "$Root"
mkdir -p "$Root"/{bin,dev,proc,sys,etc}
cp "$Out/pkgs/bin/busybox" "$Root/bin/busybox"
Module=$(find "$Out/pkgs/lib/modules" -name 'efivarfs.ko*' | head -1)
case "$Module" in
*.xz) xz -dc "$Module" >"$Root/efivarfs.ko" ;;
*) cp "$Module" "$Root/efivarfs.ko" ;;
esac
cp "$Out/build-i386/inspect/sio-inspect" "$Root/sio-inspect"
cp "$Scenario" "$Root/scenario.json"
cp "$Other" "$Root/other.json"
cat >"$Root/init" <<'INIT'
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
insmod /efivarfs.ko
mount -t efivarfs efivarfs /sys/firmware/efi/efivars
for Run in "scenario:--expect /scenario.json" "other:--expect /other.json" "live:--expect-live"; do
  Name=${Run%%:*}
  echo "@@sio-inspect $Name begin"
  /sio-inspect ${Run#*:} --json 2>/stderr
  echo "@@sio-inspect $Name exit $?"
  cat /stderr
done
poweroff -f
INIT
chmod +x "$Root/init"
(cd "$Root" && find . | cpio -o -H newc --quiet | gzip -9) >"$Out/initrd.img"
echo "guest-inspect: $Out/vmlinuz ($Kernel), $Out/initrd.img"
