#!/usr/bin/env bash
# ./dev.sh install as a player runs it, in ROOT, a new minimal root of this
# release: as an ordinary user who may use sudo without a password, with no
# terminal and none of the caller's settings, in a copy of this tree.
#  - ./dev.sh install puts the program, its menu entry, icon and manual page in place;
#  - with a sentence of the manual page changed and the version kept (as after
#    a pull between releases), ./dev.sh install again puts the new page in place;
#  - sudo apt-get remove bastilo takes the program away.
# Usage, as root from the top of the tree: tests/dev-install.sh ROOT
# (./dev.sh test runs it in namespaces of its own, in a throwaway ROOT.)
set -euo pipefail
root=${1:?usage: tests/dev-install.sh ROOT}
mkdir -p "$root/tmp/bastilo" && tar -c --exclude-vcs --exclude=./build . | tar -x -C "$root/tmp/bastilo"
# The root reaches the mirror as this machine does; it has no terminals, in which apt would log.
cp /etc/resolv.conf /etc/hosts "$root/etc/" && echo 'Dpkg::Use-Pty "false";' >"$root/etc/apt/apt.conf.d/90no-pty"

# shellcheck disable=SC2016 # expanded in the root
setsid --wait chroot "$root" /bin/bash -euo pipefail -c '
say() { printf "\n==> dev-install: %s\n" "$*"; }
fail() { printf "FAIL: %s\n" "$*"; exit 1; }
player() {
    setpriv --reuid=player --regid=player --init-groups env -i HOME=/home/player USER=player \
        LOGNAME=player PATH=/usr/local/bin:/usr/bin:/bin bash -c "cd ~/bastilo && $1"
}
say "an ordinary user, player, who may use sudo without a password"
apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends sudo passwd >/dev/null
useradd --create-home player && echo "player ALL=(ALL) NOPASSWD: ALL" >/etc/sudoers.d/player
mv /tmp/bastilo /home/player/ && chown -R player: /home/player/bastilo

say "./dev.sh install"
player "./dev.sh install"
for file in /usr/bin/bastilo /usr/share/applications/bastilo.desktop /usr/share/man/man1/bastilo.1.gz \
    /usr/share/icons/hicolor/scalable/apps/org.bastilo.Bastilo.svg; do
    [[ -f $file ]] || fail "./dev.sh install did not install $file"
done

sentence="This sentence came with a pull that kept the version."
say "./dev.sh install again, with the manual page changed and the same version"
player "sed -i \"/^\\.SH DESCRIPTION\$/a $sentence\" docs/bastilo.1.in && ./dev.sh install"
zgrep -qF "$sentence" /usr/share/man/man1/bastilo.1.gz ||
    fail "after a change that kept the version, ./dev.sh install left the old package in place: the manual page lacks \"$sentence\""

say "sudo apt-get remove bastilo"
player "sudo apt-get remove -y -qq bastilo"
[[ ! -e /usr/bin/bastilo ]] || fail "sudo apt-get remove bastilo left /usr/bin/bastilo"
echo "./dev.sh install installed bastilo, installed it again after a change that kept the version, and it was removed"
' </dev/null
