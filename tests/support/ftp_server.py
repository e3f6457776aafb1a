"""A pyftpdlib FTP server on loopback for the tests.

Usage: ftp_server.py PORT ROOT USER PASSWORD [CERTFILE [cut]]
With CERTFILE (a PEM file with the certificate and its key) the server speaks FTP over TLS
(AUTH TLS) and requires it for log-ons and data connections. With "cut" after it, every data
connection ends without its TLS close, as a connection cut short by the network does.
Prints "LISTENING <port>" on stdout once it accepts connections; stops when stdin closes
or on SIGTERM. Active (PORT) and passive (PASV) data connections are both allowed.
With CVB_FTP_LOG=PREFIX set, the server logs every command and reply to PREFIX.<pid>.
"""
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, TLS_DTPHandler, TLS_FTPHandler
from pyftpdlib.servers import FTPServer

from pyftpd_common import prepare, serve


def main():
    port, root, user, password = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elradfmwMT")
    authorizer.add_anonymous(root, perm="elr")

    certfile = sys.argv[5] if len(sys.argv) > 5 else None

    class Handler(TLS_FTPHandler if certfile else FTPHandler):
        pass

    class CutDTPHandler(TLS_DTPHandler):
        def close(self):
            # Marked as failed, the connection closes without sending the TLS close first.
            self._error = True
            super().close()

    if certfile:
        Handler.certfile = certfile
        if sys.argv[6:7] == ["cut"]:
            Handler.dtp_handler = CutDTPHandler
        Handler.tls_control_required = True
        Handler.tls_data_required = True

    Handler.authorizer = authorizer
    Handler.banner = "pyftpdlib test server ready."
    Handler.use_sendfile = True
    Handler.encoding = "utf-8"
    prepare(Handler)
    server = FTPServer(("127.0.0.1", port), Handler)
    server.max_cons = 64
    serve(server)


if __name__ == "__main__":
    main()
