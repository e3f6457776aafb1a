#!/usr/bin/python3
"""The pyftpdlib server of the wide-area benchmark: the test server's set-up, but the
passive replies name another address and ports that the link simulator relays.

Usage: wan_ftp_server.py PORT ROOT USER PASSWORD [ANNOUNCED_ADDRESS FIRST_PORT-LAST_PORT]
Listens on 127.0.0.1:PORT. With ANNOUNCED_ADDRESS, PASV replies give that address and the
passive data connections listen on a port of FIRST_PORT-LAST_PORT only (EPSV replies carry the
port alone, so the client reaches the same address as its control connection). Prints
"LISTENING <port>" once it accepts connections; stops when standard input closes or on SIGTERM.
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "tests", "support"))

from pyftpdlib.authorizers import DummyAuthorizer  # noqa: E402
from pyftpdlib.handlers import FTPHandler  # noqa: E402
from pyftpdlib.servers import FTPServer  # noqa: E402

from pyftpd_common import prepare, serve  # noqa: E402


def main():
    port, root, user, password = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elr")

    class Handler(FTPHandler):
        pass

    if len(sys.argv) > 6:
        first, _, last = sys.argv[6].partition("-")
        Handler.masquerade_address = sys.argv[5]
        Handler.passive_ports = range(int(first), int(last) + 1)
    Handler.authorizer = authorizer
    Handler.banner = "pyftpdlib benchmark server ready."
    Handler.use_sendfile = True
    Handler.encoding = "utf-8"
    prepare(Handler)
    server = FTPServer(("127.0.0.1", port), Handler)
    server.max_cons = 64
    serve(server)


if __name__ == "__main__":
    main()
