"""A real SMTP server (aiosmtpd) for the tests: listens on 127.0.0.1, accepts every message and
records it.

usage: smtp_sink.py PORT FOLDER [--refuse ADDRESS]... [--starttls PEM | --implicit-tls PEM]
                    [--account USER PASSWORD] [--auth-over-plain] [--no-plain-auth]

For the n-th message (n from 1) it writes FOLDER/n.envelope (JSON: helo, mail_from, rcpt_tos, tls,
user) and FOLDER/n.eml (the message bytes as received after DATA). FOLDER/transcript holds every
byte the clients sent, after decryption. A recipient named with --refuse is answered
"550 5.1.1 <ADDRESS>: Recipient address rejected".

--starttls offers STARTTLS and requires it before anything else; --implicit-tls speaks TLS from
the first byte; PEM holds the certificate and its key. --account makes the log-in required (and
the only one that works); AUTH is offered only over TLS unless --auth-over-plain.
--no-plain-auth offers AUTH LOGIN alone. Prints "READY" once it listens and runs until it is
terminated.
"""
import json
import os
import signal
import ssl
import sys
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import SMTP, AuthResult


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
        tls = session.ssl is not None or server.transport.get_extra_info("sslcontext") is not None
        user = session.auth_data.login.decode() if session.authenticated else None
        with open(stem + ".eml.part", "wb") as f:
            f.write(envelope.original_content)
        with open(stem + ".envelope", "w") as f:
            json.dump({"helo": session.host_name, "mail_from": envelope.mail_from,
                       "rcpt_tos": envelope.rcpt_tos, "tls": tls, "user": user}, f)
        # The message file appears whole, after its envelope.
        os.rename(stem + ".eml.part", stem + ".eml")
        return "250 Message accepted for delivery"


class RecordingSMTP(SMTP):
    """Writes what each client sends to the transcript, as the protocol reads it."""

    transcript = None

    def data_received(self, data):
        with open(self.transcript, "ab") as f:
            f.write(data)
        super().data_received(data)


class Sink(Controller):
    def factory(self):
        return RecordingSMTP(self.handler, **self.SMTP_kwargs)


def option(name, count=1):
    if name not in sys.argv:
        return None
    i = sys.argv.index(name)
    return sys.argv[i + 1:i + 1 + count]


def main():
    port = int(sys.argv[1])
    folder = sys.argv[2]
    refused = [sys.argv[i + 1] for i, a in enumerate(sys.argv) if a == "--refuse"]
    RecordingSMTP.transcript = os.path.join(folder, "transcript")
    open(RecordingSMTP.transcript, "wb").close()

    kwargs = {}
    starttls = option("--starttls")
    implicit = option("--implicit-tls")
    pem = (starttls or implicit or [None])[0]
    context = None
    if pem:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(pem)
    if starttls:
        kwargs.update(tls_context=context, require_starttls=True)
    account = option("--account", 2)
    if account:
        user, password = account[0].encode(), account[1].encode()

        def authenticator(server, session, envelope, mechanism, auth_data):
            ok = auth_data.login == user and auth_data.password == password
            return AuthResult(success=ok, auth_data=auth_data if ok else None, handled=False)

        kwargs.update(authenticator=authenticator, auth_required=True)
    # With TLS from the first byte aiosmtpd does not see the encryption it sits on: every
    # connection is encrypted, so AUTH is offered on all of them.
    if "--auth-over-plain" in sys.argv or implicit:
        kwargs.update(auth_require_tls=False)
    if "--no-plain-auth" in sys.argv:
        kwargs.update(auth_exclude_mechanism=["PLAIN"])

    controller = Sink(Recorder(folder, refused), hostname="127.0.0.1", port=port,
                      ssl_context=context if implicit else None, **kwargs)
    controller.start()
    print("READY", flush=True)
    done = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    signal.signal(signal.SIGINT, lambda *_: done.set())
    done.wait()
    controller.stop()


if __name__ == "__main__":
    main()
