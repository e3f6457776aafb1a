#!/bin/sh
# Runs OpenSSH's sshd in the foreground on 127.0.0.1:PORT as an SFTP server whose sessions
# start in ROOT, with a configuration, a host key and a user key of its own in STATE (made
# there when missing; the host key stays the same across runs on one STATE):
#   STATE/host_ed25519(.pub)  the server's host key
#   STATE/id_ed25519(.pub)    a user key that the server takes for every account
# Run as root, it takes the password "secret" for the account "cvbsftp", a system account made
# for these tests when missing (no home, no log-in shell of its own: the server offers nothing
# but SFTP); root logs on with the user key. sshd needs its privilege separation account "sshd"
# and folder /run/sshd, made here as the package would make them.
# The sshd binary: $CVB_SSHD, else the one scripts/install-deps.sh --tests unpacked into
# build/peers/openssh (no package, no system service), else an installed /usr/sbin/sshd.
# Usage: sshd-run.sh PORT ROOT STATE
set -eu
repo=$(cd "$(dirname "$0")/../.." && pwd)
sshd=${CVB_SSHD:-}
if [ -z "$sshd" ]; then
    for candidate in "$repo/build/peers/openssh/usr/sbin/sshd" /usr/sbin/sshd; do
        if [ -x "$candidate" ]; then
            sshd=$candidate
            break
        fi
    done
fi
if [ -z "$sshd" ] || [ ! -x "$sshd" ]; then
    echo "sshd-run.sh: no sshd found; run scripts/install-deps.sh --tests" >&2
    exit 1
fi
port=$1
root=$(cd "$2" && pwd)
mkdir -p "$3"
state=$(cd "$3" && pwd)
chmod 700 "$state"
[ -f "$state/host_ed25519" ] || ssh-keygen -q -t ed25519 -N '' -C cvb-test-host -f "$state/host_ed25519"
[ -f "$state/id_ed25519" ] || ssh-keygen -q -t ed25519 -N '' -C cvb-test-user -f "$state/id_ed25519"
cp "$state/id_ed25519.pub" "$state/authorized_keys"
if [ "$(id -u)" -eq 0 ]; then
    # Tests run side by side: another run may make an account, or hold the password file, at the
    # same moment; what counts is that the account is there and the password set.
    id sshd >/dev/null 2>&1 || useradd --system --no-create-home --home-dir /run/sshd --shell /usr/sbin/nologin sshd ||
        id sshd >/dev/null
    mkdir -p /run/sshd
    chmod 755 /run/sshd
    id cvbsftp >/dev/null 2>&1 || useradd --system --no-create-home --home-dir / --shell /bin/sh cvbsftp ||
        id cvbsftp >/dev/null
    for attempt in 1 2 3 4 5 6 7 8 9 10; do
        echo 'cvbsftp:secret' | chpasswd 2>/dev/null && break
        [ "$attempt" -lt 10 ] || { echo "sshd-run.sh: could not set the password of cvbsftp" >&2; exit 1; }
        sleep 0.3
    done
fi
cat >"$state/sshd_config" <<EOF
ListenAddress 127.0.0.1
Port $port
HostKey $state/host_ed25519
PidFile none
AuthorizedKeysFile $state/authorized_keys
StrictModes no
UsePAM no
UseDNS no
PermitRootLogin yes
PasswordAuthentication yes
KbdInteractiveAuthentication no
PubkeyAuthentication yes
Subsystem sftp internal-sftp
ForceCommand internal-sftp -d $root
LogLevel VERBOSE
EOF
exec "$sshd" -D -e -f "$state/sshd_config"
