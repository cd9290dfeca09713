#!/usr/bin/env bash
# Checks that the README's two commands hold on a truly fresh Debian 12: in a
# new minimal Debian tree (mmdebstrap --variant=minbase, a chroot with proc,
# dev, sys and tmpfs mounted) a clean clone of the repository runs
#   bash scripts/demo.sh      and      bash scripts/test.sh
# once as root and once, in a second fresh tree, as a user who may use sudo.
# Prints a summary of each command: exit status, time, and its last lines.
#
# It takes a long time (two trees, two package installations, two builds and
# two full test runs) and is not part of the test command. Run it as root on
# the host, holding the Wine lock when others share the machine:
#   flock /tmp/zentrel-wine.lock bash tools/check_fresh_machine.sh [--branch main] [--only root|user] [--keep]
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && git rev-parse --show-toplevel)
branch=main
only=""
keep=0
while [ $# -gt 0 ]; do
  case "$1" in
    --branch) branch=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    --repo) repo=$2; shift 2 ;;
    *) echo "usage: $0 [--branch NAME] [--only root|user] [--keep] [--repo PATH]" >&2; exit 2 ;;
  esac
done

if [ "$(id -u)" -ne 0 ]; then
  echo "check_fresh_machine: run as root (it builds and enters chroots)" >&2
  exit 2
fi
if ! command -v mmdebstrap >/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends mmdebstrap >/dev/null
fi

work=$(mktemp -d /var/tmp/zentrel-fresh.XXXXXX)
summary="$work/summary.txt"
: >"$summary"
mounted=()

unmount_tree() {
  local tree=$1
  for point in run tmp dev/shm dev sys proc; do
    if mountpoint -q "$tree/$point"; then
      umount -R "$tree/$point" 2>/dev/null || umount -lR "$tree/$point"
    fi
  done
}

cleanup() {
  for tree in "${mounted[@]}"; do
    unmount_tree "$tree"
  done
  if [ "$keep" -eq 0 ]; then
    rm -rf --one-file-system "$work"
  else
    echo "kept: $work"
  fi
}
trap cleanup EXIT

# A fresh minimal Debian 12 with what a new user would have brought along to
# clone the repository: git, certificates and sudo.
make_tree() {
  local tree=$1
  mmdebstrap --quiet --variant=minbase --include=ca-certificates,git,sudo bookworm "$tree" \
    "deb http://deb.debian.org/debian bookworm main" \
    "deb http://deb.debian.org/debian bookworm-updates main" \
    "deb http://deb.debian.org/debian-security bookworm-security main"
  mount -t proc proc "$tree/proc"
  mount --rbind /dev "$tree/dev"
  mount --make-rslave "$tree/dev"
  mount -t sysfs sysfs "$tree/sys"
  mount -t tmpfs tmpfs "$tree/dev/shm"
  mount -t tmpfs tmpfs "$tree/tmp"
  mount -t tmpfs tmpfs "$tree/run"
  mounted+=("$tree")
  cp /etc/resolv.conf "$tree/etc/resolv.conf"
}

# Runs one README command in the tree and records how it ended.
run_step() {
  local label=$1 tree=$2 user=$3 command=$4
  local log="$work/$label.log" start status
  start=$(date +%s)
  echo "== $label: $command"
  set +e
  if [ "$user" = root ]; then
    chroot "$tree" /usr/bin/env -i HOME=/root TERM=dumb PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
      bash -lc "cd /root/zentrel && $command" >"$log" 2>&1
  else
    chroot "$tree" /usr/bin/env -i TERM=dumb PATH=/usr/local/bin:/usr/bin:/bin \
      su - "$user" -c "cd ~/zentrel && $command" >"$log" 2>&1
  fi
  status=$?
  set -e
  local seconds=$(($(date +%s) - start))
  {
    echo "== $label: '$command' as $user: exit $status after ${seconds} s"
    case "$command" in
      *test.sh*) grep -E 'tests passed|tests failed|\*\*\*Failed|\*\*\*Timeout|Total Test time' "$log" | sed 's/^/   /' || true ;;
      *) grep -E '^Exit code|^Files:|Windows the user saw|moving between frames' "$log" | sed 's/^/   /' || true ;;
    esac
    echo "   last lines:"
    tail -n 6 "$log" | sed 's/^/     | /'
  } | tee -a "$summary" || true
}

check_as() {
  local who=$1
  local tree="$work/$who-tree"
  echo "== $who: making a fresh Debian 12 tree in $tree"
  make_tree "$tree"
  local home=/root/zentrel user=root
  if [ "$who" = user ]; then
    user=dev
    chroot "$tree" useradd --create-home --shell /bin/bash "$user"
    echo "$user ALL=(ALL) NOPASSWD:ALL" >"$tree/etc/sudoers.d/$user"
    chmod 0440 "$tree/etc/sudoers.d/$user"
    home=/home/$user/zentrel
  fi
  git clone --quiet --branch "$branch" --single-branch "$repo" "$tree$home"
  echo "== $who: clone of $branch at $(git -C "$tree$home" rev-parse --short HEAD)" | tee -a "$summary"
  if [ "$user" != root ]; then
    chroot "$tree" chown -R "$user:$user" "$home"
  fi
  run_step "$who-demo" "$tree" "$user" "bash scripts/demo.sh"
  # Wine's loader is a 32-bit program: without the kernel's 32-bit support
  # nothing that runs Wine can pass, whatever the project does.
  if [ -x "$tree/usr/lib/wine/wine" ]; then
    if chroot "$tree" /usr/lib/wine/wine --version >/dev/null 2>&1; then
      echo "   the kernel runs 32-bit programs (Wine's loader): yes" | tee -a "$summary"
    else
      echo "   the kernel runs 32-bit programs (Wine's loader): NO ($(chroot "$tree" /usr/lib/wine/wine --version 2>&1 | tail -n 1))" | tee -a "$summary"
    fi
  fi
  run_step "$who-test" "$tree" "$user" "bash scripts/test.sh"
  unmount_tree "$tree"
}

[ "$only" = user ] || check_as root
[ "$only" = root ] || check_as user

echo
echo "==== summary (logs in $work, kept with --keep)"
cat "$summary"
