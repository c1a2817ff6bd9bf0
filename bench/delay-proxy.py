#!/usr/bin/env python3
"""A loopback TCP forwarder that makes a server nearby look far away: every byte takes DELAY milliseconds to
cross in either direction, and a new connection is usable only one round trip (2 x DELAY) after it was made,
as the handshake of a real one would be. Bandwidth is not limited and TCP's slow start is not imitated, so
what it adds is the round trips of a request pattern and nothing else.

    delay-proxy.py LISTEN_PORT SERVER_PORT DELAY_MS

Prints nothing; counts nothing; ends on SIGTERM.
"""
import asyncio
import signal
import sys


async def pipe(reader, writer, delay):
    """Copies reader to writer, each chunk `delay` seconds after it arrived; the end of the stream too."""
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()

    async def take():
        while True:
            try:
                data = await reader.read(65536)
            except (ConnectionError, OSError):
                data = b""
            await queue.put((loop.time() + delay, data))
            if not data:
                return

    async def give():
        while True:
            due, data = await queue.get()
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            try:
                if not data:
                    if writer.can_write_eof():
                        writer.write_eof()
                    return
                writer.write(data)
                await writer.drain()
            except (ConnectionError, OSError):
                return

    await asyncio.gather(take(), give())


async def connection(client_reader, client_writer, server_port, delay):
    try:
        # The handshake of a real connection costs one round trip before the first byte can be sent.
        await asyncio.sleep(2 * delay)
        server_reader, server_writer = await asyncio.open_connection("127.0.0.1", server_port)
    except OSError:
        client_writer.close()
        return
    try:
        await asyncio.gather(pipe(client_reader, server_writer, delay), pipe(server_reader, client_writer, delay))
    finally:
        for w in (client_writer, server_writer):
            try:
                w.close()
            except OSError:
                pass


async def main():
    listen_port, server_port, delay = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3]) / 1000.0
    server = await asyncio.start_server(
        lambda r, w: connection(r, w, server_port, delay), "127.0.0.1", listen_port, backlog=128
    )
    stop = asyncio.Event()
    asyncio.get_running_loop().add_signal_handler(signal.SIGTERM, stop.set)
    async with server:
        await stop.wait()


if __name__ == "__main__":
    asyncio.run(main())
