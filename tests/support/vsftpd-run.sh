#!/bin/sh
# Runs vsftpd in the foreground on 127.0.0.1:PORT, serving ROOT to anonymous users read-only,
# from a configuration written into a temporary folder. Run as root: vsftpd locks the anonymous
# session into ROOT (so "/" is ROOT, as on a web host) and then serves it as the system user
# "daemon", which must be able to read the files; ROOT itself is made 0755.
# With CERTFILE (a PEM file with the certificate and its key) it speaks FTP over TLS, required for
# log-ons and data connections, and each data connection must resume the control connection's TLS
# session; anonymous users may then also upload into folders that "daemon" can write. With
# "implicit" after it, TLS starts with the first byte.
# The vsftpd binary: $CVB_VSFTPD, else the one scripts/install-deps.sh --tests unpacked into
# build/peers/vsftpd (no package, no system service), else an installed /usr/sbin/vsftpd.
# With CVB_VSFTPD_LOG=FILE set, every command and reply goes to FILE.
# Usage: vsftpd-run.sh PORT ROOT [CERTFILE [implicit]]
set -eu
repo=$(cd "$(dirname "$0")/../.." && pwd)
vsftpd=${CVB_VSFTPD:-}
if [ -z "$vsftpd" ]; then
    for candidate in "$repo/build/peers/vsftpd/usr/sbin/vsftpd" /usr/sbin/vsftpd; do
        if [ -x "$candidate" ]; then
            vsftpd=$candidate
            break
        fi
    done
fi
if [ -z "$vsftpd" ] || [ ! -x "$vsftpd" ]; then
    echo "vsftpd-run.sh: no vsftpd found; run scripts/install-deps.sh --tests" >&2
    exit 1
fi
port=$1
root=$(cd "$2" && pwd)
cert=${3:-}
implicit=${4:-}
chmod 0755 "$root"
conf_dir=$(mktemp -d "${TMPDIR:-/tmp}/cvb-vsftpd.XXXXXX")
mkdir -p "$conf_dir/empty"
chmod 0755 "$conf_dir/empty"
cat > "$conf_dir/vsftpd.conf" <<CONF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$port
background=NO
anonymous_enable=YES
anon_root=$root
no_anon_password=YES
local_enable=NO
write_enable=NO
pasv_enable=YES
pasv_address=127.0.0.1
port_enable=YES
connect_from_port_20=NO
secure_chroot_dir=$conf_dir/empty
ftp_username=daemon
nopriv_user=nobody
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
use_localtime=NO
xferlog_enable=NO
dirmessage_enable=NO
CONF
if [ -n "$cert" ]; then
    cat >> "$conf_dir/vsftpd.conf" <<CONF
ssl_enable=YES
allow_anon_ssl=YES
force_anon_logins_ssl=YES
force_anon_data_ssl=YES
require_ssl_reuse=YES
ssl_tlsv1=YES
ssl_sslv2=NO
ssl_sslv3=NO
rsa_cert_file=$cert
rsa_private_key_file=$cert
anon_upload_enable=YES
anon_umask=022
CONF
    sed -i 's/^write_enable=NO/write_enable=YES/' "$conf_dir/vsftpd.conf"
    [ "$implicit" = implicit ] && echo "implicit_ssl=YES" >> "$conf_dir/vsftpd.conf"
fi
if [ -n "${CVB_VSFTPD_LOG:-}" ]; then
    # Every command and reply of every session, for tests that look at what the client asked.
    sed -i 's/^xferlog_enable=NO/xferlog_enable=YES/' "$conf_dir/vsftpd.conf"
    cat >> "$conf_dir/vsftpd.conf" <<CONF
log_ftp_protocol=YES
xferlog_std_format=NO
vsftpd_log_file=$CVB_VSFTPD_LOG
CONF
fi
trap 'rm -rf "$conf_dir"' EXIT
# exec would drop the trap; run it as a child and pass signals on.
"$vsftpd" "$conf_dir/vsftpd.conf" &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null; rm -rf "$conf_dir"; exit 0' TERM INT
wait $pid
