#!/usr/bin/python3
"""A slow link on loopback: a TCP relay that makes local connections behave like ones to a
distant server.

Usage: link.py --listen 127.0.0.2 --target 127.0.0.1 --ports 2121,30000-30099
               [--delay-ms 15] [--rate-mbit 100]
       link.py --free-block COUNT --listen 127.0.0.2 --target 127.0.0.1

Every port of --ports listens on the --listen address; a connection to it is relayed to the
same port of the --target address. Every chunk read on one side reaches the other side
--delay-ms later (one way; each direction on its own), and all connections together share
--rate-mbit in each direction, as they share a real line: a chunk leaves only once the chunks
queued before it have left, one byte after the other at that rate (0: no cap). The connection
to the target opens when the client's connection request would arrive there, one delay after
the client connected. An end of data (half-close) reaches the other side after the data before
it, a reset as a reset. Each direction of a connection holds at most about one round trip's
worth of data at the rate (the window a TCP sender keeps in flight) and reads no more until the
other side has taken it.

Limits, from the loopback kernel: the client's connection set-up completes at once, so a client
that waits for its connection before it sends saves one round trip per connection against a
real line; nothing is lost or reordered.

Prints "LISTENING" once every port listens; stops on SIGTERM or SIGINT or when standard input
closes, and prints then how late, on average and at worst, it wrote the chunks that waited for
their time ("LATE mean M ms, worst W ms, N chunks"): its own error, which grows when the
machine is busy. --free-block prints the first port P at or above 20000 such that P .. P+COUNT-1 are
free on both addresses (below the kernel's range of ephemeral ports) and exits.
"""
import argparse
import asyncio
import signal
import socket
import struct
import sys
import threading

CHUNK = 64 * 1024
EOF = b""
RESET = None


class Line:
    """One direction of the link, shared by every relayed connection."""

    def __init__(self, delay, rate_bytes):
        self.delay = delay
        self.rate = rate_bytes
        self.free_at = 0.0

    def arrival(self, now, size):
        """When a chunk of `size` bytes read at `now` reaches the far side."""
        if not self.rate:
            return now + self.delay
        leaves = max(now, self.free_at) + size / self.rate
        self.free_at = leaves
        return leaves + self.delay


class Lateness:
    """How much later than due the chunks that waited for their time were written: the
    simulator's own error, which grows when the machine is busy."""

    def __init__(self):
        self.count = 0
        self.total = 0.0
        self.worst = 0.0

    def add(self, late):
        self.count += 1
        self.total += late
        self.worst = max(self.worst, late)

    def report(self):
        mean = self.total / self.count if self.count else 0.0
        return "LATE mean %.2f ms, worst %.1f ms, %d chunks" % (
            mean * 1000, self.worst * 1000, self.count)


LATENESS = Lateness()


class Pipe:
    """One direction of one relayed connection: reads, holds each chunk until its arrival,
    writes it in order."""

    def __init__(self, line, source, limit):
        self.line = line
        self.source = source
        self.limit = limit
        self.queue = asyncio.Queue()
        self.held = 0
        self.last_arrival = 0.0
        self.room = asyncio.Event()
        self.room.set()

    def _put(self, arrival, chunk):
        # A chunk never overtakes the one before it, whatever the line's queue does.
        self.last_arrival = max(self.last_arrival, arrival)
        self.queue.put_nowait((self.last_arrival, chunk))

    async def read_side(self):
        loop = asyncio.get_running_loop()
        end = EOF
        try:
            while True:
                await self.room.wait()
                chunk = await self.source.read(CHUNK)
                if not chunk:
                    break
                self.held += len(chunk)
                if self.held >= self.limit:
                    self.room.clear()
                self._put(self.line.arrival(loop.time(), len(chunk)), chunk)
        except (ConnectionError, OSError):
            end = RESET
        self._put(loop.time() + self.line.delay, end)

    async def write_side(self, sink):
        """Delivers until the end; returns False when the end was a reset or the sink failed."""
        loop = asyncio.get_running_loop()
        while True:
            arrival, chunk = await self.queue.get()
            wait = arrival - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
                LATENESS.add(max(0.0, loop.time() - arrival))
            try:
                if chunk is RESET:
                    return False
                if chunk == EOF:
                    if sink.can_write_eof():
                        sink.write_eof()
                    await sink.drain()
                    return True
                sink.write(chunk)
                self.held -= len(chunk)
                if self.held < self.limit:
                    self.room.set()
                await sink.drain()
            except (ConnectionError, OSError):
                return False


def no_delay(writer):
    sock = writer.get_extra_info("socket")
    if sock is not None:
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)


def abort(*writers):
    """Resets the connections (a plain close would end them with a FIN)."""
    for writer in writers:
        if writer is not None and not writer.transport.is_closing():
            try:
                writer.get_extra_info("socket").setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                                           struct.pack("ii", 1, 0))
            except OSError:
                pass
            writer.transport.abort()


async def relay(client_reader, client_writer, target, port, up, down, limit):
    no_delay(client_writer)
    outgoing = Pipe(up, client_reader, limit)
    reading_out = asyncio.ensure_future(outgoing.read_side())
    server_writer = None
    try:
        # The connection request travels to the server first.
        await asyncio.sleep(up.delay)
        try:
            server_reader, server_writer = await asyncio.open_connection(target, port)
        except OSError:
            # Refused: the client learns it one delay later.
            await asyncio.sleep(down.delay)
            abort(client_writer)
            return
        no_delay(server_writer)
        incoming = Pipe(down, server_reader, limit)
        reading_in = asyncio.ensure_future(incoming.read_side())
        sends = asyncio.ensure_future(outgoing.write_side(server_writer))
        receives = asyncio.ensure_future(incoming.write_side(client_writer))
        pending = {sends, receives}
        while pending:
            done, pending = await asyncio.wait(pending, return_when=asyncio.FIRST_COMPLETED)
            if not all(task.result() for task in done):
                # A reset on one side, or a side that failed: both ends go at once.
                abort(client_writer, server_writer)
                for task in pending:
                    task.cancel()
                break
        for task in (reading_in, reading_out):
            task.cancel()
        client_writer.close()
        server_writer.close()
    except asyncio.CancelledError:
        abort(client_writer, server_writer)
        reading_out.cancel()
        raise


def parse_ports(text):
    ports = []
    for part in text.split(","):
        first, _, last = part.partition("-")
        ports.extend(range(int(first), int(last or first) + 1))
    return ports


def free_block(count, addresses):
    def free(port):
        for address in addresses:
            with socket.socket() as sock:
                sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
                try:
                    sock.bind((address, port))
                except OSError:
                    return False
        return True

    base = 20000
    while base + count <= 32768:
        taken = next((p for p in range(base, base + count) if not free(p)), None)
        if taken is None:
            return base
        base = taken + 1
    raise SystemExit("no block of %d free ports below 32768" % count)


async def serve(args):
    loop = asyncio.get_running_loop()
    up = Line(args.delay_ms / 1000.0, args.rate_mbit * 1e6 / 8)
    down = Line(args.delay_ms / 1000.0, args.rate_mbit * 1e6 / 8)
    # A TCP sender keeps about one round trip's worth in flight at the rate.
    limit = max(64 * 1024, int(2 * up.delay * up.rate) + 64 * 1024)
    servers = []
    for port in parse_ports(args.ports):
        def handle(reader, writer, port=port):
            return relay(reader, writer, args.target, port, up, down, limit)

        servers.append(await asyncio.start_server(handle, args.listen, port, reuse_address=True))
    stop = asyncio.Event()
    for sig in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(sig, stop.set)

    def watch_stdin():
        sys.stdin.read()
        loop.call_soon_threadsafe(stop.set)

    threading.Thread(target=watch_stdin, daemon=True).start()
    print("LISTENING", flush=True)
    await stop.wait()
    for server in servers:
        server.close()
    print(LATENESS.report(), flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--listen", default="127.0.0.2")
    parser.add_argument("--target", default="127.0.0.1")
    parser.add_argument("--ports")
    parser.add_argument("--delay-ms", type=float, default=15.0)
    parser.add_argument("--rate-mbit", type=float, default=100.0)
    parser.add_argument("--free-block", type=int)
    args = parser.parse_args()
    if args.free_block:
        print(free_block(args.free_block, [args.listen, args.target]))
        return
    if not args.ports:
        parser.error("--ports is required")
    asyncio.run(serve(args))


if __name__ == "__main__":
    main()
