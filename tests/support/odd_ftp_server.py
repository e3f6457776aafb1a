"""A pyftpdlib FTP server on loopback whose folder listings (NLST and MLSD) carry extra lines that no
file system holds (in MLSD as files of one byte): names such as "../outside.txt", "/etc/passwd", "sub/file", "." or "..",
which a careless client would turn into paths outside its target folder; and, on request, the
faults of a bad line or a busy host.

Usage: odd_ftp_server.py [--no-active] [--send-rate BYTES] [--stall NAME] [--refuse-second-cwd NAME]
                         [--names-only] [--no-mlsd] [--max-sessions N]
                         [--cut-every N] [--cut-at-fraction NAME F] [--retr-421-once NAME]
                         [--logon-421 K] [--vanish NAME] [--hash] [--hash-lie NAME]
                         PORT ROOT USER PASSWORD EXTRA_LINE...
With --no-active the server refuses PORT, as a client behind a firewall or NAT meets it:
only passive data connections work. With --send-rate the server sends files at most BYTES
bytes a second, as a slow line does. With --stall, a download of a file called NAME sends its
first bytes and then nothing more, as a hung server does. With --refuse-second-cwd, the
second change into a folder called NAME (on any connection) is refused with 450, as a busy
server refuses now and then. With --names-only the server offers no MLSD and refuses LIST, as old
servers that list names alone do. With --no-mlsd the server offers no MLSD (nor MLST in its FEAT
reply), as servers do that list folders with LIST alone. With --max-sessions, a control
connection that would make more than N at once is greeted with "421 Too many connections." and
closed, as hosts that limit the connections of a user do.

Faults of a bad line (NAME is always a file's name without its folder; counts run over the
whole server, all connections together):
--cut-every N        every Nth download (RETR of a file that is otherwise served and was not
                     cut before) sends half of what remains from its REST offset, waits until
                     the client has received those bytes, then resets the data connection (RST)
                     and answers "426 Connection reset after <offset reached> bytes; transfer
                     aborted.". A file is cut once at most, so that three tries always suffice.
--cut-at-fraction NAME F
                     the first download of NAME sends the file up to the fraction F (0 to 1) of
                     its size and is cut as above; later downloads of NAME are served whole
                     from their REST offset.
--retr-421-once NAME the first RETR of NAME is answered "421 Service not available, closing
                     control connection." and the control connection is closed.
--logon-421 K        the Kth USER is answered with the same 421 and the connection is closed.
--vanish NAME        NAME is listed in its folder as it is on disk, but RETR, SIZE, MDTM, MLST
                     and HASH answer "550 No such file or directory.", as for a file deleted
                     after the listing.
--hash               FEAT offers "HASH SHA-256*;SHA-1;MD5" and XSHA256; HASH answers
                     "213 <algorithm> 0-<last byte> <hex digest> <name>" in the algorithm chosen
                     with OPTS HASH (SHA-256 at first), XSHA256 "213 <hex digest>".
--hash-lie NAME      as --hash, but both give a wrong digest for NAME.
FEAT offers REST STREAM; with CVB_FTP_LOG set every command goes to the log, "REST <offset>" and
"PASS ******" among them.
Prints "LISTENING <port>" on stdout once it accepts connections; stops when stdin closes
or on SIGTERM. Every listing of a folder ends with the extra lines, in the order given.
"""
import fcntl
import hashlib
import io
import logging
import os
import socket
import struct
import sys
import termios

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FileProducer, FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

from pyftpd_common import prepare, serve

GONE = "550 No such file or directory."
CLOSING = "421 Service not available, closing control connection."
HASHES = {"SHA-256": hashlib.sha256, "SHA-1": hashlib.sha1, "MD5": hashlib.md5}


def main():
    args = sys.argv[1:]
    no_active = names_only = no_mlsd = offer_hash = False
    send_rate = max_sessions = cut_every = logon_421 = 0
    stall = refuse_cwd = retr_421 = vanish = hash_lie = None
    cut_fraction = {}
    while args and args[0].startswith("--"):
        flag, args = args[0], args[1:]
        if flag == "--no-active":
            no_active = True
        elif flag == "--names-only":
            names_only = True
        elif flag == "--no-mlsd":
            no_mlsd = True
        elif flag == "--send-rate":
            send_rate, args = int(args[0]), args[1:]
        elif flag == "--stall":
            stall, args = args[0], args[1:]
        elif flag == "--refuse-second-cwd":
            refuse_cwd, args = args[0], args[1:]
        elif flag == "--max-sessions":
            max_sessions, args = int(args[0]), args[1:]
        elif flag == "--cut-every":
            cut_every, args = int(args[0]), args[1:]
        elif flag == "--cut-at-fraction":
            cut_fraction[args[0]], args = float(args[1]), args[2:]
        elif flag == "--retr-421-once":
            retr_421, args = args[0], args[1:]
        elif flag == "--logon-421":
            logon_421, args = int(args[0]), args[1:]
        elif flag == "--vanish":
            vanish, args = args[0], args[1:]
        elif flag == "--hash":
            offer_hash = True
        elif flag == "--hash-lie":
            offer_hash, hash_lie, args = True, args[0], args[1:]
        else:
            sys.exit("unknown option " + flag)
    cwd_count = {}
    counts = {"open": 0, "user": 0, "downloads": 0}
    done_once = set()
    port, root, user, password = int(args[0]), args[1], args[2], args[3]
    extra = args[4:]
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elr")

    def first_time(what):
        if what in done_once:
            return False
        done_once.add(what)
        return True

    class Handler(FTPHandler):
        def handle(self):
            if max_sessions and counts["open"] >= max_sessions:
                self.respond("421 Too many connections.")
                self.close_when_done()
                return
            self._counted = True
            counts["open"] += 1
            FTPHandler.handle(self)

        def uncount(self):
            if getattr(self, "_counted", False):
                self._counted = False
                counts["open"] -= 1

        def ftp_QUIT(self, line):
            # Counted out before the client hears 221: its next connection finds the place free.
            self.uncount()
            return FTPHandler.ftp_QUIT(self, line)

        def close(self):
            self.uncount()
            FTPHandler.close(self)

        def hang_up(self):
            self.respond(CLOSING)
            self.close_when_done()

        def ftp_USER(self, line):
            counts["user"] += 1
            if counts["user"] == logon_421:
                self.hang_up()
                return None
            return FTPHandler.ftp_USER(self, line)

        def ftp_FEAT(self, line):
            if offer_hash:
                self._extra_feats = ["HASH " + ";".join(
                    name + ("*" if name == self.hash_name() else "") for name in HASHES), "XSHA256"]
            return FTPHandler.ftp_FEAT(self, line)

        def hash_name(self):
            return getattr(self, "_hash_name", "SHA-256")

        def ftp_OPTS(self, line):
            words = line.split()
            if not offer_hash or words[0].upper() != "HASH":
                return FTPHandler.ftp_OPTS(self, line)
            if len(words) > 1:
                if words[1].upper() not in HASHES:
                    self.respond("504 Unknown hash algorithm.")
                    return None
                self._hash_name = words[1].upper()
            self.respond("200 " + self.hash_name())
            return None

        def digest(self, path, name):
            """The hex digest of a file, or None (with the 550 answered) when it cannot be read."""
            if self.gone(path):
                return None
            if not self.fs.isfile(path):
                self.respond(GONE)
                return None
            with open(path, "rb") as f:
                data = f.read()
            if os.path.basename(path) == hash_lie:
                data += b"a different file"
            return HASHES[name](data).hexdigest()

        def ftp_HASH(self, path):
            digest = self.digest(path, self.hash_name())
            if digest is not None:
                last = max(os.path.getsize(path) - 1, 0)
                self.respond("213 %s 0-%d %s %s" % (self.hash_name(), last, digest, self.fs.fs2ftp(path)))

        def ftp_XSHA256(self, path):
            digest = self.digest(path, "SHA-256")
            if digest is not None:
                self.respond("213 " + digest)

        def gone(self, path):
            """True (with 550 answered) for the file that vanished after the listing."""
            if os.path.basename(path) != vanish:
                return False
            self.respond(GONE)
            return True

        def ftp_SIZE(self, path):
            return None if self.gone(path) else FTPHandler.ftp_SIZE(self, path)

        def ftp_MDTM(self, path):
            return None if self.gone(path) else FTPHandler.ftp_MDTM(self, path)

        def ftp_MLST(self, path):
            return None if self.gone(path) else FTPHandler.ftp_MLST(self, path)

        def ftp_NLST(self, path):
            if not self.fs.isdir(path):
                return FTPHandler.ftp_NLST(self, path)
            try:
                listing = sorted(self.run_as_current_user(self.fs.listdir, path))
            except OSError as err:
                self.respond("550 %s." % err.strerror)
                return None
            data = "".join(name + "\r\n" for name in listing + extra)
            self.push_dtp_data(data.encode("utf8"), cmd="NLST")
            return path

        def ftp_MLSD(self, path):
            if names_only:
                self.respond("500 Command not understood.")
                return None
            if not self.fs.isdir(path):
                return FTPHandler.ftp_MLSD(self, path)
            try:
                listing = self.run_as_current_user(self.fs.listdir, path)
            except OSError as err:
                self.respond("550 %s." % err.strerror)
                return None
            perms = self.authorizer.get_perms(self.username)
            lines = self.fs.format_mlsx(path, listing, perms, self._current_facts, ignore_err=True)
            data = b"".join(line if isinstance(line, bytes) else line.encode("utf8") for line in lines)
            data += "".join("type=file;size=1; %s\r\n" % name for name in extra).encode("utf8")
            self.push_dtp_data(data, cmd="MLSD")
            return path

        def ftp_LIST(self, path):
            if names_only:
                self.respond("502 Command not implemented.")
                return None
            return FTPHandler.ftp_LIST(self, path)

        def ftp_RETR(self, file):
            name = os.path.basename(file)
            offset = self._restart_position
            if self.gone(file):
                self._restart_position = 0
                return None
            if name == retr_421 and first_time("421 " + name):
                self.hang_up()
                return None
            if not self.fs.isfile(file):
                return FTPHandler.ftp_RETR(self, file)
            size = os.path.getsize(file)
            if name in cut_fraction and first_time("cut " + name):
                return self.send_part_then_reset(file, offset, int(size * cut_fraction[name]) - offset)
            if cut_every and "cut " + file not in done_once:
                counts["downloads"] += 1
                if counts["downloads"] % cut_every == 0 and first_time("cut " + file):
                    return self.send_part_then_reset(file, offset, (size - offset) // 2)
            if name == stall:
                return self.send_part_then_stall(file)
            return FTPHandler.ftp_RETR(self, file)

        def when_data_connected(self, action):
            """Answers 150 and runs `action` with the data connection once it is there; False
            (with 425 answered) when no data connection was asked for."""
            if self.data_channel is None and self._dtp_acceptor is None and self._dtp_connector is None:
                self.respond("425 Use PASV first.")
                return False
            self.respond("150 File status okay. About to open data connection.")

            def wait():
                # A passive data connection may not be accepted yet when RETR comes.
                if self.data_channel is None:
                    if not self._closed:
                        self.ioloop.call_later(0.05, wait)
                    return
                action(self.data_channel)

            wait()
            return True

        def send_part_then_stall(self, file):
            # The first bytes go out; the rest never comes and the connection stays open.
            return file if self.when_data_connected(lambda channel: channel.push(b"partial " * 1024)) else None

        def send_part_then_reset(self, file, offset, count):
            self._restart_position = 0
            with open(file, "rb") as f:
                f.seek(offset)
                part = f.read(max(count, 0))
            reached = offset + len(part)

            def reset_once_received(channel):
                if channel._closed:
                    return
                unacknowledged = struct.unpack("i", fcntl.ioctl(channel.socket.fileno(), termios.TIOCOUTQ,
                                                                b"\0\0\0\0"))[0]
                if channel.producer_fifo or unacknowledged:
                    self.ioloop.call_later(0.01, reset_once_received, channel)
                    return
                # Lingering for no time makes close() send RST instead of FIN.
                channel.socket.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                channel._resp = ("426 Connection reset after %d bytes; transfer aborted." % reached,
                                 logging.getLogger("pyftpdlib").debug)
                channel.close()

            def send(channel):
                channel.push_with_producer(FileProducer(io.BytesIO(part), self._current_type))
                reset_once_received(channel)

            return file if self.when_data_connected(send) else None

        def ftp_CWD(self, path):
            name = os.path.basename(path.rstrip("/"))
            if refuse_cwd is not None and name == refuse_cwd:
                cwd_count[name] = cwd_count.get(name, 0) + 1
                if cwd_count[name] == 2:
                    self.respond("450 Folder busy, try again later.")
                    return None
            return FTPHandler.ftp_CWD(self, path)

        def ftp_PORT(self, line):
            if no_active:
                self.respond("500 Active data connections cannot reach this client.")
                return None
            return FTPHandler.ftp_PORT(self, line)

    if send_rate:
        class Throttled(ThrottledDTPHandler):
            write_limit = send_rate

        Handler.dtp_handler = Throttled
    commands = dict(FTPHandler.proto_cmds)
    if names_only or no_mlsd:
        commands = {k: v for k, v in commands.items() if k not in ("MLSD", "MLST")}
    if offer_hash:
        for command in ("HASH", "XSHA256"):
            commands[command] = dict(perm="r", auth=True, arg=True,
                                     help="Syntax: %s <SP> file-name (hash of a file)." % command)
    Handler.proto_cmds = commands
    Handler.authorizer = authorizer
    Handler.banner = "odd listing test server ready."
    prepare(Handler)
    serve(FTPServer(("127.0.0.1", port), Handler))


if __name__ == "__main__":
    main()
