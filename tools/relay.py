#!/usr/bin/env python3
"""A bandwidth-limited TCP relay on 127.0.0.1, for watching downloads and scans at a chosen speed.

    relay.py LISTEN_PORT SERVER_PORT BYTES_PER_SECOND

Every connection to LISTEN_PORT is passed on to SERVER_PORT on 127.0.0.1; what the server sends
back is held to BYTES_PER_SECOND per connection (0: no limit). It runs until killed."""
import asyncio
import sys

LISTEN, SERVER, RATE = (int(a) for a in sys.argv[1:4])


async def pipe(reader, writer, rate):
    loop = asyncio.get_running_loop()
    start = loop.time()
    sent = 0
    try:
        while True:
            data = await reader.read(16384 if not rate else max(1024, min(16384, rate // 20)))
            if not data:
                break
            writer.write(data)
            await writer.drain()
            if rate:
                # Paced against the clock since the start, so time spent waiting for the server
                # counts and the average holds the rate instead of falling below it.
                sent += len(data)
                ahead = start + sent / rate - loop.time()
                if ahead > 0:
                    await asyncio.sleep(ahead)
                elif ahead < -1:
                    # An idle spell is not saved up as a burst.
                    start, sent = loop.time(), 0
    except (ConnectionError, asyncio.CancelledError):
        pass
    finally:
        writer.close()


async def handle(client_reader, client_writer):
    try:
        server_reader, server_writer = await asyncio.open_connection("127.0.0.1", SERVER)
    except OSError:
        client_writer.close()
        return
    await asyncio.gather(pipe(client_reader, server_writer, 0), pipe(server_reader, client_writer, RATE))


async def main():
    server = await asyncio.start_server(handle, "127.0.0.1", LISTEN)
    async with server:
        await server.serve_forever()


asyncio.run(main())
