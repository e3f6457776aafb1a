#!/usr/bin/python3
"""Checks link.py against a local peer: bytes arrive whole and in order in both directions on
several connections at once; an end of data (half-close) arrives after the data before it, in
each direction, while the other direction goes on; a reset arrives as a reset; a refused
connection is refused. Prints the round trip and the rate it measured, for information.

Usage: check_link.py [--delay-ms 15] [--rate-mbit 100]     (exit status 0: all good)
"""
import argparse
import asyncio
import hashlib
import os
import random
import socket
import struct
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
LISTEN, TARGET = "127.0.0.2", "127.0.0.1"
AFTER_END = []


async def echo_reversed(reader, writer):
    """Reads everything the client sends up to its end of data, then answers with a digest of
    it followed by the same bytes reversed, and ends its side."""
    data = await reader.read()
    writer.write(hashlib.sha256(data).digest() + data[::-1])
    await writer.drain()
    writer.close()


async def talk_while_sending(reader, writer):
    """Sends a greeting and ends its side at once, then keeps what the client still sends."""
    writer.write(b"greeting")
    writer.write_eof()
    AFTER_END.append(await reader.read())
    writer.close()


async def reset_at_once(reader, writer):
    """Resets the connection once the first byte comes."""
    await reader.read(1)
    writer.get_extra_info("socket").setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                               struct.pack("ii", 1, 0))
    writer.transport.abort()


async def exchange(port, payload):
    reader, writer = await asyncio.open_connection(LISTEN, port)
    # Uneven writes: the relay must keep the order whatever the chunks.
    view, rng = memoryview(payload), random.Random(len(payload))
    while view:
        n = rng.randint(1, 70000)
        writer.write(view[:n])
        view = view[n:]
        await writer.drain()
    writer.write_eof()
    answer = await reader.read()
    writer.close()
    return answer


def check(condition, text):
    if not condition:
        print("FAILED:", text)
        sys.exit(1)
    print("ok:", text)


async def main(args):
    base = int(subprocess.check_output([sys.executable, os.path.join(HERE, "link.py"),
                                        "--free-block", "4"]))
    echo_port, half_port, reset_port, refused_port = base, base + 1, base + 2, base + 3
    servers = [await asyncio.start_server(echo_reversed, TARGET, echo_port),
               await asyncio.start_server(talk_while_sending, TARGET, half_port),
               await asyncio.start_server(reset_at_once, TARGET, reset_port)]
    link = subprocess.Popen([sys.executable, os.path.join(HERE, "link.py"), "--listen", LISTEN,
                             "--target", TARGET, "--ports", "%d-%d" % (base, base + 3),
                             "--delay-ms", str(args.delay_ms), "--rate-mbit", str(args.rate_mbit)],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    try:
        assert link.stdout.readline().startswith(b"LISTENING")

        payloads = [os.urandom(size) for size in (0, 1, 1000, 300000, 3000000)]
        started = time.monotonic()
        answers = await asyncio.gather(*(exchange(echo_port, p) for p in payloads))
        took = time.monotonic() - started
        check(all(a == hashlib.sha256(p).digest() + p[::-1] for a, p in zip(answers, payloads)),
              "five connections at once: every byte back in order after the end of data")
        moved = 2 * sum(len(p) for p in payloads)
        print("info: %.1f MB both ways in %.2f s" % (moved / 1e6, took))

        started = time.monotonic()
        await exchange(echo_port, b"x")
        print("info: one small exchange (connect, send, end, answer) took %.1f ms"
              % ((time.monotonic() - started) * 1000))

        reader, writer = await asyncio.open_connection(LISTEN, half_port)
        greeting = await reader.read()
        writer.write(b"still sending after the server's end")
        writer.write_eof()
        check(greeting == b"greeting" and await reader.read() == b"",
              "the server's end of data arrives after its data")
        writer.close()
        while not AFTER_END:
            await asyncio.sleep(0.01)
        check(AFTER_END == [b"still sending after the server's end"],
              "the client's bytes after the server's end of data arrive")

        reader, writer = await asyncio.open_connection(LISTEN, reset_port)
        writer.write(b"x")
        try:
            await reader.read()
            reset = False
        except ConnectionResetError:
            reset = True
        writer.close()
        check(reset, "a reset by the server arrives as a reset")

        try:
            reader, writer = await asyncio.open_connection(LISTEN, refused_port)
            refused = await reader.read() == b""
            writer.close()
        except (ConnectionResetError, ConnectionRefusedError):
            refused = True
        check(refused, "a connection the server refuses ends without data")
    finally:
        link.stdin.close()
        print("info:", link.stdout.read().decode().strip())
        link.wait(timeout=10)
        for server in servers:
            server.close()


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--delay-ms", type=float, default=15.0)
    parser.add_argument("--rate-mbit", type=float, default=100.0)
    asyncio.run(main(parser.parse_args()))
