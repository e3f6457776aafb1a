"""What the pyftpdlib test servers share: a mended active data connector, the session log and
the way they run (announce the port, stop when standard input closes)."""
import logging
import os
import sys
import threading

from pyftpdlib.handlers import ActiveDTP


class HandOverActiveDTP(ActiveDTP):
    """An active data connector that forgets its socket number once it has handed the socket
    on. pyftpdlib 1.5 keeps the number, and closing the connector later (at the next PORT)
    unregisters whatever connection has that number by then: with several sessions at once
    that is often another session's control or data connection, which is then never served
    again."""

    def del_channel(self, map=None):
        super().del_channel(map)
        self._fileno = None


def prepare(handler):
    """Gives the handler class the mended connector; with CVB_FTP_LOG=PREFIX set, the server
    logs every command and reply to PREFIX.<pid>."""
    handler.active_dtp = HandOverActiveDTP
    if os.environ.get("CVB_FTP_LOG"):
        logging.basicConfig(filename="%s.%d" % (os.environ["CVB_FTP_LOG"], os.getpid()),
                            level=logging.DEBUG, format="%(asctime)s %(message)s")


def serve(server):
    """Prints "LISTENING <port>" once the server accepts connections, then serves until
    standard input closes or SIGTERM comes."""
    print("LISTENING %d" % server.address[1], flush=True)

    def watch_stdin():
        sys.stdin.read()
        os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    server.serve_forever(handle_exit=True)
