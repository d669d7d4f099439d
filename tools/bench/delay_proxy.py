#!/usr/bin/python3
"""FTP proxy that plays a wide-area link in front of a local FTP server.

usage: delay_proxy.py --upstream-port N [--upstream-host H] [--delay-ms D] [--log FILE]

Listens on 127.0.0.1 (a free port, printed as "PORT <n>" once it listens)
and relays each control connection to the server. Every chunk read on the
control connection and on each passive data connection, in either direction,
is handed on D milliseconds after it arrived (a one-way delay; chunks keep
their order and the link has no bandwidth limit of its own). PASV (227) and
EPSV (229) replies are rewritten to a data port of the proxy, which relays
the one data connection made to it to the server's port. Active mode is not
relayed. Every command a client sends is appended to the log, one a line,
as the proxy saw it. TCP handshakes themselves are not delayed.
"""
import argparse
import asyncio
import re
import sys

CHUNK = 256 * 1024
PASV = re.compile(rb"^227 .*?\((\d+),(\d+),(\d+),(\d+),(\d+),(\d+)\)")
EPSV = re.compile(rb"^229 .*?\(\|\|\|(\d+)\|\)")
# A data port that nobody connects to is given up after this long.
DATA_ACCEPT_SECONDS = 60


class Link:
    """One direction of one relayed connection: read, wait out the delay,
    write. Reading runs ahead of writing, so the delay is latency, not a
    pause per chunk."""

    def __init__(self, delay, reader, writer, transform=None):
        self.delay = delay
        self.reader = reader
        self.writer = writer
        self.transform = transform
        self.queue = asyncio.Queue()

    async def run(self):
        await asyncio.gather(self.pump(), self.deliver())

    async def pump(self):
        loop = asyncio.get_running_loop()
        try:
            while True:
                data = await self.reader.read(CHUNK)
                if not data:
                    self.queue.put_nowait((loop.time() + self.delay, b""))
                    return
                if self.transform:
                    data = await self.transform(data)  # may hold back a partial line
                if data:
                    self.queue.put_nowait((loop.time() + self.delay, data))
        except (ConnectionError, OSError):
            self.queue.put_nowait((0, b""))

    async def deliver(self):
        loop = asyncio.get_running_loop()
        try:
            while True:
                due, data = await self.queue.get()
                wait = due - loop.time()
                if wait > 0:
                    await asyncio.sleep(wait)
                if not data:
                    break
                self.writer.write(data)
                await self.writer.drain()
        except (ConnectionError, OSError):
            pass
        finally:
            self.writer.close()


class Proxy:
    def __init__(self, host, port, delay_ms, log):
        self.host = host
        self.port = port
        self.delay = delay_ms / 1000.0
        self.log = open(log, "a", encoding="utf-8", errors="replace") if log else None

    async def relay(self, client_reader, client_writer, server_port, to_server=None, to_client=None):
        try:
            server_reader, server_writer = await asyncio.open_connection(self.host, server_port)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(
            Link(self.delay, client_reader, server_writer, to_server).run(),
            Link(self.delay, server_reader, client_writer, to_client).run())

    async def open_data_port(self, server_port):
        """A one-shot listener that relays its first connection to the
        server's data port; returns the listener's own port."""
        done = asyncio.get_running_loop().create_future()

        async def accepted(reader, writer):
            if done.done():
                writer.close()
                return
            done.set_result(None)
            listener.close()
            await self.relay(reader, writer, server_port)

        listener = await asyncio.start_server(accepted, "127.0.0.1", 0)

        async def expire():
            try:
                await asyncio.wait_for(asyncio.shield(done), DATA_ACCEPT_SECONDS)
            except asyncio.TimeoutError:
                listener.close()

        asyncio.ensure_future(expire())
        return listener.sockets[0].getsockname()[1]

    def control_filters(self):
        """The transforms of one control connection: commands are logged on
        the way in, passive replies rewritten on the way out."""
        pending = {"in": b"", "out": b""}

        async def commands(data):
            pending["in"] += data
            *lines, pending["in"] = pending["in"].split(b"\n")
            if self.log:
                for line in lines:
                    self.log.write(line.rstrip(b"\r").decode("utf-8", "replace") + "\n")
                self.log.flush()
            return data

        async def replies(data):
            pending["out"] += data
            *lines, pending["out"] = pending["out"].split(b"\n")
            out = []
            for line in lines:
                m = PASV.match(line)
                if m:
                    port = await self.open_data_port(int(m.group(5)) * 256 + int(m.group(6)))
                    line = b"227 Entering Passive Mode (127,0,0,1,%d,%d).\r" % (port // 256, port % 256)
                else:
                    m = EPSV.match(line)
                    if m:
                        port = await self.open_data_port(int(m.group(1)))
                        line = b"229 Entering Extended Passive Mode (|||%d|)\r" % port
                out.append(line + b"\n")
            return b"".join(out)

        return commands, replies

    async def control(self, reader, writer):
        commands, replies = self.control_filters()
        await self.relay(reader, writer, self.port, commands, replies)


async def main():
    p = argparse.ArgumentParser()
    p.add_argument("--upstream-host", default="127.0.0.1")
    p.add_argument("--upstream-port", type=int, required=True)
    p.add_argument("--delay-ms", type=float, default=0.0)
    p.add_argument("--log")
    a = p.parse_args()
    proxy = Proxy(a.upstream_host, a.upstream_port, a.delay_ms, a.log)
    server = await asyncio.start_server(proxy.control, "127.0.0.1", 0)
    print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        sys.exit(0)
