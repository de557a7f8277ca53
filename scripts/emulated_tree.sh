#!/usr/bin/env bash
# A Debian 13 (trixie) arm64 tree holding Python 3.13 and NumPy, run on this
# x86_64 machine through qemu-user: the aarch64 wheel is built against its
# headers and checked with its interpreter. Prints the tree's path.
#
# Made once per machine by mmdebstrap (several minutes: the packages' scripts
# run under emulation) and kept in the user's cache beside the pinned zig,
# named by what it holds, so fresh clones and CI on the same machine reuse it.
# Made beside and renamed into place, so a clone running at the same time never
# sees half a tree. Needs root: mmdebstrap's root mode and binfmt_misc.
set -euo pipefail

suite=trixie
packages=python3.13,python3-numpy,libpython3.13-dev
# Recommends stay out: the tree holds what the check runs and builds against.
mmdebstrap_args=(--mode=root --arch=arm64 --variant=essential --include="$packages"
                 --aptopt='APT::Install-Recommends "false"')
cache=${XDG_CACHE_HOME:-$HOME/.cache}/quorvel_torso_kinematics
name=debian-$suite-arm64-$(printf '%s\n' "$suite" "${mmdebstrap_args[@]}" | sha256sum | cut -c1-12)
tree=$cache/$name

# What makes the tree and what runs it; nothing else comes onto the machine.
host_packages=(mmdebstrap qemu-user-static arch-test)
missing=()
for p in "${host_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "tree: installing ${missing[*]}" >&2
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# qemu-user-static registers itself through systemd or binfmt-support, and in
# a container neither runs: the kernel then cannot start an arm64 program.
# Registered with its F flag, the handler works for every later process too.
[ -e /proc/sys/fs/binfmt_misc/register ] || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
[ -e /proc/sys/fs/binfmt_misc/qemu-aarch64 ] \
  || cat /usr/lib/binfmt.d/qemu-aarch64.conf >/proc/sys/fs/binfmt_misc/register

if [ ! -x "$tree/usr/bin/python3.13" ]; then
  mkdir -p "$cache"
  partial=$tree.partial.$$
  # --one-file-system: a failed run may leave the tree's /proc or /dev mounted.
  rm -rf --one-file-system "$partial"
  echo "tree: making $tree with mmdebstrap (once per machine; several minutes under emulation)" >&2
  mmdebstrap "${mmdebstrap_args[@]}" "$suite" "$partial" >"$partial.log" 2>&1 \
    || { tail -n 40 "$partial.log" >&2; rm -rf --one-file-system "$partial"; echo "tree: mmdebstrap failed" >&2; exit 1; }
  mv "$partial.log" "$partial/mmdebstrap.log"
  # Run in place rather than chrooted (it must see this clone's files), the
  # tree's absolute links would point into the machine's own /etc and /usr
  # (NumPy's BLAS is found through /etc/alternatives): made relative.
  find "$partial" -xdev -type l -lname '/*' -print0 | while IFS= read -r -d '' link; do
    ln -sfn "$(realpath -s -m --relative-to="$(dirname "$link")" "$partial$(readlink "$link")")" "$link"
  done
  QEMU_LD_PREFIX=$partial "$partial/usr/bin/python3.13" -I -c 'import numpy' \
    || { echo "tree: the new tree's python3.13 cannot import NumPy (left in $partial)" >&2; exit 1; }
  mv -T "$partial" "$tree" 2>/dev/null || rm -rf --one-file-system "$partial"
fi
echo "$tree"
