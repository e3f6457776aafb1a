"""A pyftpdlib FTP server on loopback for the tests.

Usage: ftp_server.py PORT ROOT USER PASSWORD
Prints "LISTENING <port>" on stdout once it accepts connections; stops when stdin closes
or on SIGTERM. Active (PORT) and passive (PASV) data connections are both allowed.
With CVB_FTP_LOG=PREFIX set, the server logs every command and reply to PREFIX.<pid>.
"""
import logging
import os
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import ActiveDTP, FTPHandler
from pyftpdlib.servers import FTPServer


class HandOverActiveDTP(ActiveDTP):
    """An active data connector that forgets its socket number once it has handed the socket
    on. pyftpdlib 1.5 keeps the number, and closing the connector later (at the next PORT)
    unregisters whatever connection has that number by then: with several sessions at once
    that is often another session's control connection, which is then never read again."""

    def del_channel(self, map=None):
        super().del_channel(map)
        self._fileno = None


def main():
    port, root, user, password = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elradfmwMT")
    authorizer.add_anonymous(root, perm="elr")

    class Handler(FTPHandler):
        pass

    Handler.authorizer = authorizer
    Handler.active_dtp = HandOverActiveDTP
    Handler.banner = "pyftpdlib test server ready."
    Handler.use_sendfile = True
    Handler.encoding = "utf-8"
    if os.environ.get("CVB_FTP_LOG"):
        logging.basicConfig(filename="%s.%d" % (os.environ["CVB_FTP_LOG"], os.getpid()),
                            level=logging.DEBUG, format="%(asctime)s %(message)s")
    server = FTPServer(("127.0.0.1", port), Handler)
    server.max_cons = 64
    print("LISTENING %d" % server.address[1], flush=True)

    def watch_stdin():
        sys.stdin.read()
        os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
