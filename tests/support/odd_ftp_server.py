"""A pyftpdlib FTP server on loopback whose folder listings (NLST and MLSD) carry extra lines that no
file system holds (in MLSD as files of one byte): names such as "../outside.txt", "/etc/passwd", "sub/file", "." or "..",
which a careless client would turn into paths outside its target folder.

Usage: odd_ftp_server.py [--no-active] [--send-rate BYTES] [--stall NAME] [--refuse-second-cwd NAME]
                         [--names-only] [--no-mlsd] [--max-sessions N]
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
Prints "LISTENING <port>" on stdout once it accepts connections; stops when stdin closes
or on SIGTERM. Every listing of a folder ends with the extra lines, in the order given.
"""
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

from pyftpd_common import prepare, serve


def main():
    args = sys.argv[1:]
    no_active = names_only = no_mlsd = False
    send_rate = max_sessions = 0
    stall = refuse_cwd = None
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
        else:
            sys.exit("unknown option " + flag)
    cwd_count = {}
    sessions = {"open": 0}
    port, root, user, password = int(args[0]), args[1], args[2], args[3]
    extra = args[4:]
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elr")

    class Handler(FTPHandler):
        def handle(self):
            if max_sessions and sessions["open"] >= max_sessions:
                self.respond("421 Too many connections.")
                self.close_when_done()
                return
            self._counted = True
            sessions["open"] += 1
            FTPHandler.handle(self)

        def uncount(self):
            if getattr(self, "_counted", False):
                self._counted = False
                sessions["open"] -= 1

        def ftp_QUIT(self, line):
            # Counted out before the client hears 221: its next connection finds the place free.
            self.uncount()
            return FTPHandler.ftp_QUIT(self, line)

        def close(self):
            self.uncount()
            FTPHandler.close(self)

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
            if stall is None or os.path.basename(file) != stall:
                return FTPHandler.ftp_RETR(self, file)
            if self.data_channel is None and self._dtp_acceptor is None and self._dtp_connector is None:
                self.respond("425 Use PASV first.")
                return None
            self.respond("150 File status okay. About to open data connection.")

            def send_first_bytes():
                # A passive data connection may not be accepted yet when RETR comes.
                if self.data_channel is None:
                    if not self._closed:
                        self.ioloop.call_later(0.05, send_first_bytes)
                    return
                # The first bytes go out; the rest never comes and the connection stays open.
                self.data_channel.push(b"partial " * 1024)

            send_first_bytes()
            return file

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
    if names_only or no_mlsd:
        Handler.proto_cmds = {k: v for k, v in FTPHandler.proto_cmds.items() if k not in ("MLSD", "MLST")}
    Handler.authorizer = authorizer
    Handler.banner = "odd listing test server ready."
    prepare(Handler)
    serve(FTPServer(("127.0.0.1", port), Handler))


if __name__ == "__main__":
    main()
