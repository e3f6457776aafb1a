"""A real SMTP server (aiosmtpd) for the tests: listens on 127.0.0.1, accepts every message and
records it.

usage: smtp_sink.py PORT FOLDER [--refuse ADDRESS]...

For the n-th message (n from 1) it writes FOLDER/n.envelope (JSON: helo, mail_from, rcpt_tos) and
FOLDER/n.eml (the message bytes as received after DATA). A recipient named with --refuse is
answered "550 5.1.1 <ADDRESS>: Recipient address rejected". Prints "READY" once it listens and
runs until it is terminated.
"""
import json
import os
import signal
import sys
import threading

from aiosmtpd.controller import Controller


class Recorder:
    def __init__(self, folder, refused):
        self.folder = folder
        self.refused = refused
        self.count = 0
        self.lock = threading.Lock()

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in self.refused:
            return "550 5.1.1 <%s>: Recipient address rejected" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        with self.lock:
            self.count += 1
            stem = os.path.join(self.folder, str(self.count))
        with open(stem + ".eml.part", "wb") as f:
            f.write(envelope.original_content)
        with open(stem + ".envelope", "w") as f:
            json.dump({"helo": session.host_name, "mail_from": envelope.mail_from,
                       "rcpt_tos": envelope.rcpt_tos}, f)
        # The message file appears whole, after its envelope.
        os.rename(stem + ".eml.part", stem + ".eml")
        return "250 Message accepted for delivery"


def main():
    port = int(sys.argv[1])
    folder = sys.argv[2]
    refused = [sys.argv[i + 1] for i, a in enumerate(sys.argv) if a == "--refuse"]
    controller = Controller(Recorder(folder, refused), hostname="127.0.0.1", port=port)
    controller.start()
    print("READY", flush=True)
    done = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    signal.signal(signal.SIGINT, lambda *_: done.set())
    done.wait()
    controller.stop()


if __name__ == "__main__":
    main()
